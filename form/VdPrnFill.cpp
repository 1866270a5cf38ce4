// placeholder; the filler is written here
#include "form/VdPrnUnit.h"

namespace vdmq {
void TVdPrnForm::qrVDMQNeedData(qr::TCustomQuickRep& sender, bool& /*MoreData*/)
{
    sender.Page.SetValue(qr::TQRPage::LeftMargin, 15);
    sender.Page.SetValue(qr::TQRPage::TopMargin, 18);
}
}  // namespace vdmq
