// Validation paths and messages that the Python constructor cannot reach (fields it never
// sets), the library error texts, and the code tables.
#include <string>

#include "bond.hpp"
#include "element.hpp"
#include "error.hpp"
#include "harness.hpp"
#include "residue.hpp"
#include "topology.hpp"
#include "trc.hpp"

using namespace zyk;

namespace {

Topology two_atoms() { return make_topology({Element::C, Element::O}, {0, 0, 0, 1, 0, 0}); }

TRC two_atom_trc() {
    return TRC{two_atoms(), Residues{{{0, 1}}, {"UNK"}, {1}, {"~"}, {}, {}}, Chains{{{0}}, {}, {}, {}, {}}};
}

std::string topology_failure(const Topology& t) {
    auto r = check(t);
    return r ? std::string("ok") : message(r.error());
}

std::string trc_failure(const TRC& t) {
    auto r = check(t);
    return r ? std::string("ok") : message(r.error());
}

}  // namespace

ZYK_TEST(topology_check_messages) {
    Topology t = two_atoms();
    EXPECT_EQ(topology_failure(t), "ok");

    t.geometry.pop_back();
    EXPECT_EQ(topology_failure(t), "geometry length does not symbol length * 3: 5 != 2 * 3");

    t = two_atoms();
    t.stereochemistry = std::vector<Stereochemistry>{};
    EXPECT_EQ(topology_failure(t), "stereochemistry exists but connectivity does not");
    t.connectivity = std::vector<Bond>{{0, 1, BondOrder::Single}};
    EXPECT_EQ(topology_failure(t), "stereochemistry length does not match connectivity length: 0 != 1");
    t.stereochemistry->push_back(Stereochemistry::Down);
    EXPECT_EQ(topology_failure(t), "ok");
    t.connectivity->push_back({1, 2, BondOrder::Single});  // bonds are checked before the stereo length
    EXPECT_EQ(topology_failure(t), "invalid connectivity between: AtomRef(1) and AtomRef(2)");

    t = two_atoms();
    t.velocities = std::vector<float>(5, 0.0f);
    EXPECT_EQ(topology_failure(t), "velocities length does not match symbols length: 5 != 2");
    t.velocities->push_back(0.0f);
    EXPECT_EQ(topology_failure(t), "ok");

    t = two_atoms();
    t.fragments = std::vector<Fragment>{{0}, {1}};
    t.fragment_formal_charges = std::vector<std::int32_t>{0};
    EXPECT_EQ(topology_failure(t), "fragment formal charges length does not match fragment length: 1 != 2");
    t.fragment_formal_charges->push_back(1);
    t.fragment_partial_charges = std::vector<float>{};
    EXPECT_EQ(topology_failure(t), "fragment partial charges length does not match fragment length: 0 != 2");
    t.fragment_partial_charges = std::vector<float>{0, 0};
    t.fragment_multiplicities = std::vector<std::uint8_t>{1, 1, 1};
    EXPECT_EQ(topology_failure(t), "fragment multiplicities length does not match fragment length: 3 != 2");
    t.fragment_multiplicities->pop_back();
    EXPECT_EQ(topology_failure(t), "ok");
}

ZYK_TEST(fragment_lists_without_fragments_are_rejected) {
    Topology t = two_atoms();
    t.fragment_formal_charges = std::vector<std::int32_t>{1};
    EXPECT_EQ(topology_failure(t), "fragment formal charges length does not match fragment length: 1 != 0");
    t = two_atoms();
    t.fragment_multiplicities = std::vector<std::uint8_t>{2};
    EXPECT_EQ(topology_failure(t), "fragment multiplicities length does not match fragment length: 1 != 0");
}

ZYK_TEST(fragments_with_out_of_range_atoms_are_rejected) {
    // Two distinct indices for two atoms, one of them out of range.
    Topology t = two_atoms();
    t.fragments = std::vector<Fragment>{{0, 7}};
    EXPECT_EQ(topology_failure(t), "invalid fragments");
    Topology empty = make_topology({}, {});
    empty.fragments = std::vector<Fragment>{};
    EXPECT_EQ(topology_failure(empty), "ok");
}

