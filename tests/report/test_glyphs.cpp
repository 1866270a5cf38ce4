// Rare characters (生僻字) of every block a name may draw from print with a
// real glyph, from the same face in the measurement, the preview's picture
// and the PDF, and the PDF's text layer gives back exactly what was printed.
#include "report/core/qrpdffix.h"
#include "report/core/qrtext.h"
#include "report/ui/printbackend.h"
#include "report_helpers.h"

#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace qrtest;

namespace {

QString text32(std::u32string_view s) { return QString::fromUcs4(s.data(), qsizetype(s.size())); }

struct Sample {
    char32_t c;
    const char* face;  // the face of the chain that has it first (宋体's chain)
};

// First, a middle and the last ideograph of each block, and a name's
// characters from the issue (𠀀 printed as a box).
const Sample kSamples[] = {
    {0x4E00, "Noto Serif CJK SC"}, {0x9FA5, "Noto Serif CJK SC"},  {0x9FFF, "BabelStone Han"},   // Unified
    {0x3400, "Noto Serif CJK SC"}, {0x4DAE, "Noto Serif CJK SC"},  {0x4DBF, "BabelStone Han"},   // A
    {0x20000, "HanaMinA"},         {0x2123C, "Noto Serif CJK SC"}, {0x2A6A5, "HanaMinA"},        // B
    {0x2A6DF, "BabelStone Han"},   {0x2A700, "HanaMinB"},          {0x2B738, "BabelStone Han"},  // B, C
    {0x2B740, "HanaMinB"},         {0x2B81D, "HanaMinA"},                                        // D
    {0x2B820, "HanaMinB"},         {0x2CEA1, "HanaMinB"},                                        // E
    {0x2CEB0, "HanaMinB"},         {0x2E9F5, "HanaMinB"},          {0x2EBE0, "HanaMinB"},        // F
    {0xF900, "Noto Serif CJK SC"}, {0xFA6D, "Noto Serif CJK SC"},  {0xFAD9, "HanaMinA"},         // compatibility
    {0x2F800, "HanaMinA"},         {0x2FA1D, "HanaMinA"},                                        // supplement
};

qr::TQRFont design(const char* name, bool bold = false)
{
    qr::TQRFont f;
    f.Name = QString::fromUtf8(name);
    f.Size = 10;
    f.Bold = bold;
    return f;
}

// One page, one label a line, 7.5 mm apart.
std::shared_ptr<qr::TQRPrinter> storeOf(const std::vector<QString>& lines, const qr::TQRFont& font)
{
    qr::TQRBand* band = nullptr;
    auto rep = oneBandReport(&band);
    rep->Page.SetValue(qr::TQRPage::Width, 182);
    rep->Page.SetValue(qr::TQRPage::Length, 257);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        qr::TQRLabel* l = band->AddLabel("l" + std::to_string(i), 10, 5 + 7.5 * double(i), 160, 3.7, 1);
        l->Caption = lines[i];
        l->Font = font;
    }
    return rep->PrepareNew();
}

qr::QRPageImage pageOf(const std::vector<QString>& lines, const qr::TQRFont& font)
{
    return storeOf(lines, font)->Page(1);
}

QString pdfText(const QString& path)
{
    return run("pdftotext", {"-enc", "UTF-8", path, "-"}).remove(QRegularExpression(QStringLiteral("[ \\t\\f]")));
}

// The ink of a text item's box in a picture of the page (8 pixels a mm).
QImage cell(const QImage& page, const qr::QRItem& item)
{
    constexpr double kScale = 0.8;  // pixels a tenth of a millimetre
    return page.copy(QRectF(item.rect.left() * kScale, item.rect.top() * kScale, item.rect.width() * kScale,
                            item.rect.height() * kScale)
                         .toAlignedRect());
}

bool hasInk(const QImage& img)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 128)
                return true;
    return false;
}

