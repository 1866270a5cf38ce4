// Paper and position: the [vdmq] keys, the values typed for them, where the
// form lands on each paper, the calibration page and the warning about the
// printer's unprintable border.
#include "app/core/paper.h"
#include "app/core/settings.h"
#include "form/VdCalibration.h"
#include "platform/gbtext.h"
#include "platform/profile.h"
#include "report/core/qrsheet.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

#include "file_helpers.h"

using namespace vdmq;

namespace {

TEST(PaperSettings, RoundTripLeavesTheXtcsSectionAlone)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("vdmq.ini");
    testfiles::writeAll(ini, "[xtcs]\r\nFile=A\r\nStart=9\r\n");
    TPaperSettings s{TPaper::A4, true, -1.5, 20};
    s.OffsetsInPdf = true;
    SavePaperSettings(ini, s);
    EXPECT_EQ(LoadPaperSettings(ini), s);
    EXPECT_EQ(testfiles::readAll(ini), "[xtcs]\r\nFile=A\r\nStart=9\r\n[vdmq]\r\nPaper=A4\r\nA4Position=Centre\r\n"
                                       "OffsetX=-1.5\r\nOffsetY=20.0\r\nPdfOffsets=1\r\n");

    // A settings file that cannot be written (here a folder stands in its
    // place, which stops root too) says so in the program's fixed words.
    ASSERT_TRUE(QDir(dir.path()).mkdir("blocked.ini"));
    try {
        SavePaperSettings(dir.filePath("blocked.ini"), TPaperSettings{});
        ADD_FAILURE() << "no error";
    } catch (const ESettingsWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + toGb(dir.filePath("blocked.ini")));
    }
}

TEST(PaperSettings, StoredValuesAreReadLeniently)
{
    struct Case {
        const char* section;
        TPaperSettings expected;
    } cases[] = {
        {"", TPaperSettings{}},
        {"Paper=a4\nA4Position=center\nOffsetX= 3.25 \nOffsetY=-35\nPdfOffsets=1",
         [] {
             TPaperSettings s{TPaper::A4, true, 3.3, -20};  // rounded, held to the range
             s.OffsetsInPdf = true;
             return s;
         }()},
        {"Paper=Letter\nA4Position=middle\nOffsetX=abc\nOffsetY=nan\nPdfOffsets=yes", TPaperSettings{}},
        {"paper=A4\noffsetx=+1.5", TPaperSettings{TPaper::A4, false, 1.5}},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString ini = dir.filePath("vdmq.ini");
        testfiles::writeAll(ini, std::string("[vdmq]\n") + c.section + "\n");
        EXPECT_EQ(LoadPaperSettings(ini), c.expected) << c.section;
    }
}

