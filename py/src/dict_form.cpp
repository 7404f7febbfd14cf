#include "ops.hpp"

namespace zp {

nb::object trc_to_dict(const zyk::TRC&) { not_implemented("TRC.to_dict"); }
nb::object trc_from_dict(nb::handle) { not_implemented("TRC.from_dict"); }
nb::object topology_to_dict(const zyk::Topology&) { not_implemented("Topology.to_dict"); }
nb::object topology_from_dict(nb::handle) { not_implemented("Topology.from_dict"); }
nb::object residues_to_dict(const zyk::Residues&) { not_implemented("Residues.to_dict"); }
nb::object residues_from_dict(nb::handle) { not_implemented("Residues.from_dict"); }
nb::object chains_to_dict(const zyk::Chains&) { not_implemented("Chains.to_dict"); }
nb::object chains_from_dict(nb::handle) { not_implemented("Chains.from_dict"); }
nb::object reduce_with_dict(nb::handle) { not_implemented("pickling"); }

}  // namespace zp
