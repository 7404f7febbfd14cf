#include "amino_acid.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "diag.hpp"
#include "text.hpp"

namespace zyk {
namespace {

using A = AminoAcidAtom;
using S = AminoAcidSeq;

// clang-format off
constexpr std::array<std::string_view, amino_acid_atom_count> atom_names = {
    "N", "CA", "C", "O", "CB", "CG", "CG1", "CG2", "CD", "CD1", "CD2", "CE", "CE1", "CE2", "CE3",
    "CZ", "CZ2", "CZ3", "CH2", "OG", "OG1", "OD", "OD1", "OD2", "OE1", "OE2", "OH", "ND1", "ND2",
    "NE", "NE1", "NE2", "NZ", "NH1", "NH2", "SG", "SD", "H", "HA", "HA2", "HA3", "HB", "HB1",
    "HB2", "HB3", "HG", "HG1", "HG2", "HG3", "HG11", "HG12", "HG13", "HG21", "HG22", "HG23", "HD",
    "HD1", "HD2", "HD3", "HD11", "HD12", "HD13", "HD21", "HD22", "HD23", "HE", "HE1", "HE2", "HE3",
    "HE21", "HE22", "HZ", "HZ1", "HZ2", "HZ3", "HH", "HH2", "HH11", "HH12", "HH21", "HH22", "OXT",
    "HXT", "CH3", "H1", "H2", "H3", "1HA", "2HA", "3HA", "HH31", "HH32", "HH33", "1H", "2H", "3H",
    "OC1", "OC2", "HA1",
};
// clang-format on

// Every name is 1 to 4 bytes long and free of NUL bytes: its bytes, zero-padded, make a unique
// 32-bit key. Parsing hashes the key into a small open-addressing table built at compile time.
constexpr std::uint32_t name_key(std::string_view s) {
    std::uint32_t key = 0;
    for (std::size_t i = 0; i < s.size(); ++i) key |= std::uint32_t(static_cast<unsigned char>(s[i])) << (8 * i);
    return key;
}

constexpr std::size_t name_slot(std::uint32_t key) { return std::size_t((key * 0x9E3779B1u) >> 24); }

struct NameSlot {
    std::uint32_t key = 0;
    std::uint8_t length = 0;  // 0: empty slot
    std::uint8_t code = 0;
};

constexpr std::array<NameSlot, 256> name_table = [] {
    std::array<NameSlot, 256> table{};
    for (std::size_t i = 0; i < atom_names.size(); ++i) {
        const std::uint32_t key = name_key(atom_names[i]);
        std::size_t slot = name_slot(key);
        while (table[slot].length != 0) slot = (slot + 1) & 255;
        table[slot] = {key, std::uint8_t(atom_names[i].size()), std::uint8_t(i)};
    }
    return table;
}();

constexpr std::size_t seq_index(S s) { return static_cast<std::size_t>(s); }

// The alias rules of one residue kind; the first row (H1, OC1, OC2) holds for GLY ... HYP.
constexpr A map_alias(A atom, S residue) {
    const bool amino_acid = seq_index(residue) <= seq_index(S::HYP);
    if (amino_acid) {
        if (atom == A::H1) return A::H;
        if (atom == A::OC1) return A::O;
        if (atom == A::OC2) return A::OXT;
    }
    switch (residue) {
        case S::GLY:
            if (atom == A::HA1) return A::HA3;
            break;
        case S::LEU: case S::SER: case S::ASN: case S::PHE: case S::TYR: case S::TYD: case S::TRP:
        case S::ASP: case S::ASH: case S::HIS: case S::HIN: case S::HID: case S::HIE: case S::HIP:
            if (atom == A::HB1) return A::HB3;
            break;
        case S::ILE:
            if (atom == A::CD) return A::CD1;
            if (atom == A::HG11) return A::HG13;
            if (atom == A::HD1) return A::HD11;
            if (atom == A::HD2) return A::HD12;
            if (atom == A::HD3) return A::HD13;
            break;
        case S::PRO: case S::ARG: case S::LYS: case S::LYD: case S::LYN:
            if (atom == A::HB1) return A::HB3;
            if (atom == A::HG1) return A::HG3;
            if (atom == A::HD1) return A::HD3;
            if (residue != S::PRO && residue != S::ARG && atom == A::HE1) return A::HE3;
            break;
        case S::GLN: case S::CYS: case S::CYD: case S::CYX: case S::MET: case S::GLU: case S::GLH:
            if (atom == A::HB1) return A::HB3;
            if (atom == A::HG1) return A::HG3;
            break;
        case S::HYP:
            if (atom == A::HB1) return A::HB3;
            if (atom == A::HD1) return A::HD3;
            break;
        case S::ACE:
            if (atom == A::HH31 || atom == A::_1H) return A::H1;
            if (atom == A::HH32 || atom == A::_2H) return A::H2;
            if (atom == A::HH33 || atom == A::_3H) return A::H3;
            break;
        case S::NME:
            if (atom == A::CH3) return A::C;
            if (atom == A::HH31) return A::H1;
            if (atom == A::HH32) return A::H2;
            if (atom == A::HH33) return A::H3;
            break;
        default: break;
    }
    return atom;
}

using AliasTable = std::array<std::array<std::uint8_t, amino_acid_atom_count>, amino_acid_seq_count>;
constexpr AliasTable alias_table = [] {
    AliasTable t{};
    for (std::size_t r = 0; r < amino_acid_seq_count; ++r) {
        for (std::size_t a = 0; a < amino_acid_atom_count; ++a) {
            t[r][a] = static_cast<std::uint8_t>(map_alias(static_cast<A>(a), static_cast<S>(r)));
        }
    }
    return t;
}();

// For each residue kind, the names that have an alias there: the only ones canonical() has to
// look at.
constexpr std::array<AtomSet, amino_acid_seq_count> alias_sources = [] {
    std::array<AtomSet, amino_acid_seq_count> out{};
    for (std::size_t r = 0; r < amino_acid_seq_count; ++r) {
        for (std::size_t a = 0; a < amino_acid_atom_count; ++a) {
            if (alias_table[r][a] != a) out[r].insert(static_cast<A>(a));
        }
    }
    return out;
}();

// ---- the templates, written as text and turned into records on first use ----

struct StateText {
    std::string_view name;
    std::string_view charges;  // "SG -1, ND1 +1"
    std::string_view absent;   // "HD1 HE2"
};

struct TemplateText {
    S kind;
    std::string_view heavy;
    std::string_view hydrogens;
    std::string_view bonds;  // "N-CA 1, C-O 2, CD1-CG R, OD1-CG 1.5"
    std::array<StateText, 5> states;  // empty name: unused; no states at all: one named after the kind
};

// clang-format off
constexpr std::array<TemplateText, 26> template_texts = {{
    {S::GLY, "N CA C O", "H HA2 HA3",
     "N-CA 1, C-O 2, CA-C 1, N-H 1, CA-HA2 1, CA-HA3 1", {}},
    {S::ALA, "N CA C O CB", "H HA HB1 HB2 HB3",
     "N-CA 1, C-O 2, CA-C 1, CB-CA 1, N-H 1, CA-HA 1, CB-HB1 1, CB-HB2 1, CB-HB3 1", {}},
    {S::VAL, "N CA C O CB CG1 CG2", "H HA HB HG11 HG12 HG13 HG21 HG22 HG23",
     "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG1-CB 1, CG2-CB 1, CA-HA 1, CB-HB 1, CG1-HG11 1, CG1-HG12 1, "
     "CG1-HG13 1, CG2-HG21 1, CG2-HG22 1, CG2-HG23 1, N-H 1", {}},
    {S::LEU, "N CA C O CB CG CD1 CD2", "H HA HB2 HB3 HG HD11 HD12 HD13 HD21 HD22 HD23",
     "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, CD1-CG 1, CD2-CG 1, N-H 1, CA-HA 1, CB-HB2 1, CB-HB3 1, "
     "CG-HG 1, CD1-HD11 1, CD1-HD12 1, CD1-HD13 1, CD2-HD21 1, CD2-HD22 1, CD2-HD23 1", {}},
    {S::ILE, "N CA C O CB CG1 CG2 CD1", "H HA HB HG12 HG13 HG21 HG22 HG23 HD11 HD12 HD13",
     "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG1-CB 1, CG2-CB 1, CD1-CG1 1, N-H 1, CA-HA 1, CB-HB 1, CG1-HG12 1, "
     "CG1-HG13 1, CG2-HG21 1, CG2-HG22 1, CG2-HG23 1, CD1-HD11 1, CD1-HD12 1, CD1-HD13 1", {}},
    {S::PRO, "N CA C O CB CG CD", "HA HB2 HB3 HG2 HG3 HD2 HD3",
     "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, CD-CG 1, CD-N 1, CA-HA 1, CB-HB2 1, CB-HB3 1, CG-HG2 1, "
     "CG-HG3 1, CD-HD2 1, CD-HD3 1", {}},
    {S::SER, "N CA C O CB OG", "H HA HB2 HB3 HG",
     "N-CA 1, C-O 2, CA-C 1, CB-CA 1, OG-CB 1, N-H 1, CA-HA 1, CB-HB2 1, CB-HB3 1, OG-HG 1", {}},
    {S::THR, "N CA C O CB OG1 CG2", "H HA HB HG1 HG21 HG22 HG23",
     "N-CA 1, C-O 2, CA-C 1, CB-CA 1, OG1-CB 1, CG2-CB 1, N-H 1, CA-HA 1, CB-HB 1, OG1-HG1 1, CG2-HG21 1, "
     "CG2-HG22 1, CG2-HG23 1", {}},
    {S::ASN, "N CA C O CB CG OD1 ND2", "H HA HB2 HB3 HD21 HD22",
     "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, OD1-CG 2, ND2-CG 1, N-H 1, CA-HA 1, CB-HB2 1, CB-HB3 1, "
     "ND2-HD21 1, ND2-HD22 1", {}},
    {S::GLN, "N CA C O CB CG CD OE1 NE2", "H HA HB2 HB3 HG2 HG3 HE21 HE22",
     "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, CD-CG 1, OE1-CD 2, NE2-CD 1, N-H 1, CA-HA 1, CB-HB2 1, "
     "CB-HB3 1, CG-HG2 1, CG-HG3 1, NE2-HE21 1, NE2-HE22 1", {}},
    {S::CYS, "N CA C O CB SG", "H HA HB2 HB3 HG",
     "N-CA 1, C-O 2, CA-C 1, CB-CA 1, SG-CB 1, N-H 1, CA-HA 1, CB-HB2 1, CB-HB3 1, SG-HG 1",
     {{{"CYS", "", ""}, {"CYD", "SG -1", "HG"}, {"CYX", "SG -1", "HG"}}}},
    {S::MET, "N CA C O CB CG SD CE", "H HA HB2 HB3 HG2 HG3 HE1 HE2 HE3",
     "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, SD-CG 1, CE-SD 1, N-H 1, CA-HA 1, CB-HB2 1, CB-HB3 1, "
     "CG-HG2 1, CG-HG3 1, CE-HE1 1, CE-HE2 1, CE-HE3 1", {}},
    {S::PHE, "N CA C O CB CG CD1 CD2 CE1 CE2 CZ", "H HA HB2 HB3 HD1 HD2 HE1 HE2 HZ",
     "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, CD1-CG R, CD2-CG R, CE1-CD1 R, CE2-CD2 R, CZ-CE1 R, "
     "CZ-CE2 R, N-H 1, CA-HA 1, CB-HB2 1, CB-HB3 1, CD1-HD1 1, CD2-HD2 1, CE1-HE1 1, CE2-HE2 1, CZ-HZ 1", {}},
    {S::TYR, "N CA C O CB CG CD1 CD2 CE1 CE2 CZ OH", "H HA HB2 HB3 HD1 HD2 HE1 HE2 HH",
     "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, CD1-CG R, CD2-CG R, CE1-CD1 R, CE2-CD2 R, CZ-CE1 R, "
     "CZ-CE2 R, OH-CZ 1, N-H 1, CA-HA 1, CB-HB2 1, CB-HB3 1, CD1-HD1 1, CD2-HD2 1, CE1-HE1 1, CE2-HE2 1, "
     "OH-HH 1",
     {{{"TYR", "", ""}, {"TYD", "OH -1", "HH"}}}},
    {S::TRP, "N CA C O CB CG CD1 CD2 NE1 CE2 CE3 CZ2 CZ3 CH2", "H HA HB2 HB3 HD1 HE1 HE3 HZ2 HZ3 HH2",
     "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, CD1-CG R, CD2-CG R, NE1-CD1 R, CE2-CD2 R, CE2-NE1 R, "
     "CE3-CD2 R, CZ2-CE2 R, CZ3-CE3 R, CH2-CZ2 R, CH2-CZ3 R, N-H 1, CA-HA 1, CB-HB2 1, CB-HB3 1, "
     "CD1-HD1 1, NE1-HE1 1, CD2-HD2 1, CE3-HE3 1, CZ2-HZ2 1, CZ3-HZ3 1, CH2-HH2 1", {}},
    {S::ASP, "N CA C O CB CG OD1 OD2", "H HA HB2 HB3 HD2",
     "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, OD1-CG 1.5, OD2-CG 1.5, N-H 1, CA-HA 1, CB-HB2 1, "
     "CB-HB3 1, OD2-HD2 1",
     {{{"ASP", "OD2 -1", "HD2"}, {"ASH", "", ""}}}},
    {S::GLU, "N CA C O CB CG CD OE1 OE2", "H HA HB2 HB3 HG2 HG3 HE2",
     "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, CD-CG 1, OE1-CD 1.5, OE2-CD 1.5, N-H 1, CA-HA 1, "
     "CB-HB2 1, CB-HB3 1, CG-HG2 1, CG-HG3 1, OE2-HE2 1",
     {{{"GLU", "OE2 -1", "HE2"}, {"GLH", "", ""}}}},
    {S::HIS, "N CA C O CB CG ND1 CD2 CE1 NE2", "H HA HB2 HB3 HD1 HD2 HE1 HE2",
     "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, ND1-CG R, CD2-CG R, CE1-ND1 R, NE2-CD2 R, NE2-CE1 R, "
     "N-H 1, CA-HA 1, CB-HB2 1, CB-HB3 1, ND1-HD1 1, CD2-HD2 1, CE1-HE1 1, NE2-HE2 1",
     {{{"HIS", "", "HD1"}, {"HIN", "ND1 -1", "HD1 HE2"}, {"HID", "", "HE2"}, {"HIE", "", "HD1"},
       {"HIP", "ND1 +1", ""}}}},
    {S::LYS, "N CA C O CB CG CD CE NZ", "H HA HB2 HB3 HG2 HG3 HD2 HD3 HE2 HE3 HZ1 HZ2 HZ3",
     "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, CD-CG 1, CE-CD 1, NZ-CE 1, N-H 1, CA-HA 1, CB-HB2 1, "
     "CB-HB3 1, CG-HG2 1, CG-HG3 1, CD-HD2 1, CD-HD3 1, CE-HE2 1, CE-HE3 1, NZ-HZ1 1, NZ-HZ2 1, NZ-HZ3 1",
     {{{"LYS", "NZ +1", ""}, {"LYD", "", "HZ3"}, {"LYN", "", "HZ3"}}}},
    {S::ARG, "N CA C O CB CG CD NE CZ NH1 NH2", "H HA HB2 HB3 HG2 HG3 HD2 HD3 HE HH11 HH12 HH21 HH22",
     "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, CD-CG 1, NE-CD 1, CZ-NE 1, NH1-CZ 1.5, NH2-CZ 1.5, N-H 1, "
     "CA-HA 1, CB-HB2 1, CB-HB3 1, CG-HG2 1, CG-HG3 1, CD-HD2 1, CD-HD3 1, NE-HE 1, NH1-HH11 1, "
     "NH1-HH12 1, NH2-HH21 1, NH2-HH22 1",
     {{{"ARG", "NH2 +1", ""}}}},
    {S::HYP, "N CA C O CB CG CD OD", "HA HB2 HB3 HG HD2 HD3 HD",
     "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, CD-CG 1, CD-N 1, OD-CG 1, CA-HA 1, CB-HB2 1, CB-HB3 1, "
     "CG-HG 1, CD-HD2 1, CD-HD3 1, OD-HD 1", {}},
    {S::ACE, "CH3 C O", "H1 H2 H3",
     "C-CH3 1, C-O 2, CH3-H1 1, CH3-H2 1, CH3-H3 1", {}},
    {S::BNC, "C O", "HA",
     "C-O 2, C-HA 1", {}},
    {S::NME, "N C", "H H1 H2 H3",
     "N-C 1, N-H 1, C-H1 1, C-H2 1, C-H3 1", {}},
    {S::NMA, "N CA", "H 1HA 2HA 3HA",
     "N-CA 1, N-H 1, CA-1HA 1, CA-2HA 1, CA-3HA 1", {}},
    {S::NHH, "N", "H1 H2",
     "N-H1 1, N-H2 1", {}},
}};
// clang-format on

// The template texts are fixed data: a name that does not parse is a defect of this file, caught
// by the tests that build every template.
[[noreturn]] void bad_template_text(std::string_view what) {
    std::fprintf(stderr, "libzyk: malformed amino-acid template text: %.*s\n", int(what.size()), what.data());
    std::abort();
}

A atom_or_die(std::string_view name) {
    auto a = parse_amino_acid_atom(name);
    if (!a) bad_template_text(name);
    return *a;
}

// Calls f(token) for each token separated by any of `seps`.
template <class F>
void for_each_token(std::string_view text, std::string_view seps, F&& f) {
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && seps.find(text[i]) != std::string_view::npos) ++i;
        std::size_t j = i;
        while (j < text.size() && seps.find(text[j]) == std::string_view::npos) ++j;
        if (j > i) f(text.substr(i, j - i));
        i = j;
    }
}

