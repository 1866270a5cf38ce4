#include "app/ui/VdApplication.h"
#include <QApplication>

namespace vdmq {

void SetUpApplication() { QApplication::setApplicationName(QStringLiteral("vdmq")); }

}  // namespace vdmq
