// The printer dialog of the preview's 打印设置 on the real CUPS queues of
// scripts/start-cups ("PDF": cups-pdf, every paper; "A4Only": A4 and Letter
// only).  It opens on the paper in use, its 属性 page included; a paper
// chosen there serves that report's prints unless the user ticks the box
// that keeps it; nothing writes "Paper" behind the user's back.
#include "app/core/paper.h"
#include "app/core/settings.h"
#include "app/ui/VdPaperPrint.h"
#include "form/VdCalibration.h"
#include "platform/gbtext.h"

#include "file_helpers.h"
#include "page_helpers.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace vdmq;

namespace {

// Runs `act` once on the first visible dialog that `match` accepts, from the
// event loop of whatever dialog is running then.
void whenShown(const std::function<bool(QDialog*)>& match, const std::function<void(QDialog*)>& act)
{
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, match, act] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* d = qobject_cast<QDialog*>(w);
            if (d && d->isVisible() && match(d)) {
                timer->stop();
                timer->deleteLater();
                act(d);
                return;
            }
        }
    });
    timer->start();
}

bool isPrintDialog(QDialog* d) { return qobject_cast<QPrintDialog*>(d) != nullptr; }
bool isPropertiesPage(QDialog* d)
{
    return !isPrintDialog(d) && d->findChild<QComboBox*>(QStringLiteral("pageSizeCombo")) != nullptr;
}

QSizeF comboPaper(QComboBox* box)
{
    const QVariant v = box->currentData();
    return v.canConvert<QPageSize>() ? v.value<QPageSize>().size(QPageSize::Millimeter) : QSizeF();
}

bool near(const QSizeF& a, const QSizeF& b)
{
    return std::abs(a.width() - b.width()) <= 1 && std::abs(a.height() - b.height()) <= 1;
}

class PrintDialogPaper : public ::testing::Test {
protected:
    QTemporaryDir dir;
    TVdPrintBackend backend;
    QString ini() const { return dir.filePath("vdmq.ini"); }
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "not run as root: needs the CUPS queues of scripts/start-cups";
        const QStringList queues = QPrinterInfo::availablePrinterNames();
        if (!queues.contains("PDF") || !queues.contains("A4Only"))
            GTEST_SKIP() << "CUPS queues \"PDF\" and \"A4Only\" missing: run scripts/start-cups first";
        Vdcs.AppDir = toGb(dir.path());
        PaperNote() = [](QWidget*, const QString&) {};
    }

    struct Seen {
        QSizeF properties;  // the 属性 page's paper when it opened
        QString note;       // the dialog's line about the paper
        bool remember = false;
    };
    // 打印设置 with `printer` chosen (empty: as it opens); opens 属性 and
    // picks `pick` there when given; ticks the box when `remember`.
    bool setUp(qr::TQRPrinterSettings& settings, const char* printer, bool openProperties, const QSizeF& pick,
               bool remember, Seen& seen)
    {
        whenShown(isPrintDialog, [&](QDialog* d) {
            if (auto* label = d->findChild<QLabel*>(QStringLiteral("vdmqPaperNote")))
                seen.note = label->text();
            if (printer) {
                auto* printers = d->findChild<QComboBox*>(QStringLiteral("printers"));
                printers->setCurrentIndex(printers->findText(QString::fromLatin1(printer)));
            }
            if (remember)
                d->findChild<QCheckBox*>(QStringLiteral("vdmqRememberPaper"))->setChecked(true);
            if (openProperties) {
                whenShown(isPropertiesPage, [&](QDialog* page) {
                    auto* box = page->findChild<QComboBox*>(QStringLiteral("pageSizeCombo"));
                    seen.properties = comboPaper(box);
                    if (pick.isValid())
                        for (int i = 0; i < box->count(); ++i)
                            if (box->itemData(i).canConvert<QPageSize>() &&
                                near(box->itemData(i).value<QPageSize>().size(QPageSize::Millimeter), pick))
                                box->setCurrentIndex(i);
                    page->accept();
                });
                d->findChild<QPushButton*>(QStringLiteral("properties"))->click();
            }
            d->accept();
        });
        return backend.PrintSetup(settings, 1);
    }
};

