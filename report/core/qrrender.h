#pragma once
// Internal: the page painter with the choices a writer may make.
#include "report/core/qr.h"

namespace qr::detail {

struct RenderOptions {
    double pixelsPerTenth = 96.0 / 254.0;
    QPointF offset;
    // Device units per outline pixel: 1 on screens and printers; a PDF,
    // which has no pixels, takes a screen pixel so its rules look like the
    // preview's.
    double penPixel = 1;
    // Snap rectangles to whole device pixels (raster devices).
    bool snap = true;
};

void renderPage(QPainter& painter, const QRPageImage& page, const RenderOptions& options);

}  // namespace qr::detail
