#include "app/core/runpdf.h"

namespace vdmq {

TRunPdf::TRunPdf(QString fileName, const qr::TQRPlacement& placement)
    : fileName_(std::move(fileName)), placement_(placement)
{
}

TRunPdf::~TRunPdf() = default;

void TRunPdf::Add(TVdPrnForm& form)
{
    auto store = form.qrVDMQ->PrepareNew();
    if (!writer_)
        writer_ =
            std::make_unique<qr::TQRPdfWriter>(fileName_, QStringLiteral("国家机关事业单位工作人员工资变动审批表"));
    for (int p = 1; p <= store->PageCount(); ++p)
        writer_->AddPage(store->Page(p), placement_);
}

void TRunPdf::Finish()
{
    if (writer_)
        writer_->Finish();
}

void TRunPdf::Discard()
{
    if (writer_)
        writer_->Discard();
}

}  // namespace vdmq
