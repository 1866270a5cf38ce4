#pragma once
// The roster pane: the first sheet of the roster workbook, read-only, as a
// grid with row numbers and column letters.  Editing happens in the
// desktop's spreadsheet program; the pane follows the file on disk, so what
// was saved there is what the pane (and the next print run) shows.
#include "form/RosterColumns.h"
#include "platform/rowsource.h"
#include <QAbstractTableModel>
#include <QDateTime>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <vector>

namespace vdmq {

class TRosterModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TRosterModel(QObject* parent = nullptr);
    // Takes the roster, its first sheet taken; nullptr empties the model.
    void SetRows(std::unique_ptr<TRosterRows> rows);
    const roster::Sheet* Sheet() const { return sheet_; }
    bool Flagged(int row) const;  // 1-based

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::unique_ptr<TRosterRows> rows_;
    const roster::Sheet* sheet_ = nullptr;
    bool dates1904_ = false;
    // Flag of each row, worked out when the row is first drawn: -1 unknown.
    mutable std::vector<signed char> flags_;
};

class TRosterPane : public QWidget {
    Q_OBJECT
public:
    explicit TRosterPane(QWidget* parent = nullptr);

    // "about:blank" (or empty) shows an empty pane; anything else is the
    // path (or file: URL) of a workbook.  A workbook that cannot be read
    // shows the reason in the pane.
    void Navigate(const QString& location);
    QString LocationURL() const { return location_; }
    bool IsBlank() const { return path_.isEmpty(); }
    // Shown under an empty pane (how to choose a roster).
    void SetBlankHint(const QString& hint);

    // The text the pane shows instead of the grid (reason, hint), empty
    // when the grid is shown.
    QString Message() const;
    bool Loaded() const { return model_->Sheet() != nullptr; }
    TRosterModel* Model() const { return model_; }
    QTableView* View() const { return view_; }
    QPushButton* OpenButton() const { return btnOpenExternal_; }
    // Reads the file again (also done by itself when the file changes).
    void Reload();
    // Where the password of an encrypted roster comes from (kept alive by
    // the caller); without one such a roster shows the reason.
    void SetPasswordPrompt(roster::PasswordPrompt* prompt) { prompt_ = prompt; }
    // The roster at `path` was opened with a password given elsewhere (the
    // print run asked for it): a pane that shows that roster unread for
    // want of one reads it again.
    void PasswordGiven(const QString& path);
    // The number of loads so far (tests wait for a change on disk with it).
    int LoadCount() const { return loadCount_; }

signals:
    // After every read of the file, successful or not.
    void RosterLoaded(const QString& path);

private:
    void load(bool keepPosition);
    void watch();
    void fileEvent();
    void checkChanged();
    void openExternal();
    void showMessage(const QString& text);

    QString location_ = QStringLiteral("about:blank");
    QString path_;
    QString blankHint_;
    QDateTime loadedTime_;
    qint64 loadedSize_ = -1;
    int loadCount_ = 0;

    QWidget* bar_ = nullptr;
    QLabel* pathLabel_ = nullptr;
    QPushButton* btnOpenExternal_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QTableView* view_ = nullptr;
    QLabel* message_ = nullptr;
    TRosterModel* model_ = nullptr;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* settle_ = nullptr;
    roster::PasswordPrompt* prompt_ = nullptr;
    bool wantsPassword_ = false;  // the last read ended at a cancelled password
};

}  // namespace vdmq
