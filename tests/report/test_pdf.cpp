// The PDF writer: many pages of their own sizes, embedded fonts, text that
// can be found again.
#include "report_helpers.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace qrtest;

namespace {

qr::QRPageImage page(double w, double l, const char* caption)
{
    qr::TQRBand* band = nullptr;
    auto rep = oneBandReport(&band);
    rep->Page.SetValue(qr::TQRPage::Width, w);
    rep->Page.SetValue(qr::TQRPage::Length, l);
    qr::TQRLabel* lab = band->AddLabel("l", 10, 10, 150, 3.7, 1);
    lab->Caption = vdmq::gb(caption);
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
    EXPECT_FALSE(fonts.contains(QRegularExpression(R"(\bno\s+\S+\s+\S+\s+\d+\s+\d+\s*$)",
                                                   QRegularExpression::MultilineOption)))
        << "every font embedded: " << fonts.toStdString();
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
