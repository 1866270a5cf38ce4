// The declaration form holder.  Its page is fixed data: the bands, rules and
// labels come from the compiled-in table form/layout/vdprn_layout.tsv, one
// row per element, so the layout can be checked line by line against the
// paper form.  Only the page set-up lives here.
#include "form/VdPrnUnit.h"

#include "form/RosterColumns.h"

#include <QFile>

#include <charconv>
#include <cmath>
#include <set>
#include <stdexcept>

// The resource lives in a static library; nothing else references it, so it
// has to be pulled in by name (and outside any namespace).
static void initFormResource() { Q_INIT_RESOURCE(form); }

namespace vdmq {

namespace {

const char* const kLayoutResource = ":/form/layout/vdprn_layout.tsv";

[[noreturn]] void layoutError(int line, const std::string& what)
{
    throw std::runtime_error("form layout, line " + std::to_string(line) + ": " + what);
}

// A number cell read whole by `read` (std::from_chars, std::stoi); anything else,
// or a value below `least`, is an error that names the line.
template <class T, class Read>
T numberCell(const std::string& cell, int line, Read read, T least, const char* what)
{
    std::size_t used = 0;
    T value{};
    try {
        value = read(cell, &used);
    } catch (const std::exception&) {
        used = std::string::npos;
    }
    if (used != cell.size() || value < least)
        layoutError(line, "'" + cell + "' is not " + what);
    return value;
}

// The form was drawn on a 96-dpi grid: every stored length is a whole number
// of 1/96-inch steps, and the table gives it rounded to 0.01 mm.  Snapping
// back matters: the title band is 51 steps (13.49375 mm), and the engine
// rounds band heights to whole tenths, so 13.49 would place the column
// header band a tenth too high.
double gridMm(const std::string& cell, int line)
{
    // from_chars, not stod: the C library's locale is the desktop's, and a
    // desktop with a decimal comma would read 13.49 as 13.
    const auto read = [](const std::string& s, std::size_t* used) {
        double v = 0;
        const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
        *used = ec == std::errc() ? std::size_t(end - s.data()) : std::string::npos;
        return v;
    };
    const double mm = numberCell(cell, line, read, 0.0, "a length");
    const double step = 25.4 / 96;
    const double snapped = std::round(mm / step) * step;
    if (std::fabs(snapped - mm) > 0.0051)
        layoutError(line, "'" + cell + "' is not on the 1/96-inch grid");
    return snapped;
}

int wholeNumber(const std::string& cell, int line)
{
    const auto read = [](const std::string& s, std::size_t* used) { return std::stoi(s, used); };
    return numberCell(cell, line, read, 1, "a whole number");
}

// A caption cell: the text between the outer quotes, spaces kept.
std::string unquote(const std::string& cell, int line)
{
    if (cell.size() < 2 || cell.front() != '"' || cell.back() != '"')
        layoutError(line, "caption " + cell + " is not quoted");
    return cell.substr(1, cell.size() - 2);
}

// "\"宋体\" 10 bold underline" -> family, size in points, styles.
qr::TQRFont parseFont(const std::string& cell, int line)
{
    const auto close = cell.find('"', 1);
    if (cell.empty() || cell[0] != '"' || close == std::string::npos)
        layoutError(line, "font " + cell + " does not start with a quoted family");
    qr::TQRFont font;
    font.Name = QString::fromUtf8(cell.substr(1, close - 1));
    const QStringList words = QString::fromUtf8(cell.substr(close + 1)).split(' ', Qt::SkipEmptyParts);
    bool sized = false;
    for (const QString& w : words) {
        bool ok = false;
        const double size = w.toDouble(&ok);
        if (ok && !sized && size > 0) {
            font.Size = size;
            sized = true;
        } else if (w == QLatin1String("bold")) {
            font.Bold = true;
        } else if (w == QLatin1String("italic")) {
            font.Italic = true;
        } else if (w == QLatin1String("underline")) {
            font.Underline = true;
        } else {
            layoutError(line, "font " + cell + ": unknown word " + w.toStdString());
        }
    }
    if (!sized)
        layoutError(line, "font " + cell + " has no size");
    return font;
}

std::vector<std::string> splitTabs(const std::string& row)
{
    std::vector<std::string> cells;
    std::size_t from = 0;
    for (;;) {
        const auto tab = row.find('\t', from);
        cells.push_back(row.substr(from, tab - from));
        if (tab == std::string::npos)
            return cells;
        from = tab + 1;
    }
}

std::string readLayout()
{
    static const bool registered = (initFormResource(), true);
    (void)registered;
    QFile file(QString::fromLatin1(kLayoutResource));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(std::string("form layout ") + kLayoutResource + " is missing");
    const QByteArray bytes = file.readAll();
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

// The table, read and checked once per process: every holder is built from
// the same rows, and a print run creates one holder per form.
struct LayoutModel {
    struct Band {
        std::string name;
        qr::TQRBandType type;
        double height;
        std::string link;  // empty: none
    };
    struct Rule {
        int band;
        std::string name;
        double left, top, width, height;
        int order, pen;
    };
    struct Label {
        int band;
        std::string name;
        double left, top, width, height;
        int order;
        qr::TQRLabel proto;  // alignment, sizing, font, caption
    };
    std::vector<Band> bands;
    std::vector<Rule> rules;
    std::vector<Label> labels;
};

// The table: sections "[bands]", "[<band> rules]" and "[<band> labels]",
// each with a heading row; '#' starts a comment line.  One handler per
// section; every row checked as it is read.
class LayoutParser {
public:
    LayoutModel Parse(const std::string& text)
    {
        std::string section;
        std::size_t from = 0;
        while (from <= text.size()) {
            auto end = text.find('\n', from);
            if (end == std::string::npos)
                end = text.size();
            std::string row = text.substr(from, end - from);
            from = end + 1;
            ++line_;
            if (!row.empty() && row.back() == '\r')
                row.pop_back();
            if (row.empty() || row[0] == '#')
                continue;
            if (row.front() == '[' && row.back() == ']')
                section = row.substr(1, row.size() - 2);
            else
                Row(section, splitTabs(row));
        }
        CheckLinks();
        // The filler reaches the data labels through the holder's members;
        // the table and the list of data labels must agree.
        const std::set<std::string> expected(DataLabelNames().begin(), DataLabelNames().end());
        if (dataNames_ != expected)
            throw std::runtime_error("form layout: the data labels differ from the filler's list");
        std::set<std::string> bound;
        for (const TLabelBinding& b : kLabelBindings)
            bound.insert(b.label);
        if (bound != expected)
            throw std::runtime_error("form layout: the data labels differ from the binding table's");
        return std::move(m_);
    }

private:
    void Row(const std::string& section, const std::vector<std::string>& c)
    {
        if (c[0] == "name")
            return;  // the section's column heading
        if (section.empty())
            layoutError(line_, "row outside a section");
        if (section != "bands" && !names_.insert(c[0]).second)
            layoutError(line_, "name " + c[0] + " given twice");
        if (section == "bands") {
            BandRow(c);
            return;
        }
        const auto space = section.find(' ');
        const int band = BandIndex(section.substr(0, space));
        const std::string what = space == std::string::npos ? "" : section.substr(space + 1);
        if (what == "rules")
            RuleRow(band, c);
        else if (what == "labels")
            LabelRow(band, c);
        else
            layoutError(line_, "unknown section [" + section + "]");
    }

    // name, type, height, link
    void BandRow(const std::vector<std::string>& c)
    {
        if (c.size() != 4)
            layoutError(line_, "a band row has 4 cells");
        qr::TQRBandType type;
        if (c[1] == "page header")
            type = qr::rbPageHeader;
        else if (c[1] == "column header")
            type = qr::rbColumnHeader;
        else
            layoutError(line_, "unknown band type " + c[1]);
        m_.bands.push_back({c[0], type, gridMm(c[2], line_), c[3] == "-" ? "" : c[3]});
    }

    int BandIndex(const std::string& name) const
    {
        for (std::size_t i = 0; i < m_.bands.size(); ++i)
            if (m_.bands[i].name == name)
                return int(i);
        layoutError(line_, "unknown band " + name);
    }

    // name, kind, left, top, width, height, pen, order
    void RuleRow(int band, const std::vector<std::string>& c)
    {
        if (c.size() != 8)
            layoutError(line_, "a rule row has 8 cells");
        const double w = gridMm(c[4], line_), h = gridMm(c[5], line_);
        // The kind is redundant with the size; a mismatch is a typing error.
        if ((c[1] == "vertical rule" && w > h) || (c[1] == "horizontal rule" && h > w) ||
            (c[1] != "vertical rule" && c[1] != "horizontal rule"))
            layoutError(line_, "rule " + c[0] + " is not a " + c[1]);
        m_.rules.push_back({band, c[0], gridMm(c[2], line_), gridMm(c[3], line_), w, h, wholeNumber(c[7], line_),
                            wholeNumber(c[6], line_)});
    }

    // name, left, top, width, height, align, sizing, font, caption, content, order
    void LabelRow(int band, const std::vector<std::string>& c)
    {
        if (c.size() != 11)
            layoutError(line_, "a label row has 11 cells");
        LayoutModel::Label row{band,
                               c[0],
                               gridMm(c[1], line_),
                               gridMm(c[2], line_),
                               gridMm(c[3], line_),
                               gridMm(c[4], line_),
                               wholeNumber(c[10], line_),
                               {}};
        qr::TQRLabel* label = &row.proto;
        if (c[5] == "left")
            label->Alignment = qr::taLeftJustify;
        else if (c[5] == "right")
            label->Alignment = qr::taRightJustify;
        else if (c[5] == "centre")
            label->Alignment = qr::taCenter;
        else
            layoutError(line_, "unknown alignment " + c[5]);
        if (c[6] == "auto" || c[6] == "auto, stretch")
            label->AutoSize = true;
        else if (c[6] != "fixed" && c[6] != "fixed, stretch")
            layoutError(line_, "unknown sizing " + c[6]);
        label->AutoStretch = c[6].ends_with(", stretch");
        label->WordWrap = true;
        label->Font = parseFont(c[7], line_);
        label->Caption = QString::fromStdString(unquote(c[8], line_));
        if (c[9] == "data")
            dataNames_.insert(c[0]);
        else if (c[9] != "fixed text")
            layoutError(line_, "unknown content " + c[9]);
        m_.labels.push_back(std::move(row));
    }

    void CheckLinks() const
    {
        for (const auto& b : m_.bands) {
            if (b.link.empty())
                continue;
            bool found = false;
            for (const auto& t : m_.bands)
                found = found || t.name == b.link;
            if (!found)
                throw std::runtime_error("form layout: band " + b.name + " links to unknown " + b.link);
        }
    }

    LayoutModel m_;
    std::set<std::string> names_;
    std::set<std::string> dataNames_;
    int line_ = 0;
};

LayoutModel parseLayout() { return LayoutParser().Parse(readLayout()); }

const LayoutModel& layoutModel()
{
    static const LayoutModel model = parseLayout();
    return model;
}

}  // namespace

const std::vector<std::string>& DataLabelNames()
{
    static const std::vector<std::string> names = {
        "l_xm",  "l_xb",  "l_whcd", "l_csny", "l_gzny", "l_tsny", "lb_bdyy", "lb_ndkh", "zw0",     "zw1",     "l_ny1",
        "l_gw1", "m_gw1", "l_xj1",  "m_xj1",  "l_bt1",  "l_tmp1", "l_ph1",   "zw2",     "l_ny2",   "l_gw2",   "m_gw2",
        "l_xj2", "m_xj2", "l_bt2",  "l_ph2",  "y1",     "y2",     "y3",      "y4",      "Lb_year", "lb_area",
    };
    return names;
}

TApprovalForm::TApprovalForm(QObject* owner) : QObject(owner)
{
    setObjectName(QStringLiteral("VdPrnForm"));
    Report = new qr::TQuickRep(this);
    Report->setObjectName(QStringLiteral("qrVDMQ"));
    Report->Name = "qrVDMQ";

    // Page set-up, in millimetres: JIS B5 portrait on custom paper.  The
    // stored margins are 10 mm; the filler moves left and top to 1.5 and
    // 1.8 mm for every page it fills.
    qr::TQRPage& page = Report->Page;
    page.CustomPaper = true;
    page.Portrait = true;
    page.SetValue(qr::TQRPage::Width, 182.0);
    page.SetValue(qr::TQRPage::Length, 257.0);
    page.SetValue(qr::TQRPage::TopMargin, 10);
    page.SetValue(qr::TQRPage::BottomMargin, 10);
    page.SetValue(qr::TQRPage::LeftMargin, 10);
    page.SetValue(qr::TQRPage::RightMargin, 10);
    page.SetValue(qr::TQRPage::ColumnSpace, 0);
    Report->Font = qr::TQRFont{QStringLiteral("宋体"), 9.75, false, false, false};
    Report->FirstPageHeader = true;
    Report->LastPageFooter = true;
    Report->PrintIfEmpty = false;
    Report->ReportTitle.clear();
    Report->PrinterSettings = qr::TQRPrinterSettings{};
    Report->PrinterSettings.Copies = 1;
    Report->PrinterSettings.Duplex = true;

    const LayoutModel& m = layoutModel();
    std::vector<qr::TQRBand*> bands;
    for (const auto& b : m.bands)
        bands.push_back(Report->AddBand(b.name, b.type, b.height));
    for (std::size_t i = 0; i < m.bands.size(); ++i)
        for (std::size_t j = 0; j < m.bands.size(); ++j)
            if (!m.bands[i].link.empty() && m.bands[j].name == m.bands[i].link)
                bands[i]->LinkBand = bands[j];
    for (const auto& r : m.rules)
        shapes_[r.name] =
            bands[std::size_t(r.band)]->AddShape(r.name, r.left, r.top, r.width, r.height, r.order, r.pen);
    for (const auto& l : m.labels) {
        qr::TQRLabel* label = bands[std::size_t(l.band)]->AddLabel(l.name, l.left, l.top, l.width, l.height, l.order);
        label->Alignment = l.proto.Alignment;
        label->AutoSize = l.proto.AutoSize;
        label->AutoStretch = l.proto.AutoStretch;
        label->WordWrap = l.proto.WordWrap;
        label->Font = l.proto.Font;
        label->Caption = l.proto.Caption;
        labels_[l.name] = label;
    }
    TitleBand = nullptr;
    BodyBand = nullptr;
    for (const auto& b : Report->Bands) {
        if (b->Name == "TitleBand1")
            TitleBand = b.get();
        else if (b->Name == "ColumnHeaderBand1")
            BodyBand = b.get();
    }
    if (!TitleBand || !BodyBand)
        throw std::runtime_error("form layout: TitleBand1 or ColumnHeaderBand1 is missing");

    qr::TQRLabel** const members[] = {
        &NameLabel,          &SexLabel,          &EducationLabel,     &BornLabel,        &StartedWorkLabel,
        &ServiceFromLabel,   &ReasonLabel,       &AppraisalFromLabel, &PostLabel,        &OldPostLabel,
        &OldAppointedLabel,  &OldGradeLabel,     &OldPostPayLabel,    &OldScaleLabel,    &OldScalePayLabel,
        &OldTenPercentLabel, &ProbationPayLabel, &OldTotalLabel,      &NewPostLabel,     &NewAppointedLabel,
        &NewGradeLabel,      &NewPostPayLabel,   &NewScaleLabel,      &NewScalePayLabel, &NewTenPercentLabel,
        &NewTotalLabel,      &OpinionLine1,      &OpinionLine2,       &OpinionLine3,     &OpinionLine4,
        &PrintDateLabel,     &IssuedByLabel,
    };
    static_assert(std::size(members) == 32);
    for (std::size_t i = 0; i < std::size(members); ++i)
        *members[i] = labels_.at(DataLabelNames()[i]);

    Report->OnNeedData = [this](qr::TCustomQuickRep& sender, bool& moreData) { FillRow(sender, moreData); };
    Report->OnPreview = [this](qr::TQRPrinter& store) { ShowInPreview(store); };

    FormCreate();
}
TApprovalForm::~TApprovalForm() = default;

qr::TQRLabel* TApprovalForm::Label(const std::string& name) const
{
    const auto it = labels_.find(name);
    return it == labels_.end() ? nullptr : it->second;
}

qr::TQRShape* TApprovalForm::Shape(const std::string& name) const
{
    const auto it = shapes_.find(name);
    return it == shapes_.end() ? nullptr : it->second;
}

void TApprovalForm::FormCreate() {}

void TApprovalForm::FormClose() { deleteLater(); }

// The engine raises this instead of opening a window of its own, before the
// page is prepared, so the run's preview window is already showing the store
// while the page is produced.  The window is the run's; this only hands the
// store over.
void TApprovalForm::ShowInPreview(qr::TQRPrinter& store)
{
    if (!PreviewTarget)
        return;
    std::shared_ptr<qr::TQRPrinter> shared = Report->QRPrinter();
    if (shared.get() != &store)
        throw std::logic_error("qrVDMQPreview: the store is not the report's current store");
    PreviewTarget->AttachAndShow(shared);
}

}  // namespace vdmq
