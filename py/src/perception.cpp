#include "ops.hpp"

namespace zp {

nb::object trc_perceive_bonds(const zyk::TRC&, nb::handle) { not_implemented("TRC.perceive_bonds"); }
nb::object trc_perceive_formal_charges(const zyk::TRC&) { not_implemented("TRC.perceive_formal_charges"); }

}  // namespace zp
