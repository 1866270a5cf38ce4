#pragma once
// Small builders shared by the report engine tests.
#include "platform/gbtext.h"
#include "report/core/qr.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace qrtest {

// Runs a command-line tool (pdfinfo, pdftotext, ...) and returns its output.
inline QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// 10-point 宋体: its ideographs are one em wide, its line is one em high.
constexpr double kEm10 = 10 * 254.0 / 72.0;  // tenths of a millimetre

// A report with one column-header band and zero margins, so band and paper
// coordinates agree.
inline std::unique_ptr<qr::TQuickRep> oneBandReport(qr::TQRBand** band = nullptr)
{
    auto rep = std::make_unique<qr::TQuickRep>();
    for (int i : {qr::TQRPage::LeftMargin, qr::TQRPage::TopMargin, qr::TQRPage::RightMargin, qr::TQRPage::BottomMargin})
        rep->Page.SetValue(i, 0);
    qr::TQRBand* b = rep->AddBand("band", qr::rbColumnHeader, 200);
    if (band)
        *band = b;
    return rep;
}

inline std::vector<qr::QRItem> itemsOf(qr::TQuickRep& rep, qr::QRItem::Kind kind)
{
    auto store = rep.PrepareNew();
    std::vector<qr::QRItem> out;
    if (store->PageCount() == 0)
        return out;
    for (const auto& it : store->Page(1).items)
        if (it.kind == kind)
            out.push_back(it);
    return out;
}

}  // namespace qrtest
