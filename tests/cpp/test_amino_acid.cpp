// Template-level behaviour that the Python API reaches only indirectly: atom-name parsing and its
// error, the alias table, the template lookup and its once-only construction, the template
// operations, and the neighbour search with its diagnostics.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "amino_acid.hpp"
#include "diag.hpp"
#include "harness.hpp"
#include "perceive.hpp"

using namespace zyk;
using A = AminoAcidAtom;
using S = AminoAcidSeq;

namespace {

// Collects the diagnostics of one scope.
struct Capture final : diag::Sink {
    std::string out, err;
    Capture() { diag::set_sink(this); }
    ~Capture() override { diag::set_sink(nullptr); }
    void write_stdout(std::string_view t) override { out += t; }
    void write_stderr(std::string_view t) override { err += t; }
};

AtomSet atoms_of(std::initializer_list<std::string_view> names) {
    AtomSet s;
    for (auto n : names) s.insert(*parse_amino_acid_atom(n));
    return s;
}

std::string state_name(const AminoAcidTemplate& t, const ProtonationState* state) {
    for (const auto& [name, s] : t.protonation_states) {
        if (&s == state) return name;
    }
    return state ? "?" : "none";
}

}  // namespace

ZYK_TEST(atom_names_round_trip_in_code_order) {
    for (std::size_t code = 0; code < amino_acid_atom_count; ++code) {
        const auto atom = static_cast<A>(code);
        const auto parsed = amino_acid_atom_from_text(to_str(atom));
        EXPECT(parsed.has_value());
        if (parsed) EXPECT_EQ(static_cast<std::size_t>(*parsed), code);
    }
    struct { std::string_view name; unsigned code; } table[] = {
        {"N", 0}, {"SD", 36}, {"H", 37}, {"OXT", 81}, {"HXT", 82}, {"CH3", 83}, {"H1", 84}, {"H2", 85},
        {"H3", 86}, {"1HA", 87}, {"3H", 95}, {"OC1", 96}, {"OC2", 97}, {"HA1", 98},
    };
    for (auto& row : table) {
        EXPECT_EQ(static_cast<unsigned>(*parse_amino_acid_atom(row.name)), row.code);
        EXPECT_EQ(to_str(static_cast<A>(row.code)), row.name);
    }
}

ZYK_TEST(atom_names_are_case_sensitive_and_untrimmed) {
    const std::string with_nul("OX\0", 3);
    for (std::string_view bad : std::initializer_list<std::string_view>{"oxt", "HN", "", " OXT", "OXT ", "Ca", "HXT1", "HH311", "1HB", std::string_view(with_nul)}) {
        auto parsed = amino_acid_atom_from_text(bad);
        EXPECT(!parsed.has_value());
        if (parsed) continue;
        EXPECT(parsed.error().kind == Error::Kind::UnsupportedAminoAcidAtom);
        EXPECT_EQ(parsed.error().text, std::string(bad));
    }
    EXPECT_EQ(message(amino_acid_atom_from_text("oxt").error()), "unsupported amino acid atom 'oxt'");
    EXPECT_EQ(message(amino_acid_atom_from_text("").error()), "unsupported amino acid atom ''");
}