// Offsets belong to a printer: each has its own pair under a key any
// printer name can stand in, and one without its own pair takes the keys
// of before (OffsetX, OffsetY), so an existing vdmq.ini keeps working.
TEST(PaperSettings, OffsetsArePerPrinter)
{
    const struct {
        const char* printer;
        const char* key;
    } keys[] = {
        {"", "OffsetX"},
        {"PDF", "OffsetX.PDF"},
        {"HP_LaserJet-1020.lan", "OffsetX.HP_LaserJet-1020.lan"},
        // What would end the key, start a section or a comment, or be
        // trimmed, and names no CUPS queue has but Qt may pass on.
        {"a=b;[c] d/e%", "OffsetX.a%3Db%3B%5Bc%5D%20d%2Fe%25"},
        {"办公室", "OffsetX.%E5%8A%9E%E5%85%AC%E5%AE%A4"},
    };
    for (const auto& k : keys)
        EXPECT_EQ(OffsetKey("OffsetX", QString::fromUtf8(k.printer)), k.key) << k.printer;

    QTemporaryDir dir;
    const QString ini = dir.filePath("vdmq.ini");
    // A GBK file with the offsets of before, and one printer's own X only.
    testfiles::writeAll(ini, "[xtcs]\r\nFile=" + gb("澜人发") +
                                 "\r\n[vdmq]\r\nOffsetX=1.5\r\nOffsetY=-0.5\r\n"
                                 "OffsetX.A4Only=2.0\r\n");
    const TPaperSettings before = LoadPaperSettings(ini, "A4Only");
    EXPECT_DOUBLE_EQ(before.OffsetXmm, 2.0);
    EXPECT_DOUBLE_EQ(before.OffsetYmm, -0.5);                    // its Y is the one of before
    EXPECT_EQ(LoadPaperSettings(ini, "a4only").OffsetXmm, 2.0);  // CUPS names ignore case; so do keys

    TPaperSettings s{TPaper::A4, true, -3.1, 4.2};
    for (const char* name : {"a=b;[c] d/e%", "办公室", "PDF"}) {
        SCOPED_TRACE(name);
        SavePaperSettings(ini, s, QString::fromUtf8(name));
        EXPECT_EQ(LoadPaperSettings(ini, QString::fromUtf8(name)), s);
        s.OffsetXmm += 1;
    }
    SavePrinterOffsets(ini, "A4Only", QPointF(0.3, 0.4));
    EXPECT_EQ(LoadPaperSettings(ini, "A4Only"), (TPaperSettings{TPaper::A4, true, 0.3, 0.4}));
    // Printers without a pair of their own, and the keys of before, are as
    // they were.
    EXPECT_EQ(LoadPaperSettings(ini, "Other"), (TPaperSettings{TPaper::A4, true, 1.5, -0.5}));
    EXPECT_EQ(LoadPaperSettings(ini), LoadPaperSettings(ini, "Other"));
    EXPECT_EQ(ReadProfileString(ini, "xtcs", "File", ""), QStringLiteral("澜人发"));
}

TEST(PaperSettings, TypedValues)
{
    struct Offset {
        const char* text;
        std::optional<double> mm;
    } offsets[] = {
        {"0", 0.0},
        {"-1.5", -1.5},
        {"+0.3", 0.3},
        {"20", 20.0},
        {"-20.0", -20.0},
        {"12", 12.0},
        {"20.1", std::nullopt},
        {"1.25", std::nullopt},
        {"", std::nullopt},
        {".5", std::nullopt},
        {"1.", std::nullopt},
        {"1,5", std::nullopt},
        {"100", std::nullopt},
        {"--1", std::nullopt},
        {"1e1", std::nullopt},
        {" 1", std::nullopt},
    };
    for (const Offset& o : offsets)
        EXPECT_EQ(ParseOffsetMm(o.text), o.mm) << o.text;
    EXPECT_EQ(ParseOffsetPair("1.5,-2"), QPointF(1.5, -2));
    for (const char* bad : {"1.5", "1.5,", ",2", "1;2", "1,2,3", "30,0"})
        EXPECT_FALSE(ParseOffsetPair(bad)) << bad;

    EXPECT_EQ(ParsePaper("B5"), TPaper::B5);
    EXPECT_EQ(ParsePaper("a4"), TPaper::A4);
    EXPECT_FALSE(ParsePaper("letter"));

    // What a print dialog's paper stands for.
    struct Sheet {
        QSizeF mm;
        std::optional<TPaper> paper;
    } sheets[] = {
        {{182, 257}, TPaper::B5},     {{182.03, 257.17}, TPaper::B5}, {{210, 297}, TPaper::A4},
        {{209.9, 297.0}, TPaper::A4}, {{176, 250}, std::nullopt},     {{215.9, 279.4}, std::nullopt},
    };
    for (const Sheet& s : sheets)
        EXPECT_EQ(PaperForSheet(s.mm), s.paper) << s.mm.width() << " x " << s.mm.height();
}

