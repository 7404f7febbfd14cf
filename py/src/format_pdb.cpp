#include "ops.hpp"

namespace zp {

nb::object format_from_pdb(nb::handle) { not_implemented("from_pdb"); }
nb::object format_to_pdb(nb::handle) { not_implemented("to_pdb"); }

}  // namespace zp
