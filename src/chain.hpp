// The chain table with its helix and strand tables.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zyk {

// Numbered as the helix classes of the PDB HELIX record; there is no code 0.
enum class HelixClass : std::uint8_t {
    RightHandedAlpha = 1,
    RightHandedOmega = 2,
    RightHandedPi = 3,
    RightHandedGamma = 4,
    RightHanded = 5,  // right-handed 3-10 helix
    LeftHandedAlpha = 6,
    LeftHandedOmega = 7,
    LeftHandedGamma = 8,
    Ribbon27 = 9,
    Polyproline = 10,
};
inline constexpr std::uint8_t helix_class_codes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
std::optional<HelixClass> helix_class_from_code(std::uint8_t code);
std::string_view helix_class_name(HelixClass c);

// First marks the first strand of a sheet; the others give the sense relative to the
// previous strand.
enum class StrandSense : std::uint8_t { First = 1, Parallel = 2, AntiParallel = 255 };
inline constexpr std::uint8_t strand_sense_codes[] = {1, 2, 255};
std::optional<StrandSense> strand_sense_from_code(std::uint8_t code);
std::string_view strand_sense_name(StrandSense s);

// One entry per helix in each parallel list.
struct AlphaHelices {
    std::vector<std::string> helix_ids;
    std::vector<std::uint32_t> chain_refs;
    std::vector<std::uint32_t> start_residues;
    std::vector<std::uint32_t> end_residues;
    std::vector<std::optional<HelixClass>> classes;
    std::vector<std::optional<std::uint32_t>> lengths;

    void push(std::string helix_id, std::uint32_t chain, std::uint32_t start, std::uint32_t end,
              std::optional<HelixClass> cls, std::optional<std::uint32_t> length);
    std::size_t size() const { return helix_ids.size(); }
    friend bool operator==(const AlphaHelices&, const AlphaHelices&) = default;
};

// One entry per strand in each parallel list.
struct BetaSheets {
    std::vector<std::string> sheet_ids;
    std::vector<std::string> strand_ids;
    std::vector<std::optional<std::uint32_t>> strand_ordinals;
    std::vector<std::optional<std::uint32_t>> num_strands;
    std::vector<std::uint32_t> chain_refs;
    std::vector<std::uint32_t> start_residues;
    std::vector<std::uint32_t> end_residues;
    std::vector<std::optional<StrandSense>> senses;

    void push(std::string sheet_id, std::string strand_id, std::optional<std::uint32_t> ordinal,
              std::optional<std::uint32_t> strand_count, std::uint32_t chain, std::uint32_t start, std::uint32_t end,
              std::optional<StrandSense> sense);
    std::size_t size() const { return sheet_ids.size(); }
    friend bool operator==(const BetaSheets&, const BetaSheets&) = default;
};

// The residue indices of one chain.
using Chain = std::vector<std::uint32_t>;

struct Chains {
    std::vector<Chain> chains;
    std::optional<AlphaHelices> alpha_helices;
    std::optional<BetaSheets> beta_sheets;
    std::optional<std::vector<std::uint32_t>> labeled;
    std::optional<std::vector<std::vector<std::string>>> labels;

    friend bool operator==(const Chains&, const Chains&) = default;
};

}  // namespace zyk
