#pragma once
// Where the form sits on its paper, and the calibration page: the form's
// frame with millimetre scales for the left and top edges and the distance
// each frame line should have from the paper's edge, so that an office can
// measure how its printer places the page and enter the correction.
#include "report/core/qr.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <string>

namespace vdmq {

// Millimetres as the paper settings, their warnings and the calibration
// page write them: rounded to 0.1 ("1.5"), and signed ("+1.5", "−0.8").
double RoundMm(double mm);
QString MmText(double mm);
QString SignedMmText(double mm);

// The form as the layout prints it (design captions, no roster row), with
// the margins the filler gives every page.
const qr::QRPageImage& FormLayoutPage();

// On the form's own paper, in millimetres: the outer frame (the outside
// edges of its outermost rules), and everything the form prints (the frame,
// the title above it and the issuing-body line below it).
QRectF FormFrameMm();
QRectF FormContentMm();

// The paper the calibration page is meant for.
struct TCalibrationSheet {
    QSizeF SheetMm{182, 257};  // the paper
    QPointF AlignMm;           // where the form's paper corner sits on it, before any offset
    QPointF OffsetMm;          // the offsets it is printed with (shown on the page)
    QString PaperText;         // e.g. "B5（182×257 mm），左上角"
};

// The calibration page, in the coordinates of the form's paper (182 x 257
// mm), so that it goes through the same placement as the forms.  Its two
// scales lie inside the area every printer prints (more than 5 mm from the
// edges): a ruler laid from the paper's edge reads the correction on them.
qr::QRPageImage CalibrationPage(const TCalibrationSheet& sheet);

// The distances the page writes beside the frame lines: left, top, right,
// bottom, in millimetres, rounded to 0.1.
struct TFrameDistances {
    double left = 0, top = 0, right = 0, bottom = 0;
};
TFrameDistances ExpectedFrameDistances(const TCalibrationSheet& sheet);

}  // namespace vdmq
