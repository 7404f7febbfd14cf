// Bond and formal-charge perception for amino-acid residues, from residue and atom names.
#pragma once

#include <expected>

#include "error.hpp"
#include "residue.hpp"
#include "trc.hpp"

namespace zyk {

// Rebuilds the amino-acid bonds of `trc` in place (changes only topology.connectivity).
std::expected<void, Error> perceive_bonds(TRC& trc, AtomCheckStrictness strictness);

// Assigns formal charges in place (changes only formal_charges and fragment_formal_charges).
std::expected<void, Error> perceive_formal_charges(TRC& trc);

}  // namespace zyk
