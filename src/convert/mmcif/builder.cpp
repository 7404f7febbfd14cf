#include "convert/mmcif/builder.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <set>
#include <string>
#include <unordered_set>

#include "convert/mmcif/letters.hpp"
#include "log.hpp"
#include "text.hpp"

namespace zyk::mmcif {

namespace {

using Sv = std::string_view;

std::size_t mix(std::size_t h, std::size_t v) { return h ^ (v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2)); }

struct ResidueIdHash {
    std::size_t operator()(const ResidueId& k) const {
        std::size_t h = std::hash<Sv>{}(k.chain);
        h = mix(h, std::hash<Sv>{}(k.name));
        h = mix(h, std::size_t(std::uint32_t(k.number)));
        return mix(h, std::hash<Sv>{}(k.insertion_code));
    }
};

}  // namespace

// --- Atom sites ------------------------------------------------------------------------

AtomSiteColumns::AtomSiteColumns(std::span<const std::string_view> c)
    : type_symbol(find_column_index(c, "_atom_site.type_symbol")),
      atom_name(find_column_index(c, "_atom_site.label_atom_id")),
      residue_name(find_column_index(c, "_atom_site.label_comp_id")),
      label_chain(find_column_index(c, "_atom_site.label_asym_id")),
      auth_chain(find_column_index(c, "_atom_site.auth_asym_id")),
      group(find_column_index(c, "_atom_site.group_PDB")),
      model(find_column_index(c, "_atom_site.pdbx_PDB_model_num")),
      alt_id(find_column_index(c, "_atom_site.label_alt_id")),
      insertion_code(find_column_index(c, "_atom_site.pdbx_PDB_ins_code")),
      serial(find_column_index(c, "_atom_site.id")),
      label_seq(find_column_index(c, "_atom_site.label_seq_id")),
      auth_seq(find_column_index(c, "_atom_site.auth_seq_id")),
      x(find_column_index(c, "_atom_site.Cartn_x")),
      y(find_column_index(c, "_atom_site.Cartn_y")),
      z(find_column_index(c, "_atom_site.Cartn_z")),
      occupancy(find_column_index(c, "_atom_site.occupancy")),
      b_factor(find_column_index(c, "_atom_site.B_iso_or_equiv")),
      formal_charge(find_column_index(c, "_atom_site.pdbx_formal_charge")) {}

// Group, serial, occupancy and temperature factor never reach a structure and are not read.
AtomRecord read_atom_record(Row row, const AtomSiteColumns& c) {
    AtomRecord a;
    a.type_symbol = row_string_or_default(row, c.type_symbol);
    a.atom_name = row_string_or_default(row, c.atom_name);
    a.residue_name = row_string_or_default(row, c.residue_name);
    a.label_chain = row_string_or_default(row, c.label_chain);
    a.chain = row_str_fallback(row, c.auth_chain, c.label_chain).value_or(Sv{});
    a.alt_id = row_str(row, c.alt_id);
    a.insertion_code = row_str(row, c.insertion_code);
    a.label_number = row_i32_or(row, c.label_seq, 0);
    a.number = row_i32_fallback(row, c.auth_seq, c.label_seq).value_or(0);
    a.x = row_f32_or(row, c.x, 0.0f);
    a.y = row_f32_or(row, c.y, 0.0f);
    a.z = row_f32_or(row, c.z, 0.0f);
    a.formal_charge = parse_charge(row_string_or_default(row, c.formal_charge)).value_or(0);
    return a;
}

void insert_chain_seq_begin(SeqStartMap& starts, std::string_view strands, std::int32_t start) {
    std::size_t pos = 0;
    while (pos <= strands.size()) {
        const std::size_t comma = std::min(strands.find(',', pos), strands.size());
        const Sv piece = text::trim(strands.substr(pos, comma - pos));
        if (!piece.empty()) starts.try_emplace(piece, start);
        pos = comma + 1;
    }
}

