// Joining the pages of two PDF documents that Qt wrote into one, as an
// update appended to the first.
#include "report/core/qrpdffix.h"

#include <QFile>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <optional>

namespace qr::detail {

namespace {

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// The number after `key` in `text` ("/Size 37" → 37), or -1.
qint64 numberAfter(const QByteArray& text, const char* key, qsizetype from = 0)
{
    const qsizetype at = text.indexOf(key, from);
    if (at < 0)
        return -1;
    qsizetype p = at + qsizetype(std::strlen(key));
    while (p < text.size() && text[p] == ' ')
        ++p;
    qsizetype e = p;
    while (e < text.size() && isDigit(text[e]))
        ++e;
    bool ok = false;
    const qint64 n = text.mid(p, e - p).toLongLong(&ok);
    return ok ? n : -1;
}

// The objects named "N 0 R" in `text`, in order.
std::vector<int> references(const QByteArray& text)
{
    std::vector<int> refs;
    for (qsizetype at = text.indexOf(" 0 R"); at >= 0; at = text.indexOf(" 0 R", at + 4)) {
        qsizetype b = at;
        while (b > 0 && isDigit(text[b - 1]))
            --b;
        if (b < at)
            refs.push_back(text.mid(b, at - b).toInt());
    }
    return refs;
}

// A document as Qt writes it: where each object starts, the trailer's
// root and information, and where its cross-reference table starts.
struct PdfIndex {
    std::map<int, qint64> offsets;  // object number → offset of "N 0 obj"
    qint64 xref = -1;
    qint64 size = 0;  // the trailer's /Size
    int root = -1, info = -1;
};

QByteArray readAt(QFile& f, qint64 at, qint64 n)
{
    if (!f.seek(at))
        return {};
    return f.read(n);
}

std::optional<PdfIndex> readIndex(QFile& f)
{
    const qint64 size = f.size();
    const QByteArray tail = readAt(f, std::max<qint64>(0, size - 1024), 1024);
    const qsizetype sx = tail.lastIndexOf("startxref");
    PdfIndex ix;
    ix.xref = sx < 0 ? -1 : numberAfter(tail, "startxref\n", sx);
    if (ix.xref <= 0 || ix.xref >= size)
        return std::nullopt;
    const QByteArray table = readAt(f, ix.xref, size - ix.xref);
    if (!table.startsWith("xref\n"))
        return std::nullopt;
    // One section from object 0, as Qt writes it.
    qsizetype line = 5;
    const qsizetype eol = table.indexOf('\n', line);
    const QList<QByteArray> head = table.mid(line, eol - line).trimmed().split(' ');
    if (eol < 0 || head.size() != 2 || head[0] != "0")
        return std::nullopt;
    const int count = head[1].toInt();
    line = eol + 1;
    for (int i = 0; i < count; ++i, line += 20) {
        if (line + 20 > table.size())
            return std::nullopt;
        if (table[line + 17] == 'n')
            ix.offsets[i] = table.mid(line, 10).toLongLong();
    }
    const qsizetype trailer = table.indexOf("trailer", line);
    if (trailer < 0)
        return std::nullopt;
    ix.size = numberAfter(table, "/Size", trailer);
    ix.root = int(numberAfter(table, "/Root", trailer));
    ix.info = int(numberAfter(table, "/Info", trailer));
    if (ix.size != count || !ix.offsets.count(ix.root))
        return std::nullopt;
    return ix;
}

// The whole text of object `n` (no stream in it).
QByteArray objectText(QFile& f, const PdfIndex& ix, int n)
{
    const auto it = ix.offsets.find(n);
    if (it == ix.offsets.end())
        return {};
    QByteArray text = readAt(f, it->second, 1 << 16);
    const qsizetype end = text.indexOf("endobj");
    if (end < 0) {
        // A long page list: read on to its end.
        text = readAt(f, it->second, ix.xref - it->second);
        return text.left(text.indexOf("endobj"));
    }
    return text.left(end);
}

// The document's page tree: its number and its pages in order.
struct PageTree {
    int number = -1;
    std::vector<int> kids;
};

std::optional<PageTree> pageTree(QFile& f, const PdfIndex& ix)
{
    PageTree tree;
    tree.number = int(numberAfter(objectText(f, ix, ix.root), "/Pages"));
    const QByteArray pages = objectText(f, ix, tree.number);
    const qsizetype kids = pages.indexOf("/Kids"), open = pages.indexOf('[', kids), close = pages.indexOf(']', open);
    if (tree.number <= 0 || kids < 0 || open < 0 || close < 0)
        return std::nullopt;
    tree.kids = references(pages.mid(open, close - open));
    return tree;
}

// `text` with every reference "N 0 R" renumbered through `to`.
QByteArray renumbered(const QByteArray& text, const std::map<int, int>& to)
{
    QByteArray out;
    out.reserve(text.size() + 64);
    qsizetype done = 0;
    for (qsizetype at = text.indexOf(" 0 R"); at >= 0; at = text.indexOf(" 0 R", at + 4)) {
        qsizetype b = at;
        while (b > 0 && isDigit(text[b - 1]))
            --b;
        if (b == at)
            continue;
        const auto it = to.find(text.mid(b, at - b).toInt());
        if (it == to.end())
            continue;
        out.append(text.constData() + done, b - done);
        out.append(QByteArray::number(it->second));
        done = at;
    }
    out.append(text.constData() + done, text.size() - done);
    return out;
}

QByteArray xrefEntry(qint64 offset) { return QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n"; }

}  // namespace

bool appendPdfPages(const QString& firstPath, const QString& secondPath, const std::vector<bool>& fromSecond,
                    const PdfSink& sink, qint64 firstSize)
{
    QFile first(firstPath), second(secondPath);
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly) || first.size() != firstSize)
        return false;
    const std::optional<PdfIndex> a = readIndex(first), b = readIndex(second);
    if (!a || !b)
        return false;
    const std::optional<PageTree> pagesA = pageTree(first, *a), pagesB = pageTree(second, *b);
    const auto inSecond = std::size_t(std::count(fromSecond.begin(), fromSecond.end(), true));
    if (!pagesA || !pagesB || pagesB->kids.size() != inSecond || pagesA->kids.size() != fromSecond.size() - inSecond)
        return false;

