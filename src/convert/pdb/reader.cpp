#include "convert/pdb/reader.hpp"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <numeric>
#include <unordered_map>

#include "log.hpp"
#include "text.hpp"

namespace zyk::pdb {
namespace {

constexpr std::uint32_t none = std::numeric_limits<std::uint32_t>::max();
// An ATOM or HETATM line must reach its element columns (77-78).
constexpr std::size_t shortest_atom_line = 78;

template <class T>
std::string num(T v) {
    std::string s;
    text::append_int(s, v);
    return s;
}

// Residue key texts are a few bytes: compare them in line rather than through memcmp.
inline bool same_text(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

// Residue key: chain, number, insertion code ("~" for none), name; ordered in that order,
// texts byte-wise, so "52A" < "52B" < "52" (no code).
struct KeyView {
    std::string_view chain;
    std::int32_t seq;
    std::string_view code;
    std::string_view name;

    friend bool operator==(const KeyView& a, const KeyView& b) {
        return a.seq == b.seq && same_text(a.chain, b.chain) && same_text(a.code, b.code) && same_text(a.name, b.name);
    }
};

// Byte-wise three-way comparison of short texts.
inline int compare_text(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool key_less(const KeyView& a, const KeyView& b) {
    if (const int c = compare_text(a.chain, b.chain)) return c < 0;
    if (a.seq != b.seq) return a.seq < b.seq;
    if (const int c = compare_text(a.code, b.code)) return c < 0;
    return compare_text(a.name, b.name) < 0;
}

// FNV-1a over the key's texts and number; residue keys are a few bytes each.
inline std::uint64_t key_hash(const KeyView& k) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    auto mix = [&h](std::string_view t) {
        for (char c : t) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
        h = (h ^ 0xFF) * 0x100000001b3ULL;  // separator: ("AB","C") differs from ("A","BC")
    };
    mix(k.chain);
    mix(k.code);
    mix(k.name);
    return (h ^ std::uint32_t(k.seq)) * 0x100000001b3ULL;
}

struct Slot {
    std::string chain;
    std::int32_t seq;
    std::string code;         // "~" for none: the key's form
    std::string name;
    std::string stored_code;  // what the residue table gets: the file's code or empty
    std::uint32_t group;      // index of the chain identifier in Section::chain_names
    std::uint32_t atom_count = 0;

    KeyView view() const { return {chain, seq, code, name}; }
};

// Residue key -> slot, open addressing over slot indices (the keys live in the slots).
class SlotIndex {
public:
    template <class Slots>
    std::uint32_t find(const KeyView& key, std::uint64_t hash, const Slots& slots) const {
        if (cells_.empty()) return none;
        for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
            const Cell& c = cells_[i];
            if (c.slot == none) return none;
            if (c.hash == std::uint32_t(hash) && slots[c.slot].view() == key) return c.slot;
        }
    }
    void insert(std::uint64_t hash, std::uint32_t slot) {
        if (2 * (count_ + 1) > cells_.size()) grow();
        place(std::uint32_t(hash), slot);
        ++count_;
    }

private:
    struct Cell {
        std::uint32_t hash;
        std::uint32_t slot;
    };
    void place(std::uint32_t hash, std::uint32_t slot) {
        std::size_t i = hash & mask_;
        while (cells_[i].slot != none) i = (i + 1) & mask_;
        cells_[i] = {hash, slot};
    }
    void grow() {
        std::vector<Cell> old = std::move(cells_);
        cells_.assign(old.empty() ? 64 : 2 * old.size(), Cell{0, none});
        mask_ = cells_.size() - 1;
        for (const Cell& c : old) {
            if (c.slot != none) place(c.hash, c.slot);
        }
    }

    std::vector<Cell> cells_;
    std::size_t mask_ = 0;
    std::size_t count_ = 0;
};

// A CONECT pair as serial numbers.
struct Pair {
    std::uint32_t first;
    std::uint32_t second;
};

// What one MODEL ... ENDMDL section (or the whole text without MODEL lines) collects.
struct Section {
    std::vector<Element> symbols;
    std::vector<float> geometry;
    std::vector<std::string> names;
    std::vector<std::int32_t> charges;
    std::vector<std::uint32_t> serials;
    std::vector<std::uint32_t> atom_slot;  // per atom, its residue; lists are built once at the end
    std::vector<Slot> slots;
    SlotIndex slot_of;
    std::uint32_t last_slot = none;
    // Distinct chain identifiers in order of appearance, for ordering residues by chain.
    std::vector<std::string> chain_names;
    std::unordered_map<std::string, std::uint32_t> group_of;
    std::uint32_t last_group = none;

