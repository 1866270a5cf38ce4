#pragma once
// The banded report engine: a report with bands, labels and rectangle
// shapes is prepared, page by page, into a page store that holds every page
// as a resolution-independent display list (positions in tenths of a
// millimetre, fonts in points).  The preview at any zoom, a printer at any
// resolution, the PDF writer and the text export all replay the same list.
//
// Units: a report is designed in millimetres.  While it is prepared the
// engine works in its native unit, the tenth of a millimetre, so page values
// set from a need-data handler are taken in tenths.
//
// Texts (captions, titles) are Unicode; only the text export writes bytes
// (GB18030) and counts its columns in them.
#include <QColor>
#include <QFont>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

class QPainter;

namespace qr {

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TQRBandType { rbPageHeader, rbColumnHeader };
enum TQRZoomState { qrZoomToFit, qrZoomToWidth, qrZoomOther };
enum TQRPrinterStatus { mpReady, mpBusy, mpFinished };

// A font as the layout names it.  `Name` is the design family ("宋体",
// "黑体", "Arial", also "SimSun", "SimHei"); resolveFont maps it to an
// installed face.  `Size` is in points; it is a physical size everywhere.
struct TQRFont {
    QString Name = QStringLiteral("宋体");
    double Size = 9.75;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
};

// 宋体/SimSun -> Noto Serif CJK SC, 黑体/SimHei -> Noto Sans CJK SC,
// Arial -> Liberation Sans with CJK glyphs from Noto Serif CJK SC; then,
// for characters those lack, the faces of FallbackFamilies().
// The QFont carries a point size and no pixel size.
QFont resolveFont(const TQRFont& font);

// The faces that draw the ideographs the form's own faces lack, in the
// order they are tried: HanaMinA and HanaMinB (fonts-hanazono), BabelStone
// Han (fonts-babelstone-han).  With Noto CJK they cover every ideograph of
// the Unified block, Extensions A to F and both compatibility blocks.
const QStringList& FallbackFamilies();

// The characters of `text` that `font` would print as an empty box, because no face this machine offers for it has a glyph: each once,
// in the order of the text.  White space and invisible format characters
// are not counted.
std::vector<char32_t> MissingGlyphs(const TQRFont& font, const QString& text);

// ---- layout elements (design units: millimetres) -------------------------

class TQRBand;

class TQRPrintable {
public:
    virtual ~TQRPrintable() = default;
    std::string Name;
    double Left = 0, Top = 0, Width = 0, Height = 0;  // mm, band coordinates
    int Order = 0;                                    // paint order in its band, 1 first
    TQRBand* Parent = nullptr;
};

// A rectangle: filled white, outlined with a black solid pen `PenWidth`
// device pixels wide.
class TQRShape : public TQRPrintable {
public:
    int PenWidth = 1;
};

class TQRLabel : public TQRPrintable {
public:
    QString Caption;
    TAlignment Alignment = taLeftJustify;
    bool AutoSize = false;     // "auto": never wraps, grows to its widest line
    bool AutoStretch = false;  // "stretch": grows downward to hold all lines
    bool WordWrap = true;
    TQRFont Font;
};

class TQRBand {
public:
    std::string Name;
    TQRBandType BandType = rbColumnHeader;
    double Height = 0;  // mm
    TQRBand* LinkBand = nullptr;
    std::vector<std::unique_ptr<TQRShape>> Shapes;
    std::vector<std::unique_ptr<TQRLabel>> Labels;