BondOrder order_from_text(std::string_view s) {
    if (s == "1") return BondOrder::Single;
    if (s == "2") return BondOrder::Double;
    if (s == "R") return BondOrder::Ring;
    if (s == "1.5") return BondOrder::OneAndAHalf;
    bad_template_text(s);
}

AminoAcidTemplate build(const TemplateText& text) {
    AminoAcidTemplate t;
    t.kind = text.kind;
    t.heavy_position.fill(-1);
    for_each_token(text.heavy, " ", [&](std::string_view name) {
        const A a = atom_or_die(name);
        t.heavy_position[static_cast<std::size_t>(a)] = std::int8_t(t.heavy_atoms.size());
        t.heavy_atoms.push_back(a);
        t.heavy_set.insert(a);
    });
    for_each_token(text.hydrogens, " ", [&](std::string_view name) { t.hydrogens.insert(atom_or_die(name)); });
    for_each_token(text.bonds, ",", [&](std::string_view item) {
        while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
        const std::size_t dash = item.find('-'), blank = item.find(' ');
        if (dash == std::string_view::npos || blank == std::string_view::npos || blank < dash) bad_template_text(item);
        t.bonds.push_back({atom_or_die(item.substr(0, dash)), atom_or_die(item.substr(dash + 1, blank - dash - 1)),
                           order_from_text(item.substr(blank + 1))});
    });
    for (const StateText& st : text.states) {
        if (st.name.empty()) continue;
        ProtonationState state;
        state.charges.assign(t.heavy_atoms.size(), 0);
        std::string_view pending;
        for_each_token(st.charges, ", ", [&](std::string_view tok) {
            if (pending.empty()) {
                pending = tok;
                return;
            }
            const std::int8_t pos = t.heavy_position[static_cast<std::size_t>(atom_or_die(pending))];
            auto q = text::parse_int<std::int8_t>(tok);
            if (pos < 0 || !q) bad_template_text(st.charges);
            state.charges[std::size_t(pos)] = *q;
            pending = {};
        });
        if (!pending.empty()) bad_template_text(st.charges);
        for_each_token(st.absent, " ", [&](std::string_view name) { state.absent_hydrogens.insert(atom_or_die(name)); });
        t.protonation_states.emplace_back(std::string(st.name), std::move(state));
    }
    if (t.protonation_states.empty()) {
        ProtonationState state;
        state.charges.assign(t.heavy_atoms.size(), 0);
        t.protonation_states.emplace_back(std::string(to_pdb_std_name(t.kind)), std::move(state));
    }
    t.allowed = t.heavy_set | t.hydrogens | AtomSet{A::H, A::OXT, A::HXT, A::H1, A::H2, A::H3};
    return t;
}

