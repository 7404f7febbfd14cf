// Bond and formal-charge perception for amino-acid residues, from residue and atom names, and
// the completeness checks both run first.
//
// Records may arrive unchecked (built from Python). Every index taken from a record is guarded:
// an atom index beyond a per-atom list reads as "no label", "no element" (X) or "no position",
// a residue beyond `seqs` has no name (so it is not an amino acid) and one beyond `seq_ns` no
// number. `check_perception_input` reports those defects as a validation error for callers that
// want to refuse such records up front.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "amino_acid.hpp"
#include "error.hpp"
#include "residue.hpp"
#include "trc.hpp"

namespace zyk {

// Rebuilds the amino-acid bonds of `trc` in place (changes only topology.connectivity): keeps
// bonds touching non-amino-acid residues and sulfur-sulfur bonds, adds the template, peptide and
// terminal bonds, restores (with a warning) every earlier bond not reproduced, then bonds
// three-atom waters. On an error from the per-residue step the bonds perceived so far remain.
std::expected<void, Error> perceive_bonds(TRC& trc, AtomCheckStrictness strictness);

// Bonds the two hydrogens of every three-atom residue whose elements are O, H, H in some order to
// its oxygen, unless already bonded (oxygen first, Single).
void perceive_bonds_water(TRC& trc);

// Assigns formal charges in place (changes only formal_charges and fragment_formal_charges).
std::expected<void, Error> perceive_formal_charges(TRC& trc);

// Checks every residue with an amino-acid name against its template; the first failing residue
// decides the error.
std::expected<void, Error> ensure_no_missing_atoms(const TRC& trc, AtomCheckStrictness strictness);

// The hydrogens of a residue that a covalently bound ligand replaces: {HG} for a serine whose OG
// lies within 2.5 Å (inclusive) of a heavy atom of a non-amino-acid residue, otherwise none.
AtomSet covalent_binder_substitutes(const TRC& trc, AminoAcidSeq kind, const Residue& atoms,
                                    const std::vector<std::string>& labels);

// The residues whose name is not an amino-acid name, in order.
std::vector<std::uint32_t> non_amino_acid_iter(const Residues& residues);

// The atoms of `atoms`, in input order, within `threshold` (inclusive) of `point`; writes one
// diagnostic line per atom found.
std::vector<std::uint32_t> get_atoms_near_point(const Topology& topology, std::array<float, 3> point, float threshold,
                                                std::span<const std::uint32_t> atoms);

// The index and length invariants perception relies on: geometry of 3 values per atom, labels
// (and, with `formal_charges`, formal charges) one per atom, bond and residue atoms below the
// atom count, seqs and seq_ns as long as the residue table. Reported with the validation
// messages of the record checks.
std::expected<void, TRCError> check_perception_input(const TRC& trc, bool formal_charges);

}  // namespace zyk
