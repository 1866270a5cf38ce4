// Fonts, text measurement and the label text rules.
#include "report/core/qrtext.h"


#include <QImage>
#include <QRawFont>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <memory>
#include <unordered_map>

namespace qr {

namespace {

bool sameName(const QString& a, const char* b) { return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0; }

}  // namespace

const QStringList& FallbackFamilies()
{
    static const QStringList families = {QStringLiteral("HanaMinA"), QStringLiteral("HanaMinB"),
                                         QStringLiteral("BabelStone Han")};
    return families;
}

QFont resolveFont(const TQRFont& font)
{
    static const QString serif = QStringLiteral("Noto Serif CJK SC");
    static const QString sans = QStringLiteral("Noto Sans CJK SC");
    static const QString arial = QStringLiteral("Liberation Sans");
    const QString name = font.Name.trimmed();
    QStringList families;
    if (name == QStringLiteral("宋体") || sameName(name, "SimSun") || name == QStringLiteral("新宋体") ||
        sameName(name, "NSimSun") || name.isEmpty())
        families = {serif};
    else if (name == QStringLiteral("黑体") || sameName(name, "SimHei"))
        families = {sans};
    else if (sameName(name, "Arial"))
        families = {arial, serif};  // Chinese glyphs of an Arial text come from the CJK face
    else
        families = {name, serif};
    // Ideographs the form's faces lack (rare characters of names, most of
    // Extensions B to F) come from these, in this order, before whatever
    // the system would pick: the same face on every machine that has the
    // packages, and so the same widths in the check and on paper.
    families += FallbackFamilies();
    QFont f(families.front());
    f.setFamilies(families);
    f.setPointSizeF(font.Size > 0 ? font.Size : 9.75);
    f.setBold(font.Bold);
    f.setItalic(font.Italic);
    f.setUnderline(font.Underline);
    // Unhinted outlines scale linearly, so a text measures the same at every
    // resolution: the page laid out once prints and previews alike.
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setKerning(false);
    return f;
}

namespace detail {

namespace {

// A 1 x 1 image that paints at `dpi`: fonts laid out for it are set at that
// resolution, whatever screen there is.
QImage deviceAt(double dpi)
{
    QImage img(1, 1, QImage::Format_ARGB32_Premultiplied);
    const int dpm = int(std::lround(dpi / 0.0254));
    img.setDotsPerMeterX(dpm);
    img.setDotsPerMeterY(dpm);
    return img;
}

// Each thread lays texts out on images of its own, as it has fonts of its
// own (a PDF writer draws on two threads).
const QPaintDevice* measureDevice()
{
    thread_local const QImage image = deviceAt(kMeasureDpi);
    return &image;
}

// Where texts are shaped for the cache below: a pixel is a tenth of a
// millimetre, so that even the title's glyphs are a few dozen pixels high.
const QPaintDevice* shapingDevice()
{
    thread_local const QImage image = deviceAt(254.0);
    return &image;
}

bool sameFont(const TQRFont& a, const TQRFont& b)
{
    return a.Size == b.Size && a.Bold == b.Bold && a.Italic == b.Italic && a.Underline == b.Underline &&
           a.Name == b.Name;
}

}  // namespace

namespace {

qint16 be16(const QByteArray& t, int at) { return qint16((quint8(t[at]) << 8) | quint8(t[at + 1])); }

// The typographic em box of a CJK face, as fractions of the em: ascent and
// descent.  The faces standing in for 宋体 and 黑体 put their ideographs in
// that box, and the originals' character cell is exactly their em; the
// faces' own line spacing (about 1.45 em) would not fit a 10-point line into
// the 3.70 mm data boxes of the form.
std::pair<double, double> emBox(const QFont& font)
{
    const QRawFont raw = QRawFont::fromFont(font);
    const QByteArray os2 = raw.fontTable("OS/2");
    const QByteArray head = raw.fontTable("head");
    if (os2.size() >= 72 && head.size() >= 20) {
        const int upem = quint16(be16(head, 18));
        const int asc = be16(os2, 68), desc = be16(os2, 70);
        if (upem > 0 && asc > 0 && asc - desc > 0)
            return {double(asc) / upem, double(-desc) / upem};
    }
    return {0.88, 0.12};
}

// The design fonts of the form are Chinese-charset fonts (Arial included:
// asked for with the GB2312 character set it is drawn from the Chinese
// face), so their character cell is the Chinese face's em box.  Returns that
// face, or an empty string for any other font.
QString emCellFace(const TQRFont& font)
{
    const QString n = font.Name.trimmed();
    if (n == QStringLiteral("黑体") || sameName(n, "SimHei"))
        return QStringLiteral("Noto Sans CJK SC");
    if (n.isEmpty() || n == QStringLiteral("宋体") || n == QStringLiteral("新宋体") || sameName(n, "SimSun") ||
        sameName(n, "NSimSun") || sameName(n, "Arial"))
        return QStringLiteral("Noto Serif CJK SC");
    return {};
}

}  // namespace

MeasuredFont::MeasuredFont(const TQRFont& font)
    : font_(resolveFont(font)),
      measuringFont_(font_, measureDevice()),
      shapingFont_(font_, shapingDevice()),
      fm_(measuringFont_)
{
    if (const QString face = emCellFace(font); !face.isEmpty()) {
        QFont cjk(face);
        cjk.setPointSizeF(font_.pointSizeF());
        cjk.setBold(font.Bold);
        const auto [asc, desc] = emBox(cjk);
        const double em = font_.pointSizeF() * 254.0 / 72.0;  // tenths
        ascent_ = asc * em;
        height_ = (asc + desc) * em;
    } else {
        height_ = fm_.height() * kPxToTenths;
        ascent_ = fm_.ascent() * kPxToTenths;
    }
}

namespace {

// The layout's text as one line, never wrapped.
QTextLine layOutLine(QTextLayout& layout)
{
    QTextOption opt;
    opt.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(opt);
    // Keeps the shaped glyphs for glyphRuns(), which would shape again.
    layout.setCacheEnabled(true);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    return line;
}

// Whether a text's width is the sum of its glyphs' advances: no tab stops,
// no characters laid out without a glyph (controls, format and joining
// characters), no marks placed on their base, no right-to-left runs.
bool plainText(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        switch (QChar::category(c)) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Other_Surrogate:
        case QChar::Mark_NonSpacing:
        case QChar::Mark_SpacingCombining:
        case QChar::Mark_Enclosing:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph: return false;
        default: break;
        }
        switch (QChar::direction(c)) {
        case QChar::DirL:
        case QChar::DirEN:
        case QChar::DirES:
        case QChar::DirET:
        case QChar::DirCS:
        case QChar::DirWS:
        case QChar::DirON: break;
        default: return false;
        }
    }
    return true;
}

}  // namespace

