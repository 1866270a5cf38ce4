#include "app/ui/VdMainUnit.h"
#include "app/core/folders.h"
#include "app/ui/VdPasswordDialog.h"
#include "app/ui/VdRosterPane.h"
#include "app/ui/VdRunReport.h"
#include "platform/gbtext.h"
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QRegularExpression>
#include <QShortcut>
#include <QStyle>
#include <QTimeZone>
#include <QVBoxLayout>

// Outside any namespace, as the resource initialiser requires; calling it
// also keeps the linker from dropping the help page from the static library.
static void initHelpResource() { Q_INIT_RESOURCE(vdmq_help); }

namespace vdmq {

// The 3-pixel bar between the roster pane and the help pane; dragging it
// changes the help pane's height while the pane is shown.
class TSplitterBar : public QFrame {
public:
    TSplitterBar(QWidget* target, QWidget* parent) : QFrame(parent), target_(target)
    {
        setFixedHeight(3);
        setCursor(Qt::SplitVCursor);
        setFrameShape(QFrame::NoFrame);
    }

protected:
    void mousePressEvent(QMouseEvent* e) override
    {
        startY_ = e->globalPosition().y();
        startHeight_ = target_->height();
    }
    void mouseMoveEvent(QMouseEvent* e) override
    {
        if (!(e->buttons() & Qt::LeftButton) || target_->isHidden())
            return;
        const int limit = parentWidget() ? std::max(0, parentWidget()->height() - 60) : 1000;
        const int h = std::clamp(startHeight_ - int(e->globalPosition().y() - startY_), 0, limit);
        target_->setFixedHeight(h);
    }

private:
    QWidget* target_;
    double startY_ = 0;
    int startHeight_ = 0;
};

namespace {

// The help pane: the help page with the settings file's real place put into
// it (the page as installed names the usual places).
class THelpBrowser : public QTextBrowser {
public:
    THelpBrowser(QWidget* parent, std::function<QString()> settingsFile)
        : QTextBrowser(parent), settingsFile_(std::move(settingsFile))
    {
    }

    QVariant loadResource(int type, const QUrl& name) override
    {
        QVariant page = QTextBrowser::loadResource(type, name);
        if (type != QTextDocument::HtmlResource || !settingsFile_)
            return page;
        QString html = page.typeId() == QMetaType::QString ? page.toString() : QString::fromUtf8(page.toByteArray());
        static const QRegularExpression place(QStringLiteral("<code id=\"vdmq-ini\">(.*?)</code>"),
                                              QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpressionMatch m = place.match(html);
        if (m.hasMatch())
            html.replace(m.capturedStart(1), m.capturedLength(1),
                         QDir::toNativeSeparators(settingsFile_()).toHtmlEscaped());
        return html;
    }

private:
    std::function<QString()> settingsFile_;
};

// Tab leaves the date picker, as it does every other field; the arrow keys
// and the mouse move between its year, month and day.
//
// A QDateEdit keeps its value in UTC unless told otherwise, so a local date
// and time put in at 07:30 Beijing time would show the day before, and a day
// picked there would come back shifted by the zone's offset.  The picker
// holds local time, like every other holder of the print date.  Qt 6.7
// gave the picker a time zone of its own and deprecated timeSpec(); Debian
// 12's Qt 6.4 has only timeSpec().
//
// Typing works on the part the user points at, as in the date pickers of
// other office programs: a double click selects the year, month or day under
// the pointer (a line edit would select the whole date, which no digit can
// replace), and a digit that the part cannot take as one more digit (a
// click left the cursor inside a full year) starts the part afresh.
class TDatePicker : public QDateEdit {
public:
    explicit TDatePicker(QWidget* parent) : QDateEdit(parent)
    {
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
        setTimeZone(QTimeZone::LocalTime);
#else
        setTimeSpec(Qt::LocalTime);
#endif
        lineEdit()->installEventFilter(this);
    }

protected:
    // Tab leaves the picker, as it leaves every other field, instead of
    // stepping through the date's sections as QDateTimeEdit's own does.
    bool focusNextPrevChild(bool next) override
    {
        // NOLINTNEXTLINE(bugprone-parent-virtual-call): QDateTimeEdit's step is what is skipped
        return QWidget::focusNextPrevChild(next);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == lineEdit() && event->type() == QEvent::MouseButtonDblClick) {
            const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
            lineEdit()->setCursorPosition(lineEdit()->cursorPositionAt(at));
            if (currentSection() != NoSection)
                setSelectedSection(currentSection());
            return true;
        }
        return QDateEdit::eventFilter(watched, event);
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        const QString typed = event->text();
        const bool digit = typed.size() == 1 && typed.front().isDigit();
        const QString before = lineEdit()->text();
        QDateEdit::keyPressEvent(event);
        if (digit && lineEdit()->text() == before && !lineEdit()->hasSelectedText() && currentSection() != NoSection) {
            setSelectedSection(currentSection());
            QDateEdit::keyPressEvent(event);
        }
    }
};

const QString kFormFont = QStringLiteral("MS Sans Serif");
const QString kSansFace = QStringLiteral("Noto Sans CJK SC");

QString roster_hint()
{
    return QStringLiteral("尚未选择花名册。\n请点击下方的“调阅”按钮，选择职务变动工资调整花名册。");
}

bool allPass(const QString& text)
{
    for (QChar c : text)
        if (!TMainWindow::IsDigitKey(c))
            return false;
    return true;
}

bool allControl(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x20 && c.unicode() != 0x7f)
            return false;
    return true;
}

}  // namespace