    std::uint32_t group_for(std::string_view chain) {
        if (last_group != none && chain_names[last_group] == chain) return last_group;
        const auto [it, inserted] = group_of.try_emplace(std::string(chain), std::uint32_t(chain_names.size()));
        if (inserted) chain_names.emplace_back(chain);
        last_group = it->second;
        return last_group;
    }
    std::vector<Pair> bonds;
    bool open = false;

    void reserve(std::size_t atoms) {
        symbols.reserve(atoms);
        geometry.reserve(3 * atoms);
        names.reserve(atoms);
        charges.reserve(atoms);
        serials.reserve(atoms);
        atom_slot.reserve(atoms);
    }
};

// Serial number -> index of the first atom with it.
class SerialIndex {
public:
    explicit SerialIndex(const std::vector<std::uint32_t>& serials) {
        const std::uint32_t max = serials.empty() ? 0 : *std::max_element(serials.begin(), serials.end());
        dense_ = std::uint64_t(max) <= 4 * std::uint64_t(serials.size()) + 1024;
        if (dense_) {
            table_.assign(std::size_t(max) + 1, none);
            for (std::size_t i = 0; i < serials.size(); ++i) {
                if (table_[serials[i]] == none) table_[serials[i]] = std::uint32_t(i);
            }
        } else {
            map_.reserve(serials.size());
            for (std::size_t i = 0; i < serials.size(); ++i) map_.try_emplace(serials[i], std::uint32_t(i));
        }
    }

