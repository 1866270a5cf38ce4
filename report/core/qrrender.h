#pragma once
// Internal: the page painter with the choices a writer may make.
#include "report/core/qr.h"

namespace qr::detail {

class PdfGlyphLog;

struct RenderOptions {
    double pixelsPerTenth = 96.0 / 254.0;
    QPointF offset;
    // Device units per outline pixel: 1 on screens and printers; a PDF,
    // which has no pixels, takes a screen pixel so its rules look like the
    // preview's.
    double penPixel = 1;
    // Snap rectangles to whole device pixels (raster devices).
    bool snap = true;
    // A PDF document's record of what each glyph stands for (its text
    // layer); null elsewhere.
    PdfGlyphLog* glyphLog = nullptr;
};

void renderPage(QPainter& painter, const QRPageImage& page, const RenderOptions& options);

}  // namespace qr::detail
