#include "ops.hpp"

namespace zp {

nb::object format_from_xyz(nb::handle) { not_implemented("from_xyz"); }
nb::object format_to_xyz(nb::handle) { not_implemented("to_xyz"); }

}  // namespace zp