    std::uint32_t find(std::uint32_t serial) const {
        if (dense_) return serial < table_.size() ? table_[serial] : none;
        const auto it = map_.find(serial);
        return it == map_.end() ? none : it->second;
    }

private:
    bool dense_ = true;
    std::vector<std::uint32_t> table_;
    std::unordered_map<std::uint32_t, std::uint32_t> map_;
};

// CONECT pairs -> bonds. A pair listed k times is a bond of order k; a pair listed in both
// directions counts in the direction seen first. With `strict`, a serial that no atom has is
// an error; otherwise the pair is skipped.
std::expected<std::vector<Bond>, Error> resolve_bonds(const std::vector<Pair>& pairs, const SerialIndex& index,
                                                      bool strict) {
    struct Counted {
        std::uint32_t a, b, count;
        Pair serials;
    };
    std::vector<Counted> found;
    std::unordered_map<std::uint64_t, std::uint32_t> where;
    where.reserve(pairs.size());
    auto key = [](std::uint32_t a, std::uint32_t b) { return (std::uint64_t(a) << 32) | b; };
    for (const Pair& p : pairs) {
        const std::uint32_t a = index.find(p.first);
        if (a == none) {
            if (strict) return std::unexpected(Error::invalid_connection(p.first));
            continue;
        }
        const std::uint32_t b = index.find(p.second);
        if (b == none) {
            if (strict) return std::unexpected(Error::invalid_connection(p.second));
            continue;
        }
        if (a == b) continue;  // an atom is not bonded to itself
        if (where.contains(key(b, a))) continue;
        const auto [it, inserted] = where.try_emplace(key(a, b), std::uint32_t(found.size()));
        if (inserted) {
            found.push_back({a, b, 1, p});
        } else if (found[it->second].count < none) {
            ++found[it->second].count;
        }
    }
    std::sort(found.begin(), found.end(),
              [](const Counted& x, const Counted& y) { return x.a != y.a ? x.a < y.a : x.b < y.b; });
    std::vector<Bond> bonds;
    bonds.reserve(found.size());
    for (const Counted& c : found) {
        // Six is the highest order there is: more repetitions than that are clamped.
        if (c.count > 6) {
            ZYK_WARN(log::target_pdb, "CONECT lists the bond between atoms " + num(c.serials.first) + " and " +
                                          num(c.serials.second) + " " + num(c.count) +
                                          " times; using bond order 6 (Sextuple)");
        }
        const auto order = static_cast<BondOrder>(std::min<std::uint32_t>(c.count, 6));
        bonds.push_back(Bond{std::min(c.a, c.b), std::max(c.a, c.b), order});
    }
    return bonds;
}

struct FileState {
    std::map<std::string, std::vector<std::string>, std::less<>> seqres;
    std::map<std::string, std::int32_t, std::less<>> dbref;
    std::vector<Helix> helices;
    std::vector<Sheet> sheets;
    std::vector<Pair> file_bonds;
    std::vector<TRC> models;
    std::vector<std::vector<std::uint32_t>> model_serials;
};

std::optional<HelixClass> helix_class_of(std::int32_t code) {
    if (code < 1 || code > 10) return std::nullopt;
    return helix_class_from_code(std::uint8_t(code));
}

std::optional<StrandSense> sense_of(std::int32_t sense, std::int32_t strand) {
    if (sense == -1) return StrandSense::AntiParallel;
    if (sense == 1) return StrandSense::Parallel;
    if (sense == 0 && strand == 1) return StrandSense::First;
    return std::nullopt;
}

std::int32_t clamp_i32(std::int64_t v) {
    return std::int32_t(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                 std::numeric_limits<std::int32_t>::max()));
}

class Reader {
public:
    Reader(std::string_view contents, bool include_seqres) : contents_(contents), include_seqres_(include_seqres) {}

    std::expected<std::vector<TRC>, Error> run() {
        std::uint32_t number = 0;
        std::size_t pos = 0;
        const std::size_t size = contents_.size();
        while (pos < size) {
            const char* start = contents_.data() + pos;
            const void* lf = std::memchr(start, '\n', size - pos);
            std::string_view line;
            if (lf == nullptr) {
                line = contents_.substr(pos);
                pos = size;
            } else {
                const std::size_t end = std::size_t(static_cast<const char*>(lf) - contents_.data());
                line = contents_.substr(pos, end - pos);
                if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
                pos = end + 1;
            }
            if (number < none) ++number;
            remaining_ = size - pos;
            if (auto ok = process(line, number); !ok) return std::unexpected(std::move(ok.error()));
        }
        end_section(true);
        if (!file_.file_bonds.empty()) {
            for (std::size_t m = 0; m < file_.models.size(); ++m) {
                const SerialIndex index(file_.model_serials[m]);
                auto bonds = resolve_bonds(file_.file_bonds, index, true);
                if (!bonds) return std::unexpected(std::move(bonds.error()));
                auto& connectivity = *file_.models[m].topology.connectivity;
                connectivity.insert(connectivity.end(), bonds->begin(), bonds->end());
            }
        }
        return std::move(file_.models);
    }

private:
    std::expected<void, Error> process(std::string_view text, std::uint32_t number) {
        auto kind = record_kind(text);
        if (!kind) return std::unexpected(std::move(kind.error()));
        const PaddedLine line{text, number, tracing_};
        switch (*kind) {
            case RecordKind::Atom: {
                if (auto ok = parse_atom_fields(line, atom_); !ok) return ok;
                add_atom();
                return {};
            }
            case RecordKind::Conect: {
                serials_.clear();
                if (auto ok = parse_conect(line, serials_); !ok) return ok;
                if (serials_.size() >= 2) {
                    auto& target = section_.open ? section_.bonds : file_.file_bonds;
                    for (std::size_t i = 1; i < serials_.size(); ++i) target.push_back({serials_[0], serials_[i]});
                }
                return {};
            }
            case RecordKind::Seqres: {
                auto s = try_from_seqres(line);
                if (!s) return std::unexpected(std::move(s.error()));
                auto& names = file_.seqres[s->chain_id];
                for (std::string& name : s->res_names) names.push_back(std::move(name));
                return {};
            }
            case RecordKind::Dbref: {
                auto d = try_from_dbref(line);
                if (!d) return std::unexpected(std::move(d.error()));
                file_.dbref.try_emplace(std::move(d->chain_id), d->seq_begin);
                return {};
            }
            case RecordKind::Helix: {
                auto h = try_from_helix(line);
                if (!h) return std::unexpected(std::move(h.error()));
                file_.helices.push_back(std::move(*h));
                return {};
            }
            case RecordKind::Sheet: {
                auto s = try_from_sheet(line);
                if (!s) return std::unexpected(std::move(s.error()));
                file_.sheets.push_back(std::move(*s));
                return {};
            }
            case RecordKind::Model: section_.open = true; return {};
            case RecordKind::Endmdl: end_section(false); return {};
            case RecordKind::Ter:
                // Never fails and carries nothing we keep; parsed only for its field trace.
                if (tracing_) (void)try_from_ter(line);
                return {};
            case RecordKind::Other:
            case RecordKind::End: return {};
        }
        return {};
    }

