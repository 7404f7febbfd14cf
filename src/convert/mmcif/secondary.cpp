#include "convert/mmcif/secondary.hpp"

#include <algorithm>
#include <array>
#include <string>

#include "text.hpp"

namespace zyk::mmcif {
namespace {

// A category's rows: its loop, or the one row its single items form.
class CategoryRows {
public:
    CategoryRows(const DataBlock& block, std::string_view category, std::span<const std::string_view> tags) {
        loop_ = get_loop_data(block, category);
        if (!loop_) {
            single_ = single_items_as_loop(block, tags);
            if (single_) loop_ = &*single_;
        }
    }
    const Loop* loop() const { return loop_; }
    Column column(std::string_view tag) const { return find_column_index(loop_->columns, tag); }

private:
    const Loop* loop_ = nullptr;
    std::optional<Loop> single_;
};

std::string_view str_or_empty(Row row, Column c) { return row_str(row, c).value_or(std::string_view{}); }
std::int32_t i32_or_zero(Row row, Column c) { return row_i32(row, c).value_or(0); }

// Counts, lengths and ordinals are unsigned in the tables; a negative number names none.
std::optional<std::uint32_t> non_negative(std::optional<std::int32_t> v) {
    if (!v || *v < 0) return std::nullopt;
    return std::uint32_t(*v);
}

void read_helices(const DataBlock& block, SecondaryStructureRecords& out) {
    static constexpr std::array<std::string_view, 12> tags = {
        "_struct_conf.conf_type_id",        "_struct_conf.pdbx_PDB_helix_id",    "_struct_conf.id",
        "_struct_conf.beg_label_comp_id",   "_struct_conf.beg_auth_asym_id",     "_struct_conf.beg_auth_seq_id",
        "_struct_conf.pdbx_beg_PDB_ins_code", "_struct_conf.end_label_comp_id",  "_struct_conf.end_auth_asym_id",
        "_struct_conf.end_auth_seq_id",     "_struct_conf.pdbx_end_PDB_ins_code", "_struct_conf.pdbx_PDB_helix_class",
    };
    static constexpr std::string_view length_tag = "_struct_conf.pdbx_PDB_helix_length";
    std::array<std::string_view, tags.size() + 1> all{};
    std::copy(tags.begin(), tags.end(), all.begin());
    all.back() = length_tag;
    const CategoryRows rows(block, "_struct_conf", all);
    const Loop* loop = rows.loop();
    if (!loop) return;
    const Column type = rows.column(tags[0]), pdb_id = rows.column(tags[1]), id = rows.column(tags[2]);
    const Column beg_name = rows.column(tags[3]), beg_chain = rows.column(tags[4]), beg_num = rows.column(tags[5]),
                 beg_ins = rows.column(tags[6]);
    const Column end_name = rows.column(tags[7]), end_chain = rows.column(tags[8]), end_num = rows.column(tags[9]),
                 end_ins = rows.column(tags[10]);
    const Column cls = rows.column(tags[11]), length = rows.column(length_tag);
    for (std::size_t r = 0; r < loop->row_count(); ++r) {
        const Row row = loop->row(r);
        const std::string_view kind = str_or_empty(row, type);
        if (kind.size() < 4 || kind.substr(0, 4) != "HELX") continue;
        MmcifHelixRecord h;
        h.helix_id = row_str_fallback(row, pdb_id, id).value_or(std::string_view{});
        h.beg_name = str_or_empty(row, beg_name);
        h.beg_chain = str_or_empty(row, beg_chain);
        h.beg_number = i32_or_zero(row, beg_num);
        h.beg_insertion_code = str_or_empty(row, beg_ins);
        h.end_name = str_or_empty(row, end_name);
        h.end_chain = str_or_empty(row, end_chain);
        h.end_number = i32_or_zero(row, end_num);
        h.end_insertion_code = str_or_empty(row, end_ins);
        h.helix_class = row_i32(row, cls);
        h.length = row_i32(row, length);
        out.helices.push_back(h);
    }
}

void read_strand_counts(const DataBlock& block, SecondaryStructureRecords& out) {
    static constexpr std::array<std::string_view, 2> tags = {"_struct_sheet.id", "_struct_sheet.number_strands"};
    const CategoryRows rows(block, "_struct_sheet", tags);
    const Loop* loop = rows.loop();
    if (!loop) return;
    const Column id = rows.column(tags[0]), count = rows.column(tags[1]);
    for (std::size_t r = 0; r < loop->row_count(); ++r) {
        const Row row = loop->row(r);
        out.strand_counts.insert_or_assign(str_or_empty(row, id), i32_or_zero(row, count));
    }
}

void read_senses(const DataBlock& block, SecondaryStructureRecords& out) {
    static constexpr std::array<std::string_view, 3> tags = {
        "_struct_sheet_order.sheet_id", "_struct_sheet_order.range_id_2", "_struct_sheet_order.sense"};
    const CategoryRows rows(block, "_struct_sheet_order", tags);
    const Loop* loop = rows.loop();
    if (!loop) return;
    const Column sheet = rows.column(tags[0]), strand = rows.column(tags[1]), sense = rows.column(tags[2]);
    for (std::size_t r = 0; r < loop->row_count(); ++r) {
        const Row row = loop->row(r);
        out.senses.insert_or_assign(std::pair{str_or_empty(row, sheet), str_or_empty(row, strand)},
                                    parse_sheet_sense(str_or_empty(row, sense)));
    }
}

void read_ranges(const DataBlock& block, SecondaryStructureRecords& out) {
    static constexpr std::array<std::string_view, 10> tags = {
        "_struct_sheet_range.sheet_id",          "_struct_sheet_range.id",
        "_struct_sheet_range.beg_label_comp_id", "_struct_sheet_range.beg_auth_asym_id",
        "_struct_sheet_range.beg_auth_seq_id",   "_struct_sheet_range.pdbx_beg_PDB_ins_code",
        "_struct_sheet_range.end_label_comp_id", "_struct_sheet_range.end_auth_asym_id",
        "_struct_sheet_range.end_auth_seq_id",   "_struct_sheet_range.pdbx_end_PDB_ins_code",
    };
    const CategoryRows rows(block, "_struct_sheet_range", tags);
    const Loop* loop = rows.loop();
    if (!loop) return;
    std::array<Column, tags.size()> c;
    for (std::size_t i = 0; i < tags.size(); ++i) c[i] = rows.column(tags[i]);
    for (std::size_t r = 0; r < loop->row_count(); ++r) {
        const Row row = loop->row(r);
        MmcifSheetRangeRecord s;
        s.sheet_id = str_or_empty(row, c[0]);
        s.strand_id = str_or_empty(row, c[1]);
        s.beg_name = str_or_empty(row, c[2]);
        s.beg_chain = str_or_empty(row, c[3]);
        s.beg_number = i32_or_zero(row, c[4]);
        s.beg_insertion_code = str_or_empty(row, c[5]);
        s.end_name = str_or_empty(row, c[6]);
        s.end_chain = str_or_empty(row, c[7]);
        s.end_number = i32_or_zero(row, c[8]);
        s.end_insertion_code = str_or_empty(row, c[9]);
        out.ranges.push_back(s);
    }
}

std::optional<std::uint32_t> find_residue(std::span<const ResidueId> residues, std::string_view chain,
                                          std::int32_t number, std::string_view insertion_code, std::string_view name) {
    const ResidueId key{chain, number, key_insertion_code(insertion_code), name};
    const auto it = std::lower_bound(residues.begin(), residues.end(), key);
    if (it == residues.end() || *it != key) return std::nullopt;
    return std::uint32_t(it - residues.begin());
}

std::optional<std::uint32_t> find_chain(std::span<const std::string_view> chains, std::string_view id) {
    const auto it = std::lower_bound(chains.begin(), chains.end(), id);
    if (it == chains.end() || *it != id) return std::nullopt;
    return std::uint32_t(it - chains.begin());
}

}  // namespace

SecondaryStructureRecords parse_secondary_structure(const DataBlock& block) {
    SecondaryStructureRecords out;
    read_helices(block, out);
    read_strand_counts(block, out);
    read_senses(block, out);
    read_ranges(block, out);
    return out;
}

std::optional<StrandSense> parse_sheet_sense(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    if (lower == "first") return StrandSense::First;
    if (lower == "parallel") return StrandSense::Parallel;
    if (lower == "antiparallel" || lower == "anti-parallel") return StrandSense::AntiParallel;
    return std::nullopt;
}

void resolve_secondary_structure(const SecondaryStructureRecords& records, std::span<const ResidueId> residues,
                                 std::span<const std::string_view> chains, Chains& out) {
    AlphaHelices helices;
    for (const MmcifHelixRecord& h : records.helices) {
        const auto beg = find_residue(residues, h.beg_chain, h.beg_number, h.beg_insertion_code, h.beg_name);
        const auto end = find_residue(residues, h.end_chain, h.end_number, h.end_insertion_code, h.end_name);
        const auto chain = find_chain(chains, h.beg_chain);
        if (!beg || !end || !chain) continue;
        std::optional<HelixClass> cls;
        if (h.helix_class && *h.helix_class >= 1 && *h.helix_class <= 10) {
            cls = helix_class_from_code(std::uint8_t(*h.helix_class));
        }
        helices.push(std::string(h.helix_id), *chain, *beg, *end, cls, non_negative(h.length));
    }
    BetaSheets sheets;
    for (const MmcifSheetRangeRecord& s : records.ranges) {
        const auto beg = find_residue(residues, s.beg_chain, s.beg_number, s.beg_insertion_code, s.beg_name);
        const auto end = find_residue(residues, s.end_chain, s.end_number, s.end_insertion_code, s.end_name);
        const auto chain = find_chain(chains, s.beg_chain);
        if (!beg || !end || !chain) continue;
        std::optional<std::int32_t> ordinal;
        if (const auto n = text::parse_int<std::int32_t>(s.strand_id)) ordinal = *n;
        std::optional<std::int32_t> count;
        if (const auto it = records.strand_counts.find(s.sheet_id); it != records.strand_counts.end()) count = it->second;
        std::optional<StrandSense> sense;
        if (const auto it = records.senses.find({s.sheet_id, s.strand_id}); it != records.senses.end()) sense = it->second;
        sheets.push(std::string(s.sheet_id), std::string(s.strand_id), non_negative(ordinal), non_negative(count), *chain,
                    *beg, *end, sense);
    }
    out.alpha_helices.reset();
    out.beta_sheets.reset();
    if (helices.size() > 0) out.alpha_helices = std::move(helices);
    if (sheets.size() > 0) out.beta_sheets = std::move(sheets);
}

}  // namespace zyk::mmcif
