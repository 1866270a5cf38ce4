#pragma once
// Paper and position: the sheet the forms are printed on (B5, the form's
// own 182 x 257 mm, or A4 with the form at the top-left corner or centred;
// never scaled) and the offsets that move every printed page to where an
// office's printer needs it.  Kept in vdmq.ini, section "vdmq":
//
//   Paper       B5 | A4
//   A4Position  TopLeft | Centre      (the form's place on A4)
//   OffsetX     millimetres, -20.0 .. +20.0, positive to the right
//   OffsetY     millimetres, -20.0 .. +20.0, positive downwards
//   OffsetX.<printer>, OffsetY.<printer>
//               the same for one printer (OffsetKey); a printer without
//               its own keys takes OffsetX and OffsetY
//   PdfOffsets  0 | 1                 (PDF files written from the print
//                                      dialog use the offsets too)
//
// The offsets correct one printer's paper feed, so each printer has its own
// pair, and by default they apply to printing only: the preview and PDF
// files show the form where its layout puts it.
#include "form/VdCalibration.h"
#include "form/VdPrnCheck.h"
#include "report/core/qr.h"
#include "report/core/qrsheet.h"

#include <QPointF>
#include <QSizeF>
#include <QString>
#include <optional>
#include <string_view>

namespace vdmq {

enum class TPaper { B5, A4 };

struct TPaperSettings {
    TPaper Paper = TPaper::B5;
    bool Centred = false;  // on A4: centred; else at the top-left corner, as on B5
    double OffsetXmm = 0;  // right
    double OffsetYmm = 0;  // down
    bool OffsetsInPdf = false;
    bool operator==(const TPaperSettings&) const = default;
};

inline constexpr double kMaxOffsetMm = 20.0;

// The section and its keys.
inline constexpr std::string_view kPaperSection = "vdmq";

// The key of one printer's offset along `axis` ("OffsetX" or "OffsetY"):
// "OffsetX.PDF".  The printer name's UTF-8 bytes other than ASCII letters,
// digits, '-', '_' and '.' are written as %XX, so that any name gives a key
// of printable ASCII that survives the settings file's encodings and its
// "key=value" syntax (blanks, '=', '[', ';', '/', Chinese names).  Keys
// match without regard to case, as CUPS printer names do.  An empty name
// gives `axis` itself.
std::string OffsetKey(std::string_view axis, const QString& printer);

// The settings for printing on `printer`: its own offsets, else OffsetX and
// OffsetY (also for an empty name).  Missing or unreadable values give the
// defaults; offsets are rounded to 0.1 mm and held to -20.0 .. +20.0.
TPaperSettings LoadPaperSettings(const QString& iniPath, const QString& printer = QString());
// Writes Paper, A4Position, PdfOffsets and the offsets as `printer`'s own
// (OffsetX and OffsetY for an empty name); throws ESettingsWriteError
// ("Unable to write to ...").
void SavePaperSettings(const QString& iniPath, const TPaperSettings& settings, const QString& printer = QString());
// Writes only `printer`'s offsets.
void SavePrinterOffsets(const QString& iniPath, const QString& printer, QPointF offsetMm);
// Writes "Paper" alone (a paper the user chose in the printer dialog and
// asked to keep); throws ESettingsWriteError.
void SavePaperChoice(const QString& iniPath, TPaper paper);

// "b5" / "a4" in any letter case.
std::optional<TPaper> ParsePaper(std::string_view text);
// An offset as typed: optional sign, up to two digits, at most one decimal
// ("-1.5", "+0.3", "12"), within -20.0 .. +20.0.
std::optional<double> ParseOffsetMm(std::string_view text);
// "X,Y" as two such offsets.
std::optional<QPointF> ParseOffsetPair(std::string_view text);

QSizeF PaperSizeMm(TPaper paper);
// The paper a print dialog's choice stands for: A4, or B5 for the form's
// 182 x 257 mm (JIS B5), each within 1 mm; nothing for any other paper.
std::optional<TPaper> PaperForSheet(const QSizeF& sheetMm);

// Where the corner of the form's own paper sits on the sheet, before the
// offsets: (0, 0) on B5 and top-left A4; centred on A4, the form's printed
// extent (frame, title, issuing body) centred both ways, to 0.1 mm.
QPointF AlignMm(const TPaperSettings& settings);
// The placement for printing (`withOffsets`) or for the design position.
qr::TQRPlacement PlacementFor(const TPaperSettings& settings, bool withOffsets);
// "B5（182×257 mm）", "A4（210×297 mm），左上角", "A4（210×297 mm），居中".
QString PaperText(const TPaperSettings& settings);
// "水平 +1.5 mm，垂直 −0.3 mm".
QString OffsetText(const TPaperSettings& settings);
// What the calibration page needs to know of these settings.
TCalibrationSheet CalibrationSheetFor(const TPaperSettings& settings);

// The sheet the check before paper measures on for these settings, with
// or without the offsets, in words too ("A4（210×297 mm），居中，偏移水平
// +1.5 mm，垂直 −0.3 mm"); no printer's border (the caller adds it).
TCheckSheet CheckSheetFor(const TPaperSettings& settings, bool withOffsets);

// Before printing `page` on a printer that says `support` about the sheet:
// an empty text when nothing will be lost; otherwise what is wrong (no such
// paper, or which rules and texts fall into the printer's border) and what
// to change.  `printer` names the printer in the text.
QString PaperWarning(const QString& printer, const qr::TQRPaperSupport& support, const TPaperSettings& settings,
                     const qr::QRPageImage& page, bool withOffsets);

}  // namespace vdmq