    void add_atom() {
        Section& s = section_;
        s.open = true;
        const AtomFields& a = atom_;
        if (a.alt_loc && *a.alt_loc != "A") return;  // only the first alternate location is kept
        s.symbols.push_back(a.element);
        s.geometry.push_back(a.x);
        s.geometry.push_back(a.y);
        s.geometry.push_back(a.z);

        const std::string_view stored = a.i_code ? *a.i_code : std::string_view{};
        const KeyView key{a.chain_id, a.res_seq, a.i_code ? *a.i_code : std::string_view("~"), a.res_name};
        std::uint32_t slot = s.last_slot;
        if (slot == none || s.slots[slot].view() != key) {
            const std::uint64_t hash = key_hash(key);
            slot = s.slot_of.find(key, hash, s.slots);
            if (slot == none) slot = new_slot(s, key, stored, hash);
            s.last_slot = slot;
        }
        Slot& r = s.slots[slot];
        if (r.stored_code != stored) r.stored_code = stored;  // the last atom's form wins, as for a map insert
        ++r.atom_count;
        s.atom_slot.push_back(slot);

        s.serials.push_back(a.serial);
        s.names.emplace_back(a.name);
        s.charges.push_back(a.charge);
    }

    static std::uint32_t new_slot(Section& s, const KeyView& key, std::string_view stored, std::uint64_t hash) {
        const auto slot = std::uint32_t(s.slots.size());
        Slot& fresh = s.slots.emplace_back();
        fresh.chain = key.chain;
        fresh.seq = key.seq;
        fresh.code = key.code;
        fresh.name = key.name;
        fresh.stored_code = stored;
        fresh.group = s.group_for(key.chain);
        s.slot_of.insert(hash, slot);
        return slot;
    }

    void end_section(bool at_end) {
        Section& s = section_;
        std::size_t previous = 0;
        if (!s.symbols.empty()) {
            previous = s.symbols.size();
            const SerialIndex index(s.serials);
            file_.models.push_back(finish(s, index));
            file_.model_serials.push_back(std::move(s.serials));
        } else {
            if (at_end && s.open) {
                ZYK_WARN(log::target_pdb, "No ATOM lines found despite being in a model; PDB file may be malformed");
            }
            if (!s.bonds.empty()) {
                ZYK_WARN(log::target_pdb,
                         "CONECT lines found but no ATOM lines found for this model; PDB file may be malformed");
            }
        }
        if (at_end) return;
        section_ = Section{};
        // The next model is most likely the same size; never reserve more than the text left
        // could hold.
        section_.reserve(std::min(previous, remaining_ / shortest_atom_line + 1));
    }

