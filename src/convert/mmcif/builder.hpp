// Turns mmCIF text into structures: one TRC per model of every data block, with residues
// keyed by chain, number, insertion code and name, bonds from the component templates and the
// connection table, empty residues for unobserved sequence positions, helices and sheets.
#pragma once

#include <cstdint>
#include <expected>
#include <map>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "convert/mmcif/secondary.hpp"
#include "convert/mmcif/syntax.hpp"
#include "trc.hpp"

namespace zyk::mmcif {

// The columns of an `_atom_site` loop that the builder reads.
struct AtomSiteColumns {
    Column type_symbol, atom_name, residue_name, label_chain, auth_chain, group, model, alt_id, insertion_code, serial,
        label_seq, auth_seq, x, y, z, occupancy, b_factor, formal_charge;
    explicit AtomSiteColumns(std::span<const std::string_view> columns);
};

// One atom site. Texts are views into the parsed document.
struct AtomRecord {
    std::string_view type_symbol, atom_name, residue_name, label_chain, chain;
    std::optional<std::string_view> alt_id, insertion_code;
    std::int32_t label_number = 0;
    std::int32_t number = 0;  // author number, else label number
    float x = 0, y = 0, z = 0;
    std::int32_t formal_charge = 0;
};
AtomRecord read_atom_record(Row row, const AtomSiteColumns& c);

// The atom sites of one model: rows of the `_atom_site` loop, in file order.
struct ModelSites {
    const Loop* loop;
    const AtomSiteColumns* columns;
    std::vector<std::uint32_t> rows;
};

struct CompBond {
    std::string_view atom_1, atom_2;
    std::string_view order;  // "SING" when missing
    std::uint32_t ordinal = 0;
};
using CompBondMap = std::unordered_map<std::string_view, std::vector<CompBond>>;

// One position of a chain's polymer sequence.
struct SequencePosition {
    std::string_view name;
    // The position's author number and insertion code ("pdb_seq_num", "pdb_ins_code"), when
    // the file gives them. Author numbering may skip numbers and use insertion codes, so that
    // counting positions from the first residue would misplace every residue after a gap.
    std::optional<std::int32_t> author_number;
    std::string_view insertion_code;
};
// Chain -> sequence number -> position.
using PolySeqMap = std::unordered_map<std::string_view, std::map<std::int32_t, SequencePosition>>;
using SeqStartMap = std::unordered_map<std::string_view, std::int32_t>;

// Enters `start` for every trimmed, non-empty piece of the comma-separated `strands` that has
// no entry yet: the first row naming a chain wins.
void insert_chain_seq_begin(SeqStartMap& starts, std::string_view strands, std::int32_t start);

struct ConnectionPartner {
    std::string_view atom_name, label_chain;
    std::int32_t label_number = 0;  // 0 when missing
    bool label_number_missing = true;
    // Consulted only when the label number is missing (non-polymer residues such as waters
    // all share one label chain and carry no label number).
    std::optional<std::int32_t> auth_number;
    std::optional<std::string_view> insertion_code;
};

struct Connection {
    std::string_view id, conn_type;
    ConnectionPartner partner_1, partner_2;
    bool has_insertion_codes = false;  // the loop has the pdbx_ptnr*_PDB_ins_code columns
};

struct MissingResidue {
    std::string_view chain, insertion_code, name;
    std::int32_t number = 0;
};

std::expected<TRC, MmCifError> build_trc(const ModelSites& sites, const CompBondMap& comp_bonds,
                                         std::span<const Connection> connections,
                                         std::span<const MissingResidue> missing, const PolySeqMap& poly_seq,
                                         const SeqStartMap& seq_starts, const SecondaryStructureRecords& secondary);

// Block by block in file order, one structure per model (ascending model text).
std::expected<std::vector<TRC>, MmCifError> from_mmcif(std::string_view text);

}  // namespace zyk::mmcif