ZYK_TEST(equivalence_classes_per_residue_kind) {
    struct { std::string_view atom; S residue; std::string_view expected; } table[] = {
        {"H1", S::ACE, "H1"},   {"H1", S::ALA, "H"},    {"H1", S::HYP, "H"},    {"H1", S::NME, "H1"},
        {"H1", S::UNK, "H1"},   {"OC1", S::GLY, "O"},   {"OC2", S::TRP, "OXT"}, {"OC2", S::NMA, "OC2"},
        {"CD", S::ILE, "CD1"},  {"CD", S::PRO, "CD"},   {"HG11", S::ILE, "HG13"}, {"HD1", S::ILE, "HD11"},
        {"HD2", S::ILE, "HD12"}, {"HD3", S::ILE, "HD13"}, {"HB1", S::ILE, "HB1"}, {"HA1", S::GLY, "HA3"},
        {"HA1", S::ALA, "HA1"}, {"HB1", S::LEU, "HB3"}, {"HB1", S::HIP, "HB3"}, {"HB1", S::TYD, "HB3"},
        {"HB1", S::ALA, "HB1"}, {"HB1", S::VAL, "HB1"}, {"HG1", S::PRO, "HG3"}, {"HD1", S::ARG, "HD3"},
        {"HE1", S::LYN, "HE3"}, {"HE1", S::ARG, "HE1"}, {"HE1", S::PRO, "HE1"}, {"HG1", S::GLH, "HG3"},
        {"HG1", S::CYX, "HG3"}, {"HD1", S::MET, "HD1"}, {"HD1", S::HYP, "HD3"}, {"HG1", S::HYP, "HG1"},
        {"HG1", S::THR, "HG1"}, {"HH31", S::ACE, "H1"}, {"HH32", S::ACE, "H2"}, {"3H", S::ACE, "H3"},
        {"1H", S::ALA, "1H"},   {"CH3", S::NME, "C"},   {"CH3", S::ACE, "CH3"}, {"HH33", S::NME, "H3"},
        {"1H", S::NME, "1H"},   {"HH31", S::BNC, "HH31"}, {"H2", S::ALA, "H2"}, {"OXT", S::ALA, "OXT"},
    };
    for (auto& row : table) {
        const A got = get_equivalence_class(*parse_amino_acid_atom(row.atom), row.residue);
        if (to_str(got) != row.expected) {
            ::zyk_test::report(__FILE__, __LINE__,
                               std::string(row.atom) + " in " + std::string(to_pdb_std_name(row.residue)) + " gave " +
                                   std::string(to_str(got)) + ", expected " + std::string(row.expected));
        }
    }
    // A canonical name never maps further.
    for (std::size_t r = 0; r < amino_acid_seq_count; ++r) {
        for (std::size_t a = 0; a < amino_acid_atom_count; ++a) {
            const A once = get_equivalence_class(static_cast<A>(a), static_cast<S>(r));
            EXPECT(get_equivalence_class(once, static_cast<S>(r)) == once);
        }
    }
}

ZYK_TEST(templates_by_residue_kind) {
    struct { S kind; S template_kind; } table[] = {
        {S::CYS, S::CYS}, {S::CYD, S::CYS}, {S::CYX, S::CYS}, {S::TYD, S::TYR}, {S::ASH, S::ASP},
        {S::GLH, S::GLU}, {S::HIN, S::HIS}, {S::HID, S::HIS}, {S::HIE, S::HIS}, {S::HIP, S::HIS},
        {S::LYD, S::LYS}, {S::LYN, S::LYS}, {S::HYP, S::HYP}, {S::NHH, S::NHH}, {S::GLY, S::GLY},
    };
    for (auto& row : table) {
        const AminoAcidTemplate* t = aa_template_by_tok(row.kind);
        EXPECT(t != nullptr);
        if (t) EXPECT(t->kind == row.template_kind);
        EXPECT_EQ(t, aa_template_by_tok(row.template_kind));
    }
    EXPECT(aa_template_by_tok(S::UNK) == nullptr);
    std::size_t distinct = 0;
    for (std::size_t r = 0; r < amino_acid_seq_count; ++r) {
        const auto* t = aa_template_by_tok(static_cast<S>(r));
        if (t && t->kind == static_cast<S>(r)) {
            ++distinct;
            for (const auto& [name, state] : t->protonation_states) EXPECT_EQ(state.charges.size(), t->heavy_atoms.size());
        }
    }
    EXPECT_EQ(distinct, std::size_t(26));
}

ZYK_TEST(templates_are_shared_under_concurrent_first_use) {
    std::atomic<bool> go{false};
    std::vector<const AminoAcidTemplate*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&, i] {
            while (!go.load()) {
            }
            seen[i] = aa_template_by_tok(S::TRP);
        });
    }
    go = true;
    for (auto& th : threads) th.join();
    for (auto* t : seen) EXPECT_EQ(t, seen[0]);
    EXPECT(seen[0] && seen[0]->heavy_atoms.size() == 14);
}

