#include "ops.hpp"

namespace zp {

nb::object format_from_sdf(nb::handle) { not_implemented("from_sdf"); }
nb::object format_to_sdf(nb::handle) { not_implemented("to_sdf"); }

}  // namespace zp