// Position of the template written for each residue kind, -1 for UNK.
constexpr std::array<std::int8_t, amino_acid_seq_count> template_slot = [] {
    std::array<std::int8_t, amino_acid_seq_count> slot{};
    slot.fill(-1);
    for (std::size_t i = 0; i < template_texts.size(); ++i) slot[seq_index(template_texts[i].kind)] = std::int8_t(i);
    auto alias = [&](S variant, S parent) { slot[seq_index(variant)] = slot[seq_index(parent)]; };
    alias(S::CYD, S::CYS);
    alias(S::CYX, S::CYS);
    alias(S::TYD, S::TYR);
    alias(S::ASH, S::ASP);
    alias(S::GLH, S::GLU);
    alias(S::HIN, S::HIS);
    alias(S::HID, S::HIS);
    alias(S::HIE, S::HIS);
    alias(S::HIP, S::HIS);
    alias(S::LYD, S::LYS);
    alias(S::LYN, S::LYS);
    return slot;
}();

const std::array<AminoAcidTemplate, 26>& all_templates() {
    // A function-local static: built by the first caller, the others wait for it.
    static const std::array<AminoAcidTemplate, 26> templates = [] {
        std::array<AminoAcidTemplate, 26> out;
        for (std::size_t i = 0; i < template_texts.size(); ++i) out[i] = build(template_texts[i]);
        return out;
    }();
    return templates;
}