ZYK_TEST(residue_label_checks) {
    TRC t = two_atom_trc();
    t.residues.labels = std::vector<std::vector<std::string>>{{"a"}};
    EXPECT_EQ(trc_failure(t), "labeled is missing");
    t = two_atom_trc();
    t.residues.labeled = std::vector<std::uint32_t>{0};
    EXPECT_EQ(trc_failure(t), "labels are missing");
    t.residues.labels = std::vector<std::vector<std::string>>{{"a"}, {"b"}};
    EXPECT_EQ(trc_failure(t), "labeled and labels have different lengths (1 != 2)");
    t.residues.labeled = std::vector<std::uint32_t>{0, 5};
    EXPECT_EQ(trc_failure(t), "a nonexistent residue was labeled (2 != 1)");
    t.residues.labeled = std::vector<std::uint32_t>{0, 0};
    EXPECT_EQ(trc_failure(t), "ok");
}

ZYK_TEST(chain_label_checks) {
    TRC t = two_atom_trc();
    t.chains.labeled = std::vector<std::uint32_t>{0};
    EXPECT_EQ(trc_failure(t), "labels are missing");
    t.chains.labels = std::vector<std::vector<std::string>>{};
    EXPECT_EQ(trc_failure(t), "labeled and labels have different lengths");
    t.chains.labels = std::vector<std::vector<std::string>>{{"A"}};
    EXPECT_EQ(trc_failure(t), "ok");
    t.chains.labeled = std::vector<std::uint32_t>{3};
    EXPECT_EQ(trc_failure(t), "labeled and labels have different lengths");
    t.chains.labeled.reset();
    EXPECT_EQ(trc_failure(t), "labeled is missing");
}

ZYK_TEST(trc_check_wraps_the_topology_error) {
    TRC t = two_atom_trc();
    t.topology.geometry.push_back(1);
    EXPECT_EQ(trc_failure(t), "geometry length does not symbol length * 3: 7 != 2 * 3");
    EXPECT(check(t).error().kind == TRCError::Kind::InvalidTopology);
}

ZYK_TEST(fully_empty_trc_passes) {
    TRC t{make_topology({}, {}), Residues{}, Chains{}};
    EXPECT_EQ(trc_failure(t), "ok");
    t.chains.chains.push_back({0});
    EXPECT_EQ(trc_failure(t), "referenced residue not in residues 'ResidueRef(0)'");
}

ZYK_TEST(library_error_messages) {
    struct Row {
        Error error;
        std::string text;
    } rows[] = {
        {Error::parse_amino_acid("HSD"), "invalid amino acid name, found 'HSD'"},
        {Error::parse_amino_acid(""), "invalid amino acid name, found ''"},
        {Error::bad_terminus({"H3", "H1"}), "terminal residue has bad hydrogens, found '[\"H3\", \"H1\"]'"},
        {Error::unsupported_amino_acid_atom("XX"), "unsupported amino acid atom 'XX'"},
        {Error::bad_atom_label("X1"), "bad atom label: \"X1\""},
        {Error::bad_atom_label("a\"b"), "bad atom label: \"a\\\"b\""},
        {Error::bad_protonation_state(AminoAcidSeq::HIS, 5, {"HE2", "HD1"}),
         "bad protonation state for HIS @ 5: [\"HD1\", \"HE2\"] doesn't match a known state"},
        {Error::clash_between_covalent_binder_and_hydrogen(AminoAcidSeq::SER, std::nullopt, {"HG"}),
         "on SER @ ???: the atom(s) [\"HG\"] clash with a covalent binder"},
        {Error::missing_amino_acid_topology_data(), "missing topology data (i.e. bond info) for this amino acid"},
        {Error::missing_amino_acid_heavy_atoms(AminoAcidSeq::ALA, 12, {"CB", "CA"}),
         "missing heavy atoms in ALA @ 12: [\"CA\", \"CB\"] are missing"},
        {Error::missing_amino_acid_heavy_atoms(AminoAcidSeq::ALA, std::nullopt, {}),
         "missing heavy atoms in ALA @ ???: [] are missing"},
        {Error::no_amino_acid_hydrogens(AminoAcidSeq::GLY, -3),
         "amino acid GLY @ -3 is unprotonated, but protonation is required for this task"},
        {Error::missing_amino_acid_template(AminoAcidSeq::UNK), "missing template for UNK"},
        {Error::duplicate_atoms_in_amino_acid(AminoAcidSeq::LYS, 1, {"NZ", "CA", "CA"}),
         "duplicate atoms in LYS @ 1: [\"CA\", \"CA\", \"NZ\"] appear more than once"},
        {Error::wrong_atoms_in_amino_acid(AminoAcidSeq::GLY, 2, {"CB"}),
         "wrong atoms in GLY @ 2: [\"CB\"] should not be present"},
        {Error::duplicate_amino_acid(42, "A"), "duplicate amino acid with same seq_id and insertion code: 42A"},
        {Error::duplicate_amino_acid(42, std::nullopt), "duplicate amino acid with same seq_id and insertion code: 42"},
    };
    for (const Row& row : rows) EXPECT_EQ(message(row.error), row.text);
    // Sorting is for the message only.
    Error e = Error::wrong_atoms_in_amino_acid(AminoAcidSeq::GLY, 2, {"Z", "A"});
    (void)message(e);
    EXPECT_EQ(e.atoms[0], "Z");
    EXPECT_EQ(debug_string(Error::missing_amino_acid_template(AminoAcidSeq::GLY)), "MissingAminoAcidTemplate { aa: GLY }");
}