    TQRShape* AddShape(const std::string& name, double left, double top, double width, double height, int order,
                       int penWidth = 1);
    TQRLabel* AddLabel(const std::string& name, double left, double top, double width, double height, int order);
    // Every element, sorted by Order.
    std::vector<TQRPrintable*> PaintOrder() const;
};

// Page set-up.  Values are kept in tenths of a millimetre and given and read
// in the report's current units (mm at design time, tenths while preparing).
class TQRPage {
public:
    enum Index { BottomMargin = 0, Length, TopMargin, Width, LeftMargin, RightMargin, ColumnSpace };
    double Value(int index) const;
    void SetValue(int index, double value);
    double Tenths(int index) const { return tenths_[index]; }  // unit-free access
    bool CustomPaper = true;                                   // Length and Width taken only when custom
    bool Portrait = true;
    double unitsToTenths = 10;  // 10 while in mm, 1 while preparing (set by the engine)
private:
    double tenths_[7] = {100, 2970, 100, 2100, 100, 100, 0};
};

// ---- the page store --------------------------------------------------------

// One item of a page's display list.  Coordinates are tenths of a millimetre
// from the paper's top-left corner.
struct QRItem {
    enum Kind { Fill, Rect, Text };
    Kind kind = Fill;
    QRectF rect;                           // Fill: white area; Rect: the shape; Text: the line's box
    int penWidth = 1;                      // Rect
    QString text;                          // Text: one line
    TQRFont font;                          // Text
    TAlignment alignment = taLeftJustify;  // Text: within rect
};

struct QRPageImage {
    double width = 0, length = 0;  // paper, tenths of a millimetre
    std::vector<QRItem> items;     // in paint order
};

// Paints a page.  `pixelsPerTenth`: device pixels per tenth of a millimetre
// (at 100 % on a 96-dpi screen that is 96 / 254).  `offset`: device pixels
// added to every position (a printer passes minus its unprintable border).
void RenderPage(QPainter& painter, const QRPageImage& page, double pixelsPerTenth, QPointF offset = {});

class TCustomQuickRep;
class TQRExportFilter;

// Where the pages go on the paper a printer (or a PDF file) is given: the
// sheet and a shift added to every position of a page.  A page never
// scales; what the shift moves past the sheet's edge is cut off.
struct TQRPlacement {
    QSizeF SheetMm;   // empty: each page on paper of its own size
    QPointF ShiftMm;  // right and down
    bool operator==(const TQRPlacement&) const = default;
};

// The sheet a page goes on under `placement`, in millimetres.
QSizeF SheetSizeMm(const QRPageImage& page, const TQRPlacement& placement);

// Printer choices made in the printer dialog; a later print uses them.
struct TQRPrinterSettings {
    QString PrinterName;     // empty: the default printer
    QString OutputFileName;  // non-empty: print to this PDF file (dialog's "print to file")
    int Copies = 1;
    int FirstPage = 0;  // 0, 0: all pages
    int LastPage = 0;
    bool Duplex = true;
    // Unset: every page on paper of its own size, at its own place; the
    // program's print backend may fill it in.  The printer dialog sets the
    // sheet to the paper chosen in it.
    std::optional<TQRPlacement> Placement;
    // A paper chosen in the printer dialog for this report's prints only
    // (millimetres); unset: the program's own choice.
    std::optional<QSizeF> SheetMm;
};

class TQRPrinter : public QObject {
    Q_OBJECT
public:
    explicit TQRPrinter(TCustomQuickRep* report = nullptr);
    ~TQRPrinter() override;

    int PageCount() const { return int(pages_.size()); }
    TQRPrinterStatus Status() const { return status_; }
    const QRPageImage& Page(int n) const;  // 1-based; n must be in range
    void AddPage(QRPageImage page);        // posts a PageAvailable notice
    void SetStatus(TQRPrinterStatus status) { status_ = status; }

    // Held while a preview control shows this store.
    bool Shown() const { return shown_; }
    void SetShown(bool shown);

    // Set while the store is being prepared; releasing the store cancels it.
    bool Cancelled() const { return cancelled_; }
    void Cancel() { cancelled_ = true; }

    TCustomQuickRep* Report() const;
    QString Title;