bool is_pro_like(const AminoAcidTemplate& t) { return t.kind == S::PRO || t.kind == S::HYP; }

}  // namespace

std::string_view to_str(AminoAcidAtom atom) {
    const auto i = static_cast<std::size_t>(atom);
    return i < atom_names.size() ? atom_names[i] : std::string_view("?");
}

std::optional<AminoAcidAtom> parse_amino_acid_atom(std::string_view text) {
    if (text.empty() || text.size() > 4) return std::nullopt;
    const auto byte = [&](std::size_t i) { return std::uint32_t(static_cast<unsigned char>(text[i])); };
    std::uint32_t key = byte(0);
    switch (text.size()) {
        case 4: key |= byte(3) << 24; [[fallthrough]];
        case 3: key |= byte(2) << 16; [[fallthrough]];
        case 2: key |= byte(1) << 8; break;
        default: break;
    }
    for (std::size_t slot = name_slot(key);; slot = (slot + 1) & 255) {
        const NameSlot& entry = name_table[slot];
        if (entry.length == 0) return std::nullopt;
        if (entry.key == key && entry.length == text.size()) return static_cast<AminoAcidAtom>(entry.code);
    }
}

std::expected<AminoAcidAtom, Error> amino_acid_atom_from_text(std::string_view text) {
    if (auto a = parse_amino_acid_atom(text)) return *a;
    return std::unexpected(Error::unsupported_amino_acid_atom(std::string(text)));
}

