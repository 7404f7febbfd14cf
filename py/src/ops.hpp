// The operations behind the Python methods and module functions, one group per file:
// conversion in, one core call, conversion out. Each returns a new Python object.
#pragma once

#include <nanobind/nanobind.h>

#include "trc.hpp"

namespace zp {

namespace nb = nanobind;

// Raises NotImplementedError for an operation this build does not provide yet.
[[noreturn]] void not_implemented(const char* what);

// dict_form.cpp: the dictionary form and pickling.
nb::object trc_to_dict(const zyk::TRC& trc);
nb::object trc_from_dict(nb::handle data);
nb::object topology_to_dict(const zyk::Topology& topology);
nb::object topology_from_dict(nb::handle data);
nb::object residues_to_dict(const zyk::Residues& residues);
nb::object residues_from_dict(nb::handle data);
nb::object chains_to_dict(const zyk::Chains& chains);
nb::object chains_from_dict(nb::handle data);
// __reduce__ of TRC, Topology, Residues and Chains: (from_dict, (to_dict(),)).
nb::object reduce_with_dict(nb::handle self);

// editing.cpp: subsets, merging, coordinates and fragments, the fragment query.
nb::object trc_extend(const zyk::TRC& trc, nb::handle other);
nb::object trc_subset_by_residues(const zyk::TRC& trc, nb::handle refs);
nb::object trc_with_geometry(const zyk::TRC& trc, nb::handle geometry);
nb::object trc_with_fragments(const zyk::TRC& trc, nb::handle fragments);
nb::object topology_get_fragments_near_fragment(const zyk::Topology& topology, nb::handle frag_idx, nb::handle threshold);
// Adds Topology.get_fragments_near_fragment as a method whose text signature is
// "get_fragments_near_fragment($self, frag_idx, threshold)".
void install_fragment_query(nb::handle topology_type);

// perception.cpp: bonds and formal charges from the amino-acid templates.
nb::object trc_perceive_bonds(const zyk::TRC& trc, nb::handle strictness);
nb::object trc_perceive_formal_charges(const zyk::TRC& trc);

// format_*.cpp: the readers and writers.
nb::object format_from_pdb(nb::handle contents);
nb::object format_to_pdb(nb::handle trc);
nb::object format_from_mmcif(nb::handle contents);
nb::object format_from_sdf(nb::handle contents);
nb::object format_to_sdf(nb::handle trc);
nb::object format_from_xyz(nb::handle contents);
nb::object format_to_xyz(nb::handle trc);

}  // namespace zp
