// The composite structure record: topology, residues and chains, addressed by 0-based
// indices, owning all its lists.
#pragma once

#include <cstdint>
#include <expected>
#include <string>

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

}  // namespace zyk