// Each sample in 宋体 (plain and bold), 黑体 and Arial: a glyph from a face
// of the form's chain in the measured runs, ink in the preview's picture
// that is not the empty box, and the character back from the PDF.
TEST(GlyphCoverage, EveryBlockInMeasurementPreviewAndPdf)
{
    // A character no face has (the private-use planes): the empty box.
    const QString box = text32(U"\U000F0000");
    for (const qr::TQRFont& font : {design("宋体"), design("宋体", true), design("黑体"), design("Arial")}) {
        SCOPED_TRACE(font.Name.toStdString() + (font.Bold ? " bold" : ""));
        std::vector<QString> lines;
        for (const Sample& s : kSamples)
            lines.push_back(text32(std::u32string(1, s.c)));
        lines.push_back(box);
        const qr::QRPageImage page = pageOf(lines, font);
        std::vector<const qr::QRItem*> texts;
        for (const qr::QRItem& it : page.items)
            if (it.kind == qr::QRItem::Text)
                texts.push_back(&it);
        ASSERT_EQ(texts.size(), lines.size());

        // Measurement: the glyph runs every device draws.
        qr::detail::MeasuredFont& mf = qr::detail::measured(font);
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
            SCOPED_TRACE(QStringLiteral("U+%1").arg(uint(kSamples[i].c), 4, 16, QLatin1Char('0')).toStdString());
            const QList<QGlyphRun>& runs = mf.glyphRuns(texts[i]->text);
            ASSERT_EQ(runs.size(), 1);
            EXPECT_NE(runs[0].glyphIndexes().value(0), 0u);
            EXPECT_TRUE(qr::MissingGlyphs(font, texts[i]->text).empty());
            // 宋体's chain takes the characters Noto lacks from the same
            // fallback face on every machine that has the packages.
            if (font.Name == QStringLiteral("宋体") && !font.Bold) {
                EXPECT_EQ(runs[0].rawFont().familyName(), QString::fromUtf8(kSamples[i].face));
            }
        }
        EXPECT_EQ(qr::MissingGlyphs(font, texts.back()->text), std::vector<char32_t>{0xF0000});

        // The preview's picture: the page drawn as the preview draws it.
        QImage picture(1456, 2056, QImage::Format_RGB32);
        picture.fill(Qt::white);
        {
            QPainter p(&picture);
            qr::RenderPage(p, page, 0.8);
        }
        const QImage empty = cell(picture, *texts.back());
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
            const QImage c = cell(picture, *texts[i]);
            EXPECT_TRUE(hasInk(c)) << std::hex << uint(kSamples[i].c);
            EXPECT_NE(c, empty) << "drawn as the empty box: U+" << std::hex << uint(kSamples[i].c);
        }

        // The PDF.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("samples.pdf"));
        {
            qr::TQRPdfWriter w(path);
            w.AddPage(page);
            w.Finish();
        }
        const QString text = pdfText(path);
        for (std::size_t i = 0; i + 1 < lines.size(); ++i)
            EXPECT_TRUE(text.contains(lines[i])) << std::hex << uint(kSamples[i].c) << "\n" << text.toStdString();
    }
}

// What pdftotext gives back is what was printed: characters beyond U+FFFF
// and the digits of "200a" came back as U+FFFD; a radical's glyph shared
// with an ideograph, or a compatibility ideograph's shared with its unified
// twin, came back as the other when both were printed; a face with more
// than 100 ranges of glyphs lost some of them.
TEST(PdfTextLayer, GivesBackWhatWasPrinted)
{
    struct Case {
        const char* name;
        std::vector<const char32_t*> lines;
    } cases[] = {
        {"beyond U+FFFF", {U"李𠀀", U"王𡈼", U"张𠀾", U"𪚥𮧵𪜀丽"}},
        {"Extension A", {U"刘䶮"}},
        {"a mixed run", {U"200a", U"3号楼200a室", U"李𠀀200a"}},
        {"a radical and its ideograph, both printed", {U"工资 ⼯ 校长 ⻓ 户口 ⼾"}},
        {"a compatibility ideograph and its unified one", {U"不 \uF967 更 \uF901"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("text.pdf"));
        std::vector<QString> lines;
        for (const char32_t* l : c.lines)
            lines.push_back(text32(l));
        {
            qr::TQRPdfWriter w(path);
            w.AddPage(pageOf(lines, design("宋体")));
            w.AddPage(pageOf(lines, design("黑体", true)));
            w.Finish();
        }
        QStringList want;
        for (int page = 0; page < 2; ++page)
            for (const QString& l : lines)
                want << QString(l).remove(QLatin1Char(' '));
        const QString text = pdfText(path);
        EXPECT_EQ(text.split(QLatin1Char('\n'), Qt::SkipEmptyParts), want) << text.toStdString();
        EXPECT_TRUE(run("pdfinfo", {path}).contains(QRegularExpression(R"(Pages:\s+2\n)")));
    }

    // Many glyphs of one face: 2,000 ideographs in runs of 12 consecutive
    // ones (more than 100 ranges in Qt's map), 25 a line, on four pages.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("many.pdf"));
    QString all;
    {
        qr::TQRPdfWriter w(path);
        for (char32_t page = 0; page < 4; ++page) {
            std::vector<QString> lines;
            for (char32_t line = 0; line < 20; ++line) {
                std::u32string s;
                for (char32_t k = 0; k < 25; ++k)
                    s += char32_t(0x4E00 + [](char32_t n) { return n / 12 * 20 + n % 12; }(page * 500 + line * 25 + k));
                lines.push_back(text32(s));
                all += lines.back();
            }
            w.AddPage(pageOf(lines, design("宋体")));
        }
        w.Finish();
    }
    EXPECT_EQ(pdfText(path).remove(QLatin1Char('\n')), all);
}

// The print dialog's "print to file" writes its text maps the same way.
TEST(PdfTextLayer, PrintToFile)
{
    const std::vector<QString> lines = {text32(U"李𠀀"), text32(U"200a"), text32(U"不\uF967")};
    const auto store = storeOf(lines, design("宋体"));
    QTemporaryDir dir;
    qr::TQRPrinterSettings s;
    s.OutputFileName = dir.filePath(QStringLiteral("printed.pdf"));
    qr::TQRQtPrintBackend(false).PrintPages(*store, s);
    EXPECT_EQ(pdfText(s.OutputFileName).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
              QStringList(lines.begin(), lines.end()));
    EXPECT_TRUE(run("pdfinfo", {s.OutputFileName}).contains(QRegularExpression(R"(Pages:\s+1\n)")));
}

}  // namespace

