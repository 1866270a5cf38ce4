// The print run of the main window's Preview and Print buttons.
#include "app/ui/VdMainUnit.h"

namespace vdmq {

void TVdMainForm::PrintRun(int mode)
{
    (void)mode;
}

}  // namespace vdmq