QString TMainWindow::WindowCaption() { return QStringLiteral("工资变动审批表打印"); }
// The short title of the message boxes; the window caption ends with it.
QString TMainWindow::ApplicationTitle() { return QStringLiteral("审批表打印"); }
QString TMainWindow::NotesFileName() { return QStringLiteral("使用说明.txt"); }
QString TMainWindow::HelpPageUrl() { return QStringLiteral("qrc:/vdmq/help/index.html"); }

TMainWindow::TMainWindow(const QString& appDir, std::shared_ptr<TDialogs> dialogs, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs ? std::move(dialogs) : std::make_shared<TQtDialogs>())
{
    initHelpResource();
    QString dir = appDir.isEmpty() ? QCoreApplication::applicationDirPath() : appDir;
    dir = QDir::cleanPath(QFileInfo(dir).absoluteFilePath());
    appDir_ = QDir::toNativeSeparators(dir);
    QuitApplication = [] { QCoreApplication::quit(); };
    buildControls();
    auto passwords = std::make_unique<TPasswordDialogPrompt>(this);
    // A password given to 预览 or 打印 also opens the pane that went without.
    passwords->OnOpened = [pane = QPointer<TRosterPane>(RosterPane)](const std::string& path) {
        if (pane)
            pane->PasswordGiven(QString::fromStdString(path));
    };
    Passwords = std::move(passwords);
    RosterPane->SetPasswordPrompt(Passwords.get());
    Roster.SetPasswordPrompt(Passwords.get());
    FormCreate();
}

TMainWindow::~TMainWindow() = default;

void TMainWindow::SetDialogs(std::shared_ptr<TDialogs> dialogs)
{
    if (dialogs)
        dialogs_ = std::move(dialogs);
}

// ---- the entry panel, as the form was drawn ---------------------------------
// Positions in pixels within the 656 x 118 panel.  Labels are sized to their
// two-line captions; buttons are 46 wide.
namespace {

struct LabelPlace {
    const char* name;
    const char* text;
    int x, y;
};
const LabelPlace kLabels[] = {
    {"lbFile", "文件\n依据", 28, 40},
    {"lbArea", "制表\n机构", 189, 40},
    {"lbStart", "开始打\n印行号", 365, 40},
    {"lbPrint", "打印\n日期", 28, 77},
    {"lbWidth", "申报意见栏\n每行宽度", 189, 77},
    {"lbEnd", "结束打\n印行号", 366, 77},
};

struct EditPlace {
    QLineEdit* TMainWindow::*field;
    const char* name;
    int x, y, w;
    const char* tip;
};
constexpr int kEditHeight = 23;

struct ButtonPlace {
    QPushButton* TMainWindow::*field;
    void (TMainWindow::*click)();
    const char* name;
    const char* text;
    int x, y, h;
    const char* tip;
};
constexpr int kButtonWidth = 46;

// The panels' layouts: no margins, no spacing.
template <class Layout>
Layout* flatLayout(QWidget* owner)
{
    auto* l = new Layout(owner);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(0);
    return l;
}

}  // namespace