// Qt caches a glyph's metrics only while the glyph is smaller than 256
// pixels, and at the measuring size a 10-point ideograph is 3,528 pixels
// wide: every text laid out there had each of its glyphs loaded and scaled
// by FreeType again, three quarters of a batch run whose forms hold
// different names.  So a text is shaped at
// a small size instead, where the cache works, and set with the measuring
// size's advances of the glyphs chosen there, remembered per glyph.  Glyph
// choice does not depend on the size (no hinting, no kerning), and Qt sets
// such a line glyph after glyph by those advances, so the widths and runs
// are the very numbers the layout at the measuring size gives.  A text the
// sum does not describe, or a face not seen at both sizes yet, takes Qt's
// layout at the measuring size.
bool MeasuredFont::shapeFast(const QString& text, bool wantRuns, Shaped& out)
{
    if (!plainText(text))
        return false;
    QTextLayout layout(text, shapingFont_);
    const QTextLine line = layOutLine(layout);
    if (!line.isValid())
        return false;
    const QList<QGlyphRun> runs = line.glyphRuns();
    const double baseline = line.ascent();
    double shapingX = 0, x = 0;
    for (const QGlyphRun& run : runs) {
        Face* face = faceOf(run.rawFont());
        if (face == nullptr && learnFailures_ < kMaxLearnFailures) {
            learnFaces(text);
            face = faceOf(run.rawFont());
            if (face == nullptr)  // a face the two sizes set differently: not tried for ever
                ++learnFailures_;
        }
        if (face == nullptr || run.isRightToLeft())
            return false;
        const QList<quint32> glyphs = run.glyphIndexes();
        const QList<QPointF> at = run.positions();
        const QList<QPointF> shapingAdvances = run.rawFont().advancesForGlyphIndexes(glyphs);
        QList<QPointF> positions;
        if (wantRuns)
            positions.reserve(glyphs.size());
        for (qsizetype i = 0; i < glyphs.size(); ++i) {
            // Placed by anything but its advance (a mark, a feature of the
            // face): not a plain line.
            if (at[i].x() != shapingX || at[i].y() != baseline)
                return false;
            shapingX += shapingAdvances[i].x();
            if (wantRuns)
                positions.append(QPointF(x, 0));
            x += advance(*face, glyphs[i]);
        }
        if (wantRuns) {
            QGlyphRun r;
            r.setRawFont(face->measuring);
            r.setGlyphIndexes(glyphs);
            r.setPositions(positions);
            out.runs.append(r);
        }
    }
    out.width = x;
    return true;
}

