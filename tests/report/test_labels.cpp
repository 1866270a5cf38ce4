// The label text rules, checked on the page's display list.
#include "report_helpers.h"

#include "report/core/qrtext.h"

#include <QRandomGenerator>

#include <cmath>
#include <gtest/gtest.h>

using namespace qrtest;

namespace {

constexpr double kPx96 = 254.0 / 96.0;
// Measured widths are physical to within a thousandth of a millimetre.
constexpr double kTol = 0.01;
constexpr double kLeft = 100, kTop = 200;  // the label's place, tenths

struct TextCase {
    const char* name;
    const char* caption;  // UTF-8
    bool autoSize;
    bool stretch;
    qr::TAlignment align;
    double widthEm;   // stored box width, in 10-point ems
    double heightMm;  // stored box height
    std::vector<const char*> lines;
};

class LabelText : public ::testing::TestWithParam<TextCase> {};

TEST_P(LabelText, PrintsTheExpectedLines)
{
    const TextCase& c = GetParam();
    qr::TQRBand* band = nullptr;
    auto rep = oneBandReport(&band);
    qr::TQRLabel* l = band->AddLabel("l", kLeft / 10, kTop / 10, c.widthEm * kEm10 / 10, c.heightMm, 1);
    l->Caption = QString::fromUtf8(c.caption);
    l->Font.Size = 10;
    l->AutoSize = c.autoSize;
    l->AutoStretch = c.stretch;
    l->Alignment = c.align;

    auto texts = itemsOf(*rep, qr::QRItem::Text);
    ASSERT_EQ(texts.size(), c.lines.size());
    const double boxRight = kLeft + c.widthEm * kEm10;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const auto& t = texts[i];
        EXPECT_EQ(t.text.toStdString(), c.lines[i]) << "line " << i;
        EXPECT_NEAR(t.rect.top(), kTop + double(i) * kEm10, kTol) << "line " << i;
        EXPECT_NEAR(t.rect.height(), kEm10, kTol);
        if (c.autoSize || c.align == qr::taLeftJustify)
            EXPECT_NEAR(t.rect.left(), kLeft, kTol);
        else if (c.align == qr::taRightJustify)
            EXPECT_NEAR(t.rect.right(), boxRight, kTol);
        else
            EXPECT_NEAR(t.rect.center().x(), (kLeft + boxRight) / 2, kTol);
    }
}

// Ideographs are one em wide, so box widths in ems decide what fits.
const double kTwoLines = 2 * kEm10 / 10;  // mm