AminoAcidAtom get_equivalence_class(AminoAcidAtom atom, AminoAcidSeq residue) {
    const auto a = static_cast<std::size_t>(atom);
    const auto r = static_cast<std::size_t>(residue);
    if (a >= amino_acid_atom_count || r >= amino_acid_seq_count) return atom;
    return static_cast<AminoAcidAtom>(alias_table[r][a]);
}

std::vector<std::string> AtomSet::names() const {
    std::vector<std::string> out;
    out.reserve(size());
    for_each([&](AminoAcidAtom a) { out.emplace_back(to_str(a)); });
    return out;
}

AtomSet canonical(const AtomSet& atoms, AminoAcidSeq kind) {
    const auto r = static_cast<std::size_t>(kind);
    if (r >= amino_acid_seq_count) return atoms;
    const AtomSet aliased = atoms & alias_sources[r];
    AtomSet out = atoms - aliased;
    aliased.for_each([&](AminoAcidAtom a) { out.insert(static_cast<A>(alias_table[r][static_cast<std::size_t>(a)])); });
    return out;
}

bool is_cap(AminoAcidSeq kind) {
    return kind == S::ACE || kind == S::BNC || kind == S::NME || kind == S::NMA || kind == S::NHH;
}

const AminoAcidTemplate* aa_template_by_tok(AminoAcidSeq kind) {
    const auto r = static_cast<std::size_t>(kind);
    if (r >= amino_acid_seq_count || template_slot[r] < 0) return nullptr;
    return &all_templates()[std::size_t(template_slot[r])];
}