MeasuredFont::Face* MeasuredFont::faceOf(const QRawFont& shapingFace)
{
    for (Face& f : faces_)
        if (f.shaping == shapingFace)
            return &f;
    return nullptr;
}

// Pairs the faces of `text` at the shaping size with the same faces at the
// measuring size, where both layouts chose the same glyphs.
void MeasuredFont::learnFaces(const QString& text)
{
    if (faces_.size() > 64)  // faces Qt made anew: start over rather than grow
        faces_.clear();
    QTextLayout layout(text, shapingFont_);
    const QTextLine line = layOutLine(layout);
    if (!line.isValid())
        return;
    const QList<QGlyphRun> small = line.glyphRuns();
    const QList<QGlyphRun> large = glyphRunsByLayout(text);
    if (small.size() != large.size())
        return;
    for (qsizetype i = 0; i < small.size(); ++i) {
        const QRawFont a = small[i].rawFont(), b = large[i].rawFont();
        if (small[i].glyphIndexes() != large[i].glyphIndexes() || a.familyName() != b.familyName() ||
            a.styleName() != b.styleName() || a.weight() != b.weight() || a.style() != b.style())
            return;
    }
    for (qsizetype i = 0; i < small.size(); ++i)
        if (faceOf(small[i].rawFont()) == nullptr)
            faces_.push_back({small[i].rawFont(), large[i].rawFont(), {}});
}

double MeasuredFont::advance(Face& face, quint32 glyph)
{
    const auto it = face.advances.find(glyph);
    if (it != face.advances.end())
        return it->second;
    const double a = face.measuring.advancesForGlyphIndexes(QList<quint32>{glyph}).value(0).x();
    face.advances.emplace(glyph, a);
    return a;
}

double MeasuredFont::widthByLayout(const QString& text) const { return fm_.horizontalAdvance(text); }

QList<QGlyphRun> MeasuredFont::glyphRunsByLayout(const QString& text) const
{
    QTextLayout layout(text, measuringFont_);
    const QTextLine line = layOutLine(layout);
    QList<QGlyphRun> runs;
    if (line.isValid()) {
        runs = line.glyphRuns();
        const double ascent = line.ascent();
        for (QGlyphRun& r : runs) {
            QList<QPointF> pos = r.positions();
            for (QPointF& p : pos)
                p.ry() -= ascent;
            r.setPositions(pos);
            // The painter of a raster device places a glyph run's underline
            // with its transformation applied twice (a line far below and to
            // the right of the text); the renderer draws it as a rule.
            r.setUnderline(false);
            r.setOverline(false);
            r.setStrikeOut(false);
        }
    }
    return runs;
}

double MeasuredFont::width(const QString& text)
{
    if (text.isEmpty())
        return 0;
    auto it = widths_.find(text);
    if (it != widths_.end())
        return it->second;
    // The form's own texts come back on every form; a roster's names, posts
    // and figures mostly once.  A cache that holds about a hundred forms'
    // texts keeps the first and the process small (20,000 widths and 5,000
    // runs held 10 MB more at 1,500 forms, for no time saved).
    if (widths_.size() > 4000)
        widths_.clear();
    Shaped shaped;
    double w = 0;
    if (shapeFast(text, true, shaped)) {
        w = shaped.width * kPxToTenths;
        // A line measured is usually drawn next: its runs are kept too.
        keepRuns(text, std::move(shaped.runs));
    } else {
        w = widthByLayout(text) * kPxToTenths;
    }
    widths_.emplace(text, w);
    return w;
}