ZYK_TEST(protonation_state_matching) {
    const AminoAcidTemplate& his = *aa_template_by_tok(S::HIS);
    const AtomSet base = atoms_of({"N", "CA", "C", "O", "CB", "CG", "ND1", "CD2", "CE1", "NE2", "H", "HA", "HB2", "HB3", "HD2", "HE1"});
    struct { AtomSet extra; std::string_view expected; } table[] = {
        {atoms_of({"HD1"}), "HID"},
        {atoms_of({"HE2"}), "HIS"},  // identical to HIE; the first listed wins
        {atoms_of({"HD1", "HE2"}), "HIP"},
        {AtomSet{}, "HIN"},
    };
    for (auto& row : table) EXPECT_EQ(state_name(his, find_protonation_state(his, base | row.extra, {})), row.expected);
    EXPECT_EQ(find_protonation_state(his, base | atoms_of({"HD1", "HE2"}), {})->charges[6], std::int8_t(1));
    // Names are mapped before the comparison: HB1 stands for HB3.
    const AtomSet aliased = (base - atoms_of({"HB3"})) | atoms_of({"HB1", "HD1"});
    EXPECT_EQ(state_name(his, find_protonation_state(his, aliased, {})), "HID");

    const AminoAcidTemplate& ser = *aa_template_by_tok(S::SER);
    const AtomSet ser_atoms = atoms_of({"N", "CA", "C", "O", "CB", "OG", "H", "HA", "HB2", "HB3"});
    EXPECT(find_protonation_state(ser, ser_atoms, {}) == nullptr);
    EXPECT_EQ(state_name(ser, find_protonation_state(ser, ser_atoms, atoms_of({"HG"}))), "SER");
    EXPECT(find_protonation_state(ser, atoms_of({"N", "CA", "C", "O", "CB", "OG"}), {}) == nullptr);
}

ZYK_TEST(termini_detection) {
    const AminoAcidTemplate& ala = *aa_template_by_tok(S::ALA);
    EXPECT(is_terminus(ala, atoms_of({"N", "H2"}), true));
    EXPECT(is_terminus(ala, atoms_of({"N", "H3"}), true));
    EXPECT(!is_terminus(ala, atoms_of({"N", "H", "H1"}), true));
    EXPECT(is_terminus(ala, atoms_of({"C", "OXT"}), false));
    EXPECT(is_terminus(ala, atoms_of({"C", "OC1", "OC2"}), false));
    EXPECT(!is_terminus(ala, atoms_of({"C", "OC1", "H2"}), false));
    const AtomSet everything = atoms_of({"H2", "H3", "OXT", "OC2", "HXT"});
    for (S cap : {S::ACE, S::BNC, S::NME, S::NMA, S::NHH}) {
        EXPECT(!is_terminus(*aa_template_by_tok(cap), everything, true));
        EXPECT(!is_terminus(*aa_template_by_tok(cap), everything, false));
    }
}

ZYK_TEST(termini_bonds_over_the_canonical_map) {
    AtomIndexMap map;
    map.set(A::N, 10);
    map.set(A::H, 3);
    map.set(A::H2, 11);
    map.set(A::H3, 12);
    map.set(A::C, 20);
    map.set(A::OXT, 21);
    map.set(A::HXT, 2);
    const auto single = BondOrder::Single;
    std::vector<Bond> ala = {{10, 11, single}, {10, 12, single}, {20, 21, single}, {2, 21, single}};
    EXPECT(gen_termini_bonds(*aa_template_by_tok(S::ALA), map) == ala);
    std::vector<Bond> pro = {{3, 10, single}, {10, 11, single}, {10, 12, single}, {20, 21, single}, {2, 21, single}};
    EXPECT(gen_termini_bonds(*aa_template_by_tok(S::PRO), map) == pro);
    EXPECT(gen_termini_bonds(*aa_template_by_tok(S::HYP), map) == pro);
    EXPECT(gen_termini_bonds(*aa_template_by_tok(S::NME), map).empty());
    AtomIndexMap no_n;
    no_n.set(A::H2, 1);
    no_n.set(A::OXT, 2);
    no_n.set(A::HXT, 3);
    const std::vector<Bond> oxt_only = {{2, 3, single}};
    EXPECT(gen_termini_bonds(*aa_template_by_tok(S::GLY), no_n) == oxt_only);
    map.clear();
    EXPECT(map.names().empty());
    EXPECT(gen_termini_bonds(*aa_template_by_tok(S::GLY), map).empty());
}