// The fields and buttons name the window's own widgets, so their table is
// the window's.
struct TMainWindow::Places {
    static const EditPlace kEdits[];
    static const ButtonPlace kButtons[];
};
const EditPlace TMainWindow::Places::kEdits[] = {
    {&TMainWindow::DocNoEdit, "edFile", 56, 40, 120, nullptr},
    {&TMainWindow::IssuedByEdit, "edArea", 217, 40, 133, nullptr},
    {&TMainWindow::StartRowEdit, "edStart", 410, 40, 36, "职务工资变动表除标题行外欲打印的开始行号，不小于7"},
    {&TMainWindow::OpinionWidthEdit, "edWidth", 254, 77, 48, nullptr},
    {&TMainWindow::EndRowEdit, "edEnd", 409, 77, 38, "职务工资变动表除标题行外欲打印的结束行号，不小于7"},
};
const ButtonPlace TMainWindow::Places::kButtons[] = {
    {&TMainWindow::ClearButton, &TMainWindow::ClearButtonClick, "btnClear", "关闭", 474, 39, 25,
     "清空上表显示以关闭调资表。"},
    {&TMainWindow::ReadButton, &TMainWindow::ReadButtonClick, "btnRead", "调阅", 474, 76, 25,
     "从磁盘内调阅职务工资变动表花名册，仅显示，不提供保存功能。"},
    {&TMainWindow::PreviewButton, &TMainWindow::PreviewButtonClick, "btnPre", "预览", 531, 39, 25, nullptr},
    {&TMainWindow::PrintButton, &TMainWindow::PrintButtonClick, "btnPrn", "打印", 531, 76, 25, nullptr},
    {&TMainWindow::PaperButton, &TMainWindow::PaperButtonClick, "btnPaper", "纸张", 591, 39, 25,
     "纸张（B5 或 A4）、打印位置的偏移和校准页（Alt+Z）"},
    {&TMainWindow::ExitButton, &TMainWindow::ExitButtonClick, "btnExit", "退出", 591, 77, 24, nullptr},
};

void TMainWindow::buildControls()
{
    setObjectName(QStringLiteral("VdMainForm"));
    QFont::insertSubstitution(kFormFont, kSansFace);
    QFont font(kFormFont);
    font.setPixelSize(12);
    setFont(font);
    resize(817, 604);

    auto* central = new QWidget(this);
    auto* outer = flatLayout<QVBoxLayout>(central);
    setCentralWidget(central);
    buildRosterPanel(central, outer);
    buildBottomPanel(central, outer);
    buildNoticeBar();
    buildEntryPanel();

    // Tab order: the window's reading order, row by row from the left, as
    // the fields and buttons stand; after the last row the notes on the
    // left and the notice bar above, then round to the first field.
    QWidget* order[] = {DocNoEdit,   IssuedByEdit,  StartRowEdit,     ClearButton, PreviewButton,
                        PaperButton, PrintDateEdit, OpinionWidthEdit, EndRowEdit,  ReadButton,
                        PrintButton, ExitButton,    NotesPane,        HelpButton,  PdfButton};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);

    RosterDialog.Title = QStringLiteral("打开职务变动工资调整花名册");
    // Rosters come as .xls, .xlsx and .et, often in capitals (ROSTER.XLS):
    // the first filter takes all three in any letter case.
    RosterDialog.Filters = {
        AnyCaseFilter(QStringLiteral("花名册(xls、xlsx、et)"),
                      {QStringLiteral("*.xls"), QStringLiteral("*.xlsx"), QStringLiteral("*.et")}),
        AnyCaseFilter(QStringLiteral("excel文件(xls)"), {QStringLiteral("*.xls")}),
        AnyCaseFilter(QStringLiteral("excel文件(xlsx)"), {QStringLiteral("*.xlsx")}),
        AnyCaseFilter(QStringLiteral("WPS表格(et)"), {QStringLiteral("*.et")}),
        QStringLiteral("所有文件 (*)"),
    };

    buildShortcuts();

    SetEntryFields(TEntryFields());
}