const QList<QGlyphRun>& MeasuredFont::keepRuns(const QString& text, QList<QGlyphRun> runs)
{
    if (runs_.size() > 1000)  // see width()
        runs_.clear();
    return runs_.insert_or_assign(text, std::move(runs)).first->second;
}

const QList<QGlyphRun>& MeasuredFont::glyphRuns(const QString& text)
{
    auto it = runs_.find(text);
    if (it != runs_.end())
        return it->second;
    Shaped shaped;
    const bool fast = shapeFast(text, true, shaped);
    return keepRuns(text, fast ? std::move(shaped.runs) : glyphRunsByLayout(text));
}

namespace {

// Whether the glyphs of `runs` are the characters of `chars` one by one,
// in order, each the glyph its face's character map gives: true for
// nearly every text of a form.  Not so for a glyph a face substitutes
// (Noto CJK sets digits beside Latin letters with glyphs of their own), a
// ligature, a character of two glyphs or a right-to-left text.
bool oneGlyphPerChar(const QList<QGlyphRun>& runs, const QList<uint>& chars)
{
    qsizetype at = 0;
    std::vector<quint32> mapped;
    for (const QGlyphRun& r : runs) {
        const QList<quint32> glyphs = r.glyphIndexes();
        if (at + glyphs.size() > chars.size())
            return false;
        const QString part =
            QString::fromUcs4(reinterpret_cast<const char32_t*>(chars.constData() + at), glyphs.size());
        mapped.resize(std::size_t(part.size()));
        int n = int(mapped.size());
        if (!r.rawFont().glyphIndexesForChars(part.constData(), int(part.size()), mapped.data(), &n) ||
            n != glyphs.size())
            return false;
        for (qsizetype i = 0; i < glyphs.size(); ++i)
            if (mapped[std::size_t(i)] != glyphs[i])
                return false;
        at += glyphs.size();
    }
    return at == chars.size();
}

}  // namespace

std::vector<std::u32string> glyphTexts(MeasuredFont& mf, const QString& text)
{
    const QList<QGlyphRun>& runs = mf.glyphRuns(text);
    const QList<uint> chars = text.toUcs4();
    std::vector<std::u32string> out;
    if (oneGlyphPerChar(runs, chars)) {
        out.reserve(std::size_t(chars.size()));
        for (uint c : chars)
            out.emplace_back(1, char32_t(c));
        return out;
    }
    // Otherwise character by character: the glyphs the layout gives each
    // character, found among the glyphs of the whole line by face, index
    // and place.
    struct Placed {
        const QGlyphRun* run;
        quint32 glyph;
        double x;
    };
    std::vector<Placed> all;
    for (const QGlyphRun& r : runs) {
        const QList<quint32> glyphs = r.glyphIndexes();
        const QList<QPointF> pos = r.positions();
        for (qsizetype i = 0; i < glyphs.size(); ++i)
            all.push_back({&r, glyphs[i], pos[i].x()});
    }
    out.resize(all.size());
    QTextLayout layout(text, mf.font(), const_cast<QPaintDevice*>(measureDevice()));
    QTextOption opt;
    opt.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(opt);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid())
        return out;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const char32_t c = len == 2 ? QChar::surrogateToUcs4(text.at(i), text.at(i + 1)) : text.at(i).unicode();
        bool given = false;
        for (const QGlyphRun& part : line.glyphRuns(int(i), int(len))) {
            const QList<quint32> glyphs = part.glyphIndexes();
            const QList<QPointF> pos = part.positions();
            for (qsizetype g = 0; g < glyphs.size() && !given; ++g)
                for (std::size_t k = 0; k < all.size(); ++k)
                    if (all[k].glyph == glyphs[g] && std::abs(all[k].x - pos[g].x()) < 0.5 &&
                        all[k].run->rawFont() == part.rawFont()) {
                        out[k] += c;  // the first glyph of a character stands for it
                        given = true;
                        break;
                    }
        }
        i += len;
    }
    return out;
}

