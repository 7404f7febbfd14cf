#include "perceive.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "diag.hpp"
#include "text.hpp"

namespace zyk {
namespace {

using A = AminoAcidAtom;
constexpr std::uint32_t no_residue = std::numeric_limits<std::uint32_t>::max();
constexpr float covalent_binder_distance = 2.5f;
constexpr float peptide_bond_distance = 2.0f;

// ---- guarded access to an unchecked record ----

Element element_of(const Topology& t, std::uint32_t atom) {
    return atom < t.symbols.size() ? t.symbols[atom] : Element::X;
}

// The label of an atom; empty when labels are absent or too short (an empty label never parses).
std::string_view label_of(const std::vector<std::string>* labels, std::uint32_t atom) {
    if (!labels || atom >= labels->size()) return {};
    return (*labels)[atom];
}

std::optional<std::array<float, 3>> position_of(const Topology& t, std::uint32_t atom) {
    const std::size_t i = std::size_t(atom) * 3;
    if (i + 3 > t.geometry.size()) return std::nullopt;
    return std::array<float, 3>{t.geometry[i], t.geometry[i + 1], t.geometry[i + 2]};
}

// Distance in single precision, summed in x, y, z order: the cut-offs compare against it.
float distance(const std::array<float, 3>& a, const std::array<float, 3>& b) {
    const float dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

std::optional<AminoAcidSeq> kind_of(const Residues& res, std::size_t r) {
    if (r >= res.seqs.size() || !is_amino_acid(res.seqs[r])) return std::nullopt;
    return *from_pdb_std_name(res.seqs[r]);
}

std::optional<std::int32_t> seq_n_of(const Residues& res, std::size_t r) {
    if (r >= res.seq_ns.size()) return std::nullopt;
    return res.seq_ns[r];
}

// The kind of each residue for the per-residue work. A residue without atoms (a sequence
// position the readers add where the coordinates have no residue) has nothing to check or
// perceive, so it has no kind: otherwise every structure with an unresolved loop would fail
// the completeness check and get no bonds at all.
std::vector<std::optional<AminoAcidSeq>> residue_kinds(const Residues& res) {
    std::vector<std::optional<AminoAcidSeq>> kinds(res.residues.size());
    // Neighbouring residues mostly share a name: reuse the previous answer.
    std::string_view last_name;
    std::optional<AminoAcidSeq> last_kind;
    bool have_last = false;
    for (std::size_t r = 0; r < kinds.size(); ++r) {
        if (r < res.seqs.size() && have_last && res.seqs[r] == last_name) {
            kinds[r] = last_kind;
        } else {
            kinds[r] = kind_of(res, r);
            if (r < res.seqs.size()) {
                last_name = res.seqs[r];
                last_kind = kinds[r];
                have_last = true;
            }
        }
        if (res.residues[r].empty()) kinds[r] = std::nullopt;
    }
    return kinds;
}

// For each atom, the first residue (in residue order) that lists it.
std::vector<std::uint32_t> atom_owners(const TRC& trc) {
    std::vector<std::uint32_t> owner(trc.topology.symbols.size(), no_residue);
    const auto& residues = trc.residues.residues;
    for (std::size_t r = 0; r < residues.size(); ++r) {
        for (std::uint32_t a : residues[r]) {
            if (a < owner.size() && owner[a] == no_residue) owner[a] = std::uint32_t(r);
        }
    }
    return owner;
}

std::uint64_t pair_key(std::uint32_t a, std::uint32_t b) {
    if (a > b) std::swap(a, b);
    return (std::uint64_t(a) << 32) | b;
}

// The unordered atom pairs of a bond list, grouped by their smaller atom (atoms beyond the atom
// count share one overflow group). Bond lists are mostly in atom order, so building and querying
// stay cache-friendly where a hash set would not; each group is sorted, so a query costs the
// logarithm of one atom's degree whatever the input.
class BondIndex {
public:
    BondIndex(std::span<const Bond> bonds, std::size_t atom_count) : groups_(atom_count + 1) {
        start_.assign(groups_ + 1, 0);
        for (const Bond& b : bonds) ++start_[group(std::min(b.first, b.second)) + 1];
        for (std::size_t g = 0; g < groups_; ++g) start_[g + 1] += start_[g];
        partners_.resize(bonds.size());
        std::vector<std::uint64_t> fill(start_.begin(), start_.end() - 1);
        for (const Bond& b : bonds) {
            const std::uint32_t lo = std::min(b.first, b.second), hi = std::max(b.first, b.second);
            partners_[fill[group(lo)]++] = pair_key(lo, hi);
        }
        for (std::size_t g = 0; g < groups_; ++g) {
            if (start_[g + 1] - start_[g] > 1) std::sort(partners_.begin() + long(start_[g]), partners_.begin() + long(start_[g + 1]));
        }
    }

    bool contains(std::uint32_t a, std::uint32_t b) const {
        const std::size_t g = group(std::min(a, b));
        return std::binary_search(partners_.begin() + long(start_[g]), partners_.begin() + long(start_[g + 1]), pair_key(a, b));
    }

private:
    std::size_t group(std::uint32_t atom) const { return std::min<std::size_t>(atom, groups_ - 1); }

    std::size_t groups_;
    std::vector<std::uint64_t> start_;
    std::vector<std::uint64_t> partners_;  // full pair keys, so the overflow group stays exact
};

// ---- the neighbour search of the covalent-binder test ----

void append_point(std::string& out, const std::array<float, 3>& p) {
    out += '[';
    for (int k = 0; k < 3; ++k) {
        if (k) out += ", ";
        text::append_shortest(out, p[std::size_t(k)], text::FloatStyle::Debug);
    }
    out += ']';
}

void report_near(const std::array<float, 3>& point, const std::array<float, 3>& position, float d) {
    std::string line;
    append_point(line, point);
    line += " :: ";
    append_point(line, position);
    line += " :: ";
    text::append_shortest(line, d, text::FloatStyle::Display);
    line += '\n';
    diag::err(line);
}

// The atoms of the non-amino-acid residues, in residue order, indexed by a uniform grid so that
// each serine looks only at its neighbourhood. Results and diagnostics are those of a scan of
// the whole list in order. Built on first use: most structures never ask.
class NearSearch {
public:
    explicit NearSearch(const TRC& trc) : trc_(trc) {}

    std::vector<std::uint32_t> query(const std::array<float, 3>& point, float threshold) {
        build();
        std::vector<std::uint32_t> hits;  // positions in `sequence_`
        if (!finite(point)) {
            // No distance to a non-finite point compares as small.
        } else if (threshold < cell_size * 0.99f) {
            const Cell c = cell_of(point);
            for (std::int64_t dx = -1; dx <= 1; ++dx) {
                for (std::int64_t dy = -1; dy <= 1; ++dy) {
                    const Cell lo{c[0] + dx, c[1] + dy, c[2] - 1}, hi{c[0] + dx, c[1] + dy, c[2] + 1};
                    auto it = std::lower_bound(cells_.begin(), cells_.end(), lo,
                                               [](const Entry& e, const Cell& k) { return e.cell < k; });
                    for (; it != cells_.end() && it->cell <= hi; ++it) consider(point, threshold, it->slot, hits);
                }
            }
            std::sort(hits.begin(), hits.end());
        } else {
            for (std::uint32_t slot = 0; slot < sequence_.size(); ++slot) consider(point, threshold, slot, hits);
        }
        std::vector<std::uint32_t> atoms;
        atoms.reserve(hits.size());
        for (std::uint32_t slot : hits) {
            const std::uint32_t atom = sequence_[slot];
            const auto position = *position_of(trc_.topology, atom);
            report_near(point, position, distance(position, point));
            atoms.push_back(atom);
        }
        return atoms;
    }

private:
    // Cells of 4 Å, more than the cut-off in use, so that the 3x3x3 block around a point holds
    // every atom whose single-precision distance can come out within it. A coordinate names its
    // cell by floor(v / 4); beyond 2^62 Å, where neighbouring floats are far more than a cell
    // apart, each value is a cell of its own, named outside the range of the ordinary ones.
    // Non-finite positions are never near anything and stay out of the grid.
    using Cell = std::array<std::int64_t, 3>;
    struct Entry {
        Cell cell;
        std::uint32_t slot;
    };
    static constexpr float cell_size = 4.0f;

    static bool finite(const std::array<float, 3>& p) {
        return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
    }
    static std::int64_t cell_id(float v) {
        constexpr double huge = 4611686018427387904.0;  // 2^62
        if (std::fabs(double(v)) < huge) return std::int64_t(std::floor(double(v) / double(cell_size)));
        const auto bits = std::bit_cast<std::uint32_t>(v);
        const std::int64_t id = (std::int64_t(1) << 61) + std::int64_t(bits & 0x7FFFFFFFu);
        return (bits >> 31) ? -id : id;
    }
    static Cell cell_of(const std::array<float, 3>& p) { return {cell_id(p[0]), cell_id(p[1]), cell_id(p[2])}; }

    void consider(const std::array<float, 3>& point, float threshold, std::uint32_t slot, std::vector<std::uint32_t>& hits) const {
        const auto position = position_of(trc_.topology, sequence_[slot]);
        if (position && distance(*position, point) <= threshold) hits.push_back(slot);
    }

    void build() {
        if (built_) return;
        built_ = true;
        const auto& residues = trc_.residues.residues;
        for (std::uint32_t r : non_amino_acid_iter(trc_.residues)) {
            for (std::uint32_t a : residues[r]) sequence_.push_back(a);
        }
        cells_.reserve(sequence_.size());
        for (std::uint32_t slot = 0; slot < sequence_.size(); ++slot) {
            const auto p = position_of(trc_.topology, sequence_[slot]);
            if (p && finite(*p)) cells_.push_back({cell_of(*p), slot});
        }
        std::sort(cells_.begin(), cells_.end(),
                  [](const Entry& a, const Entry& b) { return a.cell != b.cell ? a.cell < b.cell : a.slot < b.slot; });
    }

    const TRC& trc_;
    bool built_ = false;
    std::vector<std::uint32_t> sequence_;
    std::vector<Entry> cells_;
};

AtomSet substitutes(const TRC& trc, AminoAcidSeq kind, const Residue& atoms, const std::vector<std::string>* labels,
                    NearSearch& near) {
    if (kind != AminoAcidSeq::SER) return {};
    std::optional<std::uint32_t> og;
    for (std::uint32_t a : atoms) {
        if (label_of(labels, a) == "OG") og = a;
    }
    if (!og) return {};
    const auto point = position_of(trc.topology, *og);
    if (!point) return {};
    bool hydrogen = false, heavy = false;
    for (std::uint32_t a : near.query(*point, covalent_binder_distance)) {
        (element_of(trc.topology, a) == Element::H ? hydrogen : heavy) = true;
    }
    if (hydrogen) {
        diag::err(
            "WARNING: hydrogen in non-protein residue (e.g. water) clashes with protein atom. Check the protonation of "
            "your ligands and waters.\n");
    }
    return heavy ? AtomSet{A::HG} : AtomSet{};
}

// The atom names of a residue as written; fails on the first label that is not a name.
std::expected<AtomSet, Error> present_atoms(const Residue& atoms, const std::vector<std::string>* labels) {
    AtomSet present;
    for (std::uint32_t a : atoms) {
        const std::string_view label = label_of(labels, a);
        const auto atom = parse_amino_acid_atom(label);
        if (!atom) return std::unexpected(Error::bad_atom_label(std::string(label)));
        present.insert(*atom);
    }
    return present;
}

using Kinds = std::vector<std::optional<AminoAcidSeq>>;

std::expected<void, Error> ensure(const TRC& trc, AtomCheckStrictness strictness, const Kinds& kinds, NearSearch& near) {
    const auto& labels = trc.topology.labels;
    const Residues& res = trc.residues;
    if (strictness == AtomCheckStrictness::NONE || !labels || res.residues.empty()) return {};
    for (std::size_t r = 0; r < res.residues.size(); ++r) {
        const auto kind = kinds[r];
        if (!kind) continue;
        const AminoAcidTemplate* t = aa_template_by_tok(*kind);
        if (!t) return std::unexpected(Error::missing_amino_acid_template(*kind));
        const Residue& atoms = res.residues[r];
        const auto seq_n = seq_n_of(res, r);

        AtomSet present;
        for (std::uint32_t a : atoms) {
            const std::string_view label = label_of(&*labels, a);
            const auto atom = parse_amino_acid_atom(label);
            if (!atom) return std::unexpected(Error::bad_atom_label(std::string(label)));
            if (!present.insert(*atom)) {
                return std::unexpected(Error::duplicate_atoms_in_amino_acid(*kind, seq_n, {std::string(to_str(*atom))}));
            }
        }

        const AtomSet names = canonical(present, *kind);
        std::vector<std::string> missing;
        for (A heavy : t->heavy_atoms) {
            if (!names.contains(heavy)) missing.emplace_back(to_str(heavy));
        }
        if (!missing.empty()) return std::unexpected(Error::missing_amino_acid_heavy_atoms(*kind, seq_n, std::move(missing)));

        const AtomSet substituted = substitutes(trc, *kind, atoms, &*labels, near);
        if (const AtomSet clash = present & substituted; !clash.empty()) {
            return std::unexpected(Error::clash_between_covalent_binder_and_hydrogen(*kind, seq_n, clash.names()));
        }

        if (strictness == AtomCheckStrictness::All && !find_protonation_state(*t, present, substituted)) {
            std::vector<std::string> hydrogens;
            present.for_each([&](A a) {
                if (to_str(a).front() == 'H') hydrogens.emplace_back(to_str(a));
            });
            if (hydrogens.empty()) return std::unexpected(Error::no_amino_acid_hydrogens(*kind, seq_n));
            return std::unexpected(Error::bad_protonation_state(*kind, seq_n, std::move(hydrogens)));
        }
    }
    return {};
}

// ---- the warning about a bond that perception did not reproduce ----

void append_atom(std::string& out, const Topology& t, std::uint32_t atom) {
    const std::string_view symbol = element_symbol(element_of(t, atom));
    if (!t.labels) {
        out += symbol;
        return;
    }
    out += label_of(&*t.labels, atom);
    out += " (";
    out += symbol;
    out += ')';
}

void append_bond_kind(std::string& out, BondOrder order) {
    std::string_view symbol = "?", word = "unknown bond";
    switch (order) {
        case BondOrder::OneAndAHalf: symbol = "∹", word = "1.5 bond"; break;
        case BondOrder::Ring: symbol = "⏣", word = "aromatic bond"; break;
        case BondOrder::Single: symbol = "-", word = "single bond"; break;
        case BondOrder::Double: symbol = "=", word = "double bond"; break;
        case BondOrder::Triple: symbol = "≡", word = "triple bond"; break;
        default: break;
    }
    out += symbol;
    out += " [";
    out += word;
    out += ']';
}

void append_residue(std::string& out, const Residues& res, std::uint32_t r) {
    if (const auto n = seq_n_of(res, r)) {
        text::append_int(out, *n);
    } else {
        out += "???";
    }
    out += " (";
    out += text::quoted(r < res.seqs.size() ? std::string_view(res.seqs[r]) : std::string_view());
    out += ')';
}

void warn_restored(const TRC& trc, const std::vector<std::uint32_t>& owner, const Bond& bond) {
    const Topology& t = trc.topology;
    std::string line = "WARNING: didn't add previously-existing bond during perception: ";
    append_atom(line, t, bond.first);
    line += ' ';
    append_atom(line, t, bond.second);
    line += ' ';
    append_bond_kind(line, bond.order);
    const std::uint32_t r1 = bond.first < owner.size() ? owner[bond.first] : no_residue;
    const std::uint32_t r2 = bond.second < owner.size() ? owner[bond.second] : no_residue;
    if (r1 != no_residue && r2 != no_residue) {
        line += " @ ";
        append_residue(line, trc.residues, r1);
        if (seq_n_of(trc.residues, r1) != seq_n_of(trc.residues, r2)) {
            line += " & ";
            append_residue(line, trc.residues, r2);
        }
    }
    line += ". Adding it now.\n";
    diag::err(line);
}

void append_signed(std::string& out, int v) {
    if (v >= 0) out += '+';
    text::append_int(out, v);
}

std::int8_t wrapping_add(std::int8_t a, std::int8_t b) { return std::int8_t(std::uint8_t(std::uint8_t(a) + std::uint8_t(b))); }

bool is_hydrogen_label(std::string_view l) {
    if (l.empty()) return false;
    if (l[0] == 'H') return true;
    return l.size() >= 2 && (l[0] == '1' || l[0] == '2' || l[0] == '3') && l[1] == 'H';
}

// The stereochemistry list runs parallel to the bonds; while it does, every step keeps it so
// (kept and restored bonds keep their flag, new bonds get none). One that was already out of
// step is left as it is.
std::vector<Stereochemistry>* parallel_stereochemistry(Topology& t) {
    if (!t.connectivity || !t.stereochemistry || t.stereochemistry->size() != t.connectivity->size()) return nullptr;
    return &*t.stereochemistry;
}

}  // namespace

std::vector<std::uint32_t> non_amino_acid_iter(const Residues& residues) {
    std::vector<std::uint32_t> out;
    for (std::size_t r = 0; r < residues.residues.size(); ++r) {
        if (r >= residues.seqs.size() || !is_amino_acid(residues.seqs[r])) out.push_back(std::uint32_t(r));
    }
    return out;
}

std::vector<std::uint32_t> get_atoms_near_point(const Topology& topology, std::array<float, 3> point, float threshold,
                                                std::span<const std::uint32_t> atoms) {
    std::vector<std::uint32_t> out;
    for (std::uint32_t a : atoms) {
        const auto position = position_of(topology, a);
        if (!position) continue;
        const float d = distance(*position, point);
        if (d <= threshold) {
            report_near(point, *position, d);
            out.push_back(a);
        }
    }
    return out;
}

AtomSet covalent_binder_substitutes(const TRC& trc, AminoAcidSeq kind, const Residue& atoms,
                                    const std::vector<std::string>& labels) {
    NearSearch near(trc);
    return substitutes(trc, kind, atoms, &labels, near);
}

std::expected<void, Error> ensure_no_missing_atoms(const TRC& trc, AtomCheckStrictness strictness) {
    NearSearch near(trc);
    return ensure(trc, strictness, residue_kinds(trc.residues), near);
}

void perceive_bonds_water(TRC& trc) {
    Topology& t = trc.topology;
    if (!t.connectivity) t.connectivity.emplace();
    std::vector<Bond>& bonds = *t.connectivity;
    std::vector<Stereochemistry>* stereo = parallel_stereochemistry(t);

    struct Water {
        std::uint32_t oxygen;
        std::uint32_t hydrogens[2];
    };
    std::vector<Water> waters;
    for (const Residue& residue : trc.residues.residues) {
        if (residue.size() != 3) continue;
        int oxygens = 0, hydrogens = 0;
        Water w{};
        for (std::uint32_t a : residue) {
            const Element e = element_of(t, a);
            if (e == Element::O) {
                ++oxygens;
                w.oxygen = a;
            } else if (e == Element::H && hydrogens < 2) {
                w.hydrogens[hydrogens++] = a;
            } else {
                hydrogens = 3;
            }
        }
        if (oxygens == 1 && hydrogens == 2) waters.push_back(w);
    }
    if (waters.empty()) return;

    // Only bonds at a water oxygen can make a hydrogen its neighbour already.
    std::vector<std::uint8_t> is_water_oxygen(t.symbols.size(), 0);
    for (const Water& w : waters) is_water_oxygen[w.oxygen] = 1;
    auto at_oxygen = [&](std::uint32_t a) { return a < is_water_oxygen.size() && is_water_oxygen[a]; };
    std::vector<std::uint64_t> keys;
    for (const Bond& b : bonds) {
        if (at_oxygen(b.first) || at_oxygen(b.second)) keys.push_back(pair_key(b.first, b.second));
    }
    std::sort(keys.begin(), keys.end());
    for (const Water& w : waters) {
        for (std::uint32_t h : w.hydrogens) {
            if (std::binary_search(keys.begin(), keys.end(), pair_key(w.oxygen, h))) continue;
            bonds.push_back(Bond{w.oxygen, h, BondOrder::Single});
            if (stereo) stereo->push_back(Stereochemistry::NONE);
        }
    }
}

namespace {

// Step 3 of bond perception: the peptide, template and terminal bonds, residue by residue.
std::expected<void, Error> append_amino_acid_bonds(TRC& trc, const Kinds& kinds, std::vector<Bond>& out) {
    const Topology& t = trc.topology;
    const Residues& res = trc.residues;
    const std::vector<std::string>* labels = &*t.labels;
    AtomIndexMap map;
    auto canonical_at = [&](std::uint32_t a, AminoAcidSeq k) -> std::optional<A> {
        const auto atom = parse_amino_acid_atom(label_of(labels, a));
        if (!atom) return std::nullopt;
        return get_equivalence_class(*atom, k);
    };
    auto first_named = [&](const Residue& atoms, AminoAcidSeq k, A name) -> std::optional<std::uint32_t> {
        for (std::uint32_t a : atoms) {
            if (canonical_at(a, k) == name) return a;
        }
        return std::nullopt;
    };
    for (std::size_t r = 0; r < res.residues.size(); ++r) {
        if (!kinds[r]) continue;
        const AminoAcidSeq k = *kinds[r];
        const Residue& atoms = res.residues[r];

        if (r > 0) {
            const auto c = first_named(res.residues[r - 1], k, A::C);
            const auto n = c ? first_named(atoms, k, A::N) : std::nullopt;
            if (c && n) {
                const auto pc = position_of(t, *c), pn = position_of(t, *n);
                if (pc && pn && distance(*pc, *pn) < peptide_bond_distance) {
                    out.push_back(Bond{std::min(*c, *n), std::max(*c, *n), BondOrder::Single});
                }
            }
        }

        const AminoAcidTemplate* tmpl = aa_template_by_tok(k);
        if (!tmpl) return std::unexpected(Error::missing_amino_acid_template(k));

        map.clear();
        for (std::uint32_t a : atoms) {
            const std::string_view label = label_of(labels, a);
            const auto atom = parse_amino_acid_atom(label);
            if (!atom) return std::unexpected(Error::bad_atom_label(std::string(label)));
            map.set(get_equivalence_class(*atom, k), a);
        }
        if (const AtomSet wrong = map.names() - tmpl->allowed; !wrong.empty()) {
            return std::unexpected(Error::wrong_atoms_in_amino_acid(k, seq_n_of(res, r), wrong.names()));
        }
        for (const TemplateBond& tb : tmpl->bonds) {
            if (map.contains(tb.first) && map.contains(tb.second)) {
                const std::uint32_t a = map.at(tb.first), b = map.at(tb.second);
                out.push_back(Bond{std::min(a, b), std::max(a, b), tb.order});
            }
        }
        append_termini_bonds(*tmpl, map, out);
    }
    return {};
}

}  // namespace

std::expected<void, Error> perceive_bonds(TRC& trc, AtomCheckStrictness strictness) {
    const Kinds kinds = residue_kinds(trc.residues);
    {
        NearSearch near(trc);
        if (auto ok = ensure(trc, strictness, kinds, near); !ok) return ok;
    }

    Topology& t = trc.topology;
    const std::vector<std::uint32_t> owner = atom_owners(trc);
    std::vector<Stereochemistry>* stereo = parallel_stereochemistry(t);

    // Keep what the templates cannot know: bonds touching a non-amino-acid residue and
    // sulfur-sulfur bonds. The others are rebuilt; those not rebuilt come back below.
    std::vector<Bond> removed;
    std::vector<Stereochemistry> removed_stereo;
    if (!t.connectivity) {
        t.connectivity.emplace();
    } else {
        auto outside = [&](std::uint32_t a) { return a < owner.size() && owner[a] != no_residue && !kinds[owner[a]]; };
        std::vector<Bond>& bonds = *t.connectivity;
        std::size_t kept = 0;
        for (std::size_t i = 0; i < bonds.size(); ++i) {
            const Bond b = bonds[i];
            const bool sulfur = element_of(t, b.first) == Element::S && element_of(t, b.second) == Element::S;
            if (outside(b.first) || outside(b.second) || sulfur) {
                if (stereo) (*stereo)[kept] = (*stereo)[i];
                bonds[kept++] = b;
            } else {
                removed.push_back(b);
                if (stereo) removed_stereo.push_back((*stereo)[i]);
            }
        }
        bonds.resize(kept);
        if (stereo) stereo->resize(kept);
    }
    std::vector<Bond>& out = *t.connectivity;

    if (t.labels) {
        const std::size_t kept = out.size();
        auto ok = append_amino_acid_bonds(trc, kinds, out);
        // A bond that a kept bond already records (the peptide bond from a modified residue,
        // given by CONECT) is not added a second time.
        if (kept > 0 && out.size() > kept) {
            const BondIndex kept_bonds(std::span<const Bond>(out.data(), kept), t.symbols.size());
            out.erase(std::remove_if(out.begin() + long(kept), out.end(),
                                     [&](const Bond& b) { return kept_bonds.contains(b.first, b.second); }),
                      out.end());
        }
        if (stereo) stereo->resize(out.size(), Stereochemistry::NONE);
        if (!ok) return ok;
    }

    if (!removed.empty()) {
        const BondIndex present(out, t.symbols.size());
        for (std::size_t i = 0; i < removed.size(); ++i) {
            const Bond& b = removed[i];
            if (present.contains(b.first, b.second)) continue;
            warn_restored(trc, owner, b);
            out.push_back(b);
            if (stereo) stereo->push_back(removed_stereo[i]);
        }
    }

    perceive_bonds_water(trc);
    return {};
}

std::expected<void, Error> perceive_formal_charges(TRC& trc) {
    const Kinds kinds = residue_kinds(trc.residues);
    NearSearch near(trc);
    if (auto ok = ensure(trc, AtomCheckStrictness::All, kinds, near); !ok) return ok;

    Topology& t = trc.topology;
    const Residues& res = trc.residues;
    if (t.connectivity && t.labels) {
        const std::vector<std::string>* labels = &*t.labels;
        auto& charges = t.formal_charges;
        auto store = [&](std::uint32_t a, std::int8_t q) {
            if (charges && a < charges->size()) (*charges)[a] = q;
        };

        // Sulfur atoms bonded to another sulfur (disulfides): their charge is raised by one.
        std::vector<std::uint8_t> in_disulfide(t.symbols.size(), 0);
        for (const Bond& b : *t.connectivity) {
            if (b.first != b.second && element_of(t, b.first) == Element::S && element_of(t, b.second) == Element::S) {
                in_disulfide[b.first] = in_disulfide[b.second] = 1;
            }
        }

        struct Entry {
            std::uint32_t atom;
            A name;
            std::int8_t charge;
        };
        std::vector<Entry> entries;
        std::int8_t total = 0;
        for (std::size_t r = 0; r < res.residues.size(); ++r) {
            const auto kind = kinds[r];
            if (!kind) continue;
            const AminoAcidTemplate* tmpl = aa_template_by_tok(*kind);
            const Residue& atoms = res.residues[r];
            auto present = present_atoms(atoms, labels);
            if (!tmpl || !present) continue;  // excluded by the checks above
            const AtomSet substituted = substitutes(trc, *kind, atoms, labels, near);
            const ProtonationState* state = find_protonation_state(*tmpl, *present, substituted);
            if (!state) continue;

            entries.clear();
            for (std::uint32_t a : atoms) {
                const A name = get_equivalence_class(*parse_amino_acid_atom(label_of(labels, a)), *kind);
                if (name == A::OXT) {
                    entries.push_back({a, name, 0});  // provisional; the C-terminal rule decides
                } else if (const int pos = tmpl->heavy_position[static_cast<std::size_t>(name)]; pos >= 0) {
                    entries.push_back({a, name, state->charges[std::size_t(pos)]});
                }
            }

            const bool c_terminal = is_terminus(*tmpl, *present, false);
            const bool n_terminal = is_terminus(*tmpl, *present, true);
            std::optional<std::int8_t> n_charge;
            if (n_terminal && std::any_of(entries.begin(), entries.end(), [](const Entry& e) { return e.name == A::N; })) {
                auto q = gen_termini_charge(*tmpl, *present, true);
                if (!q) return std::unexpected(std::move(q.error()));
                n_charge = *q;
            }

            for (const Entry& e : entries) {
                std::int8_t q = e.charge;
                if (c_terminal && e.name == A::OXT) {
                    q = present->contains(A::HXT) ? 0 : -1;
                } else if (n_terminal && e.name == A::N) {
                    q = *n_charge;
                }
                if (element_of(t, e.atom) == Element::S && in_disulfide[e.atom]) q = wrapping_add(q, 1);
                if (q < -1 || q > 2) {
                    std::string line = "WARNING: atom ";
                    text::append_int(line, e.atom);
                    line += " has unexpectedly large magnitude of charge: ";
                    append_signed(line, q);
                    line += ".\n";
                    diag::err(line);
                }
                store(e.atom, q);
                total = wrapping_add(total, q);
            }
            for (std::uint32_t a : atoms) {
                if (is_hydrogen_label(label_of(labels, a))) store(a, 0);
            }
        }
        if (!res.residues.empty() && (total < -20 || total > 20)) {
            std::string line = "WARNING: total charge of all amino acids has unexpectedly large magnitude: ";
            append_signed(line, total);
            line += ".\n";
            diag::err(line);
        }
    }

    if (!t.fragments) {
        t.fragment_formal_charges.reset();
    } else {
        std::vector<std::int32_t> sums;
        sums.reserve(t.fragments->size());
        const auto& charges = t.formal_charges;
        for (const Fragment& fragment : *t.fragments) {
            std::uint32_t sum = 0;
            if (charges) {
                for (std::uint32_t a : fragment) {
                    if (a < charges->size()) sum += std::uint32_t((*charges)[a]);
                }
            }
            sums.push_back(std::int32_t(sum));
        }
        t.fragment_formal_charges = std::move(sums);
    }
    return {};
}

std::expected<void, TRCError> check_perception_input(const TRC& trc, bool formal_charges) {
    const Topology& t = trc.topology;
    const std::size_t n = t.symbols.size();
    auto topology_error = [](TopologyError::Kind kind, std::uint64_t a, std::uint64_t b) {
        TRCError e{TRCError::Kind::InvalidTopology};
        e.topology = TopologyError{kind, a, b};
        return std::unexpected(e);
    };
    if (t.geometry.size() != 3 * n) return topology_error(TopologyError::Kind::InvalidGeometryLength, t.geometry.size(), n);
    if (t.labels && t.labels->size() != n) return topology_error(TopologyError::Kind::InvalidLabelsLength, t.labels->size(), n);
    if (formal_charges && t.formal_charges && t.formal_charges->size() != n) {
        return topology_error(TopologyError::Kind::InvalidFormalChargesLength, t.formal_charges->size(), n);
    }
    if (t.connectivity) {
        for (const Bond& b : *t.connectivity) {
            if (b.first >= n || b.second >= n) return topology_error(TopologyError::Kind::InvalidConnectivity, b.first, b.second);
        }
    }
    const Residues& res = trc.residues;
    const std::size_t r = res.residues.size();
    auto residues_error = [](ResiduesError::Kind kind, std::uint64_t a, std::uint64_t b) {
        TRCError e{TRCError::Kind::InvalidResidues};
        e.residues = ResiduesError{kind, a, b};
        return std::unexpected(e);
    };
    if (res.seqs.size() != r) return residues_error(ResiduesError::Kind::InvalidSeqsLength, res.seqs.size(), r);
    if (res.seq_ns.size() != r) return residues_error(ResiduesError::Kind::InvalidSeqNLength, res.seq_ns.size(), r);
    for (const Residue& residue : res.residues) {
        for (std::uint32_t a : residue) {
            if (a >= n) {
                TRCError e{TRCError::Kind::AtomDoesNotExist};
                e.ref = a;
                return std::unexpected(e);
            }
        }
    }
    return {};
}

}  // namespace zyk