ZYK_TEST(termini_charges_and_the_bare_count) {
    const AminoAcidTemplate& ala = *aa_template_by_tok(S::ALA);
    const AminoAcidTemplate& pro = *aa_template_by_tok(S::PRO);
    Capture capture;
    EXPECT_EQ(gen_termini_charge(ala, atoms_of({"N", "H1", "H2", "H3"}), true).value(), std::int8_t(1));
    EXPECT_EQ(gen_termini_charge(ala, atoms_of({"N", "H2", "H3"}), true).value(), std::int8_t(0));
    EXPECT_EQ(gen_termini_charge(pro, atoms_of({"N", "H2", "H3"}), true).value(), std::int8_t(1));
    EXPECT_EQ(gen_termini_charge(ala, atoms_of({"C", "OXT"}), false).value(), std::int8_t(-1));
    EXPECT_EQ(gen_termini_charge(ala, atoms_of({"C", "OXT", "HXT"}), false).value(), std::int8_t(0));
    EXPECT_EQ(capture.out, "");
    auto bad = gen_termini_charge(ala, atoms_of({"N", "H", "H1", "H2", "H3"}), true);
    EXPECT(!bad.has_value());
    EXPECT_EQ(capture.out, "4");
    if (!bad) {
        EXPECT(bad.error().kind == Error::Kind::BadTerminusError);
        EXPECT_EQ(message(bad.error()), "terminal residue has bad hydrogens, found '[\"N\", \"H\", \"H1\", \"H2\", \"H3\"]'");
    }
    capture.out.clear();
    EXPECT(!gen_termini_charge(pro, atoms_of({"N"}), true).has_value());
    EXPECT_EQ(capture.out, "1");
}

namespace {

TRC serine_with_neighbours(const std::vector<std::array<float, 3>>& ligand, const std::vector<Element>& elements) {
    TRC trc;
    const char* names[] = {"N", "CA", "C", "O", "CB", "OG"};
    for (int i = 0; i < 6; ++i) {
        trc.topology.symbols.push_back(i == 5 || i == 3 ? Element::O : (i == 0 ? Element::N : Element::C));
        const float x = i == 5 ? 0.0f : 100.0f + float(i);
        trc.topology.geometry.insert(trc.topology.geometry.end(), {x, 0.0f, 0.0f});
    }
    trc.topology.labels = std::vector<std::string>(names, names + 6);
    trc.residues.residues.push_back({0, 1, 2, 3, 4, 5});
    trc.residues.seqs.push_back("SER");
    trc.residues.seq_ns.push_back(1);
    Residue lig;
    for (std::size_t i = 0; i < ligand.size(); ++i) {
        lig.push_back(std::uint32_t(trc.topology.symbols.size()));
        trc.topology.symbols.push_back(elements[i % elements.size()]);
        trc.topology.geometry.insert(trc.topology.geometry.end(), ligand[i].begin(), ligand[i].end());
        trc.topology.labels->push_back("X");
    }
    // Two non-amino-acid residues, the second listed in reverse so that input order matters.
    Residue first(lig.begin(), lig.begin() + long(lig.size() / 2)), second(lig.begin() + long(lig.size() / 2), lig.end());
    std::reverse(second.begin(), second.end());
    trc.residues.residues.push_back(first);
    trc.residues.residues.push_back(second);
    trc.residues.seqs.insert(trc.residues.seqs.end(), {"LIG", "HOH"});
    trc.residues.seq_ns.insert(trc.residues.seq_ns.end(), {2, 3});
    return trc;
}

}  // namespace

ZYK_TEST(near_point_lines_and_order) {
    TRC trc = serine_with_neighbours({{2.5f, 0.0f, 0.0f}, {0.0f, -1.25f, 0.0f}, {2.5000002f, 0.0f, 0.0f}, {1.0f, 2.0f, 0.5f}},
                                     {Element::C});
    Capture capture;
    const std::vector<std::uint32_t> atoms = {6, 7, 8, 9};
    const auto near = get_atoms_near_point(trc.topology, {0.0f, 0.0f, 0.0f}, 2.5f, atoms);
    EXPECT(near == (std::vector<std::uint32_t>{6, 7, 9}));
    EXPECT_EQ(capture.err,
              "[0.0, 0.0, 0.0] :: [2.5, 0.0, 0.0] :: 2.5\n"
              "[0.0, 0.0, 0.0] :: [0.0, -1.25, 0.0] :: 1.25\n"
              "[0.0, 0.0, 0.0] :: [1.0, 2.0, 0.5] :: 2.291288\n");
    capture.err.clear();
    get_atoms_near_point(trc.topology, {1.0f, 0.0f, 0.0f}, 3.0f, std::vector<std::uint32_t>{6});
    EXPECT_EQ(capture.err, "[1.0, 0.0, 0.0] :: [2.5, 0.0, 0.0] :: 1.5\n");
    capture.err.clear();
    get_atoms_near_point(trc.topology, {0.5f, 0.0f, 0.0f}, 3.0f, std::vector<std::uint32_t>{6});
    EXPECT_EQ(capture.err, "[0.5, 0.0, 0.0] :: [2.5, 0.0, 0.0] :: 2\n");
    // Atoms without a position are passed over, never read.
    EXPECT(get_atoms_near_point(trc.topology, {0.0f, 0.0f, 0.0f}, 2.5f, std::vector<std::uint32_t>{1000}).empty());
    EXPECT(non_amino_acid_iter(trc.residues) == (std::vector<std::uint32_t>{1, 2}));
}