    // Slot indices sorted by residue key: chains by identifier, then within each chain by
    // the rest of the key. Files list a chain's residues in order almost always, so a chain
    // is sorted only when it is not.
    static std::vector<std::uint32_t> key_order(const Section& s) {
        const std::size_t groups = s.chain_names.size();
        std::vector<std::uint32_t> chain_rank(groups);
        std::iota(chain_rank.begin(), chain_rank.end(), 0U);
        std::sort(chain_rank.begin(), chain_rank.end(), [&](std::uint32_t a, std::uint32_t b) {
            return compare_text(s.chain_names[a], s.chain_names[b]) < 0;
        });
        // Counting sort of the slots into chain order, keeping appearance order within a chain.
        std::vector<std::uint32_t> start(groups + 1, 0);
        for (const Slot& slot : s.slots) ++start[slot.group + 1];
        std::vector<std::uint32_t> offset(groups);
        std::uint32_t at = 0;
        for (std::uint32_t g : chain_rank) {
            offset[g] = at;
            at += start[g + 1];
        }
        std::vector<std::uint32_t> order(s.slots.size());
        for (std::size_t i = 0; i < s.slots.size(); ++i) order[offset[s.slots[i].group]++] = std::uint32_t(i);
        auto less = [&](std::uint32_t a, std::uint32_t b) { return key_less(s.slots[a].view(), s.slots[b].view()); };
        std::size_t begin = 0;
        for (std::uint32_t g : chain_rank) {
            const std::size_t end = begin + start[g + 1];
            if (!std::is_sorted(order.begin() + long(begin), order.begin() + long(end), less)) {
                std::sort(order.begin() + long(begin), order.begin() + long(end), less);
            }
            begin = end;
        }
        return order;
    }

