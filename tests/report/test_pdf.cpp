// The PDF writer: many pages of their own sizes, embedded fonts, text that
// can be found again.
#include "file_helpers.h"
#include "report_helpers.h"

#include "report/core/qrpdffix.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <zlib.h>

using namespace qrtest;
using testfiles::entries;
using testfiles::readAll;
using testfiles::writeAll;

namespace {

qr::QRPageImage page(double w, double l, const char* caption)
{
    qr::TQRBand* band = nullptr;
    auto rep = oneBandReport(&band);
    rep->Page.SetValue(qr::TQRPage::Width, w);
    rep->Page.SetValue(qr::TQRPage::Length, l);
    qr::TQRLabel* lab = band->AddLabel("l", 10, 10, 150, 3.7, 1);
    lab->Caption = QString::fromUtf8(caption);
    lab->Font.Size = 10;
    band->AddShape("s", 10, 20, 100, 0.26, 2);
    return rep->PrepareNew()->Page(1);
}

TEST(PdfWriter, PagesSizesFontsAndSearchableText)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("forms.pdf");
    {
        qr::TQRPdfWriter w(path, QStringLiteral("审批表"));
        w.AddPage(page(182, 257, "国家机关事业单位工作人员工资变动审批表"));
        w.AddPage(page(210, 297, "人事局 2024年5月20日 工资"));
        w.Finish();
    }
    const QString info = run("pdfinfo", {"-f", "1", "-l", "2", path});
    EXPECT_TRUE(info.contains(QRegularExpression(R"(Page\s+1 size:\s+51[56](\.\d+)? x 72[89])"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression(R"(Page\s+2 size:\s+59[45](\.\d+)? x 84[12])"))) << info.toStdString();
    const QString text = run("pdftotext", {"-layout", path, "-"});
    // Ideographs that share their glyph with a Kangxi radical (工, 人, 日,
    // 月) must come back as the ideographs.
    EXPECT_TRUE(text.contains(QStringLiteral("国家机关事业单位工作人员工资变动审批表"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("人事局 2024年5月20日 工资"))) << text.toStdString();
    // The first text of each page starts at its label's left edge, 10 mm in.
    const QString bbox = run("pdftotext", {"-bbox", path, "-"});
    static const QRegularExpression firstWord(R"re(<page[^>]*>\s*<word xMin="([\d.]+)" yMin="([\d.]+)")re");
    int pages = 0;
    for (auto it = firstWord.globalMatch(bbox); it.hasNext(); ++pages) {
        auto m = it.next();
        EXPECT_NEAR(m.captured(1).toDouble(), 10 * 72 / 25.4, 0.5) << bbox.toStdString();
        EXPECT_NEAR(m.captured(2).toDouble(), 10 * 72 / 25.4, 3) << bbox.toStdString();
    }
    EXPECT_EQ(pages, 2);
    const QString fonts = run("pdffonts", {path});
    EXPECT_TRUE(fonts.contains("NotoSerifCJK")) << fonts.toStdString();
    EXPECT_FALSE(
        fonts.contains(QRegularExpression(R"(\bno\s+\S+\s+\S+\s+\d+\s+\d+\s*$)", QRegularExpression::MultilineOption)))
        << "every font embedded: " << fonts.toStdString();
}

// Simplified ideographs whose glyph the CJK faces share with a radical (长
// with ⻓, 门 with ⻔, 户 with ⼾ ...): a post such as 校长 came back from
// the PDF as "校⻓", 户 as the traditional 戶, and a search for them missed.
TEST(PdfWriter, SimplifiedIdeographsSharingARadicalsGlyph)
{
    // One line a page, each short enough for its label.
    const char* const lines[] = {
        "校长 局长 门卫 页 风 飞 马 见 贝 车 韦 鱼",  // names and posts
        "鸟 麦 龙 齐 齿 龟 黄 青 食 角 户口 一中中学",
        "乙 乚 丨 丿 丶 亅 十 厂 卩 阝 刂 亻 氵",  // radicals' own ideographs
        "扌 忄 艹 辶 讠 钅 饣 纟 罒 礻 衤 尢 兀",
    };
    QTemporaryDir dir;
    const QString path = dir.filePath("posts.pdf");
    {
        qr::TQRPdfWriter w(path, QStringLiteral("审批表"));
        for (const char* line : lines)
            w.AddPage(page(182, 257, line));
        w.Finish();
    }
    // pdftotext spaces narrow radicals as it likes: compare the characters.
    auto bare = [](QString t) { return t.remove(QRegularExpression(QStringLiteral("\\s"))); };
    const QString text = run("pdftotext", {path, "-"});
    for (const char* line : lines)
        EXPECT_TRUE(bare(text).contains(bare(QString::fromUtf8(line)))) << line << "\n" << text.toStdString();
}

// Which pages the writers draw on their second thread, for one test.
struct SecondThreadUse {
    explicit SecondThreadUse(qr::detail::PdfSecondThread use) { qr::detail::setPdfSecondThread(use); }
    ~SecondThreadUse() { qr::detail::setPdfSecondThread(qr::detail::PdfSecondThread::Auto); }
    SecondThreadUse(const SecondThreadUse&) = delete;
    SecondThreadUse& operator=(const SecondThreadUse&) = delete;
};

// A writer draws its pages on two threads, each into a document of its
// own with its own fonts, and joins the two: the pages come back in the
// order they were added, each on its own paper, with the text each one
// drew, radicals and the ideographs sharing their glyphs included.
TEST(PdfWriter, PagesOfTwoThreadsJoinedInOrder)
{
    using Use = qr::detail::PdfSecondThread;
    const struct Case {
        const char* name;
        Use use;
        int pages;
    } cases[] = {
        {"one thread", Use::Never, 4},
        {"every other page on the second thread", Use::EveryOther, 7},
        {"one page on the second thread", Use::EveryOther, 2},
        {"as the first thread keeps up", Use::Auto, 30},
    };
    const char* const texts[] = {"校长 局长 工资", "⻓ ⼯ 户口", "长 工 ⼾ 户", "人事局 2024年5月20日"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SecondThreadUse use(c.use);
        QTemporaryDir dir;
        const QString path = dir.filePath("forms.pdf");
        std::vector<QString> lines;
        {
            qr::TQRPdfWriter w(path, QStringLiteral("审批表"));
            for (int i = 0; i < c.pages; ++i) {
                lines.push_back(QStringLiteral("第%1页 %2").arg(i + 1).arg(QString::fromUtf8(texts[i % 4])));
                const bool a4 = i % 3 == 2;
                w.AddPage(page(a4 ? 210 : 182, a4 ? 297 : 257, lines.back().toStdString().c_str()));
            }
            w.Finish();
        }
        EXPECT_EQ(entries(dir.path()), QStringList{"forms.pdf"});
        const QString info = run("pdfinfo", {"-f", "1", "-l", QString::number(c.pages), path});
        EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral(R"(Pages:\s+%1\n)").arg(c.pages))))
            << info.toStdString();
        for (int i = 0; i < c.pages; ++i) {
            const bool a4 = i % 3 == 2;
            const QRegularExpression size(
                QStringLiteral(R"(Page\s+%1 size:\s+%2)").arg(i + 1).arg(a4 ? "59[45]" : "51[56]"));
            EXPECT_TRUE(info.contains(size)) << "page " << i + 1 << "\n" << info.toStdString();
        }
        const QStringList pages = run("pdftotext", {path, "-"}).split(QLatin1Char('\f'));
        ASSERT_GE(pages.size(), c.pages);
        auto bare = [](QString t) { return t.remove(QRegularExpression(QStringLiteral("\\s"))); };
        for (int i = 0; i < c.pages; ++i)
            EXPECT_EQ(bare(pages[i]), bare(lines[std::size_t(i)])) << "page " << i + 1;
    }
}