    // Once finished: prints the stored pages with the report's printer
    // settings; nothing while preparing or when no printer is installed.
    void Print();
    // The printer dialog (printer, copies, pages 1..PageCount); the choices
    // go into the report's printer settings.  Prints nothing.
    void PrintSetup();
    // Prepares the report again through `filter`, with the "Exporting
    // Progress" window.  Throws what the filter throws (a file that cannot be
    // written).  The pages shown stay.
    void ExportToFilter(TQRExportFilter& filter);

signals:
    void PageAvailable(int pageCount);  // queued: delivered from the event loop

private:
    QPointer<TCustomQuickRep> report_;
    std::vector<QRPageImage> pages_;
    TQRPrinterStatus status_ = mpReady;
    bool shown_ = false;
    bool cancelled_ = false;
};

// ---- export ----------------------------------------------------------------

// An input/output failure (file cannot be created or written); what() names
// the file and the reason, in UTF-8 (as every error of the engine).
class EInOutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Driven by the engine while it prepares a report, in tenths of a mm.
class TQRExportFilter {
public:
    virtual ~TQRExportFilter() = default;
    virtual void Start(double paperWidth, double paperLength, const TQRFont& font) = 0;
    virtual void NewPage() = 0;
    // x: where the text starts (left, centred) or ends (right-justified).
    virtual void TextOut(double x, double y, const TQRFont& font, QColor background, TAlignment alignment,
                         const QString& text) = 0;
    virtual void EndPage() = 0;
    virtual void Finish() = 0;
};

// Plain text in GB18030: square character cells of the report font's point
// size, a text's columns counted in its bytes, one text line per cell row,
// CRLF line ends, empty lines left out.
//
// The file is written whole or not at all (platform/atomicfile.h): the
// lines go to a temporary file beside it, and Finish puts it in place once
// everything is written and synced; a failure leaves the earlier file as
// it was.  A later preparation through the same filter adds its pages to
// the file.  HoldUntilCommit() gathers several preparations (one file for
// a whole run) and puts the file in place only at Commit(); without it the
// destructor discards what was gathered.
class TQRAsciiExportFilter : public TQRExportFilter {
public:
    explicit TQRAsciiExportFilter(QString fileName);
    ~TQRAsciiExportFilter() override;
    void Start(double paperWidth, double paperLength, const TQRFont& font) override;
    void NewPage() override;
    void TextOut(double x, double y, const TQRFont& font, QColor background, TAlignment alignment,
                 const QString& text) override;
    void EndPage() override;
    void Finish() override;  // throws EInOutError
    void HoldUntilCommit();
    void Commit();   // throws EInOutError
    void Discard();  // the target stays as it was
    const QString& FileName() const { return fileName_; }
private:
    struct Impl;
    std::unique_ptr<Impl> d_;
    QString fileName_;
};

// The items one label prints as when its band stands at (bandX, bandY)
// (tenths of a millimetre on the paper): its white box, then one Text item
// per line that shows -- what the preparation puts on the page for it, with
// the same text measurement.  Lets a caller see what of a caption reaches
// the paper without searching the page.
std::vector<QRItem> LayOutLabel(const TQRLabel& label, double bandX, double bandY);

// Feeds a prepared page to an export filter (what preparation through a
// filter does for each page).
void ExportPage(TQRExportFilter& filter, const QRPageImage& page);

// A PDF document of any number of pages (from any number of stores), fonts
// embedded as subsets, text selectable.  Each page takes its own paper size.
//
// Written whole or not at all (platform/atomicfile.h): the pages go to a
// temporary file beside the target, and Finish puts the document in place
// once it is complete and synced.  A failure (a full disk, a size limit)
// is an EInOutError and leaves the earlier file as it was; so does
// Discard(), and a writer destroyed by an exception.  A writer destroyed
// without Finish finishes, keeping quiet about a failure.
class TQRPdfWriter {
public:
    explicit TQRPdfWriter(const QString& fileName, const QString& title = {});  // throws EInOutError
    ~TQRPdfWriter();
    // The page on the sheet of `placement` (its own paper by default).
    void AddPage(const QRPageImage& page, const TQRPlacement& placement = {});  // throws EInOutError
    void Finish();                                                              // throws EInOutError
    void Discard();
private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// ---- printing and dialogs live in report/ui; the core reaches them here ----

class TQRPrintBackend {
public:
    virtual ~TQRPrintBackend() = default;
    virtual bool HasPrinter() const = 0;
    // The printer a print with these settings goes to, as the user knows it.
    virtual QString PrinterFor(const TQRPrinterSettings& settings) const { return settings.PrinterName; }
    // Prints the pages of `store` (all, or the settings' range).  Throws on
    // failure.
    virtual void PrintPages(const TQRPrinter& store, const TQRPrinterSettings& settings) = 0;
    // Runs the printer dialog; true when the user confirmed (settings changed).
    virtual bool PrintSetup(TQRPrinterSettings& settings, int pageCount) = 0;
    // Progress windows ("Printing progress", "Exporting Progress"): shown while
    // `work` runs.  Nothing else of the program runs meanwhile.
    virtual void WithProgress(const QString& caption, const std::function<void()>& work) = 0;
};
void SetPrintBackend(TQRPrintBackend* backend);  // not owned; nullptr: no printing
TQRPrintBackend* PrintBackend();

// ---- the report --------------------------------------------------------------

// Where a band prints on the page: its top-left corner and width, in tenths
// of a millimetre from the paper's corner.
struct TQRBandPlace {
    const TQRBand* band = nullptr;
    double x = 0, y = 0, width = 0;
};

class TCustomQuickRep : public QObject {
    Q_OBJECT
public:
    explicit TCustomQuickRep(QObject* parent = nullptr);
    ~TCustomQuickRep() override;