// RosterPanel: roster pane, splitter, help pane.
void TMainWindow::buildRosterPanel(QWidget* central, QVBoxLayout* outer)
{
    RosterPanel = new QWidget(central);
    RosterPanel->setObjectName(QStringLiteral("Panel2"));
    auto* p2 = flatLayout<QVBoxLayout>(RosterPanel);
    RosterPane = new TRosterPane(RosterPanel);
    RosterPane->setObjectName(QStringLiteral("VdBrowser"));
    RosterPane->setFocusPolicy(Qt::NoFocus);
    HelpPane = new THelpBrowser(RosterPanel, [this] { return SettingsFilePath(toGb(appDir_)); });
    HelpPane->setObjectName(QStringLiteral("kqBrowser"));
    HelpPane->setOpenLinks(false);
    HelpPane->setFocusPolicy(Qt::ClickFocus);
    HelpSplitter = new TSplitterBar(HelpPane, RosterPanel);
    HelpSplitter->setObjectName(QStringLiteral("Splitter1"));
    p2->addWidget(RosterPane, 1);
    p2->addWidget(HelpSplitter);
    p2->addWidget(HelpPane);
    connect(HelpPane, &QTextBrowser::anchorClicked, this, &TMainWindow::helpLinkClicked);
    outer->addWidget(RosterPanel, 1);
}

// BottomPanel: notes on the left, entry fields (EntryPanel) on the right.
void TMainWindow::buildBottomPanel(QWidget* central, QVBoxLayout* outer)
{
    BottomPanel = new QWidget(central);
    BottomPanel->setObjectName(QStringLiteral("Panel1"));
    BottomPanel->setFixedHeight(118);
    auto* p1 = flatLayout<QHBoxLayout>(BottomPanel);
    NotesPane = new QPlainTextEdit(BottomPanel);
    NotesPane->setObjectName(QStringLiteral("Memo1"));
    NotesPane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    NotesPane->setTabChangesFocus(true);
    NotesPane->hide();
    EntryPanel = new QWidget(BottomPanel);
    EntryPanel->setObjectName(QStringLiteral("Panel3"));
    EntryPanel->setFixedSize(656, 118);
    p1->addWidget(NotesPane, 1);
    p1->addStretch(0);
    p1->addWidget(EntryPanel);
    outer->addWidget(BottomPanel);
}

// The notice bar at the top of the entry panel, with 在线帮助 at its left
// and 导出PDF at its right.
void TMainWindow::buildNoticeBar()
{
    NoticeBar = new QLabel(QStringLiteral("☆☆☆注意：如果上表有数据修改，请务必按 Ctrl+S 保存数据！☆☆☆"), EntryPanel);
    NoticeBar->setObjectName(QStringLiteral("Panel4"));
    NoticeBar->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    NoticeBar->setAlignment(Qt::AlignCenter);
    NoticeBar->setGeometry(0, 0, 656, 31);
    NoticeBar->setContentsMargins(84, 0, 92, 0);  // clear of 在线帮助 and 导出PDF
    HelpButton = new QPushButton(QStringLiteral("在线帮助"), NoticeBar);
    HelpButton->setObjectName(QStringLiteral("btnHelp"));
    HelpButton->setIcon(style()->standardIcon(QStyle::SP_DialogHelpButton));
    HelpButton->setGeometry(3, 3, 80, 25);
    connect(HelpButton, &QPushButton::clicked, this, &TMainWindow::HelpButtonClick);
    // The run of 预览 and 打印 into one PDF file, which needs no printer: at
    // the right end of the notice bar, above the buttons' columns, as the
    // panel's own places are all taken.
    PdfButton = new QPushButton(QStringLiteral("导出PDF"), NoticeBar);
    PdfButton->setObjectName(QStringLiteral("btnPdf"));
    PdfButton->setGeometry(565, 3, 72, 25);
    connect(PdfButton, &QPushButton::clicked, this, &TMainWindow::PdfButtonClick);
}