// Qt writes a map of more than 100 ranges in groups; each group after the
// first starts after bytes it never cleared, which on reused memory read as
// ranges of another map, and the group's own first range is lost.  The
// log's map must still replace it (it was refused, and the text layer of
// every page with those glyphs came back empty).
TEST(PdfTextLayer, MapOfManyRangesWithStaleBytesIsReplaced)
{
    QFont font(QStringLiteral("Noto Serif CJK SC"));
    font.setPixelSize(100);
    const QRawFont raw = QRawFont::fromFont(font);
    ASSERT_EQ(raw.familyName(), QStringLiteral("Noto Serif CJK SC"));

    // Every other ideograph, so that each code is a range of its own.
    std::u32string chars;
    for (char32_t c = 0x4E00; chars.size() < 150; c += 2)
        chars.push_back(c);
    const QString text = text32(chars);
    QList<quint32> glyphs(text.size());
    int n = int(glyphs.size());
    ASSERT_TRUE(raw.glyphIndexesForChars(text.constData(), int(text.size()), glyphs.data(), &n));
    QGlyphRun run;
    run.setRawFont(raw);
    run.setGlyphIndexes(glyphs);
    run.setPositions(QList<QPointF>(glyphs.size()));
    std::vector<std::u32string> texts;
    for (char32_t c : chars)
        texts.emplace_back(1, c);
    qr::detail::PdfGlyphLog log;
    EXPECT_TRUE(log.Draw(run, texts.data()).isEmpty());

    const auto range = [](int code, char32_t c) {
        return QStringLiteral("<%1> <%1> <%2>\n")
            .arg(code, 4, 16, QLatin1Char('0'))
            .arg(uint(c), 4, 16, QLatin1Char('0'))
            .toUpper()
            .toLatin1();
    };
    QByteArray qtMap = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                       "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n100 beginbfrange\n";
    qtMap += range(0, 0);
    for (int code = 1; code < 100; ++code)
        qtMap += range(code, chars[std::size_t(code - 1)]);
    qtMap += "endbfrange\n51 beginbfrange\n";
    qtMap += "                 t findresource begin\n";
    qtMap += range(100, 0x7183);  // stale: another map's range where code 100's was
    for (int code = 101; code <= 150; ++code)
        qtMap += range(code, chars[std::size_t(code - 1)]);
    qtMap += "endbfrange\nendcmap\n";

    const QByteArray map = log.TextMap("NotoSerifCJKsc-Regular", qtMap);
    ASSERT_FALSE(map.isEmpty()) << "the log's map was refused";
    EXPECT_TRUE(map.contains("<0064> <" + QByteArray::number(uint(chars[99]), 16).toUpper() + ">"));
    EXPECT_FALSE(map.contains("7183"));
}