TEST(Placement, EachPaperAndPosition)
{
    const QRectF frame = FormFrameMm(), content = FormContentMm();
    // The frame as the layout puts it: the left rule 3.62 mm in, the top at
    // 15.3 mm, the bottom rule's lower edge at 227.76 mm.
    EXPECT_NEAR(frame.left(), 3.62, 0.01);
    EXPECT_NEAR(frame.top(), 15.3, 0.01);
    EXPECT_NEAR(frame.right(), 160.51, 0.01);
    EXPECT_NEAR(frame.bottom(), 227.76, 0.01);
    EXPECT_TRUE(content.contains(frame));

    struct Case {
        TPaperSettings s;
        bool offsets;
        QSizeF sheet;
        QPointF shift;
    } cases[] = {
        {TPaperSettings{TPaper::B5, true}, true, {182, 257}, {0, 0}},  // centring means A4 only
        {TPaperSettings{TPaper::B5, false, 2.5, -1.5}, false, {182, 257}, {0, 0}},
        {TPaperSettings{TPaper::A4, false, -3, 4}, true, {210, 297}, {-3, 4}},
    };
    for (const Case& c : cases) {
        const qr::TQRPlacement p = PlacementFor(c.s, c.offsets);
        EXPECT_EQ(p.SheetMm, c.sheet);
        EXPECT_EQ(p.ShiftMm, c.shift);
    }

    // Centred on A4: the frame as far from the left edge as from the right,
    // the printed extent as far from the top as from the bottom (to 0.1 mm).
    const qr::TQRPlacement c = PlacementFor(TPaperSettings{TPaper::A4, true, 1, 1}, false);
    const QRectF f = frame.translated(c.ShiftMm), all = content.translated(c.ShiftMm);
    EXPECT_NEAR(f.left(), 210 - f.right(), 0.2);
    EXPECT_NEAR(all.top(), 297 - all.bottom(), 0.2);
    EXPECT_EQ(PlacementFor(TPaperSettings{TPaper::A4, true, 1, 1}, true).ShiftMm, c.ShiftMm + QPointF(1, 1));
}

// The calibration page on a printer that cannot print the outer 5 mm of
// the sheet (the A4Only queue: 4.2 mm) reads as on one that prints to the
// edge: every mark and every text of the page lies more than 5 mm in, each
// scale has its 0 at 20 mm from its edge (where a ruler laid from the edge
// reads the correction) and its labels, signs included, centred on their
// marks.  Only the frame may fall into the border: that is what it shows.
TEST(CalibrationPage, ScalesReadInsideAnUnprintableBorder)
{
    for (const TPaperSettings& s :
         {TPaperSettings{TPaper::B5}, TPaperSettings{TPaper::A4}, TPaperSettings{TPaper::A4, true, 3, -2}}) {
        SCOPED_TRACE(PaperText(s).toStdString());
        const TCalibrationSheet sheet = CalibrationSheetFor(s);
        const qr::QRPageImage page = CalibrationPage(sheet);
        const QPointF align = AlignMm(s);
        const QRectF f = FormFrameMm().translated(align);
        const QRectF printable = QRectF(QPointF(0, 0), sheet.SheetMm).adjusted(5, 5, -5, -5);
        // Label -> where it stands, for each scale: below the frame the
        // horizontal one, right of it the vertical one.
        std::map<QString, QPointF> below, right;
        for (const qr::QRItem& item : page.items) {
            const QRectF r = qr::InkRectMm(item).translated(align);  // on the sheet, before offsets
            const bool frameRule = item.kind == qr::QRItem::Rect &&
                                   (std::abs(r.width() - 0.26) < 0.01 || std::abs(r.height() - 0.26) < 0.01);
            if (!frameRule) {
                EXPECT_TRUE(printable.contains(r.adjusted(0.05, 0.05, -0.05, -0.05)))
                    << item.text.toStdString() << " at " << r.x() << "," << r.y() << " " << r.width() << "x"
                    << r.height();
            }
            if (item.kind == qr::QRItem::Text && item.font.Name == "Arial") {
                if (r.top() > f.bottom())
                    below[item.text] = r.center();
                else if (r.left() > f.right())
                    right[item.text] = r.center();
            }
        }
        const std::map<QString, double> labels = {
            {QStringLiteral("−10"), -10}, {QStringLiteral("−5"), -5}, {"0", 0}, {"+5", 5}, {"+10", 10}};
        ASSERT_EQ(below.size(), labels.size());
        ASSERT_EQ(right.size(), labels.size());
        for (const auto& [text, value] : labels) {
            SCOPED_TRACE(text.toStdString());
            ASSERT_TRUE(below.count(text) && right.count(text));
            EXPECT_NEAR(below[text].x(), 20 + value, 0.05);
            EXPECT_NEAR(right[text].y(), 20 + value, 0.3);
        }
        const TFrameDistances d = ExpectedFrameDistances(sheet);
        EXPECT_NEAR(d.left, f.left(), 0.05);
        EXPECT_NEAR(d.bottom, sheet.SheetMm.height() - f.bottom(), 0.05);
    }
    const TFrameDistances b5 = ExpectedFrameDistances(CalibrationSheetFor(TPaperSettings{TPaper::B5}));
    EXPECT_EQ(std::vector<double>({b5.left, b5.top, b5.right, b5.bottom}),
              std::vector<double>({3.6, 15.3, 21.5, 29.2}));
}