namespace {

// --- Elements --------------------------------------------------------------------------

bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

// Element of every one- and two-letter ASCII text; -1 where there is none.
class ElementTable {
public:
    ElementTable() {
        codes_.fill(-1);
        for (char a = 'A'; a <= 'Z'; ++a) {
            for (int b = 0; b <= 26; ++b) {
                std::string s(1, a);
                if (b > 0) s.push_back(char('A' + b - 1));
                if (auto e = element_from_text(s)) codes_[index(s)] = std::int16_t(element_code(*e));
            }
        }
    }
    // `s` is one or two ASCII letters.
    std::optional<Element> find(Sv s) const {
        const std::int16_t code = codes_[index(s)];
        if (code < 0) return std::nullopt;
        return static_cast<Element>(code);
    }

private:
    static std::size_t index(Sv s) {
        const std::size_t a = std::size_t(upper(s[0]) - 'A');
        const std::size_t b = s.size() == 2 ? std::size_t(upper(s[1]) - 'A' + 1) : 0;
        return a * 27 + b;
    }
    std::array<std::int16_t, 26 * 27> codes_{};
};

const ElementTable& element_table() {
    static const ElementTable table;
    return table;
}

bool short_ascii_letters(Sv s) {
    if (s.empty() || s.size() > 2) return false;
    return std::all_of(s.begin(), s.end(), is_ascii_letter);
}

// The type symbol's letters (any script) as an element symbol, letter case ignored.
std::expected<Element, MmCifError> element_of(Sv type_symbol, const ElementTable& table) {
    if (short_ascii_letters(type_symbol)) {
        if (auto e = table.find(type_symbol)) return *e;
        return std::unexpected(MmCifError{MmCifError::Kind::InvalidElement, std::string(type_symbol)});
    }
    std::string letters = letters_only(type_symbol);
    if (short_ascii_letters(letters)) {
        if (auto e = table.find(letters)) return *e;
    }
    return std::unexpected(MmCifError{MmCifError::Kind::InvalidElement, std::move(letters)});
}

// --- Residues --------------------------------------------------------------------------

struct ResidueEntry {
    ResidueId key;
    Sv name;
    std::int32_t number;
    Sv insertion_code;                   // stored: empty when none
    std::vector<std::uint32_t> atoms;    // empty for residues that only the sequence knows
};

bool by_key(const ResidueEntry& a, const ResidueEntry& b) { return a.key < b.key; }

// Sorts into key order. Chains are ranked once, so that most comparisons are of integers.
void sort_by_key(std::vector<ResidueEntry>& residues) {
    const std::size_t n = residues.size();
    std::vector<std::uint32_t> chain_of(n);
    std::vector<Sv> chains;
    std::unordered_map<Sv, std::uint32_t> chain_ids;
    for (std::size_t i = 0; i < n; ++i) {
        const Sv chain = residues[i].key.chain;
        if (!chains.empty() && i > 0 && residues[i - 1].key.chain == chain) {
            chain_of[i] = chain_of[i - 1];
            continue;
        }
        const auto [it, inserted] = chain_ids.try_emplace(chain, std::uint32_t(chains.size()));
        if (inserted) chains.push_back(chain);
        chain_of[i] = it->second;
    }
    std::vector<std::uint32_t> by_name(chains.size());
    for (std::uint32_t c = 0; c < by_name.size(); ++c) by_name[c] = c;
    std::sort(by_name.begin(), by_name.end(), [&](std::uint32_t a, std::uint32_t b) { return chains[a] < chains[b]; });
    std::vector<std::uint32_t> rank(chains.size());
    for (std::uint32_t r = 0; r < by_name.size(); ++r) rank[by_name[r]] = r;
    std::vector<std::uint32_t> order(n);
    for (std::uint32_t i = 0; i < n; ++i) order[i] = i;
    auto less = [&](std::uint32_t a, std::uint32_t b) {
        const std::uint32_t ra = rank[chain_of[a]], rb = rank[chain_of[b]];
        if (ra != rb) return ra < rb;
        const ResidueId& ka = residues[a].key;
        const ResidueId& kb = residues[b].key;
        if (ka.number != kb.number) return ka.number < kb.number;
        if (ka.insertion_code != kb.insertion_code) return ka.insertion_code < kb.insertion_code;
        return ka.name < kb.name;
    };
    if (std::is_sorted(order.begin(), order.end(), less)) return;
    std::sort(order.begin(), order.end(), less);
    std::vector<ResidueEntry> sorted;
    sorted.reserve(n);
    for (std::uint32_t i : order) sorted.push_back(std::move(residues[i]));
    residues = std::move(sorted);
}

// Residues of one chain in a key-sorted list: [first, last).
std::pair<std::size_t, std::size_t> chain_range(const std::vector<ResidueEntry>& sorted, Sv chain) {
    const auto lo = std::lower_bound(sorted.begin(), sorted.end(), chain,
                                     [](const ResidueEntry& e, Sv c) { return e.key.chain < c; });
    const auto hi = std::upper_bound(lo, sorted.end(), chain, [](Sv c, const ResidueEntry& e) { return c < e.key.chain; });
    return {std::size_t(lo - sorted.begin()), std::size_t(hi - sorted.begin())};
}

// Whether the chain's residues in [range) hold one with this number (and, when given, this key
// insertion code).
bool chain_has_number(const std::vector<ResidueEntry>& sorted, std::pair<std::size_t, std::size_t> range,
                      std::int32_t number, std::optional<Sv> key_code = std::nullopt) {
    const auto first = sorted.begin() + std::ptrdiff_t(range.first);
    const auto last = sorted.begin() + std::ptrdiff_t(range.second);
    auto it = std::lower_bound(first, last, number, [](const ResidueEntry& e, std::int32_t n) { return e.key.number < n; });
    if (!key_code) return it != last && it->key.number == number;
    it = std::lower_bound(it, last, *key_code, [number](const ResidueEntry& e, Sv code) {
        return e.key.number == number && e.key.insertion_code < code;
    });
    return it != last && it->key.number == number && it->key.insertion_code == *key_code;
}

bool has_key(const std::vector<ResidueEntry>& sorted, const ResidueId& key) {
    const auto it = std::lower_bound(sorted.begin(), sorted.end(), key, [](const ResidueEntry& e, const ResidueId& k) { return e.key < k; });
    return it != sorted.end() && it->key == key;
}

ResidueEntry empty_residue(Sv chain, std::int32_t number, Sv insertion_code, Sv name) {
    return ResidueEntry{ResidueId{chain, number, key_insertion_code(insertion_code), name}, name, number, insertion_code, {}};
}

// --- Bonds -----------------------------------------------------------------------------

std::uint64_t pair_key(std::uint32_t a, std::uint32_t b) {
    if (a > b) std::swap(a, b);
    return (std::uint64_t(a) << 32) | b;
}

BondOrder order_from_text(Sv order) {
    if (order == "SING") return BondOrder::Single;
    if (order == "DOUB") return BondOrder::Double;
    if (order == "TRIP") return BondOrder::Triple;
    if (order == "QUAD") return BondOrder::Quadruple;
    return BondOrder::Single;
}

// Bonds in the order they were set; a later setting of a pair overwrites an earlier one.
class BondSet {
public:
    void set(std::uint32_t a, std::uint32_t b, BondOrder order) {
        if (a == b) return;  // a bond needs two atoms
        entries_.push_back({pair_key(a, b), order});
    }
    std::vector<Bond> ascending() {
        std::stable_sort(entries_.begin(), entries_.end(), [](const Entry& x, const Entry& y) { return x.key < y.key; });
        std::vector<Bond> out;
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (i + 1 < entries_.size() && entries_[i + 1].key == entries_[i].key) continue;  // the last setting wins
            out.push_back(Bond{std::uint32_t(entries_[i].key >> 32), std::uint32_t(entries_[i].key), entries_[i].order});
        }
        return out;
    }

private:
    struct Entry {
        std::uint64_t key;
        BondOrder order;
    };
    std::vector<Entry> entries_;
};