// Qt compresses pages at zlib's default level, which took a quarter of a
// 1,500-form run; our writer has them compressed at level 3.  Each page's
// drawing, decompressed and compressed again at level 3, gives the stored
// bytes back (at the default level it would not).
QByteArray deflated(const QByteArray& data, int level)
{
    QByteArray out(int(compressBound(uLong(data.size()))), '\0');
    uLongf size = uLongf(out.size());
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.constData()),
                  uLong(data.size()), level) != Z_OK)
        return {};
    out.truncate(qsizetype(size));
    return out;
}

QByteArray inflated(const QByteArray& data)
{
    QByteArray out(4 << 20, '\0');
    uLongf size = uLongf(out.size());
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.constData()),
                   uLong(data.size())) != Z_OK)
        return {};
    out.truncate(qsizetype(size));
    return out;
}

TEST(PdfWriter, PagesCompressedAtLevel3)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("forms.pdf");
    {
        qr::TQRPdfWriter w(path);
        w.AddPage(page(182, 257, "国家机关事业单位工作人员工资变动审批表"));
        w.AddPage(page(182, 257, "人事局 2024年5月20日 工资"));
        w.Finish();
    }
    const QByteArray pdf = QByteArray::fromStdString(readAll(path));
    int pages = 0;
    for (qsizetype at = pdf.indexOf("/FlateDecode"); at >= 0; at = pdf.indexOf("/FlateDecode", at + 1)) {
        const qsizetype begin = pdf.indexOf("stream\n", at) + 7, end = pdf.indexOf("\nendstream", begin);
        ASSERT_TRUE(begin >= 7 && end > begin);
        const QByteArray stored = pdf.mid(begin, end - begin);
        const QByteArray drawing = inflated(stored);
        if (!drawing.contains("BT\n"))
            continue;  // not a page
        ++pages;
        EXPECT_EQ(deflated(drawing, 3), stored);
        EXPECT_NE(deflated(drawing, Z_DEFAULT_COMPRESSION), stored);
    }
    EXPECT_EQ(pages, 2);
}