INSTANTIATE_TEST_SUITE_P(
    Rules, LabelText,
    ::testing::Values(
        TextCase{"CarriageReturnSplitsLineFeedDropped",
                 "中国\r\n人民",
                 false,
                 true,
                 qr::taLeftJustify,
                 10,
                 3.7,
                 {"中国", "人民"}},
        TextCase{"LoneLineFeedDropped", "中\n国", false, false, qr::taLeftJustify, 10, 3.7, {"中国"}},
        TextCase{"WrapAfterSpace", "中中 国国国", false, true, qr::taLeftJustify, 4, 3.7, {"中中", "国国国"}},
        TextCase{"WrapAfterHyphen", "中中-国国", false, true, qr::taLeftJustify, 3.5, 3.7, {"中中-", "国国"}},
        TextCase{"ChineseIsOneWordCutToFit", "中国人民共和国", false, true, qr::taLeftJustify, 4.5, 3.7, {"中国人民"}},
        TextCase{"CutWordThenNextWord",
                 "中国人民共和国 万岁",
                 false,
                 true,
                 qr::taLeftJustify,
                 4.5,
                 3.7,
                 {"中国人民", "万岁"}},
        TextCase{"OneLineBoxKeepsWordsThatFit",
                 "中国 人民 共和国",
                 false,
                 false,
                 qr::taLeftJustify,
                 5.5,
                 3.7,
                 {"中国 人民"}},
        TextCase{
            "SecondLineWithin0_1mm", "中\r国", false, false, qr::taLeftJustify, 10, kTwoLines - 0.09, {"中", "国"}},
        TextCase{"SecondLineBeyond0_1mm", "中\r国", false, false, qr::taLeftJustify, 10, kTwoLines - 0.11, {"中"}},
        TextCase{"FirstLineTooTallForBox", "中", false, false, qr::taLeftJustify, 10, kEm10 / 10 - 0.2, {}},
        TextCase{"StretchShowsAllLines", "中\r国\r人", false, true, qr::taLeftJustify, 10, 3.7, {"中", "国", "人"}},
        TextCase{"AutoNeverWraps", "中 国 人 民 万 岁", true, false, qr::taLeftJustify, 1, 3.7, {"中 国 人 民 万 岁"}},
        TextCase{"AutoSecondLineBelowRaisedBox", "中国\r人民共和", true, false, qr::taLeftJustify, 1, 1, {"中国"}},
        TextCase{"AlignRight", "中国", false, false, qr::taRightJustify, 10, 3.7, {"中国"}},
        TextCase{"AlignCentre", "中国", false, false, qr::taCenter, 10, 3.7, {"中国"}},
        TextCase{"CentreWrappedLines", "中中 国", false, true, qr::taCenter, 2.5, 3.7, {"中中", "国"}},
        TextCase{"EmptyCaptionPrintsNoText", "", false, false, qr::taLeftJustify, 10, 3.7, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// The white box a label paints: auto labels take their widest line and at
// least the line height plus one screen pixel; stretch labels grow down.
struct BoxCase {
    const char* name;
    const char* caption;
    bool autoSize, stretch;
    qr::TAlignment align;
    double widthMm, heightMm;
    double expLeft, expWidth, expHeight;  // tenths
};

class LabelBox : public ::testing::TestWithParam<BoxCase> {};

TEST_P(LabelBox, WhiteBoxGeometry)
{
    const BoxCase& c = GetParam();
    qr::TQRBand* band = nullptr;
    auto rep = oneBandReport(&band);
    qr::TQRLabel* l = band->AddLabel("l", kLeft / 10, kTop / 10, c.widthMm, c.heightMm, 1);
    l->Caption = QString::fromUtf8(c.caption);
    l->Font.Size = 10;
    l->AutoSize = c.autoSize;
    l->AutoStretch = c.stretch;
    l->Alignment = c.align;
    auto fills = itemsOf(*rep, qr::QRItem::Fill);
    ASSERT_EQ(fills.size(), 2u);  // the band, then the label
    const QRectF box = fills[1].rect;
    EXPECT_NEAR(box.left(), c.expLeft, kTol);
    EXPECT_NEAR(box.top(), kTop, kTol);
    EXPECT_NEAR(box.width(), c.expWidth, kTol);
    EXPECT_NEAR(box.height(), c.expHeight, kTol);
}

INSTANTIATE_TEST_SUITE_P(
    Sizing, LabelBox,
    ::testing::Values(
        BoxCase{"AutoTakesWidestLineAndRaisesHeight", "中国\r人民共和", true, false, qr::taLeftJustify, 1, 1, kLeft,
                4 * kEm10, kEm10 + kPx96},
        BoxCase{"AutoKeepsTallerHeight", "中国", true, false, qr::taLeftJustify, 30, 10, kLeft, 2 * kEm10, 100},
        BoxCase{"AutoRightAlignedKeepsRightEdge", "中国", true, false, qr::taRightJustify, 30, 10,
                kLeft + 300 - 2 * kEm10, 2 * kEm10, 100},
        BoxCase{"FixedKeepsItsBox", "中国人民共和国", false, false, qr::taLeftJustify, 10, 3.7, kLeft, 100, 37},
        BoxCase{"StretchGrowsDown", "中\r国\r人", false, true, qr::taCenter, 10, 3.7, kLeft, 100, 3 * kEm10},
        BoxCase{"StretchNeverShrinks", "中", false, true, qr::taCenter, 10, 20, kLeft, 100, 200},
        BoxCase{"EmptyCaptionKeepsBox", "", false, false, qr::taLeftJustify, 10, 3.7, kLeft, 100, 37}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LabelFont, MeasuresIndependentlyOfScreenAndMapsFaces)
{
    // Physical sizes: a 10-point ideograph is 10 points wide everywhere.
    qr::TQRBand* band = nullptr;
    auto rep = oneBandReport(&band);
    for (const char* face : {"宋体", "SimSun", "黑体", "SimHei", "Arial"}) {
        qr::TQRLabel* l = band->AddLabel(face, 0, 0, 1, 1, 1);
        l->Caption = QString::fromUtf8("中国");
        l->AutoSize = true;
        l->Font.Name = QString::fromUtf8(face);
        l->Font.Size = 10;
    }
    auto texts = itemsOf(*rep, qr::QRItem::Text);
    ASSERT_EQ(texts.size(), 5u);
    for (const auto& t : texts)
        EXPECT_NEAR(t.rect.width(), 2 * kEm10, 0.01) << t.font.Name.toStdString();

    const QFont serif = qr::resolveFont({QStringLiteral("宋体"), 9.75});
    EXPECT_EQ(serif.families().value(0), QStringLiteral("Noto Serif CJK SC"));
    EXPECT_DOUBLE_EQ(serif.pointSizeF(), 9.75);
    EXPECT_EQ(serif.pixelSize(), -1);
    EXPECT_EQ(qr::resolveFont({QStringLiteral("SimHei"), 10}).families().value(0), QStringLiteral("Noto Sans CJK SC"));
    const QFont arial = qr::resolveFont({QStringLiteral("Arial"), 16, true, false, true});
    EXPECT_EQ(arial.families(), (QStringList{QStringLiteral("Liberation Sans"), QStringLiteral("Noto Serif CJK SC")} +
                                 qr::FallbackFamilies()));
    EXPECT_TRUE(arial.bold());
    EXPECT_TRUE(arial.underline());
}


// The widths and glyph runs the engine lays out with come from a cache that
// shapes at a small size and sets the glyphs with the measuring size's
// advances; they must be the very numbers of Qt's own layout at the
// measuring size, for every face of the form and whatever a roster holds.
void expectSameAsLayout(qr::detail::MeasuredFont& mf, const QString& text)
{
    const QString shown = text.left(40);
    EXPECT_EQ(mf.width(text), mf.widthByLayout(text) * qr::detail::kPxToTenths) << shown.toStdString();
    const QList<QGlyphRun> runs = mf.glyphRuns(text);
    const QList<QGlyphRun> expected = mf.glyphRunsByLayout(text);
    ASSERT_EQ(runs.size(), expected.size()) << shown.toStdString();
    for (qsizetype r = 0; r < runs.size(); ++r) {
        EXPECT_EQ(runs[r].glyphIndexes(), expected[r].glyphIndexes()) << shown.toStdString() << " run " << r;
        EXPECT_EQ(runs[r].positions(), expected[r].positions()) << shown.toStdString() << " run " << r;
        const QRawFont a = runs[r].rawFont(), b = expected[r].rawFont();
        EXPECT_EQ(a.familyName(), b.familyName()) << shown.toStdString();
        EXPECT_EQ(a.styleName(), b.styleName()) << shown.toStdString();
        EXPECT_EQ(a.pixelSize(), b.pixelSize()) << shown.toStdString();
        EXPECT_EQ(a.underlinePosition(), b.underlinePosition()) << shown.toStdString();
        EXPECT_EQ(a.lineThickness(), b.lineThickness()) << shown.toStdString();
        EXPECT_FALSE(runs[r].underline() || runs[r].overline() || runs[r].strikeOut());
    }
}

// The form's fonts: 宋体 at 9, 10 and 10 bold, the title's Arial 16 bold
// underlined (Liberation Sans, ideographs from the CJK face), 黑体 32 bold.
const qr::TQRFont kFormFonts[] = {{QStringLiteral("宋体"), 10},
                                  {QStringLiteral("宋体"), 9},
                                  {QStringLiteral("宋体"), 10, true},
                                  {QStringLiteral("Arial"), 16, true, false, true},
                                  {QStringLiteral("黑体"), 32, true}};

TEST(MeasuredText, CachedShapingIsQtsLayout)
{
    const char* const texts[] = {
        "国家机关事业单位工作人员工资变动审批表",
        "李明远",
        "𠮷祥 吉安县𠮷村小学教师",  // beyond the BMP
        "10%工资(或补贴)",
        "合      计",
        " 元，从 2009 年 7 月起执行。",
        "经研究，同意该同志由第一中学中学一级教师调任第一中学中学高级教师，",
        "⻓长⼯工⼾户",  // radicals and their ideographs
        "Wave AVA To fi ffl 123.45",
        "全角ＡＢＣ１２３　空格",
        "a\tb",                                  // a tab stop: Qt's layout itself
        "e\xcc\x81 x\xcc\xa3",                   // combining marks
        "abc \xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d",  // right to left
        "zero\xe2\x80\x8bwidth",
        "\xf0\xaa\x9a\xb2\xf0\xac\xba\xb0",  // Extension C and F: faces beyond the form's own
        "   ",
    };
    std::vector<qr::TQRFont> fonts(std::begin(kFormFonts), std::end(kFormFonts));
    // TrueType faces with ideographs beyond the BMP, ahead of the CJK face
    fonts.push_back({QStringLiteral("HanaMinA"), 10});
    fonts.push_back({QStringLiteral("BabelStone Han"), 9});
    for (const qr::TQRFont& font : fonts) {
        qr::detail::MeasuredFont& mf = qr::detail::measured(font);
        for (const char* t : texts)
            expectSameAsLayout(mf, QString::fromUtf8(t));
    }
}

TEST(MeasuredText, CachedShapingIsQtsLayoutForRandomTexts)
{
    // Names, posts and figures as rosters hold them: common ideographs,
    // digits, Latin letters, punctuation and blanks in any order.
    const QString pool = QString::fromUtf8(
        "王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘于蒋蔡余杜叶程苏魏吕丁任"
        "明远秀兰卫东芳志刚丽华国强晓燕建军海文斌玉梅俊杰红霞德勇静春生雅琴长马门户工资变动审批表中学高级教师"
        "0123456789.-()（）%，。、；：ABCXYZabcxyz      𠮷");
    QRandomGenerator rnd(26);
    qr::detail::MeasuredFont& mf = qr::detail::measured(kFormFonts[0]);
    qr::detail::MeasuredFont& title = qr::detail::measured(kFormFonts[3]);
    for (int i = 0; i < 300; ++i) {
        QString text;
        const int n = 1 + int(rnd.bounded(30));
        for (int k = 0; k < n; ++k) {
            qsizetype at = rnd.bounded(int(pool.size()));
            if (pool[at].isLowSurrogate())
                --at;
            text += pool.mid(at, pool[at].isHighSurrogate() ? 2 : 1);
        }
        expectSameAsLayout(i % 3 == 0 ? title : mf, text);
    }
}

}  // namespace