// The labels, fields and buttons of the entry panel from the tables above.
void TMainWindow::buildEntryPanel()
{
    const auto tip = [](QWidget* w, const char* text) {
        if (text)
            w->setToolTip(QString::fromUtf8(text));
    };
    for (const LabelPlace& p : kLabels) {
        auto* l = new QLabel(QString::fromUtf8(p.text), EntryPanel);
        l->setObjectName(QString::fromUtf8(p.name));
        l->move(p.x, p.y);
        l->adjustSize();
    }
    for (const EditPlace& p : Places::kEdits) {
        auto* e = new QLineEdit(EntryPanel);
        e->setObjectName(QString::fromUtf8(p.name));
        e->setGeometry(p.x, p.y, p.w, kEditHeight);
        tip(e, p.tip);
        this->*p.field = e;
    }
    PrintDateEdit = new TDatePicker(EntryPanel);
    PrintDateEdit->setObjectName(QStringLiteral("dtPrint"));
    PrintDateEdit->setDisplayFormat(QStringLiteral("yyyy年M月d日"));
    PrintDateEdit->setCalendarPopup(true);
    PrintDateEdit->setGeometry(56, 77, 120, 20);
    for (const ButtonPlace& p : Places::kButtons) {
        auto* b = new QPushButton(QString::fromUtf8(p.text), EntryPanel);
        b->setObjectName(QString::fromUtf8(p.name));
        b->setGeometry(p.x, p.y, kButtonWidth, p.h);
        tip(b, p.tip);
        connect(b, &QPushButton::clicked, this, p.click);
        this->*p.field = b;
    }
    for (QLineEdit* e : {StartRowEdit, EndRowEdit, OpinionWidthEdit})
        e->installEventFilter(this);
}

TEntryFields TMainWindow::EntryFields() const
{
    TEntryFields f;
    f.docNo = toGb(DocNoEdit->text());
    f.issuedBy = toGb(IssuedByEdit->text());
    f.start = toGb(StartRowEdit->text());
    f.end = toGb(EndRowEdit->text());
    f.width = toGb(OpinionWidthEdit->text());
    f.printDate = PrintDateEdit->dateTime().toLocalTime();
    return f;
}

void TMainWindow::SetEntryFields(const TEntryFields& f)
{
    DocNoEdit->setText(fromGb(f.docNo));
    IssuedByEdit->setText(fromGb(f.issuedBy));
    StartRowEdit->setText(fromGb(f.start));
    EndRowEdit->setText(fromGb(f.end));
    OpinionWidthEdit->setText(fromGb(f.width));
    if (f.printDate.isValid())
        PrintDateEdit->setDateTime(f.printDate.toLocalTime());
}

void TMainWindow::SetStartRow(int row) { StartRowEdit->setText(QString::number(row)); }

void TMainWindow::PressPrint() { PrintButton->click(); }

