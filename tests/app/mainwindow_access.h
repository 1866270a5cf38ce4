#pragma once
// The main window's widgets, for tests that type into its fields, press its
// buttons and look at its panes as a user would.
#include "app/ui/VdMainUnit.h"
#include "app/ui/VdRosterPane.h"

namespace vdmq {

struct TMainWindowAccess {
    explicit TMainWindowAccess(TMainWindow& w)
        : BottomPanel(w.BottomPanel),
          RosterPanel(w.RosterPanel),
          EntryPanel(w.EntryPanel),
          NoticeBar(w.NoticeBar),
          RosterPane(w.RosterPane),
          HelpSplitter(w.HelpSplitter),
          HelpPane(w.HelpPane),
          NotesPane(w.NotesPane),
          HelpButton(w.HelpButton),
          DocNoEdit(w.DocNoEdit),
          IssuedByEdit(w.IssuedByEdit),
          StartRowEdit(w.StartRowEdit),
          PrintDateEdit(w.PrintDateEdit),
          OpinionWidthEdit(w.OpinionWidthEdit),
          EndRowEdit(w.EndRowEdit),
          ClearButton(w.ClearButton),
          ReadButton(w.ReadButton),
          PreviewButton(w.PreviewButton),
          PrintButton(w.PrintButton),
          PaperButton(w.PaperButton),
          ExitButton(w.ExitButton),
          PdfButton(w.PdfButton)
    {
    }
    QWidget* BottomPanel;
    QWidget* RosterPanel;
    QWidget* EntryPanel;
    QLabel* NoticeBar;
    TRosterPane* RosterPane;
    TSplitterBar* HelpSplitter;
    QTextBrowser* HelpPane;
    QPlainTextEdit* NotesPane;
    QPushButton* HelpButton;
    QLineEdit* DocNoEdit;
    QLineEdit* IssuedByEdit;
    QLineEdit* StartRowEdit;
    QDateEdit* PrintDateEdit;
    QLineEdit* OpinionWidthEdit;
    QLineEdit* EndRowEdit;
    QPushButton* ClearButton;
    QPushButton* ReadButton;
    QPushButton* PreviewButton;
    QPushButton* PrintButton;
    QPushButton* PaperButton;
    QPushButton* ExitButton;
    QPushButton* PdfButton;
};

inline TMainWindowAccess ui(TMainWindow& w) { return TMainWindowAccess(w); }

}  // namespace vdmq
