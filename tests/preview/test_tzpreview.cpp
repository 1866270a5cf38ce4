// The preview window: page arrival, paging, the zoom box, saving, and the
// window with no store attached.
#include "support_preview.h"

#include "platform/atomicfile.h"
#include "platform/gbtext.h"

#include "report/ui/printbackend.h"
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QKeyEvent>
#include <QPixmap>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace previewtest;

namespace {

}  // namespace

// Qt's own entry to the shortcut map, which its test library uses too.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k, Qt::KeyboardModifiers mods,
                                               const QString& text, bool autorep, ushort count);

namespace {

void pressKey(QWidget* target, int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    if (qt_sendShortcutOverrideEvent(target, 0, key, mods, QString(), false, 1))
        return;
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QCoreApplication::sendEvent(target, &press);
}

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// A window, hidden (nothing here needs a screen), with a store attached and
// its notices delivered.
struct Window {
    FakeDialogs dialogs;
    TPreviewWindow* form = new TPreviewWindow(nullptr, &dialogs);
    ~Window() { delete form; }
    void attach(std::shared_ptr<qr::TQRPrinter> store)
    {
        form->PageView->setQRPrinter(std::move(store));
        Pump();
    }
    // The preview area sized so that the page-width zoom of an A4 page at
    // 96 dpi comes out as `zoom` (the page then needs the vertical bar).
    void viewForWidthZoom(int zoom)
    {
        const double page = kA4Width / 254 * form->PageView->logicalDpiX();
        const int bar = form->PageView->verticalScrollBar()->sizeHint().width();
        form->PageView->resize(int(std::lround(zoom / 90.0 * page)) + bar, 300);
    }
    void viewForFitZoom(int zoom)
    {
        const double page = kA4Width / 254 * form->PageView->logicalDpiX();
        form->PageView->resize(int(std::lround(zoom / 95.0 * page)), 5000);
    }
};

// Every picture must come out of its SVG at 1x and 2x: a missing icon engine
// or a broken resource gives empty buttons.
TEST(TzPreview, PicturesRenderAtBothScales)
{
    ASSERT_TRUE(QImageReader::supportedImageFormats().contains("svg"))
        << "the SVG image plugin (libqt6svg6) is missing";
    Window w;
    TPreviewWindow& f = *w.form;
    std::vector<QIcon> icons{f.windowIcon()};
    for (QToolButton* b : f.findChildren<QToolButton*>())
        icons.push_back(b->icon());
    ASSERT_EQ(icons.size(), 13u);
    for (qreal scale : {1.0, 2.0}) {
        for (const QIcon& icon : icons) {
            const QImage image = icon.pixmap(QSize(20, 20), scale).toImage();
            ASSERT_EQ(image.width(), int(20 * scale));
            int inked = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    inked += qAlpha(image.pixel(x, y)) > 128;
            EXPECT_GT(inked, image.width() * image.height() / 20) << "scale " << scale;
        }
    }
}

TEST(TzPreview, PageArrivalSetsTheMovesAndTheLabel)
{
    struct Case {
        int pages;
        const char* label;
        std::string moves;
    };
    const Case cases[] = {
        {1, "第 1 页(共 1 页)", "0000"},
        {2, "第 1 页(共 2 页)", "0011"},
        {3, "第 1 页(共 3 页)", "0011"},
        {12, "第 1 页(共 12 页)", "0011"},
    };
    for (const Case& c : cases) {
        Window w;
        w.attach(MakeStore(c.pages));
        EXPECT_EQ(Label(*w.form), U(c.label));
        EXPECT_EQ(Moves(*w.form), c.moves) << c.pages << " pages";
    }
}

TEST(TzPreview, WalkThroughThreePages)
{
    Window w;
    TPreviewWindow& f = *w.form;
    w.attach(MakeStore(3));
    struct Step {
        QToolButton* button;
        const char* label;
        std::string moves;
    };
    const Step steps[] = {
        {f.NextPageButton, "第 2 页(共 3 页)", "1111"},  {f.NextPageButton, "第 3 页(共 3 页)", "1100"},
        {f.PriorPageButton, "第 2 页(共 3 页)", "1111"}, {f.FirstPageButton, "第 1 页(共 3 页)", "0011"},
        {f.LastPageButton, "第 3 页(共 3 页)", "1100"},  {f.PriorPageButton, "第 2 页(共 3 页)", "1111"},
        {f.PriorPageButton, "第 1 页(共 3 页)", "0011"},
    };
    for (const Step& s : steps) {
        s.button->click();
        EXPECT_EQ(Label(f), U(s.label));
        EXPECT_EQ(Moves(f), s.moves) << s.label;
        EXPECT_EQ(f.PageView->PageNumber(), Label(f).section(' ', 1, 1).toInt());
    }
}

// Keys as a document viewer's, each in turn from page 2 of 3 at 100 % (a
// closed window has let go of its store).
TEST(TzPreview, Keys)
{
    struct Case {
        int key;
        Qt::KeyboardModifiers mods;
        int page;
        int zoom;
        bool open;
    };
    const Qt::KeyboardModifiers none = Qt::NoModifier, ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier;
    const Case cases[] = {
        {Qt::Key_PageDown, none, 3, 100, true},
        {Qt::Key_PageUp, none, 1, 100, true},
        {Qt::Key_Home, none, 1, 100, true},
        {Qt::Key_End, none, 3, 100, true},
        {Qt::Key_Equal, ctrl, 2, 110, true},
        {Qt::Key_Plus, ctrl, 2, 110, true},
        {Qt::Key_Minus, ctrl, 2, 90, true},
        {Qt::Key_Escape, none, 1, 100, false},
        // Ends a preview run; a window outside a run has nothing to end.
        {Qt::Key_Escape, shift, 2, 100, true},
    };
    for (const Case& c : cases) {
        FakeDialogs dialogs;
        TPreviewWindow form(nullptr, &dialogs);
        form.setAttribute(Qt::WA_DeleteOnClose, false);
        form.show();
        form.PageView->setQRPrinter(MakeStore(3));
        Pump();
        form.NextPageButtonClick();
        pressKey(form.PageView, c.key, c.mods);
        const std::string key = QKeySequence(c.key | c.mods).toString().toStdString();
        EXPECT_EQ(form.PageView->PageNumber(), c.page) << key;
        EXPECT_EQ(form.PageView->Zoom(), c.zoom) << key;
        EXPECT_EQ(form.isVisible(), c.open) << key;
    }
}

// The tooltips name the buttons and their keys.
TEST(TzPreview, TooltipsNameTheShortcuts)
{
    Window w;
    TPreviewWindow& f = *w.form;
    const std::pair<QWidget*, const char*> tips[] = {
        {f.FitButton, "满页"},
        {f.ActualSizeButton, "100%（Ctrl+0）"},
        {f.PageWidthButton, "页宽"},
        {f.ZoomBox, "缩放比例（Ctrl++ 放大，Ctrl+- 缩小，Ctrl+0 为 100%）"},
        {f.FirstPageButton, "第一页（Home）"},
        {f.PriorPageButton, "上一页（PgUp）"},
        {f.NextPageButton, "下一页（PgDn）"},
        {f.LastPageButton, "最后一页（End）"},
        {f.PrintButton, "打印（Ctrl+P）"},
        {f.CloseButton, "关闭（Esc）"},
        {f.ButtonStopRun, "结束预览（Shift+Esc）：关闭本窗口，其余各行不再显示"},
    };
    for (const auto& [widget, tip] : tips)
        EXPECT_EQ(widget->toolTip(), U(tip)) << widget->objectName().toStdString();
}

TEST(TzPreview, EachFurtherPageNoticeReturnsToPage1)
{
    Window w;
    TPreviewWindow& f = *w.form;
    auto store = MakeStore(2);
    w.attach(store);
    f.NextPageButton->click();
    ASSERT_EQ(f.PageView->PageNumber(), 2);
    store->AddPage(MakePage(kA4Width, kA4Length));
    Pump();
    EXPECT_EQ(f.PageView->PageNumber(), 1);
    EXPECT_EQ(Label(f), U("第 1 页(共 3 页)"));
    EXPECT_EQ(Moves(f), "0011");
}

TEST(TzPreview, ZoomBoxStepsByTenFromItsValueAndStopsAtItsEnds)
{
    struct Case {
        int start;
        int steps;
        int expected;
    };
    const Case cases[] = {{87, 1, 97},  {87, -1, 77}, {295, 1, 300}, {300, 1, 300},
                          {15, -1, 10}, {10, -3, 10}, {87, 30, 300}};
    for (const Case& c : cases) {
        Window w;
        w.attach(MakeStore(1));
        w.viewForFitZoom(c.start);
        w.form->FitButtonClick();
        ASSERT_EQ(w.form->PageView->Zoom(), c.start);
        ASSERT_EQ(w.form->ZoomBox->value(), c.start);
        w.form->ZoomBox->stepBy(c.steps);
        EXPECT_EQ(w.form->ZoomBox->value(), c.expected) << c.start << " + " << c.steps;
        EXPECT_EQ(w.form->PageView->Zoom(), c.expected);
        EXPECT_EQ(w.form->PageView->ZoomState(), qr::qrZoomOther);
    }
}

TEST(TzPreview, FittedZoomOutsideTheBoxRange)
{
    struct Case {
        bool width;
        int fitted;
        int boxBefore;
        int box;
        int zoom;
        qr::TQRZoomState state;
    };
    const Case cases[] = {
        {true, 320, 100, 300, 300, qr::qrZoomOther},    // box changes: applies 300
        {true, 320, 300, 300, 320, qr::qrZoomToWidth},  // box unchanged: keeps 320
        {true, 150, 100, 150, 150, qr::qrZoomOther},   {false, 5, 100, 10, 10, qr::qrZoomOther},
        {false, 5, 10, 10, 5, qr::qrZoomToFit},
    };
    for (const Case& c : cases) {
        Window w;
        w.attach(MakeStore(1));
        w.form->ZoomBox->setValue(c.boxBefore);
        if (c.width) {
            w.viewForWidthZoom(c.fitted);
            w.form->PageWidthButtonClick();
        } else {
            w.viewForFitZoom(c.fitted);
            w.form->FitButtonClick();
        }
        EXPECT_EQ(w.form->ZoomBox->value(), c.box) << c.fitted << " from " << c.boxBefore;
        EXPECT_EQ(w.form->PageView->Zoom(), c.zoom) << c.fitted << " from " << c.boxBefore;
        EXPECT_EQ(w.form->PageView->ZoomState(), c.state) << c.fitted << " from " << c.boxBefore;
    }
}

TEST(TzPreview, HundredPercentAlwaysLeavesAChosenZoom)
{
    struct Case {
        void (TPreviewWindow::*before)();
        int fitted;
    };
    const Case cases[] = {{&TPreviewWindow::FitButtonClick, 100},
                          {&TPreviewWindow::FitButtonClick, 60},
                          {&TPreviewWindow::PageWidthButtonClick, 100},
                          {&TPreviewWindow::PageWidthButtonClick, 250},
                          {&TPreviewWindow::ActualSizeButtonClick, 100}};
    for (const Case& c : cases) {
        Window w;
        w.attach(MakeStore(1));
        if (c.before == &TPreviewWindow::PageWidthButtonClick)
            w.viewForWidthZoom(c.fitted);
        else
            w.viewForFitZoom(c.fitted);
        (w.form->*c.before)();
        w.form->ActualSizeButtonClick();
        EXPECT_EQ(w.form->PageView->Zoom(), 100);
        EXPECT_EQ(w.form->ZoomBox->value(), 100);
        EXPECT_EQ(w.form->PageView->ZoomState(), qr::qrZoomOther) << c.fitted;
    }
}

TEST(TzPreview, SaveDialogFilterAndDefaultExtension)
{
    EXPECT_EQ(TSaveDialog::QtFilter(U("文本文件(*.TXT)|*.TXT")), U("文本文件(*.TXT)"));
    EXPECT_EQ(TSaveDialog::QtFilter("Text|*.txt;*.asc|All|*.*"), U("Text (*.txt *.asc);;All (*.*)"));
    struct Case {
        const char* typed;
        const char* saved;
    };
    const Case cases[] = {
        {"/tmp/out", "/tmp/out.TXT"},  {"/tmp/out.txt", "/tmp/out.txt"},     {"/tmp/out.TXT", "/tmp/out.TXT"},
        {"/tmp/out.", "/tmp/out.TXT"}, {"/tmp/a.d/out", "/tmp/a.d/out.TXT"}, {"/tmp/表一", "/tmp/表一.TXT"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TSaveDialog::WithDefaultExt(U(c.typed), "TXT"), U(c.saved)) << c.typed;
}

// A report whose one page carries a line of text; the store is prepared from
// it, so the export prepares the same page again.
struct ExportWindow : Window {
    qr::TQuickRep report;
    std::shared_ptr<qr::TQRPrinter> store;
    ExportWindow()
    {
        qr::TQRBand* band = report.AddBand("band", qr::rbPageHeader, 30);
        band->AddLabel("line", 10, 10, 80, 6, 1)->Caption = QStringLiteral("工资变动审批");
        store = std::make_shared<qr::TQRPrinter>(&report);
        report.Prepare(*store);
        attach(store);
    }
};

QByteArray ReadAll(const QString& name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(TzPreview, SavingWritesTheTextFile)
{
    const QByteArray line = QByteArray::fromStdString(vdmq::gb("工资变动审批"));
    struct Case {
        const char* typed;
        const char* written;
    };
    const Case cases[] = {
        {"form", "form.TXT"},  // the default extension
        {"表格.txt", "表格.txt"},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString target = dir.filePath(U(c.written));
        ExportWindow w;
        w.dialogs.answer = dir.filePath(U(c.typed));
        w.form->SaveButtonClick();
        EXPECT_EQ(w.dialogs.saveDialogs, 1);
        EXPECT_EQ(w.dialogs.lastFilter, U("文本文件(*.TXT)"));
        EXPECT_TRUE(w.dialogs.errors.empty());
        const QByteArray text = ReadAll(target);
        EXPECT_TRUE(text.contains(line)) << c.typed;
        EXPECT_TRUE(text.endsWith("\r\n"));
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1) << c.typed;
    }
}

TEST(TzPreview, SuggestedNameIsTheRowAndThePerson)
{
    struct Case {
        int row;
        const char* name;
        const char* ext;
        const char* suggested;
    };
    const Case cases[] = {
        {7, "李明远", "TXT", "第7行_李明远.TXT"},
        {12, " 张/三:\t ", "pdf", "第12行_张三.pdf"},  // no folder or drive in the name
        {9, "", "TXT", "第9行.TXT"},
        {0, "李明远", "TXT", "审批表.TXT"},  // no row known
    };
    for (const Case& c : cases) {
        Window w;
        w.form->SetFormOrigin(c.row, U(c.name));
        EXPECT_EQ(w.form->SuggestedFileName(U(c.ext)), U(c.suggested)) << c.name;
    }
}

// Both exports start in the export folder with the suggested name, and an
// existing file is replaced only when the user says so; "no" brings the
// dialog back.
TEST(TzPreview, ExportsAskBeforeReplacingAFile)
{
    struct Case {
        const char* what;
        bool pdf;
        bool existing;
        std::vector<bool> answers;
        int dialogs;
        int questions;
        bool written;
    };
    const Case cases[] = {
        {"text, new file", false, false, {}, 1, 0, true},
        {"text, replace", false, true, {true}, 1, 1, true},
        {"text, no then yes", false, true, {false, true}, 2, 2, true},
        {"text, no then cancel", false, true, {false}, 3, 2, false},
        {"pdf, new file", true, false, {}, 1, 0, true},
        {"pdf, keep", true, true, {false}, 3, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString name = c.pdf ? U("第7行_李明远.pdf") : U("第7行_李明远.TXT");
        const QString target = dir.filePath(name);
        if (c.existing) {
            QFile old(target);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write(QByteArray(5000, 'x'));
        }
        ExportWindow w;
        w.form->SetFormOrigin(7, U("李明远"));
        w.dialogs.folder = dir.path();
        w.dialogs.replaceAnswers = c.answers;
        w.dialogs.maxDialogs = 2;
        if (c.pdf)
            w.form->PdfButton->click();
        else
            w.form->SaveButton->click();
        EXPECT_EQ(w.dialogs.offered, target);
        EXPECT_EQ(w.dialogs.lastFilter, c.pdf ? U("PDF文件(*.pdf)") : U("文本文件(*.TXT)"));
        EXPECT_EQ(w.dialogs.saveDialogs, c.dialogs);
        EXPECT_EQ(int(w.dialogs.replaceQuestions.size()), c.questions);
        EXPECT_TRUE(w.dialogs.errors.empty());
        const QByteArray bytes = ReadAll(target);
        EXPECT_EQ(!bytes.contains("xxxxx"), c.written);
        if (c.written && c.pdf) {
            EXPECT_TRUE(bytes.startsWith("%PDF-"));
            EXPECT_TRUE(bytes.trimmed().endsWith("%%EOF"));
        } else if (c.written) {
            EXPECT_TRUE(bytes.contains(QByteArray::fromStdString(vdmq::gb("工资变动审批"))));
        }
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
    }
}

// 打印设置 only stores the choices: its dialog confirms with 确定, not with a
// button that says it prints.
TEST(TzPreview, PrintSetupDialogConfirmsWithOk)
{
    if (QPrinterInfo::availablePrinterNames().isEmpty())
        GTEST_SKIP() << "no printer installed; run scripts/start-cups as root first";
    qr::InstallWidgetPrintBackend();
    ExportWindow w;
    w.form->show();
    QStringList seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QPrintDialog*>(top);
            if (!dialog || !dialog->isVisible())
                continue;
            for (QPushButton* b : dialog->findChildren<QPushButton*>())
                if (b->isVisible())
                    seen << b->text();
            dialog->accept();
        }
    });
    poll.start(50);
    w.form->PrintSetupButtonClick();
    poll.stop();
    qr::SetPrintBackend(nullptr);
    EXPECT_TRUE(seen.contains(U("确定"))) << seen.join(' ').toStdString();
    for (const QString& text : seen)
        EXPECT_FALSE(text.contains("Print", Qt::CaseInsensitive) || text.contains(U("打印"))) << text.toStdString();
    EXPECT_FALSE(w.report.PrinterSettings.PrinterName.isEmpty()) << "the choice was not stored";
}

