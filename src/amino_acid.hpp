// The built-in amino-acid chemistry: the closed vocabulary of atom names, the aliases under
// which an atom may be written, and one template per residue kind (heavy atoms, bonds,
// hydrogens of the fully protonated form, protonation states with their formal charges).
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <expected>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bond.hpp"
#include "error.hpp"
#include "residue.hpp"

namespace zyk {

// clang-format off
// The digit-first names 1HA, 2HA, 3HA, 1H, 2H, 3H are spelt with a leading underscore here;
// their text form has none.
enum class AminoAcidAtom : std::uint8_t {
    N, CA, C, O, CB, CG, CG1, CG2, CD, CD1, CD2, CE, CE1, CE2, CE3, CZ, CZ2, CZ3, CH2, OG, OG1,
    OD, OD1, OD2, OE1, OE2, OH, ND1, ND2, NE, NE1, NE2, NZ, NH1, NH2, SG, SD, H, HA, HA2, HA3,
    HB, HB1, HB2, HB3, HG, HG1, HG2, HG3, HG11, HG12, HG13, HG21, HG22, HG23, HD, HD1, HD2, HD3,
    HD11, HD12, HD13, HD21, HD22, HD23, HE, HE1, HE2, HE3, HE21, HE22, HZ, HZ1, HZ2, HZ3, HH,
    HH2, HH11, HH12, HH21, HH22, OXT, HXT, CH3, H1, H2, H3, _1HA, _2HA, _3HA, HH31, HH32, HH33,
    _1H, _2H, _3H, OC1, OC2, HA1,
};
// clang-format on
inline constexpr std::size_t amino_acid_atom_count = 99;

// The name exactly as written in structures ("CA", "1HA").
std::string_view to_str(AminoAcidAtom atom);

// Exactly one of the 99 names, byte for byte (case-sensitive, no trimming).
std::optional<AminoAcidAtom> parse_amino_acid_atom(std::string_view text);
// The same, failing with UnsupportedAminoAcidAtom that carries the text.
std::expected<AminoAcidAtom, Error> amino_acid_atom_from_text(std::string_view text);

// The name under which the templates know `atom` when it is read in a residue of kind
// `residue` (H1 -> H, OC2 -> OXT, HB1 -> HB3, ...). Applied once; total and pure.
AminoAcidAtom get_equivalence_class(AminoAcidAtom atom, AminoAcidSeq residue);

// A set of atom names; iterates in code order.
class AtomSet {
public:
    constexpr AtomSet() = default;
    constexpr AtomSet(std::initializer_list<AminoAcidAtom> atoms) {
        for (AminoAcidAtom a : atoms) insert(a);
    }

    constexpr bool contains(AminoAcidAtom a) const {
        const auto i = static_cast<unsigned>(a);
        return (bits_[i >> 6] >> (i & 63)) & 1U;
    }
    // True when `a` was not in the set yet.
    constexpr bool insert(AminoAcidAtom a) {
        const auto i = static_cast<unsigned>(a);
        const std::uint64_t mask = std::uint64_t(1) << (i & 63);
        const bool fresh = !(bits_[i >> 6] & mask);
        bits_[i >> 6] |= mask;
        return fresh;
    }
    constexpr void erase(AminoAcidAtom a) {
        const auto i = static_cast<unsigned>(a);
        bits_[i >> 6] &= ~(std::uint64_t(1) << (i & 63));
    }
    constexpr std::size_t size() const { return std::size_t(std::popcount(bits_[0]) + std::popcount(bits_[1])); }
    constexpr bool empty() const { return (bits_[0] | bits_[1]) == 0; }

    template <class F>
    constexpr void for_each(F&& f) const {
        for (unsigned w = 0; w < 2; ++w) {
            for (std::uint64_t b = bits_[w]; b; b &= b - 1) f(static_cast<AminoAcidAtom>(w * 64 + unsigned(std::countr_zero(b))));
        }
    }
    // The text names in code order.
    std::vector<std::string> names() const;