TEST(PaperWarning, SaysWhatTheBorderTakes)
{
    qr::TQRPaperSupport generic;  // CUPS's generic PostScript driver: 12 pt all round
    generic.known = generic.listed = true;
    generic.borderMm = QMarginsF(4.23, 4.23, 4.23, 4.23);
    qr::TQRPaperSupport none = generic;
    none.listed = false;
    none.borderMm = {};
    qr::TQRPaperSupport wide = generic;
    wide.borderMm = QMarginsF(25, 5, 25, 5);
    qr::TQRPaperSupport exact = generic;
    exact.borderMm = {};

    struct Case {
        const char* name;
        qr::TQRPaperSupport support;
        TPaperSettings s;
        bool withOffsets;
        std::vector<const char*> says;
    } cases[] = {
        {"no border", exact, TPaperSettings{TPaper::B5}, true, {}},
        {"unknown printer", qr::TQRPaperSupport{}, TPaperSettings{TPaper::B5}, true, {}},
        {"left rule lost",
         generic,
         TPaperSettings{TPaper::A4},
         true,
         {"左 4.2、上 4.2、右 4.2、下 4.2 mm", "左框线（离纸边 3.6 mm）整条印不出",
          "8 条横线的左端缺一截（最多 0.6 mm）", "水平 +0.7 mm，垂直 0.0 mm", "--offset 0.7,0.0",
          "也可以改选 A4 居中"}},
        {"offset enough", generic, TPaperSettings{TPaper::A4, false, 0.7, 0}, true, {}},
        {"offset ignored for a file", generic, TPaperSettings{TPaper::A4, false, 0.7, 0}, false, {"左框线"}},
        {"moved into the right border",
         generic,
         TPaperSettings{TPaper::B5, false, 18, 0},
         true,
         {"右框线（离纸边 3.5 mm）整条印不出", "25 条横线的右端", "水平 +17.2 mm"}},
        {"centred clears it", generic, TPaperSettings{TPaper::A4, true}, true, {}},
        {"no such paper", none, TPaperSettings{TPaper::B5}, true, {"没有B5（182×257 mm）这种纸", "（如 A4）"}},
        {"cannot fit", wide, TPaperSettings{TPaper::B5}, true, {"放不下整张表，请改用 A4 纸"}},
    };
    for (const Case& c : cases) {
        const QString text = PaperWarning(QStringLiteral("Q"), c.support, c.s, FormLayoutPage(), c.withOffsets);
        EXPECT_EQ(text.isEmpty(), c.says.empty()) << c.name << ": " << text.toStdString();
        for (const char* piece : c.says)
            EXPECT_TRUE(text.contains(QString::fromUtf8(piece))) << c.name << ": " << piece << "\n"
                                                                 << text.toStdString();
    }
}

}  // namespace