// Partner keys of connections. The label number of non-polymer residues is missing, so the
// label keys alone would name the first water of a chain for every water; the author number
// (and insertion code) then tell them apart.
struct PartnerKey {
    Sv atom_name, label_chain;
    std::int32_t label_number = 0;
    std::optional<std::int32_t> auth_number;  // compared only when set
    bool with_insertion_code = false;
    std::optional<Sv> insertion_code;

    friend bool operator==(const PartnerKey&, const PartnerKey&) = default;
};

struct PartnerKeyHash {
    std::size_t operator()(const PartnerKey& k) const {
        std::size_t h = std::hash<Sv>{}(k.atom_name);
        h = mix(h, std::hash<Sv>{}(k.label_chain));
        h = mix(h, std::size_t(std::uint32_t(k.label_number)));
        if (k.auth_number) h = mix(h, std::size_t(std::uint32_t(*k.auth_number)) + 1);
        if (k.with_insertion_code) h = mix(h, k.insertion_code ? std::hash<Sv>{}(*k.insertion_code) : 7);
        return h;
    }
};

PartnerKey partner_key(const ConnectionPartner& p, bool with_insertion_code) {
    PartnerKey k{p.atom_name, p.label_chain, p.label_number, std::nullopt, false, std::nullopt};
    if (p.label_number_missing && p.auth_number) {
        k.auth_number = p.auth_number;
        k.with_insertion_code = with_insertion_code;
        if (with_insertion_code) k.insertion_code = p.insertion_code;
    }
    return k;
}

constexpr std::uint32_t none = std::numeric_limits<std::uint32_t>::max();

// The first record (position in the model's list) for every partner key the connections name,
// found in one pass over the records.
std::unordered_map<PartnerKey, std::uint32_t, PartnerKeyHash> find_partners(const ModelSites& sites,
                                                                             std::span<const Connection> connections) {
    std::unordered_map<PartnerKey, std::uint32_t, PartnerKeyHash> wanted;
    bool any_auth = false, any_auth_ins = false;
    for (const Connection& c : connections) {
        for (const ConnectionPartner* p : {&c.partner_1, &c.partner_2}) {
            const PartnerKey k = partner_key(*p, c.has_insertion_codes);
            wanted.try_emplace(k, none);
            any_auth = any_auth || (k.auth_number && !k.with_insertion_code);
            any_auth_ins = any_auth_ins || (k.auth_number && k.with_insertion_code);
        }
    }
    std::unordered_set<Sv> names;
    for (const auto& [k, _] : wanted) names.insert(k.atom_name);
    const AtomSiteColumns& c = *sites.columns;
    auto probe = [&](const PartnerKey& k, std::uint32_t pos) {
        const auto it = wanted.find(k);
        if (it != wanted.end() && it->second == none) it->second = pos;
    };
    for (std::uint32_t pos = 0; pos < sites.rows.size(); ++pos) {
        const Row row = sites.loop->row(sites.rows[pos]);
        const Sv name = row_string_or_default(row, c.atom_name);
        if (!names.contains(name)) continue;
        PartnerKey k{name, row_string_or_default(row, c.label_chain), row_i32_or(row, c.label_seq, 0), std::nullopt, false,
                     std::nullopt};
        probe(k, pos);
        if (!any_auth && !any_auth_ins) continue;
        k.auth_number = row_i32_fallback(row, c.auth_seq, c.label_seq).value_or(0);
        if (any_auth) probe(k, pos);
        if (any_auth_ins) {
            k.with_insertion_code = true;
            k.insertion_code = row_str(row, c.insertion_code);
            probe(k, pos);
        }
    }
    return wanted;
}