void TMainWindow::buildShortcuts()
{
    // Enter in a field previews, as the button beside the fields would.
    for (QLineEdit* e : {DocNoEdit, IssuedByEdit, StartRowEdit, EndRowEdit, OpinionWidthEdit})
        connect(e, &QLineEdit::returnPressed, PreviewButton, &QPushButton::click);
    PrintDateEdit->installEventFilter(this);

    // The captions are the form's fixed two-character words with no room
    // for a "(&P)": the keys are named in the buttons' tips instead.
    struct Key {
        QKeySequence keys;
        QPushButton* button;
    };
    const Key keys[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_P), PrintButton},  {QKeySequence(Qt::ALT | Qt::Key_P), PrintButton},
        {QKeySequence(Qt::ALT | Qt::Key_V), PreviewButton}, {QKeySequence(Qt::ALT | Qt::Key_D), PdfButton},
        {QKeySequence(Qt::ALT | Qt::Key_X), ExitButton},    {QKeySequence(Qt::ALT | Qt::Key_O), ReadButton},
        {QKeySequence(Qt::ALT | Qt::Key_C), ClearButton},   {QKeySequence(Qt::ALT | Qt::Key_H), HelpButton},
        {QKeySequence(Qt::ALT | Qt::Key_Z), PaperButton},   {QKeySequence(Qt::Key_F1), HelpButton},
    };
    for (const Key& k : keys) {
        auto* shortcut = new QShortcut(k.keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        // click() does nothing while the button is disabled (during a run).
        connect(shortcut, &QShortcut::activated, k.button, &QPushButton::click);
    }
    PreviewButton->setToolTip(QStringLiteral("逐张预览所选各行的审批表（回车键、Alt+V）"));
    PrintButton->setToolTip(QStringLiteral("把所选各行的审批表送往打印机（Ctrl+P、Alt+P）"));
    PdfButton->setToolTip(QStringLiteral("把所选各行的审批表导出为一个 PDF 文件，每人一页（Alt+D）"));
    ExitButton->setToolTip(QStringLiteral("保存填写的内容并退出（Alt+X）"));
    HelpButton->setToolTip(QStringLiteral("显示或隐藏帮助（F1、Alt+H）"));
}

void TMainWindow::SetRunButtonsEnabled(bool enabled)
{
    PdfButton->setEnabled(enabled);
    PrintButton->setEnabled(enabled);
    PaperButton->setEnabled(enabled);
    ReadButton->setEnabled(enabled);
    ClearButton->setEnabled(enabled);
}

void TMainWindow::ShowError(const std::exception& e) { ShowError(errorText(e)); }

void TMainWindow::ShowError(const QString& context, const std::exception& e)
{
    ShowError(context.isEmpty() ? errorText(e) : context + u'\n' + errorText(e));
}

void TMainWindow::ShowError(const QString& message) { dialogs_->Error(this, message); }

// A button action ends at its first error, which the error box shows.
template <class F>
void TMainWindow::guarded(F&& action)
{
    try {
        action();
    } catch (const std::exception& e) {
        ShowError(e);
    }
}

// ---- operations ------------------------------------------------------------

bool TMainWindow::ChooseRoster()
{
    RosterPane->Navigate(QStringLiteral("about:blank"));
    // Not the program's folder as such: installed, that is /usr/bin.
    RosterDialog.InitialDir = RosterDialogFolder(fromGb(Vdcs.RosterPath), appDir_);
    const QString file = dialogs_->OpenFileName(this, RosterDialog.Title, RosterDialog.InitialDir, RosterDialog.Filters,
                                                RosterDialog.FileName);
    if (file.isEmpty())
        return false;  // the recorded roster stays as it was
    RosterDialog.FileName = QDir::toNativeSeparators(file);
    try {
        SaveRosterPath(Vdcs, toGb(RosterDialog.FileName));
    } catch (const std::exception& e) {
        // The roster is opened all the same: only remembering it for the
        // next start failed.
        Vdcs.RosterPath = toGb(RosterDialog.FileName);
        ShowError(errorText(e) + QStringLiteral("\n\n花名册照样打开，但设置文件不能写入（文件夹可能是只读的）："
                                                "下次启动时不会自动打开这个花名册。"));
    }
    return true;
}

void TMainWindow::ShowRoster()
{
    if (!QFileInfo(fromGb(Vdcs.RosterPath)).isFile())
        ChooseRoster();
    const QString path = fromGb(Vdcs.RosterPath);
    RosterPane->Navigate(path.isEmpty() ? QStringLiteral("about:blank") : path);
    if (path.isEmpty())
        RosterPane->SetBlankHint(roster_hint());
}