// The grid behind the serine test must report the same atoms, in the same order and with the
// same lines, as a scan of every non-amino-acid atom in residue order.
ZYK_TEST(covalent_binder_search_matches_a_full_scan) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> coord(-9.0f, 9.0f);
    std::vector<std::array<float, 3>> ligand;
    for (int i = 0; i < 4000; ++i) ligand.push_back({coord(rng), coord(rng), coord(rng)});
    // On and just beside the cut-off, on cell borders, far away and not finite.
    ligand.push_back({2.5f, 0.0f, 0.0f});
    ligand.push_back({0.0f, 0.0f, -2.5f});
    ligand.push_back({0.0f, std::nextafter(2.5f, 3.0f), 0.0f});
    ligand.push_back({8.0f, 0.0f, 0.0f});
    ligand.push_back({3.0e6f, 0.0f, 0.0f});
    ligand.push_back({3.0e6f, 1.5f, 0.0f});
    ligand.push_back({3.0e6f, 2.0f, 0.0f});
    ligand.push_back({1.0e30f, 1.0f, 0.0f});
    ligand.push_back({1.0e30f, 2.0f, -1.0f});
    ligand.push_back({std::nextafter(1.0e30f, 2.0e30f), 0.0f, 0.0f});
    ligand.push_back({-1.0e30f, 0.0f, 0.0f});
    ligand.push_back({4.0f, 4.0f, 4.0f});
    ligand.push_back({std::nanf(""), 0.0f, 0.0f});
    ligand.push_back({INFINITY, 0.0f, 0.0f});
    for (std::array<float, 3> og : {std::array<float, 3>{0.0f, 0.0f, 0.0f}, std::array<float, 3>{7.99f, -8.0f, 0.01f},
                                    std::array<float, 3>{3.0e6f, 1.0f, 0.0f}, std::array<float, 3>{1.0e30f, 0.0f, 0.0f},
                                    std::array<float, 3>{4.0f, 2.0f, 3.9999998f}}) {
        TRC trc = serine_with_neighbours(ligand, {Element::C, Element::O, Element::H});
        trc.topology.geometry[15] = og[0];
        trc.topology.geometry[16] = og[1];
        trc.topology.geometry[17] = og[2];
        std::vector<std::uint32_t> order;
        for (std::uint32_t r : non_amino_acid_iter(trc.residues)) {
            for (std::uint32_t a : trc.residues.residues[r]) order.push_back(a);
        }
        std::string expected;
        bool hydrogen = false;
        {
            Capture capture;
            for (std::uint32_t a : get_atoms_near_point(trc.topology, og, 2.5f, order)) {
                hydrogen = hydrogen || trc.topology.symbols[a] == Element::H;
            }
            expected = capture.err;
        }
        if (hydrogen) {
            expected += "WARNING: hydrogen in non-protein residue (e.g. water) clashes with protein atom. Check the "
                        "protonation of your ligands and waters.\n";
        }
        Capture capture;
        const AtomSet subs = covalent_binder_substitutes(trc, S::SER, trc.residues.residues[0], *trc.topology.labels);
        EXPECT_EQ(capture.err, expected);
        EXPECT(expected.size() > 0);
        EXPECT(subs == AtomSet{A::HG});
        EXPECT(covalent_binder_substitutes(trc, S::THR, trc.residues.residues[0], *trc.topology.labels).empty());
    }
}

