// The plain-text export against hand-computed files.  The cell of the
// 9.75-point report font counts as 10 points: 35.2777... tenths square.
#include "file_helpers.h"
#include "report_helpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

using namespace qrtest;

namespace {

constexpr double kCell = 10 * 254.0 / 72.0;

qr::QRItem text(double x, double y, const std::string& t, qr::TAlignment a = qr::taLeftJustify)
{
    qr::QRItem it;
    it.kind = qr::QRItem::Text;
    it.alignment = a;
    it.text = vdmq::fromGb(t);
    // ExportPage hands the right edge of a right-aligned text, else its left.
    it.rect = a == qr::taRightJustify ? QRectF(x - 50, y, 50, 35) : QRectF(x, y, 50, 35);
    return it;
}

std::string readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll().toStdString();
}

qr::QRPageImage formPage(std::vector<qr::QRItem> items)
{
    qr::QRPageImage p;
    p.width = 1820;
    p.length = 2570;  // 73 lines of the 10-point cell
    p.items = std::move(items);
    return p;
}

struct AsciiCase {
    const char* name;
    std::vector<qr::QRItem> items;
    std::string expected;
};

class AsciiExport : public ::testing::TestWithParam<AsciiCase> {};

TEST_P(AsciiExport, WritesTheHandComputedFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("out.txt");
    qr::TQRAsciiExportFilter f(path);
    qr::TQRFont reportFont;  // 宋体 9.75
    f.Start(1820, 2570, reportFont);
    qr::ExportPage(f, formPage(GetParam().items));
    f.Finish();
    EXPECT_EQ(readAll(path), GetParam().expected);
}

const std::string kZhongWen = vdmq::gb("中文");