// ---- events ----------------------------------------------------------------

void TMainWindow::FormCreate()
{
    guarded([this] {
        TEntryFields fields = EntryFields();
        try {
            LoadSettings(Vdcs, fields, toGb(appDir_));
        } catch (const ESettingsReadError&) {
            SetEntryFields(fields);  // the defaults, then the message
            loadedFields_ = EntryFields();
            throw;
        }
        SetEntryFields(fields);
        loadedFields_ = EntryFields();
    });
    // The help pane starts hidden and flat; "在线帮助" brings it up.
    HelpPane->hide();
    setHelpPaneHeight(0);
    HelpPane->setSource(QUrl(HelpPageUrl()));
}

void TMainWindow::FormShow()
{
    setWindowTitle(WindowCaption());
    NotesPane->clear();
    loadNotes();
    guarded([this] {
        if (Vdcs.RosterPath.empty() && !ChooseRoster()) {
            // A first start without a choice: say how to choose one later
            // rather than asking again at once.
            RosterPane->SetBlankHint(roster_hint());
            return;
        }
        ShowRoster();
    });
}

void TMainWindow::ReadButtonClick()
{
    guarded([this] {
        if (ChooseRoster()) {
            ShowRoster();
            return;
        }
        // Cancelled: the roster shown before comes back, without asking again.
        const QString path = fromGb(Vdcs.RosterPath);
        RosterPane->Navigate(path.isEmpty() ? QStringLiteral("about:blank") : path);
        if (path.isEmpty())
            RosterPane->SetBlankHint(roster_hint());
    });
}

void TMainWindow::ClearButtonClick() { RosterPane->Navigate(QStringLiteral("about:blank")); }

void TMainWindow::PreviewButtonClick()
{
    guarded([this] { PrintRun(TRunMode::Preview); });
}

void TMainWindow::PrintButtonClick()
{
    guarded([this] { PrintRun(TRunMode::Print); });
}

bool TMainWindow::SaveEntries()
{
    const TEntryFields now = EntryFields();
    try {
        // Only what this window changed: a second instance may have saved
        // its own values since this one loaded.
        SaveSettings(Vdcs, now, &loadedFields_);
    } catch (const std::exception& e) {
        // The program stays open, so the user can still copy the values
        // somewhere; say what closing the window would do.
        ShowError(errorText(e) + QStringLiteral("\n\n填写的内容没有保存：设置文件不能写入（文件夹可能是只读的）。"
                                                "\n程序没有退出；关闭窗口时选“不保存”，即不保存这些内容而退出。"));
        return false;
    }
    loadedFields_ = now;
    return true;
}

bool TMainWindow::EntriesChanged() const { return EntriesDiffer(EntryFields(), loadedFields_); }

void TMainWindow::ExitButtonClick()
{
    if (!SaveEntries())
        return;
    if (QuitApplication)
        QuitApplication();
}

void TMainWindow::PdfButtonClick()
{
    guarded([this] { PrintRun(TRunMode::Pdf); });
}

void TMainWindow::FormClose()
{
    // Closing the window saves nothing by itself; only "退出" does, or the
    // answer to the question in closeEvent.
}

void TMainWindow::RosterPaneNewWindow(const QUrl& url)
{
    if (url.isLocalFile() || url.scheme().isEmpty())
        RosterPane->Navigate(url.isLocalFile() ? url.toLocalFile() : url.toString());
    else if (url.toString().compare(QLatin1String("about:blank"), Qt::CaseInsensitive) == 0)
        RosterPane->Navigate(url.toString());
    else
        QDesktopServices::openUrl(url);
}

void TMainWindow::HelpButtonClick()
{
    const bool show = HelpPane->isHidden();
    HelpPane->setVisible(show);
    setHelpPaneHeight(show ? HelpPaneOpenHeight() : 0);
}