const ProtonationState* find_protonation_state(const AminoAcidTemplate& t, const AtomSet& present,
                                               const AtomSet& substituted) {
    const AtomSet have = canonical(present | substituted, t.kind);
    const AtomSet missing = t.hydrogens - have;
    for (const auto& [name, state] : t.protonation_states) {
        if (state.absent_hydrogens == missing) return &state;
    }
    return nullptr;
}

bool is_terminus(const AminoAcidTemplate& t, const AtomSet& atoms, bool n_terminus) {
    if (is_cap(t.kind)) return false;
    const AtomSet mapped = canonical(atoms, t.kind);
    if (n_terminus) return mapped.contains(A::H2) || mapped.contains(A::H3);
    return mapped.contains(A::OXT);
}

void append_termini_bonds(const AminoAcidTemplate& t, const AtomIndexMap& atom_index, std::vector<Bond>& out) {
    if (is_cap(t.kind)) return;
    auto single = [&](std::uint32_t a, std::uint32_t b) {
        out.push_back(Bond{std::min(a, b), std::max(a, b), BondOrder::Single});
    };
    if (atom_index.contains(A::N)) {
        const std::uint32_t n = atom_index.at(A::N);
        if (is_pro_like(t) && atom_index.contains(A::H)) single(n, atom_index.at(A::H));
        for (A h : {A::H1, A::H2, A::H3}) {
            if (atom_index.contains(h)) single(n, atom_index.at(h));
        }
    }
    if (atom_index.contains(A::C) && atom_index.contains(A::OXT)) single(atom_index.at(A::C), atom_index.at(A::OXT));
    if (atom_index.contains(A::OXT) && atom_index.contains(A::HXT)) single(atom_index.at(A::OXT), atom_index.at(A::HXT));
}

std::vector<Bond> gen_termini_bonds(const AminoAcidTemplate& t, const AtomIndexMap& atom_index) {
    std::vector<Bond> out;
    append_termini_bonds(t, atom_index, out);
    return out;
}

std::expected<std::int8_t, Error> gen_termini_charge(const AminoAcidTemplate& t, const AtomSet& atoms, bool n_terminus) {
    if (!n_terminus) return std::int8_t(atoms.contains(A::HXT) ? 0 : -1);
    int count = int((atoms & AtomSet{A::H, A::H1, A::H2, A::H3}).size());
    if (is_pro_like(t)) ++count;
    if (count == 2) return std::int8_t(0);
    if (count == 3) return std::int8_t(1);
    std::string shown;
    text::append_int(shown, count);
    diag::out(shown);
    return std::unexpected(Error::bad_terminus(atoms.names()));
}

}  // namespace zyk