// 打印设置 → 确定 with nothing touched wrote Paper=A4, and so did picking
// the A4Only queue; the 属性 page opened on A4 while the paper was B5.
TEST_F(PrintDialogPaper, OpensOnThePaperInUseAndWritesNothing)
{
    const QSizeF b5 = PaperSizeMm(TPaper::B5), a4 = PaperSizeMm(TPaper::A4);
    const std::string before = "[xtcs]\r\nFile=x\r\n";
    struct Case {
        const char* what;
        const char* printer;
        bool properties;
        QSizeF pick;
        bool remember;
        QSizeF shown;                  // on the 属性 page as it opened
        std::optional<QSizeF> oneOff;  // the paper kept for this report's prints
        const char* written;           // the file's "Paper" afterwards; nullptr: none
    } cases[] = {
        {"确定 at once", "PDF", false, {}, false, {}, std::nullopt, nullptr},
        {"A4Only picked", "A4Only", false, {}, false, {}, std::nullopt, nullptr},
        {"属性 looked at", "PDF", true, {}, false, b5, std::nullopt, nullptr},
        {"属性 looked at, box ticked", "PDF", true, {}, true, b5, std::nullopt, nullptr},
        {"A4 picked in 属性", "PDF", true, a4, false, b5, a4, nullptr},
        {"A4 picked in 属性 and kept", "PDF", true, a4, true, b5, std::nullopt, "A4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testfiles::writeAll(ini(), before);
        qr::TQRPrinterSettings settings;
        Seen seen;
        ASSERT_TRUE(setUp(settings, c.printer, c.properties, c.pick, c.remember, seen));
        EXPECT_TRUE(seen.note.contains(QStringLiteral("B5（182×257 mm）"))) << seen.note.toStdString();
        if (c.properties) {
            EXPECT_TRUE(near(seen.properties, c.shown)) << seen.properties.width() << " x " << seen.properties.height();
        }
        EXPECT_EQ(settings.SheetMm.has_value(), c.oneOff.has_value());
        if (c.oneOff && settings.SheetMm) {
            EXPECT_TRUE(near(*settings.SheetMm, *c.oneOff));
        }
        EXPECT_FALSE(settings.Placement.has_value());
        if (c.written) {
            EXPECT_EQ(testfiles::readAll(ini()), before + "[vdmq]\r\nPaper=" + c.written + "\r\n");
        } else {
            EXPECT_EQ(testfiles::readAll(ini()), before);
        }
    }
}

// A paper chosen for one report: its dialog opens on it the next time, and
// its prints go out on it while the remembered paper stays B5.
TEST_F(PrintDialogPaper, APaperChosenForOneReportServesItsPrints)
{
    testfiles::writeAll(ini(), "[vdmq]\r\nPaper=B5\r\n");
    qr::TQRPrinterSettings settings;
    Seen seen;
    ASSERT_TRUE(setUp(settings, "PDF", true, PaperSizeMm(TPaper::A4), false, seen));
    ASSERT_TRUE(settings.SheetMm.has_value());
    Seen again;
    ASSERT_TRUE(setUp(settings, nullptr, true, {}, false, again));
    EXPECT_TRUE(again.note.contains(QStringLiteral("A4"))) << again.note.toStdString();
    EXPECT_TRUE(near(again.properties, PaperSizeMm(TPaper::A4)));
    EXPECT_EQ(LoadPaperSettings(ini()).Paper, TPaper::B5);

    // Printed to a file, the page is A4; a report without the choice, B5.
    for (const bool oneOff : {true, false}) {
        qr::TQRPrinter store;
        store.AddPage(FormLayoutPage());
        store.SetStatus(qr::mpFinished);
        qr::TQRPrinterSettings print = oneOff ? settings : qr::TQRPrinterSettings{};
        print.OutputFileName = dir.filePath(oneOff ? "one-off.pdf" : "remembered.pdf");
        backend.PrintPages(store, print);
        const QSizeF got = testpages::pageSizeMm(print.OutputFileName);
        EXPECT_TRUE(near(got, PaperSizeMm(oneOff ? TPaper::A4 : TPaper::B5))) << got.width() << " x " << got.height();
    }
}

}  // namespace
