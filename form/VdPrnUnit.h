#pragma once
// The declaration form holder: one report, two bands, 57 rules and 121
// labels, laid out once from a fixed table, and the filler that turns one
// roster row into the captions of its 32 data labels.
#include "report/core/qr.h"
#include <QDate>
#include <QObject>
#include <map>
#include <string>

namespace vdmq {

// What the filler reads besides nothing else: the current roster row's
// cells, the opinion width field's text and three settings values.  The
// main window and the batch tool each provide one.  Texts are GB18030.
class TFillSource {
public:
    virtual ~TFillSource() = default;
    virtual int CurRow() const = 0;
    // The cell's value as text; may throw (an error cell, a failed read).
    virtual QString CellText(int row, int col) const = 0;
    virtual QString OpinionWidthText() const = 0;  // the opinion width field's text
    virtual QString DocNo() const = 0;
    virtual QDate PrintDate() const = 0;
    virtual QString IssuedBy() const = 0;
};

// The preview window the holders of a run hand their store to.  The print
// run points it at a live window; ShowInPreview never uses a destroyed one.
class TPreviewTarget {
public:
    virtual ~TPreviewTarget() = default;
    virtual void AttachAndShow(const std::shared_ptr<qr::TQRPrinter>& store) = 0;
};

class TApprovalForm : public QObject {
    Q_OBJECT
public:
    explicit TApprovalForm(QObject* owner = nullptr);
    ~TApprovalForm() override;

    QString Caption = QStringLiteral("打印");

    qr::TQuickRep* Report = nullptr;
    qr::TQRBand* TitleBand = nullptr;
    qr::TQRBand* BodyBand = nullptr;

    // Every element by its layout name.
    qr::TQRLabel* Label(const std::string& name) const;  // nullptr when unknown
    qr::TQRShape* Shape(const std::string& name) const;
    const std::map<std::string, qr::TQRLabel*>& Labels() const { return labels_; }
    const std::map<std::string, qr::TQRShape*>& Shapes() const { return shapes_; }

    // The 32 data labels.
    qr::TQRLabel *NameLabel, *SexLabel, *EducationLabel, *BornLabel, *StartedWorkLabel, *ServiceFromLabel, *ReasonLabel,
        *AppraisalFromLabel, *PostLabel, *OldPostLabel, *OldAppointedLabel, *OldGradeLabel, *OldPostPayLabel,
        *OldScaleLabel, *OldScalePayLabel, *OldTenPercentLabel, *ProbationPayLabel, *OldTotalLabel, *NewPostLabel,
        *NewAppointedLabel, *NewGradeLabel, *NewPostPayLabel, *NewScaleLabel, *NewScalePayLabel, *NewTenPercentLabel,
        *NewTotalLabel, *OpinionLine1, *OpinionLine2, *OpinionLine3, *OpinionLine4, *PrintDateLabel, *IssuedByLabel;

    // Inputs of the filler and the preview window of this run (not owned).
    TFillSource* Source = nullptr;
    TPreviewTarget* PreviewTarget = nullptr;

    void FormCreate();
    // A holder that is closed releases itself.
    void FormClose();
    void ShowInPreview(qr::TQRPrinter& store);
    void FillRow(qr::TCustomQuickRep& sender, bool& MoreData);

private:
    std::map<std::string, qr::TQRLabel*> labels_;
    std::map<std::string, qr::TQRShape*> shapes_;
};

// The names of the 32 data labels, in the order the layout lists them.
const std::vector<std::string>& DataLabelNames();

}  // namespace vdmq