    // The second document's objects follow the first's, in the order they
    // stand in its file; its page tree becomes the first's, and its
    // catalogue and information are left out.
    std::vector<std::pair<qint64, int>> order;  // offset, number
    for (const auto& [n, at] : b->offsets)
        if (n != b->root && n != b->info && n != pagesB->number)
            order.emplace_back(at, n);
    std::sort(order.begin(), order.end());
    std::map<int, int> to{{pagesB->number, pagesA->number}};
    int next = int(a->size);
    for (const auto& [at, n] : order)
        to[n] = next++;

    qint64 written = firstSize;
    std::vector<qint64> offsets;
    offsets.reserve(order.size());
    auto put = [&](const QByteArray& bytes) {
        written += bytes.size();
        return sink(bytes.constData(), bytes.size());
    };
    if (!put("\n"))
        return false;
    std::vector<qint64> starts;  // every object's offset, ascending, then the table's
    for (const auto& [n, at] : b->offsets)
        starts.push_back(at);
    starts.push_back(b->xref);
    std::sort(starts.begin(), starts.end());
    for (const auto& [at, n] : order) {
        const qint64 end = *std::upper_bound(starts.begin(), starts.end(), at);
        const QByteArray object = readAt(second, at, end - at);
        const qsizetype header = object.indexOf(" 0 obj");
        if (object.size() != end - at || header < 0 || object.left(header).toInt() != n)
            return false;
        // References stand only in the dictionary, before any stream.
        qsizetype body = object.indexOf("stream\n", header);
        if (body < 0)
            body = object.size();
        offsets.push_back(written);
        if (!put(QByteArray::number(to[n]) + renumbered(object.mid(header, body - header), to)) ||
            !sink(object.constData() + body, object.size() - body))
            return false;
        written += object.size() - body;
    }

    QByteArray tree = QByteArray::number(pagesA->number) + " 0 obj\n<<\n/Type /Pages\n/Kids \n[\n";
    std::size_t ka = 0, kb = 0;
    for (const bool second : fromSecond)
        tree += QByteArray::number(second ? to[pagesB->kids[kb++]] : pagesA->kids[ka++]) + " 0 R\n";
    tree += "]\n/Count " + QByteArray::number(qsizetype(fromSecond.size())) +
            "\n/ProcSet [/PDF /Text /ImageB /ImageC]\n>>\nendobj\n";
    const qint64 treeAt = written;
    if (!put(tree))
        return false;

    const qint64 xrefAt = written;
    QByteArray table = "xref\n" + QByteArray::number(pagesA->number) + " 1\n" + xrefEntry(treeAt);
    table += QByteArray::number(a->size) + ' ' + QByteArray::number(qsizetype(offsets.size())) + '\n';
    for (const qint64 at : offsets)
        table += xrefEntry(at);
    table += "trailer\n<<\n/Size " + QByteArray::number(next) + '\n';
    if (a->info > 0)
        table += "/Info " + QByteArray::number(a->info) + " 0 R\n";
    table += "/Root " + QByteArray::number(a->root) + " 0 R\n/Prev " + QByteArray::number(a->xref) +
             "\n>>\nstartxref\n" + QByteArray::number(xrefAt) + "\n%%EOF\n";
    return put(table);
}

}  // namespace qr::detail