std::string fontKey(const TQRFont& font)
{
    return font.Name.toStdString() + '|' + std::to_string(font.Size) + '|' + char('0' + font.Bold) +
           char('0' + font.Italic) + char('0' + font.Underline);
}

MeasuredFont& measured(const TQRFont& font)
{
    struct Entry {
        TQRFont design;
        std::unique_ptr<MeasuredFont> mf;
    };
    // Each thread measures with fonts of its own: Qt's font objects belong
    // to the thread that made them (a PDF writer draws on two).
    thread_local std::vector<Entry> fonts;
    thread_local std::size_t last = 0;
    if (last < fonts.size() && sameFont(fonts[last].design, font))
        return *fonts[last].mf;
    for (std::size_t i = 0; i < fonts.size(); ++i)
        if (sameFont(fonts[i].design, font)) {
            last = i;
            return *fonts[i].mf;
        }
    fonts.push_back({font, std::make_unique<MeasuredFont>(font)});
    last = fonts.size() - 1;
    return *fonts.back().mf;
}

std::vector<QString> splitLines(const QString& caption)
{
    std::vector<QString> lines(1);
    for (const QChar c : caption) {
        if (c == u'\r')
            lines.emplace_back();
        else if (c != u'\n')
            lines.back() += c;
    }
    return lines;
}

namespace {

constexpr double kFitSlack = 1e-6;

QString trimRightSpaces(QStringView s)
{
    while (!s.isEmpty() && s.back() == u' ')
        s.chop(1);
    return s.toString();
}

bool fits(MeasuredFont& mf, QStringView text, double boxWidth)
{
    return mf.width(trimRightSpaces(text)) <= boxWidth + kFitSlack;
}

// Words end after a space or a hyphen; a text without either is one word.
std::vector<QStringView> words(QStringView line)
{
    std::vector<QStringView> out;
    qsizetype start = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == u' ' || line[i] == u'-') {
            out.push_back(line.mid(start, i + 1 - start));
            start = i + 1;
        }
    }
    if (start < line.size())
        out.push_back(line.mid(start));
    return out;
}

// The longest whole-character prefix of `word` that fits.
QStringView cutToFit(MeasuredFont& mf, QStringView word, double boxWidth)
{
    qsizetype end = 0, i = 0;
    while (i < word.size()) {
        const qsizetype next = i + (word[i].isHighSurrogate() && i + 1 < word.size() ? 2 : 1);
        if (!fits(mf, word.left(next), boxWidth))
            break;
        end = i = next;
    }
    return word.left(end);
}

}  // namespace

std::vector<QString> wrapLine(MeasuredFont& mf, const QString& line, double boxWidth)
{
    std::vector<QString> out;
    QString cur;
    for (QStringView word : words(line)) {
        if (!cur.isEmpty()) {
            QString joined = cur;
            joined.append(word);
            if (fits(mf, joined, boxWidth)) {
                cur = std::move(joined);
                continue;
            }
            out.push_back(trimRightSpaces(cur));
            cur.clear();
        }
        if (fits(mf, word, boxWidth)) {
            cur = word.toString();
        } else {
            // Too wide for a line of its own: what fits is shown, the rest
            // of the word is lost (as on paper, it must not run into the
            // next cell).
            out.push_back(cutToFit(mf, word, boxWidth).toString());
        }
    }
    if (!cur.isEmpty() || out.empty())
        out.push_back(std::move(cur));
    return out;
}

