#pragma once
// What of a page a printer cannot reach: a page placed on a sheet (see
// TQRPlacement) against the printer's unprintable border.  Printing never
// moves or shrinks anything to fit; this tells beforehand what will be cut.
#include "report/core/qr.h"

#include <QMarginsF>
#include <vector>

namespace qr {

enum TQRSide { sdLeft = 1, sdTop = 2, sdRight = 4, sdBottom = 8 };

// One rule or text of a page that reaches into the unprintable border.
struct TQRBorderLoss {
    const QRItem* item = nullptr;  // a Rect or a Text item of the page
    QRectF inkMm;                  // what it marks, on the sheet (a text: its glyphs' line box)
    int sides = 0;                 // TQRSide bits: the borders it reaches into
    bool whole = false;            // none of it is printable
    double cutMm = 0;              // how far it reaches into the border, the widest side
};

// What a printer says about a sheet (report/ui asks the printer): whether
// it has such paper (listed within 1 mm, or as a custom size it accepts) and
// the border it cannot print on.  `known` is false when there is no such
// printer.
struct TQRPaperSupport {
    bool known = false;
    bool listed = false;  // one of the printer's own paper sizes
    bool custom = false;  // the printer takes custom sizes
    QMarginsF borderMm;   // unprintable width at each edge
    QString paperName;    // the printer's name for the paper, when listed
    bool hasPaper() const { return listed || custom; }
};

// The ink of an item on the page's own paper, in millimetres: a rule's
// rectangle, a text's line (as wide as its text, not its label's box).
// Empty for white fills and empty texts.
QRectF InkRectMm(const QRItem& item);

// Where a text item's glyphs put ink, in tenths of a millimetre on the
// page's own paper: the union of their outlines' boxes, placed as the
// renderer places them.  Spaces, tabs and U+3000 draw nothing, so a text
// followed by blanks has the ink of the text alone; a tab still moves what
// comes after it.  Empty when the line draws nothing.
QRectF TextInk(const QRItem& item);

// Whether `text` set in `font` puts any ink on the paper.
bool HasInk(const TQRFont& font, const QString& text);

// Every Rect and Text item of `page`, placed by `placement`, that falls
// into `borderMm` (the unprintable width at each edge of the sheet) or past
// the sheet's edge: a rule by more than 0.005 mm, a text's line by more
// than 0.25 mm (its glyphs sit that much inside their advance).
std::vector<TQRBorderLoss> BorderLosses(const QRPageImage& page, const TQRPlacement& placement,
                                        const QMarginsF& borderMm);

}  // namespace qr
