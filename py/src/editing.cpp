#include "ops.hpp"

namespace zp {

nb::object trc_extend(const zyk::TRC&, nb::handle) { not_implemented("TRC.extend"); }
nb::object trc_subset_by_residues(const zyk::TRC&, nb::handle) { not_implemented("TRC.subset_by_residues"); }
nb::object trc_with_geometry(const zyk::TRC&, nb::handle) { not_implemented("TRC.with_geometry"); }
nb::object trc_with_fragments(const zyk::TRC&, nb::handle) { not_implemented("TRC.with_fragments"); }
nb::object topology_get_fragments_near_fragment(const zyk::Topology&, nb::handle, nb::handle) {
    not_implemented("Topology.get_fragments_near_fragment");
}

}  // namespace zp