    friend constexpr AtomSet operator|(AtomSet a, const AtomSet& b) {
        a.bits_[0] |= b.bits_[0];
        a.bits_[1] |= b.bits_[1];
        return a;
    }
    friend constexpr AtomSet operator&(AtomSet a, const AtomSet& b) {
        a.bits_[0] &= b.bits_[0];
        a.bits_[1] &= b.bits_[1];
        return a;
    }
    // Members of `a` that are not in `b`.
    friend constexpr AtomSet operator-(AtomSet a, const AtomSet& b) {
        a.bits_[0] &= ~b.bits_[0];
        a.bits_[1] &= ~b.bits_[1];
        return a;
    }
    friend bool operator==(const AtomSet&, const AtomSet&) = default;

private:
    std::uint64_t bits_[2] = {0, 0};
};

// Every member mapped through get_equivalence_class under `kind`.
AtomSet canonical(const AtomSet& atoms, AminoAcidSeq kind);

// A map from canonical atom names of one residue to atom indices, indexed by code.
class AtomIndexMap {
public:
    static constexpr std::uint32_t none = std::numeric_limits<std::uint32_t>::max();

    AtomIndexMap() { slots_.fill(none); }
    // A later atom with the same name replaces an earlier one.
    void set(AminoAcidAtom a, std::uint32_t atom) {
        slots_[static_cast<std::size_t>(a)] = atom;
        names_.insert(a);
    }
    bool contains(AminoAcidAtom a) const { return names_.contains(a); }
    std::uint32_t at(AminoAcidAtom a) const { return slots_[static_cast<std::size_t>(a)]; }
    const AtomSet& names() const { return names_; }
    // Forgets every entry (cost proportional to the entries, not to the vocabulary).
    void clear() {
        names_.for_each([&](AminoAcidAtom a) { slots_[static_cast<std::size_t>(a)] = none; });
        names_ = {};
    }

private:
    std::array<std::uint32_t, amino_acid_atom_count> slots_;
    AtomSet names_;
};

struct ProtonationState {
    std::vector<std::int8_t> charges;  // one per heavy atom, in the template's order
    AtomSet absent_hydrogens;          // hydrogens of the fully protonated form it lacks
};

struct TemplateBond {
    AminoAcidAtom first;
    AminoAcidAtom second;
    BondOrder order;
};

struct AminoAcidTemplate {
    std::vector<AminoAcidAtom> heavy_atoms;
    std::vector<TemplateBond> bonds;
    std::vector<std::pair<std::string, ProtonationState>> protonation_states;
    AtomSet hydrogens;  // never the N-terminal H2/H3 or the C-terminal OXT/HXT
    AminoAcidSeq kind;

    // Derived from the lists above: the position of each heavy atom (-1 for other names),
    // and the names a residue of this kind may contain (heavy atoms, hydrogens and the
    // terminal names H, OXT, HXT, H1, H2, H3).
    std::array<std::int8_t, amino_acid_atom_count> heavy_position;
    AtomSet heavy_set;
    AtomSet allowed;
};

// The shared, read-only template of a residue kind (CYS for CYD and CYX, HIS for its
// variants, ...), or nullptr for UNK. Built once on first use, safe under concurrent first use.
const AminoAcidTemplate* aa_template_by_tok(AminoAcidSeq kind);

// The protonation state whose absent hydrogens are exactly the template hydrogens missing from
// `present` and `substituted` (names as written; mapped here), or nullptr. The state lives as
// long as the template.
const ProtonationState* find_protonation_state(const AminoAcidTemplate& t, const AtomSet& present,
                                               const AtomSet& substituted);

// Whether a residue with these atom names (as written) is a chain terminus: N-terminus when it
// has H2 or H3, C-terminus when it has OXT (after mapping). Never true for the caps.
bool is_terminus(const AminoAcidTemplate& t, const AtomSet& atoms, bool n_terminus);

// The extra Single bonds of a chain terminus over a residue's canonical atom map, each with the
// smaller atom index first: N to H2 and H3 (and to H for PRO and HYP), then C-OXT, then
// OXT-HXT. None for the caps.
std::vector<Bond> gen_termini_bonds(const AminoAcidTemplate& t, const AtomIndexMap& atom_index);
// The same, appended to `out`.
void append_termini_bonds(const AminoAcidTemplate& t, const AtomIndexMap& atom_index, std::vector<Bond>& out);

// The formal charge of the terminal N (n_terminus) or OXT from the hydrogens present (names as
// written). An N-terminal hydrogen count other than 2 or 3 writes the count to standard output
// and fails with BadTerminusError.
std::expected<std::int8_t, Error> gen_termini_charge(const AminoAcidTemplate& t, const AtomSet& atoms, bool n_terminus);

// True for the capping groups ACE, BNC, NME, NMA, NHH.
bool is_cap(AminoAcidSeq kind);

}  // namespace zyk