// A component's bond list with its atom names numbered and each pair of names once (the last
// row naming a pair decides its order, as it would overwrite the earlier ones), so that a
// residue's atoms are matched in one pass and repeated rows cost nothing per residue.
struct PreparedComponent {
    std::unordered_map<Sv, std::uint32_t> name_ids;
    std::unordered_map<std::uint64_t, BondOrder> orders;                       // (smaller id, larger id)
    std::vector<std::vector<std::pair<std::uint32_t, BondOrder>>> partners;  // by smaller id: larger ids
};

PreparedComponent prepare(const std::vector<CompBond>& bonds) {
    PreparedComponent p;
    auto id = [&](Sv name) { return p.name_ids.try_emplace(name, std::uint32_t(p.name_ids.size())).first->second; };
    for (const CompBond& b : bonds) {
        const std::uint32_t i1 = id(b.atom_1);
        const std::uint32_t i2 = id(b.atom_2);
        if (i1 == i2) continue;  // one atom: no bond
        p.orders.insert_or_assign(pair_key(i1, i2), order_from_text(b.order));
    }
    p.partners.resize(p.name_ids.size());
    for (const auto& [key, order] : p.orders) p.partners[key >> 32].emplace_back(std::uint32_t(key), order);
    return p;
}

// Sets the template bonds among one residue's atoms. `first_atom` maps name ids to the first
// atom of that name (none elsewhere) and is left that way.
void set_template_bonds(const PreparedComponent& p, std::span<const std::uint32_t> atoms,
                        const std::vector<std::string>& labels, std::vector<std::uint32_t>& first_atom,
                        std::vector<std::uint32_t>& present, BondSet& bonds) {
    present.clear();
    for (std::uint32_t atom : atoms) {
        const auto id = p.name_ids.find(labels[atom]);
        if (id != p.name_ids.end() && first_atom[id->second] == none) {
            first_atom[id->second] = atom;
            present.push_back(id->second);
        }
    }
    // Walk the template pairs of the present names, or the pairs of present names, whichever
    // is fewer.
    std::size_t listed = 0;
    for (std::uint32_t a : present) listed += p.partners[a].size();
    if (listed <= present.size() * present.size()) {
        for (std::uint32_t a : present) {
            for (const auto& [b, order] : p.partners[a]) {
                if (first_atom[b] != none) bonds.set(first_atom[a], first_atom[b], order);
            }
        }
    } else {
        for (std::size_t i = 0; i < present.size(); ++i) {
            for (std::size_t j = i + 1; j < present.size(); ++j) {
                const auto it = p.orders.find(pair_key(present[i], present[j]));
                if (it != p.orders.end()) bonds.set(first_atom[present[i]], first_atom[present[j]], it->second);
            }
        }
    }
    for (std::uint32_t a : present) first_atom[a] = none;
}

}  // namespace

// --- One model -------------------------------------------------------------------------