    std::string Name;
    TQRPage Page;
    TQRFont Font;
    QString ReportTitle;
    bool FirstPageHeader = true;
    bool LastPageFooter = false;
    bool ShowProgress = true;
    bool PrintIfEmpty = false;
    TQRPrinterSettings PrinterSettings;

    std::vector<std::unique_ptr<TQRBand>> Bands;
    TQRBand* AddBand(const std::string& name, TQRBandType type, double heightMm);

    // Need-data: MoreData is preset true before the first call and false
    // before every later one; false after a call ends the records.
    std::function<void(TCustomQuickRep& sender, bool& MoreData)> OnNeedData;
    // Raised by Preview with the fresh store before the pages are prepared.
    std::function<void(TQRPrinter& store)> OnPreview;

    // The store of the current (or last) run.
    std::shared_ptr<TQRPrinter> QRPrinter() const { return store_; }

    // A fresh store, prepared straight for the printer with the "Printing
    // progress" window, printed, freed.  Nothing when no printer is installed.
    void Print();
    // A fresh store; OnPreview(store), where a preview control takes it and
    // is shown; the report prepared into it.  Returns once the store is
    // prepared: the preview shows it for as long as it likes.
    void Preview();

    // Engine core, also used directly by the batch tool and tests: prepares
    // the report into `store` (and through `filter`, when given).  Errors
    // from the need-data handler propagate.
    void Prepare(TQRPrinter& store, TQRExportFilter* filter = nullptr);
    // A fresh store, prepared, without hooks or printer.
    std::shared_ptr<TQRPrinter> PrepareNew();

    // The bands of a page in the order they print and where: the page
    // header first (with FirstPageHeader), then the column headers, each
    // below the one before by its height rounded to a whole tenth, all from
    // the current margins.  The preparation places its page by this; after
    // a preparation it reflects the margins the need-data handler set.
    std::vector<TQRBandPlace> FirstPageBands() const;

private:
    std::shared_ptr<TQRPrinter> store_;
};

class TQuickRep : public TCustomQuickRep {
    Q_OBJECT
public:
    using TCustomQuickRep::TCustomQuickRep;
};

}  // namespace qr