// The document goes to a temporary file beside the target and replaces it
// only when complete: a disk that fills up or a file-size limit (which
// used to kill the program, or leave a PDF without its trailer reported as
// written) fails with the file and the reason, the earlier file stays as
// it was and no temporary is left.
TEST(PdfWriter, FailureLeavesTheEarlierFileAndNoTemporary)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("forms.pdf");
    // Laid out first: the fonts' caches are no business of the limit.
    const qr::QRPageImage form = page(182, 257, "国家机关事业单位工作人员工资变动审批表");
    struct Case {
        const char* name;
        QString target;
        rlim_t limit;
        int pages;
        const char* reason;
    } cases[] = {
        {"size limit while the pages are written", path, 70000, 150, "EFBIG"},              // ~130 kB
        {"size limit in the last part (fonts, cross-references)", path, 9000, 3, "EFBIG"},  // ~10 kB
        {"full device", QStringLiteral("/dev/full"), RLIM_INFINITY, 3, "ENOSPC"},
    };
    // The same on one thread and on two (whose second document is a
    // temporary of its own).
    for (const auto use : {qr::detail::PdfSecondThread::Never, qr::detail::PdfSecondThread::EveryOther}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            SCOPED_TRACE(use == qr::detail::PdfSecondThread::Never ? "one thread" : "two threads");
            const SecondThreadUse threads(use);
            writeAll(path, "the forms printed yesterday");
            std::string what;
            {
                testfiles::ScopedFileSizeLimit limit(c.limit);
                qr::TQRPdfWriter w(c.target);
                try {
                    for (int i = 0; i < c.pages; ++i)
                        w.AddPage(form);
                    w.Finish();
                } catch (const qr::EInOutError& e) {
                    what = e.what();
                    // A caller that finishes after a failed page is told again.
                    EXPECT_THROW(w.Finish(), qr::EInOutError);
                }
            }
            ASSERT_FALSE(what.empty()) << "reported as written";
            EXPECT_NE(what.find(c.target.toStdString()), std::string::npos) << what;
            EXPECT_NE(what.find(std::strerror(std::string(c.reason) == "EFBIG" ? EFBIG : ENOSPC)), std::string::npos)
                << what;
            EXPECT_EQ(readAll(path), "the forms printed yesterday");
            EXPECT_EQ(entries(dir.path()), QStringList{"forms.pdf"});
        }
    }
}

// Two writers of the same file (two runs at once) each write their own
// temporary; the file ends up as one of the two documents, whole.
TEST(PdfWriter, TwoWritersOfOneFileLeaveOneWholeDocument)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("forms.pdf");
    {
        qr::TQRPdfWriter a(path), b(path);
        for (int i = 0; i < 3; ++i) {
            a.AddPage(page(182, 257, "甲"));
            b.AddPage(page(210, 297, "乙"));
        }
        b.AddPage(page(210, 297, "乙"));
        a.Finish();
        b.Finish();
    }
    const QString info = run("pdfinfo", {path});
    EXPECT_TRUE(info.contains(QRegularExpression(R"(Pages:\s+4\n)"))) << info.toStdString();
    EXPECT_EQ(run("pdftotext", {path, "-"}).count(QStringLiteral("乙")), 4);
    EXPECT_EQ(entries(dir.path()), QStringList{"forms.pdf"});
}

// A writer left by an exception, or discarded, puts nothing in place; one
// that goes out of scope without Finish completes its document.
TEST(PdfWriter, UnfinishedWriters)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("forms.pdf");
    writeAll(path, "old");
    try {
        qr::TQRPdfWriter w(path);
        w.AddPage(page(182, 257, "甲"));
        throw std::runtime_error("a row failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(readAll(path), "old");
    {
        qr::TQRPdfWriter w(path);
        w.AddPage(page(182, 257, "甲"));
        w.Discard();
    }
    EXPECT_EQ(readAll(path), "old");
    {
        qr::TQRPdfWriter w(path);  // no page: nothing to put in place
        w.Finish();
    }
    EXPECT_EQ(readAll(path), "old");
    {
        qr::TQRPdfWriter w(path);
        w.AddPage(page(182, 257, "甲"));
    }
    EXPECT_TRUE(run("pdfinfo", {path}).contains(QRegularExpression(R"(Pages:\s+1\n)")));
    EXPECT_EQ(entries(dir.path()), QStringList{"forms.pdf"});
}

TEST(PdfWriter, UnwritableFileNamesFileAndReason)
{
    const QString path = QDir::tempPath() + "/no-such-dir-vdmq/forms.pdf";
    try {
        qr::TQRPdfWriter w(path);
        FAIL() << "no error";
    } catch (const qr::EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find(path.toStdString()), std::string::npos) << e.what();
    }
}

}  // namespace