std::expected<TRC, MmCifError> build_trc(const ModelSites& sites, const CompBondMap& comp_bonds,
                                         std::span<const Connection> connections,
                                         std::span<const MissingResidue> missing, const PolySeqMap& poly_seq,
                                         const SeqStartMap& seq_starts, const SecondaryStructureRecords& secondary) {
    const ElementTable& elements = element_table();
    const AtomSiteColumns& cols = *sites.columns;
    const std::size_t record_count = sites.rows.size();

    Topology topology = make_topology({}, {});
    std::vector<std::string> labels;
    std::vector<std::int32_t> charges;
    topology.symbols.reserve(record_count);
    topology.geometry.reserve(record_count * 3);
    labels.reserve(record_count);
    charges.reserve(record_count);
    std::vector<std::uint32_t> atom_of_record(record_count, none);

    // 1. Atoms, and residues in order of first appearance.
    std::vector<ResidueEntry> residues;
    std::unordered_map<ResidueId, std::uint32_t, ResidueIdHash> slot_of;
    std::uint32_t last_slot = none;
    for (std::size_t k = 0; k < record_count; ++k) {
        const AtomRecord a = read_atom_record(sites.loop->row(sites.rows[k]), cols);
        if (a.alt_id && *a.alt_id != "A") continue;
        auto element = element_of(a.type_symbol, elements);
        if (!element) return std::unexpected(std::move(element.error()));
        const auto atom = std::uint32_t(topology.symbols.size());
        topology.symbols.push_back(*element);
        topology.geometry.push_back(a.x);
        topology.geometry.push_back(a.y);
        topology.geometry.push_back(a.z);
        labels.emplace_back(a.atom_name);
        charges.push_back(a.formal_charge);
        atom_of_record[k] = atom;

        const Sv code = a.insertion_code.value_or(Sv{});
        const ResidueId key{a.chain, a.number, key_insertion_code(code), a.residue_name};
        if (last_slot == none || !(residues[last_slot].key == key)) {
            const auto [it, inserted] = slot_of.try_emplace(key, std::uint32_t(residues.size()));
            if (inserted) residues.push_back(ResidueEntry{key, a.residue_name, a.number, code, {}});
            last_slot = it->second;
        }
        ResidueEntry& r = residues[last_slot];
        r.atoms.push_back(atom);
        r.name = a.residue_name;
        r.number = a.number;
        r.insertion_code = code;
    }
    sort_by_key(residues);

    // 2. Empty residues where the polymer sequence lists a position the coordinates lack.
    std::vector<ResidueEntry> added;
    std::unordered_set<Sv> handled;
    for (const auto& [chain, positions] : poly_seq) {
        const auto range = chain_range(residues, chain);
        std::int64_t offset;
        if (const auto s = seq_starts.find(chain); s != seq_starts.end()) {
            offset = s->second;
        } else {
            if (range.first == range.second) {
                ZYK_WARN(log::target_mmcif,
                         "mmCIF: chain " + std::string(chain) +
                             ": unable to determine first resolved residue while aligning _pdbx_poly_seq_scheme; "
                             "skipping sequence-driven empty residue injection for this chain");
                continue;
            }
            const ResidueEntry& first = residues[range.first];
            std::int64_t p = 0;
            bool found = false;
            for (const auto& [_, position] : positions) {
                if (position.name == first.name) {
                    found = true;
                    break;
                }
                ++p;
            }
            if (!found) {
                ZYK_WARN(log::target_mmcif,
                         "mmCIF: chain " + std::string(chain) + ": cannot align _pdbx_poly_seq_scheme with resolved residues "
                             "(residue " + std::string(first.name) + " at auth seq " + std::to_string(first.number) +
                             " not found in polymer sequence); skipping sequence-driven empty residue injection for this chain");
                continue;
            }
            offset = std::int64_t(first.number) - p;
        }
        const bool authored = std::all_of(positions.begin(), positions.end(),
                                          [](const auto& entry) { return entry.second.author_number.has_value(); });
        if (authored) {
            // The file numbers every position itself: a position is missing when the chain has no
            // residue with its number and insertion code.
            std::set<std::pair<std::int32_t, Sv>> taken;
            for (const auto& [_, position] : positions) {
                const std::int32_t n = *position.author_number;
                const Sv code = key_insertion_code(position.insertion_code);
                if (chain_has_number(residues, range, n, code) || !taken.emplace(n, code).second) continue;
                added.push_back(empty_residue(chain, n, position.insertion_code, position.name));
            }
        } else {
            std::int64_t p = 0;
            for (const auto& [_, position] : positions) {
                const std::int64_t n = offset + p++;
                // Numbers beyond the 32-bit range name no residue.
                if (n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::int32_t>::max()) continue;
                if (chain_has_number(residues, range, std::int32_t(n))) continue;
                added.push_back(empty_residue(chain, std::int32_t(n), Sv{}, position.name));
            }
        }
        handled.insert(chain);
    }

    // 3. Unobserved residues of the chains the sequence did not handle.
    std::unordered_set<ResidueId, ResidueIdHash> unobserved;
    for (const MissingResidue& m : missing) {
        if (handled.contains(m.chain)) continue;
        ResidueEntry e = empty_residue(m.chain, m.number, m.insertion_code, m.name);
        if (has_key(residues, e.key) || !unobserved.insert(e.key).second) continue;
        added.push_back(std::move(e));
    }
    if (!added.empty()) {
        std::sort(added.begin(), added.end(), by_key);
        const std::size_t middle = residues.size();
        residues.insert(residues.end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
        std::inplace_merge(residues.begin(), residues.begin() + std::ptrdiff_t(middle), residues.end(), by_key);
    }

    // 4. and 5. Residue and chain tables, both in key order.
    Residues table;
    Chains chains;
    std::vector<ResidueId> keys;
    std::vector<Sv> chain_ids;
    table.residues.reserve(residues.size());
    table.seqs.reserve(residues.size());
    table.seq_ns.reserve(residues.size());
    table.insertion_codes.reserve(residues.size());
    keys.reserve(residues.size());
    for (std::size_t i = 0; i < residues.size(); ++i) {
        const ResidueEntry& r = residues[i];
        if (chain_ids.empty() || chain_ids.back() != r.key.chain) {
            chain_ids.push_back(r.key.chain);
            chains.chains.emplace_back();
        }
        chains.chains.back().push_back(std::uint32_t(i));
        table.residues.push_back(r.atoms);
        table.seqs.emplace_back(r.name);
        table.seq_ns.push_back(r.number);
        table.insertion_codes.emplace_back(r.insertion_code);
        keys.push_back(r.key);
    }
    chains.labeled.emplace();
    chains.labels.emplace();
    for (std::size_t c = 0; c < chain_ids.size(); ++c) {
        chains.labeled->push_back(std::uint32_t(c));
        chains.labels->push_back({std::string(chain_ids[c])});
    }

    // 6. Bonds: connections first, then component templates, which overwrite.
    BondSet bonds;
    if (!connections.empty()) {
        const auto partners = find_partners(sites, connections);
        for (const Connection& c : connections) {
            const std::uint32_t k1 = partners.at(partner_key(c.partner_1, c.has_insertion_codes));
            const std::uint32_t k2 = partners.at(partner_key(c.partner_2, c.has_insertion_codes));
            if (k1 == none || k2 == none) continue;
            const std::uint32_t a1 = atom_of_record[k1], a2 = atom_of_record[k2];
            if (a1 == none || a2 == none) continue;  // an alternate location left out
            bonds.set(a1, a2, BondOrder::Single);
        }
    }
    if (!comp_bonds.empty()) {
        std::unordered_map<Sv, PreparedComponent> prepared;
        std::vector<std::uint32_t> first_atom, present;
        for (const ResidueEntry& r : residues) {
            if (r.atoms.empty()) continue;
            const auto comp = comp_bonds.find(r.name);
            if (comp == comp_bonds.end()) continue;
            auto it = prepared.find(r.name);
            if (it == prepared.end()) {
                it = prepared.emplace(r.name, prepare(comp->second)).first;
                if (first_atom.size() < it->second.name_ids.size()) first_atom.resize(it->second.name_ids.size(), none);
            }
            set_template_bonds(it->second, r.atoms, labels, first_atom, present, bonds);
        }
    }
    topology.connectivity = bonds.ascending();

    // 7. Topology: one fragment per residue with atoms, carrying the sum of its charges.
    std::vector<Fragment> fragments;
    std::vector<std::int32_t> fragment_charges;
    for (ResidueEntry& r : residues) {
        if (r.atoms.empty()) continue;
        std::int64_t sum = 0;
        for (std::uint32_t atom : r.atoms) {
            if (atom >= charges.size()) return std::unexpected(MmCifError{MmCifError::Kind::ChargeMismatch, {}});
            sum += charges[atom];
        }
        sum = std::clamp<std::int64_t>(sum, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
        fragment_charges.push_back(std::int32_t(sum));
        fragments.push_back(std::move(r.atoms));  // the residue table holds its own copy
    }
    topology.labels = std::move(labels);
    topology.formal_charges = std::move(charges);
    topology.fragments = std::move(fragments);
    topology.fragment_formal_charges = std::move(fragment_charges);

    // 8. Helices and sheets.
    resolve_secondary_structure(secondary, keys, chain_ids, chains);

    return TRC{std::move(topology), std::move(table), std::move(chains)};
}

// --- Blocks ----------------------------------------------------------------------------

namespace {

// The rows of a category: its loop or, when it has none, the one row that its single items
// form (a category of one row is commonly written as single items; dropping them would lose a
// lone connection or unobserved residue). Single values are taken without enclosing quotes, as
// a loop would give them.
const Loop* rows_of(const DataBlock& block, Sv category, std::optional<Loop>& storage) {
    if (const Loop* loop = get_loop_data(block, category)) return loop;
    std::vector<std::pair<Sv, Sv>> items;
    for (const auto& [key, item] : block.items) {
        const Value* v = std::get_if<Value>(&item);
        if (!v || key.size() <= category.size() || key.substr(0, category.size()) != category || key[category.size()] != '.') {
            continue;
        }
        Sv text = v->text;
        if (text.size() >= 2 && (text.front() == '\'' || text.front() == '"') && text.back() == text.front()) {
            text = text.substr(1, text.size() - 2);
        }
        if (text == "." || text == "?") text = {};
        items.emplace_back(key, text);
    }
    if (items.empty()) return nullptr;
    std::sort(items.begin(), items.end());
    storage.emplace();
    std::vector<Sv> values;
    for (const auto& [key, text] : items) {
        storage->columns.push_back(key);
        values.push_back(text);
    }
    storage->push_row(values);
    return &*storage;
}

CompBondMap read_comp_bonds(const DataBlock& block) {
    CompBondMap out;
    std::optional<Loop> single;
    const Loop* loop = rows_of(block, "_chem_comp_bond", single);
    if (!loop) return out;
    const auto& c = loop->columns;
    const Column comp = find_column_index(c, "_chem_comp_bond.comp_id"), a1 = find_column_index(c, "_chem_comp_bond.atom_id_1"),
                 a2 = find_column_index(c, "_chem_comp_bond.atom_id_2"),
                 order = find_column_index(c, "_chem_comp_bond.value_order"),
                 ordinal = find_column_index(c, "_chem_comp_bond.pdbx_ordinal");
    for (std::size_t r = 0; r < loop->row_count(); ++r) {
        const Row row = loop->row(r);
        out[row_string_or_default(row, comp)].push_back(CompBond{row_string_or_default(row, a1), row_string_or_default(row, a2),
                                                                 row_str(row, order).value_or("SING"),
                                                                 row_u32_or(row, ordinal, 0)});
    }
    return out;
}

PolySeqMap read_poly_seq(const DataBlock& block) {
    PolySeqMap out;
    std::optional<Loop> single;
    const Loop* loop = rows_of(block, "_pdbx_poly_seq_scheme", single);
    if (!loop) return out;
    const auto& c = loop->columns;
    const Column seq = find_column_index(c, "_pdbx_poly_seq_scheme.seq_id"),
                 strand = find_column_index(c, "_pdbx_poly_seq_scheme.pdb_strand_id"),
                 asym = find_column_index(c, "_pdbx_poly_seq_scheme.asym_id"),
                 auth_mon = find_column_index(c, "_pdbx_poly_seq_scheme.auth_mon_id"),
                 mon = find_column_index(c, "_pdbx_poly_seq_scheme.mon_id"),
                 pdb_num = find_column_index(c, "_pdbx_poly_seq_scheme.pdb_seq_num"),
                 pdb_ins = find_column_index(c, "_pdbx_poly_seq_scheme.pdb_ins_code");
    for (std::size_t r = 0; r < loop->row_count(); ++r) {
        const Row row = loop->row(r);
        const auto number = row_i32(row, seq);
        const auto chain = row_str_fallback(row, strand, asym);
        const auto name = row_str_fallback(row, auth_mon, mon);
        if (!number || !chain || !name) continue;
        out[*chain].insert_or_assign(*number, SequencePosition{*name, row_i32(row, pdb_num), row_str(row, pdb_ins).value_or(Sv{})});
    }
    return out;
}

SeqStartMap read_seq_starts(const DataBlock& block) {
    SeqStartMap out;
    static constexpr std::array<Sv, 3> tags = {"_struct_ref_seq.pdbx_auth_seq_align_beg", "_struct_ref_seq.seq_align_beg",
                                              "_struct_ref_seq.pdbx_strand_id"};
    std::optional<Loop> single;
    const Loop* loop = get_loop_data(block, "_struct_ref_seq");
    if (!loop) {
        single = single_items_as_loop(block, tags);
        if (!single) return out;
        loop = &*single;
    }
    const Column auth_beg = find_column_index(loop->columns, tags[0]), beg = find_column_index(loop->columns, tags[1]),
                 strands = find_column_index(loop->columns, tags[2]);
    for (std::size_t r = 0; r < loop->row_count(); ++r) {
        const Row row = loop->row(r);
        const auto start = row_i32_fallback(row, auth_beg, beg);
        const auto list = row_str(row, strands);
        if (!start || !list) continue;
        insert_chain_seq_begin(out, *list, *start);
    }
    return out;
}

std::vector<Connection> read_connections(const DataBlock& block) {
    std::vector<Connection> out;
    std::optional<Loop> single;
    const Loop* loop = rows_of(block, "_struct_conn", single);
    if (!loop) return out;
    const auto& c = loop->columns;
    const Column id = find_column_index(c, "_struct_conn.id"), type = find_column_index(c, "_struct_conn.conn_type_id");
    struct PartnerColumns {
        Column atom, chain, seq, auth_seq, ins;
    };
    const PartnerColumns p1{find_column_index(c, "_struct_conn.ptnr1_label_atom_id"),
                            find_column_index(c, "_struct_conn.ptnr1_label_asym_id"),
                            find_column_index(c, "_struct_conn.ptnr1_label_seq_id"),
                            find_column_index(c, "_struct_conn.ptnr1_auth_seq_id"),
                            find_column_index(c, "_struct_conn.pdbx_ptnr1_PDB_ins_code")};
    const PartnerColumns p2{find_column_index(c, "_struct_conn.ptnr2_label_atom_id"),
                            find_column_index(c, "_struct_conn.ptnr2_label_asym_id"),
                            find_column_index(c, "_struct_conn.ptnr2_label_seq_id"),
                            find_column_index(c, "_struct_conn.ptnr2_auth_seq_id"),
                            find_column_index(c, "_struct_conn.pdbx_ptnr2_PDB_ins_code")};
    auto partner = [](Row row, const PartnerColumns& pc) {
        ConnectionPartner p;
        p.atom_name = row_string_or_default(row, pc.atom);
        p.label_chain = row_string_or_default(row, pc.chain);
        p.label_number = row_i32_or(row, pc.seq, 0);
        p.label_number_missing = !row_i32(row, pc.seq).has_value();
        p.auth_number = row_i32(row, pc.auth_seq);
        p.insertion_code = row_str(row, pc.ins);
        return p;
    };
    const bool has_ins = p1.ins.has_value() && p2.ins.has_value();
    for (std::size_t r = 0; r < loop->row_count(); ++r) {
        const Row row = loop->row(r);
        out.push_back(Connection{row_string_or_default(row, id), row_string_or_default(row, type), partner(row, p1),
                                 partner(row, p2), has_ins});
    }
    return out;
}

struct MissingResidues {
    std::vector<MissingResidue> shared;
    std::unordered_map<Sv, std::vector<MissingResidue>> by_model;
};

MissingResidues read_missing_residues(const DataBlock& block) {
    MissingResidues out;
    std::optional<Loop> single;
    const Loop* loop = rows_of(block, "_pdbx_unobs_or_zero_occ_residues", single);
    if (!loop) return out;
    const auto& c = loop->columns;
    const Column flag = find_column_index(c, "_pdbx_unobs_or_zero_occ_residues.polymer_flag"),
                 auth_chain = find_column_index(c, "_pdbx_unobs_or_zero_occ_residues.auth_asym_id"),
                 label_chain = find_column_index(c, "_pdbx_unobs_or_zero_occ_residues.label_asym_id"),
                 auth_seq = find_column_index(c, "_pdbx_unobs_or_zero_occ_residues.auth_seq_id"),
                 label_seq = find_column_index(c, "_pdbx_unobs_or_zero_occ_residues.label_seq_id"),
                 auth_comp = find_column_index(c, "_pdbx_unobs_or_zero_occ_residues.auth_comp_id"),
                 label_comp = find_column_index(c, "_pdbx_unobs_or_zero_occ_residues.label_comp_id"),
                 ins = find_column_index(c, "_pdbx_unobs_or_zero_occ_residues.PDB_ins_code"),
                 model = find_column_index(c, "_pdbx_unobs_or_zero_occ_residues.PDB_model_num");
    std::map<Sv, std::size_t> skipped;
    for (std::size_t r = 0; r < loop->row_count(); ++r) {
        const Row row = loop->row(r);
        if (const auto f = row_str(row, flag); f && *f != "Y") continue;
        const auto chain = row_str_fallback(row, auth_chain, label_chain);
        const auto number = row_i32_fallback(row, auth_seq, label_seq);
        const auto name = row_str_fallback(row, auth_comp, label_comp);
        if (!chain || !number || !name) {
            ++skipped[chain.value_or("<unknown>")];
            continue;
        }
        const MissingResidue m{*chain, row_string_or_default(row, ins), *name, *number};
        const Sv model_text = row_string_or_default(row, model);
        if (model_text.empty()) {
            out.shared.push_back(m);
        } else {
            out.by_model[model_text].push_back(m);
        }
    }
    for (const auto& [chain, count] : skipped) {
        ZYK_WARN(log::target_mmcif, "mmCIF: chain " + std::string(chain) + ": skipped " + std::to_string(count) +
                                        " _pdbx_unobs_or_zero_occ_residues row(s) due to missing chain/sequence/name fields");
    }
    return out;
}

// Row positions of the atom sites, grouped by model text in ascending order.
std::vector<std::pair<Sv, std::vector<std::uint32_t>>> group_by_model(const Loop& loop, const AtomSiteColumns& cols) {
    std::vector<std::pair<Sv, std::vector<std::uint32_t>>> models;
    std::unordered_map<Sv, std::size_t> index;
    std::size_t last = 0;
    for (std::size_t r = 0; r < loop.row_count(); ++r) {
        const Sv model = row_str(loop.row(r), cols.model).value_or("1");
        if (models.empty() || models[last].first != model) {
            const auto [it, inserted] = index.try_emplace(model, models.size());
            if (inserted) models.emplace_back(model, std::vector<std::uint32_t>{});
            last = it->second;
        }
        models[last].second.push_back(std::uint32_t(r));
    }
    std::sort(models.begin(), models.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return models;
}

}  // namespace

std::expected<std::vector<TRC>, MmCifError> from_mmcif(std::string_view text) {
    const Document doc = parse_mmcif(text);
    std::vector<TRC> out;
    for (const DataBlock& block : doc.blocks) {
        const Loop* atom_site = get_loop_data(block, "_atom_site");
        const CompBondMap comp_bonds = read_comp_bonds(block);
        const PolySeqMap poly_seq = read_poly_seq(block);
        const SeqStartMap seq_starts = read_seq_starts(block);
        const std::vector<Connection> connections = read_connections(block);
        const MissingResidues missing = read_missing_residues(block);
        const SecondaryStructureRecords secondary = parse_secondary_structure(block);
        if (!atom_site || atom_site->row_count() == 0) continue;
        const AtomSiteColumns cols(atom_site->columns);
        for (auto& [model, rows] : group_by_model(*atom_site, cols)) {
            std::vector<MissingResidue> model_missing = missing.shared;
            if (const auto it = missing.by_model.find(model); it != missing.by_model.end()) {
                model_missing.insert(model_missing.end(), it->second.begin(), it->second.end());
            }
            const ModelSites sites{atom_site, &cols, std::move(rows)};
            auto trc = build_trc(sites, comp_bonds, connections, model_missing, poly_seq, seq_starts, secondary);
            if (!trc) return std::unexpected(std::move(trc.error()));
            out.push_back(std::move(*trc));
        }
    }
    return out;
}

}  // namespace zyk::mmcif