ZYK_TEST(element_symbols_parse_in_any_case) {
    struct { std::string_view text; Element e; } good[] = {
        {"he", Element::He}, {"He", Element::He}, {"HE", Element::He}, {"hE", Element::He}, {"x", Element::X},
        {"X", Element::X}, {"cL", Element::Cl}, {"og", Element::Og}, {"W", Element::W}, {"n", Element::N},
    };
    for (auto& row : good) EXPECT(element_from_text(row.text).value() == row.e);
    for (std::string_view bad : {"", "D", "Xx", "CA ", " C", "Cl ", "Hee", "1"}) {
        auto r = element_from_text(bad);
        EXPECT(!r.has_value());
        if (!r) EXPECT_EQ(r.error(), std::string(bad));
    }
    EXPECT_EQ(element_symbol(static_cast<Element>(112)), "Cn");
    EXPECT_EQ(element_symbol(Element::W), "W");
    EXPECT_EQ(element_symbol(Element::X), "X");
    EXPECT(element_from_code(119) == std::nullopt);
}

ZYK_TEST(bond_order_bytes) {
    EXPECT(bond_order_from_byte(255) == BondOrder::Ring);
    EXPECT(bond_order_from_byte(250) == BondOrder::FiveAndAHalf);
    EXPECT(bond_order_from_byte(6) == BondOrder::Sextuple);
    for (int b = 7; b < 250; ++b) EXPECT(!bond_order_try_from_byte(std::uint8_t(b)).has_value());
    EXPECT_EQ(bond_order_name(BondOrder::OneAndAHalf), "OneAndAHalf");
    EXPECT(stereochemistry_from_code(-1) == Stereochemistry::Down);
    EXPECT(!stereochemistry_from_code(4).has_value());
}

ZYK_TEST(schema_versions) {
    EXPECT_EQ(to_string(current_schema_version()), "0.2.0");
    struct { std::string_view text; bool ok; } rows[] = {
        {"0.2.0", true}, {"1.2.3-alpha.1+build.5", true}, {"10.20.30", true}, {"1.0.0-0.3.7", true},
        {"1.0.0+001", true}, {"1.0", false}, {"01.0.0", false}, {"1.0.0-01", false}, {"1.0.0-", false},
        {"1.0.0+", false}, {"a.b.c", false}, {"", false}, {"1.0.0.0", false}, {"1..0", false},
        {"1.0.0-a..b", false}, {"99999999999999999999.0.0", false},
    };
    for (auto& row : rows) {
        auto v = parse_schema_version(row.text);
        EXPECT_EQ(v.has_value(), row.ok);
        if (v && row.ok) EXPECT_EQ(to_string(*v), std::string(row.text));
    }
}