INSTANTIATE_TEST_SUITE_P(
    Algorithm, AsciiExport,
    ::testing::Values(
        // x 100 -> 100/cell*1.7 = 4.82 -> column 5: four blanks, then the text.
        AsciiCase{"LeftTextPaddedToItsColumn", {text(0, 0, "AB"), text(100, 100, "CD")}, "AB\r\n    CD\r\n"},
        // Right-justified at x 200: 9.64 - 2 bytes = 7.64 -> column 8.
        AsciiCase{"RightTextEndsAtItsColumn",
                  {text(100, 100, "CD"), text(200, 110, "EF", qr::taRightJustify)},
                  "    CD EF\r\n"},
        AsciiCase{"LaterTextOverwrites",
                  {text(100, 100, "CD"), text(200, 110, "EF", qr::taRightJustify), text(100, 90, "XY")},
                  "    XY EF\r\n"},
        // A Chinese text counts its bytes: 19.28 - 4 = 15.28 -> column 15.
        AsciiCase{"ChineseRightJustifiedCountsBytes",
                  {text(400, 500, kZhongWen, qr::taRightJustify)},
                  std::string(14, ' ') + kZhongWen + "\r\n"},
        // y 2540 is line 72, the last of 73; y 2560 rounds to line 73 (with a
        // 9.75-point cell it would be line 74 of 75 and be written).
        AsciiCase{"OnlyThePagesLinesAreWritten",
                  {text(0, 2540, "LAST"), text(0, 2560, "GONE"), text(0, 7000, "FAR")},
                  "LAST\r\n"},
        // Beyond the 201-line buffer or above line 0: dropped, no harm done.
        AsciiCase{
            "OutOfBufferTextsDropped",
            {text(0, -50, "NEG"), text(0, 201 * kCell, "OVER"), text(0, 250 * kCell, "WAYOVER"), text(0, 0, "OK")},
            "OK\r\n"},
        AsciiCase{"LineRoundsHalfUp", {text(0, 0.5 * kCell, "B"), text(0, 0.49 * kCell, "A")}, "A\r\nB\r\n"},
        AsciiCase{"EmptyPageWritesNothing", {}, ""},
        // x 41.5 is column 2, the second byte of 中: the cut character is
        // blanked, never left as a stray lead byte.
        AsciiCase{"OverwriteStartingInsideACharacterBlanksIt",
                  {text(0, 0, kZhongWen), text(41.5, 0, "X")},
                  " X" + vdmq::gb("文") + "\r\n"},
        AsciiCase{"OverwriteEndingInsideACharacterBlanksIt", {text(0, 0, kZhongWen), text(41.5, 0, "AB")}, " AB \r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AsciiExportFile, EmptiedOnFirstStartThenAppended)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("form.TXT");
    testfiles::writeAll(path, "stale contents that must go\r\n");
    qr::TQRAsciiExportFilter f(path);
    f.Start(1820, 2570, {});
    qr::ExportPage(f, formPage({text(0, 0, "P1")}));
    qr::ExportPage(f, formPage({text(0, kCell, "P2")}));  // the buffer is cleared per page
    f.Finish();
    f.Start(1820, 2570, {});
    qr::ExportPage(f, formPage({text(0, 0, "R2")}));
    f.Finish();
    EXPECT_EQ(readAll(path), "P1\r\nP2\r\nR2\r\n");
}

TEST(AsciiExportFile, ThroughPreparation)
{
    qr::TQRBand* band = nullptr;
    auto rep = oneBandReport(&band);
    qr::TQRLabel* l = band->AddLabel("l", 10, 20, 40, 3.7, 1);
    l->Caption = QStringLiteral("中国");
    l->Font.Size = 10;
    qr::TQRLabel* r = band->AddLabel("r", 10, 20, 40, 3.7, 2);
    r->Caption = "12.50";
    r->Alignment = qr::taRightJustify;  // ends at x 500: 24.09 - 5 -> column 19
    QTemporaryDir dir;
    const QString path = dir.filePath("prep.txt");
    qr::TQRAsciiExportFilter f(path);
    qr::TQRPrinter store(rep.get());
    rep->Prepare(store, &f);
    // y 200 -> line 6; x 100 -> column 5.
    EXPECT_EQ(readAll(path), "    " + vdmq::gb("中国") + std::string(18 - 8, ' ') + "12.50\r\n");
    EXPECT_EQ(store.PageCount(), 1);
}

// The export goes to a temporary file beside the target and replaces it
// at Finish: a full disk or a file-size limit fails with the file and the
// reason, and the export that was there stays whole, with no temporary
// left.  A filter that gathers several preparations (a whole run) puts
// the file in place only at Commit.
TEST(AsciiExportFile, WrittenWholeOrNotAtAll)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("form.TXT");
    const std::string line(150, 'x');
    std::vector<qr::QRItem> items;
    for (int i = 0; i < 70; ++i)
        items.push_back(text(0, i * kCell, line));  // some 10 kB a page
    const qr::QRPageImage page = formPage(items);
    auto exportPages = [&](qr::TQRAsciiExportFilter& f, int pages) {
        f.Start(1820, 2570, {});
        for (int i = 0; i < pages; ++i)
            qr::ExportPage(f, page);
        f.Finish();
    };
    struct Case {
        const char* name;
        QString target;
        rlim_t limit;
        int error;
    } cases[] = {
        {"size limit", path, 25000, EFBIG},
        {"full device", QStringLiteral("/dev/full"), RLIM_INFINITY, ENOSPC},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testfiles::writeAll(path, "the export of yesterday\r\n");
        std::string what;
        {
            testfiles::ScopedFileSizeLimit limit(c.limit);
            try {
                qr::TQRAsciiExportFilter f(c.target);
                exportPages(f, 5);
            } catch (const qr::EInOutError& e) {
                what = e.what();
            }
        }
        ASSERT_FALSE(what.empty()) << "reported as written";
        EXPECT_NE(what.find(c.target.toStdString()), std::string::npos) << what;
        EXPECT_NE(what.find(std::strerror(c.error)), std::string::npos) << what;
        EXPECT_EQ(readAll(path), "the export of yesterday\r\n");
        EXPECT_EQ(testfiles::entries(dir.path()), QStringList{"form.TXT"});
    }

    {
        qr::TQRAsciiExportFilter run(path);
        run.HoldUntilCommit();
        exportPages(run, 1);
        exportPages(run, 1);
        EXPECT_EQ(readAll(path), "the export of yesterday\r\n");  // not yet
        run.Commit();
    }
    EXPECT_EQ(QFileInfo(path).size(), 2 * 70 * 152);
    {
        qr::TQRAsciiExportFilter run(path);
        run.HoldUntilCommit();
        exportPages(run, 1);
    }  // never committed: the run failed
    EXPECT_EQ(QFileInfo(path).size(), 2 * 70 * 152);
    EXPECT_EQ(testfiles::entries(dir.path()), QStringList{"form.TXT"});
}

TEST(AsciiExportFile, UnwritableFileNamesFileAndReason)
{
    const QString path = QDir::tempPath() + "/no-such-dir-vdmq/x.txt";
    qr::TQRAsciiExportFilter f(path);
    try {
        f.Start(1820, 2570, {});
        FAIL() << "no error";
    } catch (const qr::EInOutError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find(path.toStdString()), std::string::npos) << what;
        EXPECT_GT(what.size(), std::size_t(path.size()) + 10) << what;
    }
}

}  // namespace
