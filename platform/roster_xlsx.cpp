#include "platform/roster_internal.h"
namespace vdmq::roster::detail {
std::unique_ptr<Workbook> readXlsx(const std::uint8_t*, std::size_t) { throwCorrupt("xlsx"); }
}
