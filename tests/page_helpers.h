#pragma once
// What a printed page looks like from outside: its size (pdfinfo) and where
// the form's outer frame sits on it (a 0.1 mm raster from pdftoppm).
#include <QImage>
#include <QProcess>
#include <QRectF>
#include <QRegularExpression>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <vector>

namespace testpages {

constexpr double kPtMm = 25.4 / 72;

inline QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

inline QSizeF pageSizeMm(const QString& pdf)
{
    static const QRegularExpression re(R"(Page size:\s+([\d.]+) x ([\d.]+) pts)");
    const auto m = re.match(run("pdfinfo", {pdf}));
    return m.hasMatch() ? QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) * kPtMm : QSizeF();
}

// The outer frame in the first page, in millimetres from the paper's
// top-left corner: the outermost rows and columns that are dark over more
// than 200 mm (vertical) or 150 mm (horizontal).  Only the frame's outer
// rules and the full-width rules inside it are that long.
inline QRectF frameInPdf(const QString& pdf)
{
    QTemporaryDir dir;
    run("pdftoppm",
        {"-r", "254", "-gray", "-aa", "no", "-aaVector", "no", "-f", "1", "-l", "1", pdf, dir.filePath("page")});
    QImage img(dir.filePath("page-1.pgm"));
    if (img.isNull())
        return {};
    img = img.convertToFormat(QImage::Format_Grayscale8);
    std::vector<int> cols(img.width()), rows(img.height());
    for (int y = 0; y < img.height(); ++y) {
        const uchar* line = img.constScanLine(y);
        for (int x = 0; x < img.width(); ++x)
            if (line[x] < 128) {
                ++cols[x];
                ++rows[y];
            }
    }
    auto first = [](const std::vector<int>& v, int min) {
        for (int i = 0; i < int(v.size()); ++i)
            if (v[i] >= min)
                return i;
        return -1;
    };
    auto last = [](const std::vector<int>& v, int min) {
        for (int i = int(v.size()) - 1; i >= 0; --i)
            if (v[i] >= min)
                return i;
        return -1;
    };
    const int l = first(cols, 2000), r = last(cols, 2000), t = first(rows, 1500), b = last(rows, 1500);
    if (l < 0 || t < 0)
        return {};
    return QRectF(l / 10.0, t / 10.0, (r + 1 - l) / 10.0, (b + 1 - t) / 10.0);
}

}  // namespace testpages
