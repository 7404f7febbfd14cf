// Helices and sheets of an mmCIF block, read into plain records and later resolved against
// the residues of each built structure.
#pragma once

#include <compare>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "chain.hpp"
#include "convert/mmcif/syntax.hpp"

namespace zyk::mmcif {

// The key of a residue: chain, number, insertion code ("~" for none) and name, compared in
// that order, texts byte by byte.
struct ResidueId {
    std::string_view chain;
    std::int32_t number = 0;
    std::string_view insertion_code;
    std::string_view name;

    friend auto operator<=>(const ResidueId&, const ResidueId&) = default;
    friend bool operator==(const ResidueId&, const ResidueId&) = default;
};

inline constexpr std::string_view no_insertion_code = "~";
inline std::string_view key_insertion_code(std::string_view code) { return code.empty() ? no_insertion_code : code; }

// Texts are views into the parsed document.
struct MmcifHelixRecord {
    std::string_view helix_id;
    std::string_view beg_chain, beg_name, beg_insertion_code;
    std::int32_t beg_number = 0;
    std::string_view end_chain, end_name, end_insertion_code;
    std::int32_t end_number = 0;
    std::optional<std::int32_t> helix_class;
    std::optional<std::int32_t> length;
};

struct MmcifSheetRangeRecord {
    std::string_view sheet_id, strand_id;
    std::string_view beg_chain, beg_name, beg_insertion_code;
    std::int32_t beg_number = 0;
    std::string_view end_chain, end_name, end_insertion_code;
    std::int32_t end_number = 0;
};

struct SecondaryStructureRecords {
    std::vector<MmcifHelixRecord> helices;
    std::unordered_map<std::string_view, std::int32_t> strand_counts;  // sheet id -> strands
    std::map<std::pair<std::string_view, std::string_view>, std::optional<StrandSense>> senses;  // (sheet, strand)
    std::vector<MmcifSheetRangeRecord> ranges;
};

SecondaryStructureRecords parse_secondary_structure(const DataBlock& block);

// "first", "parallel", "antiparallel" / "anti-parallel" in any letter case; anything else none.
std::optional<StrandSense> parse_sheet_sense(std::string_view text);

// Appends the helices and strands whose residues and chain resolve. `residues` are the keys of
// the structure's residues in ascending order (position = residue index), `chains` its chain
// identifiers in ascending order (position = chain index). Unresolved records are dropped; a
// table that gets no row stays absent.
void resolve_secondary_structure(const SecondaryStructureRecords& records, std::span<const ResidueId> residues,
                                 std::span<const std::string_view> chains, Chains& out);

}  // namespace zyk::mmcif
