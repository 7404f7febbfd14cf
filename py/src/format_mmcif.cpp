#include "ops.hpp"

namespace zp {

nb::object format_from_mmcif(nb::handle) { not_implemented("from_mmcif"); }

}  // namespace zp
