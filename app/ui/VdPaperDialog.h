#pragma once
// The "纸张" dialog of the main window: the paper (B5 or A4, the form at
// the top-left corner or centred on A4), the printer and its horizontal and
// vertical offsets, whether PDF files written from the printer dialog use
// them, what that printer will not reach, and the calibration page.  OK
// writes the choices to vdmq.ini, section "vdmq", the offsets of each
// printer shown as that printer's own.
#include "app/core/paper.h"
#include "app/ui/VdDialogs.h"

#include <QDialog>
#include <QPointF>
#include <QString>
#include <map>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace vdmq {

class TPaperDialog : public QDialog {
    Q_OBJECT
public:
    // `iniPath`: the settings file read now and written on OK.  Errors go
    // to `dialogs` (not owned).
    TPaperDialog(const QString& iniPath, TDialogs& dialogs, QWidget* parent = nullptr);

    QRadioButton* rbB5 = nullptr;
    QRadioButton* rbA4 = nullptr;
    QRadioButton* rbTopLeft = nullptr;
    QRadioButton* rbCentre = nullptr;
    QComboBox* cbPrinter = nullptr;  // whose offsets the boxes show; the default printer first
    QDoubleSpinBox* spOffsetX = nullptr;
    QDoubleSpinBox* spOffsetY = nullptr;
    QCheckBox* cbPdfOffsets = nullptr;
    QLabel* lbPrinter = nullptr;
    QLabel* lbCheck = nullptr;  // what the chosen printer will not reach
    QPushButton* btnCalibrate = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;

    // The choices as the dialog shows them, with the chosen printer's
    // offsets.
    TPaperSettings Settings() const;
    void SetSettings(const TPaperSettings& settings);
    // The printer whose offsets are shown; empty when there is none.
    QString Printer() const { return printer_; }

    // Writes the choices and closes; a refused write is shown and the
    // dialog stays.
    void btnOkClick();
    // Prints the calibration page on the chosen printer with the choices
    // shown (saved or not), and says where it went.
    void btnCalibrateClick();
    // Refreshes the enabled state and the printer check.
    void Changed();

private:
    void radioPair(QWidget* box, QRadioButton*& a, const char* nameA, const QString& textA, QRadioButton*& b,
                   const char* nameB, const QString& textB);

    void buildOffsets(QWidget* box);
    void printerChosen();
    void fitHeight();

    QString iniPath_;
    TDialogs& dialogs_;
    QString printer_;
    // The offsets shown for each printer chosen so far, saved on OK.
    std::map<QString, QPointF> offsets_;
};

}  // namespace vdmq