int TMainWindow::HelpPaneOpenHeight() const
{
    // Two fifths of the roster's panel, so that a section of the help reads
    // without scrolling (some twenty lines), but never less than about twelve
    // lines; the roster keeps a few rows above it.
    const int lines = QFontMetrics(HelpPane->font()).lineSpacing();
    const int room = std::max(0, RosterPanel->height() - HelpSplitter->height() - 5 * lines);
    return std::min(std::max(RosterPanel->height() * 2 / 5, 12 * lines + 2 * HelpPane->frameWidth()), room);
}

int TMainWindow::HelpPaneHeight() const { return HelpPane->minimumHeight(); }

void TMainWindow::setHelpPaneHeight(int height) { HelpPane->setFixedHeight(height); }

void TMainWindow::helpLinkClicked(const QUrl& link)
{
    const QUrl url = HelpPane->source().resolved(link);
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto") ||
        scheme == QLatin1String("ftp")) {
        QDesktopServices::openUrl(url);
        return;
    }
    // Pages of the help itself, new-window links included, stay in the pane.
    HelpPane->setSource(url);
}

bool TMainWindow::IsDigitKey(QChar key)
{
    return (key >= QLatin1Char('0') && key <= QLatin1Char('9')) || key.unicode() == 8;
}

bool TMainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == PrintDateEdit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            PreviewButton->click();
            return true;
        }
    }
    if (watched == StartRowEdit || watched == EndRowEdit || watched == OpinionWidthEdit) {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            // A paste key types the clipboard: held to the same rule.  The
            // context menu's Paste stays unfiltered.
            if (key->matches(QKeySequence::Paste)) {
                pasteDigits(static_cast<QLineEdit*>(watched));
                return true;
            }
            const QString text = key->text();
            // Keys that type nothing (arrows, Delete) and the other control
            // keys (Ctrl+C, Ctrl+A, Enter, Tab) are commands, not typed text.
            if (!text.isEmpty() && !allControl(text) && !allPass(text))
                return true;
        } else if (event->type() == QEvent::InputMethod) {
            auto* im = static_cast<QInputMethodEvent*>(event);
            if (!im->commitString().isEmpty() && !allPass(im->commitString())) {
                QInputMethodEvent cleared;
                QCoreApplication::sendEvent(watched, &cleared);
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainWindow::pasteDigits(QLineEdit* edit)
{
    const QString text = QApplication::clipboard()->text().trimmed();
    if (!text.isEmpty() && allPass(text) && !edit->isReadOnly())
        edit->insert(text);
}

void TMainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        // After the window is up, so the roster dialog opens over it.
        QMetaObject::invokeMethod(this, &TMainWindow::FormShow, Qt::QueuedConnection);
    }
}

void TMainWindow::closeEvent(QCloseEvent* event)
{
    if (RunActive()) {
        event->ignore();
        EndRunBeforeClose();
        return;
    }
    // Typed entries are not dropped without a word: changed ones are
    // offered for saving, as 退出 would save them.
    if (EntriesChanged()) {
        const int answer = Dialogs().Ask(this, ApplicationTitle(),
                                         QStringLiteral("填写的内容（文件依据、制表机构、打印日期、行号或每行宽度）"
                                                        "改过了，还没有保存。\n\n要保存吗？保存的内容下次启动时恢复。"),
                                         {QStringLiteral("保存"), QStringLiteral("不保存"), QStringLiteral("取消")}, 0);
        if (answer == 2 || answer < 0 || (answer == 0 && !SaveEntries())) {
            event->ignore();
            return;
        }
    }
    FormClose();
    event->accept();
}

void TMainWindow::loadNotes()
{
    const QString name = NotesFileName();
    const QStringList candidates = {
        QDir(appDir_).filePath(name),
        // Installed: <prefix>/bin/vdmq with the notes in <prefix>/share/vdmq.
        QDir::cleanPath(QDir(appDir_).filePath(QStringLiteral("../share/vdmq/")) + QLatin1Char('/') + name),
    };
    for (const QString& path : candidates) {
        QFile f(path);
        if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly))
            continue;
        NotesPane->setPlainText(decodeTextFile(f.readAll()));
        NotesPane->show();
        return;
    }
}

}  // namespace vdmq
