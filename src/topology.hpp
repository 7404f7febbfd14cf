// The topology: atoms with their elements, coordinates, charges, bonds and fragments.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bond.hpp"
#include "element.hpp"
#include "residue.hpp"

namespace zyk {

// A Semantic Versioning 2.0.0 version.
struct SchemaVersion {
    std::uint64_t major = 0;
    std::uint64_t minor = 0;
    std::uint64_t patch = 0;
    std::string pre;
    std::string build;

    friend bool operator==(const SchemaVersion&, const SchemaVersion&) = default;
};
// The version every topology the library creates carries.
inline SchemaVersion current_schema_version() { return SchemaVersion{0, 2, 0, {}, {}}; }
std::string to_string(const SchemaVersion& v);
std::expected<SchemaVersion, std::string> parse_schema_version(std::string_view text);

// Index into the topology's per-atom lists; prints as AtomRef(7).
struct AtomRef {
    std::uint32_t index;
    friend bool operator==(const AtomRef&, const AtomRef&) = default;
};
std::string to_string(AtomRef a);

// The atom indices of one fragment; the fragments of a topology partition its atoms.
using Fragment = std::vector<std::uint32_t>;

struct Topology {
    SchemaVersion schema_version;
    std::vector<Element> symbols;
    std::vector<float> geometry;  // x, y, z per atom, ångströms
    std::optional<std::vector<std::string>> labels;
    std::optional<std::vector<float>> partial_charges;
    std::optional<std::vector<std::int32_t>> formal_charges;
    std::optional<std::vector<Bond>> connectivity;
    std::optional<std::vector<Stereochemistry>> stereochemistry;  // one per bond
    std::optional<std::vector<float>> velocities;
    std::optional<std::vector<Fragment>> fragments;
    std::optional<std::vector<std::int32_t>> fragment_formal_charges;
    std::optional<std::vector<float>> fragment_partial_charges;
    std::optional<std::vector<std::uint8_t>> fragment_multiplicities;

    std::size_t atom_count() const { return symbols.size(); }
    friend bool operator==(const Topology&, const Topology&) = default;
};

// A topology with the given atoms and every optional field absent.
Topology make_topology(std::vector<Element> symbols, std::vector<float> geometry);

struct TopologyError {
    enum class Kind : std::uint8_t {
        InvalidGeometryLength,
        InvalidLabelsLength,
        InvalidPartialChargesLength,
        InvalidFormalChargesLength,
        InvalidConnectivity,
        InvalidStereochemistryExistence,
        InvalidStereochemistryLength,
        InvalidVelocitiesLength,
        InvalidFragments,
        InvalidFragmentRef,
        InvalidFragmentFormalChargesLength,
        InvalidFragmentPartialChargesLength,
        InvalidFragmentMultiplicitiesLength,
    };
    Kind kind;
    std::uint64_t a = 0;  // first number (or atom) of the message
    std::uint64_t b = 0;  // second number (or atom)
};
std::string message(const TopologyError& e);

// Validates the per-atom list lengths, the bonds and the fragment partition; the first
// failure wins. Also rejects fragment atom indices at or beyond the atom count, so that a
// checked topology can be indexed with its fragments safely.
std::expected<void, TopologyError> check(const Topology& t);

// ---- editing ----

// Why an editing operation refused its input. A record that passes check never produces the
// InvalidTopology, InvalidResidues, Chain... and ...AtomOutOfRange kinds: they let unchecked
// records (built from Python) fail cleanly instead of being read out of bounds.
struct EditError {
    enum class Kind : std::uint8_t {
        InvalidTopology,          // `topology`: a list that does not fit the atom or bond count
        InvalidResidues,          // `residues`: a list that does not fit the residue count, labels
        ChainLabelsMissing,       // chains have `labeled` without `labels`
        ChainLabelMismatch,       // chains' `labeled` and `labels` differ in length
        ResidueOutOfRange,        // a: residue, b: residue count
        ResidueAtomOutOfRange,    // a: residue, b: atom, c: atom count
        FragmentAtomOutOfRange,   // a: fragment, b: atom, c: atom count
        AtomInMultipleFragments,  // a: atom
        AtomNotInFragment,        // a: atom
        GeometryPositionCount,    // a: positions, b: atom count
    };
    Kind kind;
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    std::uint64_t c = 0;
    TopologyError topology{TopologyError::Kind::InvalidGeometryLength};
    ResiduesError residues{ResiduesError::Kind::LabelMismatch};
};
std::string message(const EditError& e);

// The length checks of `check` alone (per-atom lists against the atom count, stereochemistry
// against the bonds, per-fragment lists against the fragments), without the index checks: what
// an operation that copies every list entry by entry needs.
std::expected<void, TopologyError> check_list_lengths(const Topology& t);

// The topology of the atoms listed in `atom_lists` (the atoms of the selected residues, in
// selection order): every per-atom, per-bond and per-fragment field re-indexed. A bond or a
// fragment survives only when all its atoms are selected; one fragment that is partly selected
// removes every fragment field. An atom listed twice is copied twice, and bonds and fragments
// point at its first copy.
std::expected<Topology, EditError> new_topology_from_residue_subset(const Topology& topology,
                                                                    const std::vector<Residue>& atom_lists);

// Appends `other`'s atoms, bonds and fragments to `self`, shifting `other`'s atom indices by
// `self`'s atom count; optional fields that only `self` has are padded (zeros, empty labels,
// one fragment of all `other`'s atoms, per-fragment charge sums), those only `other` has are
// dropped, except stereochemistry, which `self` then gains with NONE for its own bonds. Two
// records that pass check merge into one that does.
void extend(Topology& self, Topology other);

// The fragments (ascending, `frag_idx` itself excluded) with an atom within `threshold`
// (inclusive) of an atom of fragment `frag_idx`. No fragments: empty. InvalidFragmentRef for an
// index at or beyond the fragment count; InvalidGeometryLength or InvalidFragments when the
// record cannot be read safely.
std::expected<std::vector<std::uint32_t>, TopologyError> get_fragments_near_fragment(const Topology& topology,
                                                                                     std::uint32_t frag_idx,
                                                                                     float threshold);

}  // namespace zyk