    TRC finish(Section& s, const SerialIndex& serial_index) {
        // Residues in key order.
        std::vector<std::uint32_t> order = key_order(s);
        if (!file_.seqres.empty()) {
            add_seqres_residues(s, order);
            if (order.size() != s.slots.size()) order = key_order(s);
        }

        std::vector<KeyView> keys;
        keys.reserve(order.size());
        for (std::uint32_t k : order) keys.push_back(s.slots[k].view());

        TRC trc{make_topology({}, {}), Residues{}, Chains{}};
        Residues& res = trc.residues;
        Chains& chains = trc.chains;
        res.residues.reserve(order.size());
        res.seqs.reserve(order.size());
        res.seq_ns.reserve(order.size());
        res.insertion_codes.reserve(order.size());
        std::vector<std::string_view> chain_ids;
        std::vector<std::uint32_t> residue_of_slot(s.slots.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            Slot& slot = s.slots[order[i]];
            residue_of_slot[order[i]] = std::uint32_t(i);
            if (chain_ids.empty() || chain_ids.back() != slot.chain) {
                chain_ids.push_back(slot.chain);
                chains.chains.emplace_back();
            }
            chains.chains.back().push_back(std::uint32_t(i));
            res.residues.emplace_back().reserve(slot.atom_count);
            res.seqs.push_back(slot.name);
            res.seq_ns.push_back(slot.seq);
            res.insertion_codes.push_back(slot.stored_code);
        }
        for (std::size_t atom = 0; atom < s.atom_slot.size(); ++atom) {
            res.residues[residue_of_slot[s.atom_slot[atom]]].push_back(std::uint32_t(atom));
        }
        chains.labeled.emplace();
        chains.labels.emplace();
        for (std::size_t c = 0; c < chain_ids.size(); ++c) {
            chains.labeled->push_back(std::uint32_t(c));
            chains.labels->push_back({std::string(chain_ids[c])});
        }

        auto find_chain = [&](std::string_view id) -> std::uint32_t {
            const auto it = std::lower_bound(chain_ids.begin(), chain_ids.end(), id);
            return it != chain_ids.end() && *it == id ? std::uint32_t(it - chain_ids.begin()) : none;
        };
        auto find_residue = [&](std::string_view chain, std::int32_t seq, std::string_view code,
                                std::string_view name) -> std::uint32_t {
            const KeyView k{chain, seq, code, name};
            const auto it = std::lower_bound(keys.begin(), keys.end(), k, key_less);
            return it != keys.end() && *it == k ? std::uint32_t(it - keys.begin()) : none;
        };

        for (const Helix& h : file_.helices) {
            const std::uint32_t chain = find_chain(h.init_chain_id);
            const std::uint32_t start = find_residue(h.init_chain_id, h.init_seq_num, h.init_i_code, h.init_res_name);
            const std::uint32_t end = find_residue(h.end_chain_id, h.end_seq_num, h.end_i_code, h.end_res_name);
            if (chain == none || start == none || end == none) continue;
            if (!chains.alpha_helices) chains.alpha_helices.emplace();
            chains.alpha_helices->push(h.helix_id, chain, start, end, helix_class_of(h.helix_class),
                                       h.length > 0 ? std::optional<std::uint32_t>(std::uint32_t(h.length)) : std::nullopt);
        }
        for (const Sheet& sh : file_.sheets) {
            const std::uint32_t chain = find_chain(sh.init_chain_id);
            const std::uint32_t start = find_residue(sh.init_chain_id, sh.init_seq_num, sh.init_i_code, sh.init_res_name);
            const std::uint32_t end = find_residue(sh.end_chain_id, sh.end_seq_num, sh.end_i_code, sh.end_res_name);
            if (chain == none || start == none || end == none) continue;
            if (!chains.beta_sheets) chains.beta_sheets.emplace();
            chains.beta_sheets->push(
                sh.sheet_id, num(sh.strand),
                sh.strand > 0 ? std::optional<std::uint32_t>(std::uint32_t(sh.strand)) : std::nullopt,
                sh.num_strands > 0 ? std::optional<std::uint32_t>(std::uint32_t(sh.num_strands)) : std::nullopt, chain,
                start, end, sense_of(sh.sense, sh.strand));
        }

        Topology& top = trc.topology;
        top.symbols = std::move(s.symbols);
        top.geometry = std::move(s.geometry);
        std::vector<std::int32_t> charges = std::move(s.charges);
        std::vector<Fragment> fragments;
        std::vector<std::int32_t> fragment_charges;
        fragments.reserve(res.residues.size());
        fragment_charges.reserve(res.residues.size());
        for (const Residue& r : res.residues) {
            if (r.empty()) continue;
            std::int64_t sum = 0;
            for (std::uint32_t atom : r) sum += charges[atom];
            fragments.push_back(r);
            fragment_charges.push_back(clamp_i32(sum));
        }
        top.labels = std::move(s.names);
        top.formal_charges = std::move(charges);
        // Model bonds never fail: pairs naming a serial the model lacks are skipped.
        top.connectivity = resolve_bonds(s.bonds, serial_index, false).value_or(std::vector<Bond>{});
        top.fragments = std::move(fragments);
        top.fragment_formal_charges = std::move(fragment_charges);
        return trc;
    }

