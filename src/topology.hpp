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

}  // namespace zyk