void layoutLabel(const TQRLabel& label, double x, double y, std::vector<QRItem>& items)
{
    MeasuredFont& mf = measured(label.Font);
    const double lh = mf.lineHeight();
    double left = x + label.Left * 10, top = y + label.Top * 10;
    double w = label.Width * 10, h = label.Height * 10;

    std::vector<QString> lines = splitLines(label.Caption);
    if (label.AutoSize) {
        double widest = 0;
        for (const auto& l : lines)
            widest = std::max(widest, mf.width(l));
        if (label.Alignment == taRightJustify)
            left += w - widest;
        else if (label.Alignment == taCenter)
            left += (w - widest) / 2;
        w = widest;
        if (h < lh + kScreenPixel)
            h = lh + kScreenPixel;
    } else if (label.WordWrap) {
        std::vector<QString> wrapped;
        for (const auto& l : lines) {
            auto part = wrapLine(mf, l, w);
            wrapped.insert(wrapped.end(), std::make_move_iterator(part.begin()), std::make_move_iterator(part.end()));
        }
        lines = std::move(wrapped);
    }

    std::size_t shown = lines.size();
    if (label.AutoStretch) {
        h = std::max(h, double(lines.size()) * lh);
    } else {
        // A line is printed only when it ends at most 0.1 mm below the box.
        shown = 0;
        while (shown < lines.size() && double(shown + 1) * lh <= h + 1.0 + kFitSlack)
            ++shown;
    }

    QRItem box;
    box.kind = QRItem::Fill;
    box.rect = QRectF(left, top, w, h);
    items.push_back(std::move(box));

    for (std::size_t i = 0; i < shown; ++i) {
        if (lines[i].isEmpty())
            continue;
        const double lw = mf.width(lines[i]);
        double lx = left;
        if (label.Alignment == taRightJustify)
            lx = left + w - lw;
        else if (label.Alignment == taCenter)
            lx = left + (w - lw) / 2;
        QRItem t;
        t.kind = QRItem::Text;
        t.rect = QRectF(lx, top + double(i) * lh, lw, lh);
        t.text = std::move(lines[i]);
        t.font = label.Font;
        t.alignment = label.Alignment;
        items.push_back(std::move(t));
    }
}

}  // namespace detail

namespace {

// The faces a design font names that are installed, one of each.
const std::vector<QRawFont>& chainFaces(const detail::MeasuredFont& mf)
{
    thread_local std::unordered_map<std::string, std::vector<QRawFont>> chains;
    const QFont& f = mf.font();
    const std::string key =
        f.families().join(QLatin1Char('|')).toStdString() + char('0' + f.bold()) + char('0' + f.italic());
    auto it = chains.find(key);
    if (it != chains.end())
        return it->second;
    std::vector<QRawFont> faces;
    for (const QString& family : f.families()) {
        QFont one(family);
        one.setBold(f.bold());
        one.setItalic(f.italic());
        one.setStyleStrategy(QFont::NoFontMerging);
        const QRawFont raw = QRawFont::fromFont(one);
        if (raw.isValid() && raw.familyName().compare(family, Qt::CaseInsensitive) == 0)
            faces.push_back(raw);
    }
    return chains.emplace(key, std::move(faces)).first->second;
}

}  // namespace

std::vector<char32_t> MissingGlyphs(const TQRFont& font, const QString& text)
{
    std::vector<char32_t> out;
    if (text.isEmpty())
        return out;
    detail::MeasuredFont& mf = detail::measured(font);
    // Nearly every text: each character is in one of the faces the font
    // names, which is where the layout takes it from.
    const std::vector<QRawFont>& faces = chainFaces(mf);
    bool allFound = true;
    for (qsizetype i = 0; i < text.size() && allFound; ++i) {
        char32_t c = text.at(i).unicode();
        if (text.at(i).isHighSurrogate() && i + 1 < text.size()) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            ++i;
        }
        allFound = c < 0x20 || std::any_of(faces.begin(), faces.end(),
                                           [c](const QRawFont& r) { return r.supportsCharacter(uint(c)); });
    }
    if (allFound)
        return out;
    // Otherwise what the layout drew, the system's own fallbacks included.
    const QList<QGlyphRun>& runs = mf.glyphRuns(text);
    bool any = false;
    for (const QGlyphRun& r : runs)
        any = any || r.glyphIndexes().contains(0u);
    if (!any)
        return out;
    const std::vector<std::u32string> texts = detail::glyphTexts(mf, text);
    std::size_t k = 0;
    for (const QGlyphRun& r : runs)
        for (quint32 g : r.glyphIndexes()) {
            if (g == 0 && k < texts.size())
                for (char32_t c : texts[k]) {
                    // Blanks and invisible characters draw nothing in any face.
                    const auto cat = QChar::category(c);
                    if (QChar::isSpace(c) || cat == QChar::Other_Format || cat == QChar::Other_Control ||
                        std::find(out.begin(), out.end(), c) != out.end())
                        continue;
                    out.push_back(c);
                }
            ++k;
        }
    return out;
}

}  // namespace qr