// Records reach the core unchecked from C++ callers too: indices beyond the lists are guarded.
ZYK_TEST(perception_survives_unchecked_records) {
    TRC trc = serine_with_neighbours({{1.0f, 0.0f, 0.0f}}, {Element::C});
    trc.residues.residues[0].push_back(500);              // beyond every per-atom list
    trc.residues.residues.push_back({0, 501});            // a residue without a name or number
    trc.topology.connectivity = std::vector<Bond>{{0, 900, BondOrder::Single}, {3, 4, BondOrder::Double}};
    trc.topology.labels->resize(5);                       // shorter than the atom count
    trc.topology.formal_charges = std::vector<std::int32_t>(2, 0);
    trc.topology.fragments = std::vector<Fragment>{{0, 1, 700}};
    Capture capture;
    EXPECT(perceive_bonds(trc, AtomCheckStrictness::NONE).has_value() == false);  // the missing label
    EXPECT(ensure_no_missing_atoms(trc, AtomCheckStrictness::All).has_value() == false);
    EXPECT(perceive_formal_charges(trc).has_value() == false);
    trc.topology.labels.reset();
    EXPECT(perceive_bonds(trc, AtomCheckStrictness::All).has_value());
    EXPECT(perceive_formal_charges(trc).has_value());
    EXPECT(trc.topology.fragment_formal_charges == std::vector<std::int32_t>{0});
    trc.topology.geometry.resize(4);
    trc.topology.labels = std::vector<std::string>{"N", "CA", "C", "O", "CB", "OG"};
    trc.residues.residues[0].pop_back();
    EXPECT(ensure_no_missing_atoms(trc, AtomCheckStrictness::Heavy).has_value());
    EXPECT(!check_perception_input(trc, false).has_value());
}

// Bond perception reorders and rebuilds the bond list; stereochemistry flags stay with their
// bonds (Python cannot build a record with stereochemistry yet).
ZYK_TEST(stereochemistry_follows_the_bonds) {
    TRC trc;
    const char* names[] = {"N", "CA", "C", "O", "CB", "C1", "C2", "O", "H1", "H2"};
    const Element elements[] = {Element::N, Element::C, Element::C, Element::O, Element::C,
                                Element::C, Element::C, Element::O, Element::H, Element::H};
    for (int i = 0; i < 10; ++i) {
        trc.topology.symbols.push_back(elements[i]);
        trc.topology.geometry.insert(trc.topology.geometry.end(), {10.0f * float(i), 0.0f, 0.0f});
    }
    trc.topology.labels = std::vector<std::string>(names, names + 10);
    trc.residues.residues = {{0, 1, 2, 3, 4}, {5, 6}, {7, 8, 9}};
    trc.residues.seqs = {"ALA", "LIG", "HOH"};
    trc.residues.seq_ns = {1, 2, 3};
    trc.residues.insertion_codes = {"~", "~", "~"};
    trc.chains.chains = {{0, 1, 2}};
    const auto single = BondOrder::Single;
    trc.topology.connectivity = std::vector<Bond>{{4, 1, single}, {5, 6, single}, {0, 4, single}, {7, 8, single}};
    trc.topology.stereochemistry = std::vector<Stereochemistry>{Stereochemistry::Down, Stereochemistry::Up,
                                                                Stereochemistry::Either, Stereochemistry::CisOrTrans};
    TRC copy = trc;
    Capture capture;
    EXPECT(perceive_bonds(copy, AtomCheckStrictness::Heavy).has_value());
    const std::vector<Bond> bonds = {{5, 6, single}, {7, 8, single}, {0, 1, single}, {2, 3, BondOrder::Double},
                                     {1, 2, single}, {1, 4, single}, {0, 4, single}, {7, 9, single}};
    EXPECT(*copy.topology.connectivity == bonds);
    using St = Stereochemistry;
    const std::vector<St> flags = {St::Up, St::CisOrTrans, St::NONE, St::NONE, St::NONE, St::NONE, St::Either, St::NONE};
    EXPECT(*copy.topology.stereochemistry == flags);
    EXPECT(check(copy).has_value());

    // A list that was already out of step is not touched.
    trc.topology.stereochemistry->pop_back();
    EXPECT(perceive_bonds(trc, AtomCheckStrictness::Heavy).has_value());
    EXPECT_EQ(trc.topology.stereochemistry->size(), std::size_t(3));
}