// With no printer, 打印, 打印设置 and Ctrl+P did nothing and said nothing;
// now each says why, as the main window's 打印 does, and nothing is printed.
TEST(TzPreview, WithoutAPrinterPrintButtonsSaySo)
{
    struct NoPrinter : qr::TQRPrintBackend {
        int calls = 0;
        bool HasPrinter() const override { return false; }
        void PrintPages(const qr::TQRPrinter&, const qr::TQRPrinterSettings&) override { ++calls; }
        bool PrintSetup(qr::TQRPrinterSettings&, int) override { return bool(++calls); }
        void WithProgress(const QString&, const std::function<void()>& work) override { work(); }
    } backend;
    qr::SetPrintBackend(&backend);
    ExportWindow w;
    w.form->show();
    w.form->activateWindow();
    for (int i = 0; i < 100 && !w.form->isActiveWindow(); ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    const struct {
        const char* what;
        std::function<void()> press;
        const char* said;
    } cases[] = {
        {"打印", [&] { w.form->PrintButton->click(); }, "没有打印：本机没有可用的打印机"},
        {"Ctrl+P", [&] { pressKey(w.form->PageView, Qt::Key_P, Qt::ControlModifier); },
         "没有打印：本机没有可用的打印机"},
        {"打印设置", [&] { w.form->PrintSetupButton->click(); }, "无法设置打印机：本机没有可用的打印机"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        w.dialogs.messages.clear();
        c.press();
        ASSERT_EQ(w.dialogs.messages.size(), 1u);
        EXPECT_TRUE(w.dialogs.messages[0].startsWith(U(c.said))) << w.dialogs.messages[0].toStdString();
        EXPECT_TRUE(w.dialogs.messages[0].contains(U("导出PDF"))) << w.dialogs.messages[0].toStdString();
    }
    EXPECT_EQ(backend.calls, 0);
    EXPECT_TRUE(w.dialogs.errors.empty());
    qr::SetPrintBackend(nullptr);
}

// The roster and the settings file are no place for an export: choosing one
// (or a link to it) in 存盘 or 导出PDF says why and brings the dialog back;
// the file is not asked about, nor touched.
TEST(TzPreview, ExportsRefuseTheRoster)
{
    QTemporaryDir dir;
    const QString roster = dir.filePath(U("名单.xls"));
    {
        QFile f(roster);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("roster bytes");
    }
    ASSERT_TRUE(QFile::link(roster, dir.filePath("link.TXT")));
    vdmq::ProtectFromOutput(U("花名册"), {roster});
    for (const bool pdf : {false, true})
        for (const QString& target : {roster, dir.filePath("link.TXT")}) {
            SCOPED_TRACE(target.toStdString() + (pdf ? " pdf" : " text"));
            ExportWindow w;
            w.dialogs.answer = target;
            w.dialogs.maxDialogs = 2;
            (pdf ? w.form->PdfButton : w.form->SaveButton)->click();
            EXPECT_EQ(w.dialogs.saveDialogs, 3);  // asked again, then cancelled
            ASSERT_EQ(w.dialogs.errors.size(), 2u);
            EXPECT_TRUE(w.dialogs.errors[0].contains(U("花名册"))) << w.dialogs.errors[0].toStdString();
            EXPECT_TRUE(w.dialogs.replaceQuestions.empty());
            EXPECT_EQ(ReadAll(roster), QByteArray("roster bytes"));
        }
    vdmq::ProtectFromOutput(U("花名册"), {});
}

TEST(TzPreview, WithoutAStoreEveryButtonDoesNothing)
{
    Window w;
    TPreviewWindow& f = *w.form;
    for (QToolButton* b : {f.FirstPageButton, f.PriorPageButton, f.NextPageButton, f.LastPageButton, f.PrintButton,
                           f.PrintSetupButton, f.SaveButton, f.PdfButton}) {
        b->click();
        EXPECT_EQ(Label(f), U("第页（共页）")) << b->objectName().toStdString();
        EXPECT_EQ(Moves(f), "1111") << b->objectName().toStdString();
    }
    EXPECT_EQ(w.dialogs.saveDialogs, 0);
    EXPECT_TRUE(w.dialogs.errors.empty());
    // The zoom buttons still zoom the empty view; nothing fails.
    f.FitButton->click();
    f.PageWidthButton->click();
    f.ActualSizeButton->click();
    EXPECT_EQ(f.PageView->Zoom(), 100);
}

TEST(TzPreview, ClosingReleasesTheStoreAndDestroysTheWindow)
{
    FakeDialogs dialogs;
    QPointer<TPreviewWindow> form = new TPreviewWindow(nullptr, &dialogs);
    auto store = MakeStore(1);
    form->PageView->setQRPrinter(store);
    form->show();
    Pump();
    ASSERT_TRUE(store->Shown());
    form->CloseButton->click();
    EXPECT_FALSE(store->Shown()) << "the waiting preview run goes on at once";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(form.isNull());
}

}  // namespace
