// The check before paper names every character that would print as an
// empty box on this machine: row, field, the character and its code point.
// Over tests/data/glyphs/rare.xls (see its generator), with every face
// installed and, through vdmq-print, on a machine that has only the
// form's own faces (fonts-hanazono and fonts-babelstone-han missing).
#include "app/core/printrun.h"
#include "form/VdPrnCheck.h"
#include "platform/gbtext.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>
#include <tuple>

using namespace vdmq;

namespace {

const QString kRoster = QStringLiteral(VDMQ_TESTDATA "/glyphs/rare.xls");

// (row, label, code point) of each no-glyph problem.
using Found = std::set<std::tuple<int, std::string, char32_t>>;

TEST(CheckGlyphs, OnlyWhatNoFaceHas)
{
    TVdcs vdcs;
    vdcs.PrintDate = QDate(2009, 7, 1);
    TRosterRows rows;
    TRunFillSource source{vdcs, rows, [] { return QStringLiteral("78"); }};
    rows.Open(toGb(kRoster));
    rows.FirstSheet();
    TFormCheck check(source);
    const TCheckReport report = check.CheckRows(7, 16);
    rows.Close();

    Found found;
    for (const TCheckProblem& p : report.problems) {
        if (p.kind != TCheckKind::NoGlyph)
            continue;
        found.emplace(p.row, p.label, p.codePoint);
        EXPECT_STREQ(CheckKindName(p.kind), "no-glyph");
        const std::string boxed = "姓名（B列）的“\uE815”（U+E815）本机没有字体能印出，会印成空框"
                                  "（可安装 fonts-hanazono 和 fonts-babelstone-han）";
        const std::string madeUp = "姓名（B列）的“\uE000”（U+E000）是自造字（私用区字符），本机没有造这个字的字体，"
                                   "印出来的不是原来的字";
        EXPECT_EQ(p.message.toStdString(), p.codePoint == 0xE000 ? madeUp : boxed);
        EXPECT_EQ(p.field.toStdString(), "姓名");
        EXPECT_EQ(p.column, 2);
    }
    // The rare characters of rows 7 to 15 all print; the made-up ones not,
    // though a fallback face draws something at U+E000.
    EXPECT_EQ(found, (Found{{16, "l_xm", 0xE815}, {16, "l_xm", 0xE000}}));
}

// The faces of fonts-noto-cjk and fonts-liberation2 alone: every character
// beyond them is named, in each field that prints it.
TEST(CheckGlyphs, MachineWithoutTheFallbackFaces)
{
    QTemporaryDir dir;
    QFile conf(dir.filePath(QStringLiteral("fonts.conf")));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write(QStringLiteral("<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig>\n"
                              "<dir>/usr/share/fonts/opentype/noto</dir>\n"
                              "<dir>/usr/share/fonts/truetype/liberation2</dir>\n"
                              "<cachedir>%1</cachedir>\n</fontconfig>\n")
                   .arg(dir.filePath(QStringLiteral("cache")))
                   .toUtf8());
    conf.close();
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("FONTCONFIG_FILE", conf.fileName());
    env.insert("LANG", "C.UTF-8");
    env.insert("LC_ALL", "C.UTF-8");
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VDMQ_BINARY_DIR "/app/vdmq-print"),
            {kRoster, "--start", "7", "--end", "16", "--date", "2009-07-01", "--check", "--json"});
    ASSERT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitCode(), 1) << p.readAllStandardError().toStdString();

    Found found;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o["kind"].toString() != QLatin1String("no-glyph"))
            continue;
        const QList<uint> c = o["char"].toString().toUcs4();
        ASSERT_EQ(c.size(), 1) << line.toStdString();
        EXPECT_EQ(o["code_point"].toString(),
                  QStringLiteral("U+") + QString::number(c[0], 16).toUpper().rightJustified(4, QLatin1Char('0')));
        EXPECT_TRUE(o["message"].toString().contains(o["char"].toString())) << line.toStdString();
        EXPECT_FALSE(o["field"].toString().isEmpty());
        found.emplace(o["row"].toInt(), o["label"].toString().toStdString(), char32_t(c[0]));
    }
    // Row 7, the issue's: 𠀀 in the name, the post, the former post, the
    // present unit and post and the opinion's first line.  Not rows whose
    // characters Noto CJK has (䶮, 𡈼, 𠀾, 𫠜, 𬌗, 﨎, 不 U+F967), nor 丽
    // U+2F800 of row 15, which the shaper draws with the glyph of its
    // canonical equivalent 丽 U+4E3D.
    const Found want = {
        {7, "l_xm", 0x20000},  {7, "zw0", 0x20000},     {7, "zw1", 0x20000},  {7, "zw2", 0x20000},
        {7, "y1", 0x20000},    {10, "l_xm", 0x2A6A5},   {11, "zw1", 0x2E9F5}, {11, "y1", 0x2E9F5},
        {12, "l_xm", 0x2A700}, {12, "l_whcd", 0x20000}, {16, "l_xm", 0xE815}, {16, "l_xm", 0xE000},
    };
    EXPECT_EQ(found, want);
}

}  // namespace