    // Adds the residues SEQRES lists that this model lacks (or reports them), chain by chain.
    void add_seqres_residues(Section& s, const std::vector<std::uint32_t>& order) {
        // Chain runs in key order.
        struct Run {
            std::string_view chain;
            std::size_t begin, end;
        };
        std::vector<Run> runs;
        for (std::size_t i = 0; i < order.size(); ++i) {
            const std::string_view chain = s.slots[order[i]].chain;
            if (runs.empty() || runs.back().chain != chain) runs.push_back({chain, i, i});
            runs.back().end = i + 1;
        }
        std::vector<Slot> added;
        std::vector<std::int32_t> numbers;
        for (const auto& [chain, names] : file_.seqres) {
            const auto run = std::lower_bound(runs.begin(), runs.end(), std::string_view(chain),
                                              [](const Run& r, std::string_view id) { return r.chain < id; });
            if (run == runs.end() || run->chain != chain) continue;
            numbers.clear();
            for (std::size_t i = run->begin; i < run->end; ++i) numbers.push_back(s.slots[order[i]].seq);
            const std::int64_t first = numbers.front();
            const std::int64_t last = numbers.back();

            // DBREF gives the number of the first SEQRES residue when it agrees with the
            // residue names: a sequence that starts with residues outside the database
            // segment (expression tags) has its DBREF number on a later residue, and numbering
            // from it would shift every residue added from SEQRES. Otherwise the first
            // residue's name places the sequence.
            const std::int64_t count = std::int64_t(names.size());
            const std::string& first_name = s.slots[order[run->begin]].name;
            std::int64_t start;
            const auto d = file_.dbref.find(chain);
            const std::int64_t from_dbref = d != file_.dbref.end() ? first - d->second : -1;
            if (d != file_.dbref.end() && from_dbref >= 0 && from_dbref < count && names[std::size_t(from_dbref)] == first_name) {
                start = d->second;
            } else {
                const std::string& name = first_name;
                const auto pos = std::find(names.begin(), names.end(), name);
                if (pos == names.end()) {
                    ZYK_WARN(log::target_pdb, "WARNING: chain " + chain + ": could not align SEQRES with ATOM records (residue " +
                                                  name + " at seq_n " + num(first) +
                                                  " not found in SEQRES). Skipping SEQRES processing for this chain.");
                    continue;
                }
                start = first - std::int64_t(pos - names.begin());
            }

            std::vector<std::pair<std::string_view, std::int64_t>> missing;
            for (std::size_t i = 0; i < names.size(); ++i) {
                const std::int64_t n = start + std::int64_t(i);
                if (n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::int32_t>::max()) continue;
                if (std::binary_search(numbers.begin(), numbers.end(), std::int32_t(n))) continue;
                if (include_seqres_) {
                    Slot& slot = added.emplace_back();
                    slot.chain = chain;
                    slot.seq = std::int32_t(n);
                    slot.code.push_back('~');
                    slot.name = names[i];
                    slot.group = s.slots[order[run->begin]].group;
                } else if (first < n && n < last) {
                    missing.emplace_back(names[i], n);
                }
            }
            if (include_seqres_) {
                const std::int64_t leading = std::max<std::int64_t>(0, first - start);
                const std::int64_t trailing = std::max<std::int64_t>(0, (start + count - 1) - last);
                if (leading + trailing > 10) {
                    ZYK_WARN(log::target_pdb, "WARNING: chain " + chain + " has " + num(leading + trailing) +
                                                  " empty terminal residues from SEQRES (resolved range: " + num(first) +
                                                  "-" + num(last) + ", SEQRES range: " + num(start) + "-" +
                                                  num(start + count - 1) +
                                                  "). Use from_pdb_with_options(..., false) to exclude them.");
                }
            }
            if (!missing.empty()) {
                ZYK_WARN(log::target_pdb, [&] {
                    std::string m = "WARNING: chain " + chain + " has " + num(missing.size()) +
                                    " missing internal residue(s) from SEQRES that are being omitted because "
                                    "include_seqres is false: ";
                    for (std::size_t i = 0; i < missing.size(); ++i) {
                        if (i > 0) m += ", ";
                        m += missing[i].first;
                        m += ' ';
                        m += num(missing[i].second);
                    }
                    return m;
                }());
            }
        }
        for (Slot& slot : added) s.slots.push_back(std::move(slot));
    }

    std::string_view contents_;
    bool include_seqres_;
    // Listeners are fixed for the duration of a call: decide once whether fields are traced.
    bool tracing_ = log::enabled(log::Level::Debug);
    std::size_t remaining_ = 0;
    FileState file_;
    Section section_;
    AtomFields atom_;
    std::vector<std::uint32_t> serials_;
};

}  // namespace

std::expected<std::vector<TRC>, Error> from_pdb_with_options(std::string_view contents, bool include_seqres) {
    Reader reader(contents, include_seqres);
    return reader.run();
}

}  // namespace zyk::pdb
