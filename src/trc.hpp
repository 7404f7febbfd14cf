// The composite structure record: topology, residues and chains, addressed by 0-based
// indices, owning all its lists.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "chain.hpp"
#include "residue.hpp"
#include "topology.hpp"

namespace zyk {

struct TRC {
    Topology topology;
    Residues residues;
    Chains chains;

    friend bool operator==(const TRC&, const TRC&) = default;
};

struct TRCError {
    enum class Kind : std::uint8_t {
        ResidueNotInChain,
        ResidueDoesNotExist,
        InvalidChains,
        AtomsNotInResidues,
        AtomDoesNotExist,
        InvalidTopology,
        InvalidResidues,
    };
    // The label problems a chain table can have (InvalidChains).
    enum class ChainsProblem : std::uint8_t { LabelMismatch, LabelsMissing, LabeledMissing };

    Kind kind;
    std::uint32_t ref = 0;  // residue (ResidueNotInChain, ResidueDoesNotExist) or atom (AtomDoesNotExist)
    ChainsProblem chains = ChainsProblem::LabelMismatch;
    TopologyError topology{TopologyError::Kind::InvalidGeometryLength};
    ResiduesError residues{ResiduesError::Kind::LabelMismatch};
};
std::string message(const TRCError& e);

// Validates the topology, then labels, table lengths, the atom-to-residue and the
// residue-to-chain partitions; the first failure wins. Atom indices of residues at or beyond
// the atom count are rejected as AtomDoesNotExist, so that a checked record can be indexed
// safely through its residues.
std::expected<void, TRCError> check(const TRC& trc);

// ---- editing ----
// These only read their inputs (or change `self` in place) and never index a list with a value
// taken from the record without checking it first: a record that fails `check` gives an
// EditError (or, for extend, a TRCError) or a well-defined result, never an out-of-bounds read.

// The structure made of the residues `refs` (in that order; repeats allowed): atoms renumbered
// in selection order, every field re-indexed, chains numbered in the order the selection first
// reaches them, helices and strands kept when their chain and both end residues survive.
// ResidueOutOfRange for a ref at or beyond the residue count, before any work.
std::expected<TRC, EditError> new_trc_from_residue_subset(const TRC& trc, std::span<const std::uint32_t> refs);
// The residue table of the selection: residue k holds the k-th block of new atom indices.
std::expected<Residues, EditError> new_residues_from_subset(const Residues& residues, std::span<const std::uint32_t> refs);
// The chain table of the selection (`refs` are old residue indices, in new residue order).
std::expected<Chains, EditError> new_chains_from_residue_subset(const Chains& chains, std::span<const std::uint32_t> refs);

// Appends `other` to `self`: residues, then chains, each with `other`'s indices shifted past
// `self`'s. Label merging fails with LabelsMissing when `self` has labels and `other` has
// `labeled` without them (and with LabelMismatch when a side's `labeled` and `labels` differ
// in length); steps already done stay applied.
std::expected<void, TRCError> extend(TRC& self, TRC other);
std::expected<void, ResiduesError> extend(Residues& self, Residues other);
std::expected<void, TRCError::ChainsProblem> extend(Chains& self, Chains other);

// A copy with the coordinates replaced: GeometryPositionCount unless there is one position
// per atom.
std::expected<TRC, EditError> with_geometry(const TRC& trc, std::span<const std::array<float, 3>> positions);
// A copy with the fragment partition replaced (every atom exactly once; empty fragments are
// allowed), per-fragment formal and partial charges summed from the per-atom ones when those
// exist, multiplicities dropped.
std::expected<TRC, EditError> with_fragments(const TRC& trc, std::vector<Fragment> fragments);

}  // namespace zyk
