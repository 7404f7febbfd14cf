// SDF reader and writer: the parts Python does not see (data blocks, constraints, entry-level
// results, hand-built molecules and records, partial output).
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "convert/sdf/reader.hpp"
#include "convert/sdf/writer.hpp"
#include "harness.hpp"

using namespace zyk;
using namespace zyk::sdf;

namespace {

const std::string header = "mol\n  prog\n\n";
const std::string two_atoms =
    "  2  1  0  0  0  0  0  0  0  0999 V2000\n"
    "    0.0000    0.0000    0.0000 C   0  0  0  0  0  0  0  0  0  0  0  0\n"
    "    1.2500    0.0000    0.0000 O   0  0  0  0  0  0  0  0  0  0  0  0\n"
    "  1  2  1  0     0  0\n"
    "M  END\n";

std::string entry(const std::string& data) { return header + two_atoms + data + "$$$$\n"; }

DataItem item(std::string key, std::string value) { return DataItem{std::move(key), std::move(value)}; }

TRC two_atom_trc() {
    auto r = from_sdf(entry(""));
    return std::move(r->structures.front());
}

std::string write(const std::vector<TRC>& trcs, const std::vector<std::optional<DataBlocks>>& blocks) {
    std::string out;
    auto ok = to_sdf(out, trcs, blocks);
    EXPECT(ok.has_value());
    return out;
}

}  // namespace

ZYK_TEST(sdf_entries_cut_at_terminators_and_count_start_lines) {
    const std::string a = entry("");
    const std::string b = "x\n\n\n  0  0\nM  END\n$$$$";
    const std::string text = a + b;  // the entries are views into it
    auto entries = sdf_entries(text);
    EXPECT_EQ(entries.size(), std::size_t(2));
    EXPECT_EQ(entries[0]->start_line, std::size_t(1));
    EXPECT_EQ(std::string(entries[0]->text), a);
    EXPECT_EQ(entries[1]->start_line, std::size_t(10));
    EXPECT_EQ(std::string(entries[1]->text), b);

    const std::string trailing = a + a + "\n";
    auto broken = sdf_entries(trailing);
    EXPECT_EQ(broken.size(), std::size_t(3));
    EXPECT(broken[0].has_value() && broken[1].has_value());
    EXPECT(!broken[2].has_value());
    EXPECT(broken[2].error() == (SDFParseError{19, {SDFParseState::Kind::HeaderBlock, 0}, SDFParseErrorType::ParseTerminator}));

    auto empty = sdf_entries("");
    EXPECT_EQ(empty.size(), std::size_t(1));
    EXPECT_EQ(message(empty[0].error()), "line 1 state HeaderBlock: could not find correctly formatted terminator");
}

ZYK_TEST(parse_sdf_entry_reads_the_molecule_as_written) {
    auto m = parse_sdf_entry(
        "  spaced name \n\n\n  3  2\n"
        "    1.2500   -2.0000    3.0000 N   0  3\n"
        "    0.0000    0.0000    0.0000 c   0  5\n"
        "    0.0000    0.0000     1e300 Cl  0  0\n"
        "  0  2  4  6\n"
        "  2  3  1   \n"
        "M  END\n$$$$\n");
    EXPECT(m.has_value());
    EXPECT_EQ(m->name, "  spaced name ");
    EXPECT_EQ(m->counts.num_atoms, std::size_t(3));
    EXPECT_EQ(m->counts.num_bonds, std::size_t(2));
    EXPECT_EQ(m->atoms.size(), std::size_t(3));
    EXPECT_EQ(m->atoms[0].x, 1.25);
    EXPECT_EQ(m->atoms[0].y, -2.0);
    EXPECT(m->atoms[0].element == Element::N);
    EXPECT_EQ(m->atoms[0].formal_charge, 1);
    EXPECT(m->atoms[1].element == Element::C);
    EXPECT_EQ(m->atoms[1].formal_charge, -1);
    EXPECT_EQ(m->atoms[2].z, 1e300);  // kept in double until the TRC is built
    EXPECT_EQ(m->bonds[0].first, std::numeric_limits<std::size_t>::max());  // atom "0" wraps
    EXPECT_EQ(m->bonds[0].second, std::size_t(1));
    EXPECT_EQ(m->bonds[0].type, 4u);
    EXPECT_EQ(m->bonds[0].stereo, 6);
    EXPECT_EQ(m->bonds[1].stereo, 0);
}

ZYK_TEST(data_items_keys_and_values) {
    auto m = parse_sdf_entry(header + two_atoms +
                             "> < spaced key >  (7)\nline one\n  line two  \n\n"
                             ">  <>\n\n"
                             "> <empty at the end>\n   \n"
                             "> <unclosed>\nlast\n$$$$\n");
    EXPECT(m.has_value());
    const std::vector<DataItem> expected = {
        item(" spaced key ", "line one\n  line two  "),
        item("", ""),
        item("empty at the end", ""),
        item("unclosed", "last\n$$$$\n"),  // the terminator is not recognised inside a value
    };
    EXPECT(m->data_items == expected);

    // An entry that ends inside a value keeps the value's final line feed.
    auto cut = parse_sdf_entry(header + two_atoms + "> <k>\nv");
    EXPECT(cut.has_value());
    EXPECT(cut->data_items == std::vector<DataItem>{item("k", "v\n")});
}

ZYK_TEST(parse_sdf_entry_counts_lines_from_the_entry_start) {
    const std::string bad = header + "  1  0\nshort\nM  END\n$$$$\n";
    auto direct = parse_sdf_entry(bad);
    EXPECT(!direct.has_value());
    EXPECT(direct.error() == (SDFParseError{5, {SDFParseState::Kind::AtomBlock, 0}, SDFParseErrorType::LineTooShort}));
    auto whole = from_sdf(entry("") + bad);
    EXPECT(!whole.has_value());
    EXPECT_EQ(message(whole.error()), "error parsing SDF: line 14 state AtomBlock: line shorter than the expcted length");
    // The state keeps its index even though the printed form leaves it out.
    auto second = parse_sdf_entry(header + "  2  0\n" + two_atoms.substr(40, 70) + "x\n$$$$\n");
    EXPECT(second.error().state == (SDFParseState{SDFParseState::Kind::AtomBlock, 1}));
}

ZYK_TEST(entries_that_end_before_the_data_items_are_errors) {
    using K = SDFParseState::Kind;
    using T = SDFParseErrorType;
    struct {
        std::string text;
        SDFParseError error;
    } table[] = {
        {"", {1, {K::HeaderBlock, 0}, T::HeaderLine}},
        {"name", {2, {K::HeaderBlock, 0}, T::HeaderLine}},
        {"name\nprog\n$$$$\n", {3, {K::HeaderBlock, 0}, T::HeaderLine}},
        {"name\nprog\n\n", {3, {K::CountsLine, 0}, T::ParseTerminator}},
        {header + "  2  0\n" + two_atoms.substr(40, 70), {5, {K::AtomBlock, 1}, T::ParseTerminator}},
        {header + "  0  1\n", {4, {K::BondBlock, 0}, T::ParseTerminator}},
        {header + "  0  0\nM  CHG  0\n", {5, {K::PropertiesBlock, 0}, T::PropertyCHGCount}},
        {header + "  0  0\n\n", {5, {K::PropertiesBlock, 0}, T::ParseTerminator}},
    };
    for (auto& row : table) {
        auto m = parse_sdf_entry(row.text);
        EXPECT(!m.has_value());
        if (!m) EXPECT_EQ(message(m.error()), message(row.error));
    }
    // Ending in the data items is a complete molecule, with or without a terminator.
    EXPECT(parse_sdf_entry(header + two_atoms).has_value());
}

ZYK_TEST(convert_molecule_builds_a_checked_ligand) {
    auto m = parse_sdf_entry(entry(""));
    auto r = convert_molecule(std::move(*m));
    EXPECT(r.has_value());
    const TRC& t = r->first;
    EXPECT(!r->second.has_value());
    EXPECT(t.residues.labeled == std::vector<std::uint32_t>{0});
    EXPECT(t.residues.labels == (std::vector<std::vector<std::string>>{{"mol"}}));
    EXPECT((t.topology.fragments == std::vector<Fragment>{Fragment{0, 1}}));
    EXPECT(t.topology.fragment_formal_charges == std::vector<std::int32_t>{0});
    EXPECT(!t.topology.labels && !t.topology.partial_charges && !t.topology.velocities);
    EXPECT(!t.topology.fragment_partial_charges && !t.topology.fragment_multiplicities);
    EXPECT(!t.chains.labeled && !t.chains.labels && !t.chains.alpha_helices && !t.chains.beta_sheets);
    EXPECT(t.topology.geometry == (std::vector<float>{0, 0, 0, 1.25f, 0, 0}));
    EXPECT(check(t).has_value());
}

ZYK_TEST(convert_molecule_maps_bond_types_before_stereo) {
    Molecule m;
    m.atoms = {Atom{0, 0, 0, Element::C, 0}, Atom{1, 0, 0, Element::C, 0}};
    m.bonds = {BondLine{0, 1, 1, 2}, BondLine{1, 0, 7, 0}};
    auto r = convert_molecule(std::move(m));
    EXPECT(!r.has_value());
    EXPECT(r.error().kind == ConversionError::Kind::UnexpectedBondOrder);
    EXPECT_EQ(message(r.error()), "Unexpected bond order 7");
}

ZYK_TEST(fragment_charge_of_absurd_charges_wraps_instead_of_overflowing) {
    Molecule m;
    const std::int32_t big = std::numeric_limits<std::int32_t>::max();
    m.atoms = {Atom{0, 0, 0, Element::C, big}, Atom{1, 0, 0, Element::C, big}};
    auto r = convert_molecule(std::move(m));
    EXPECT(r.has_value());
    EXPECT(r->first.topology.fragment_formal_charges == std::vector<std::int32_t>{-2});
}

ZYK_TEST(data_blocks_take_out_tethered_atoms_and_the_first_smiles) {
    auto r = from_sdf(entry(
        "> <name>\naspirin\n\n"
        "> <TETHERED ATOMS>\n1,2,3\n7,+8\n\n"
        "> <PUBCHEM_OPENEYE_CAN_SMILES>\nC=O\n\n"
        "> <ISO_SMILES>\n[CH2]=O\n\n"
        "> <TETHERED ATOMS>\nnot parsed\n\n"));
    EXPECT(r.has_value());
    const auto& blocks = r->data_blocks.front();
    EXPECT(blocks.has_value());
    EXPECT(blocks->constraints.groups == (std::vector<std::vector<std::uint32_t>>{{1, 2, 3}, {7, 8}}));
    EXPECT(blocks->smiles == std::optional<std::string>("C=O"));
    const std::vector<DataItem> rest = {item("name", "aspirin"), item("ISO_SMILES", "[CH2]=O"), item("TETHERED ATOMS", "not parsed")};
    EXPECT(blocks->items == rest);
}

ZYK_TEST(data_blocks_exist_only_with_items_or_constraints) {
    struct {
        std::string data;
        bool has_block;
    } table[] = {
        {"", false},
        {"> <SMILES>\nCC\n\n", false},
        {"> <TETHERED ATOMS>\n4\n\n", true},
        {"> <x>\n\n", true},
    };
    for (auto& row : table) {
        auto r = from_sdf(entry(row.data));
        EXPECT(r.has_value());
        EXPECT_EQ(r->data_blocks.front().has_value(), row.has_block);
    }
    auto only_constraints = from_sdf(entry("> <TETHERED ATOMS>\n4\n\n"));
    EXPECT(only_constraints->data_blocks.front()->items.empty());
    EXPECT(!only_constraints->data_blocks.front()->smiles.has_value());
}

ZYK_TEST(conversion_error_messages) {
    using CK = ConversionError::Kind;
    ConversionError parse{CK::SDFParse};
    parse.parse = SDFParseError{12, {SDFParseState::Kind::BondBlock, 3}, SDFParseErrorType::BondTypeNotAllowed};
    EXPECT_EQ(message(parse), "error parsing SDF: line 12 state BondBlock: bond type not part of SDF standard");
    EXPECT_EQ(message(ConversionError{CK::ConstraintsParse}), "error parsing constraints");
    ConversionError trc{CK::InvalidTRC};
    trc.trc = TRCError{TRCError::Kind::AtomsNotInResidues};
    EXPECT_EQ(message(trc), "atoms exist in the topology that are not in any residue");
    ConversionError order{CK::UnexpectedBondOrder};
    order.bond_type = 4000000000u;
    EXPECT_EQ(message(order), "Unexpected bond order 4000000000");
    ConversionError stereo{CK::UnexpectedStereochemistry};
    stereo.stereo = -7;
    EXPECT_EQ(message(stereo), "Unexpected stereochemistry value -7");

    using S = SDFParseState::Kind;
    const std::pair<S, std::string_view> names[] = {
        {S::HeaderBlock, "HeaderBlock"}, {S::CountsLine, "CountsLine"}, {S::AtomBlock, "AtomBlock"},
        {S::BondBlock, "BondBlock"}, {S::PropertiesBlock, "PropertiesBlock"}, {S::DataItems, "DataItems"}, {S::Done, "Done"},
    };
    for (auto& [kind, text] : names) EXPECT_EQ(name(SDFParseState{kind, 5}), text);
}

ZYK_TEST(round_trip_keeps_data_items_and_constraints) {
    // Written in the writer's own layout, so reading and writing gives the same bytes.
    const std::string text =
        "first\n     ZYKF           3D\n\n"
        "  2  1  0  0  0  0  0  0  0  0999 V2000\n"
        "    0.0000    0.0000    0.0000 C   0  0  0  0  0  0  0  0  0  0  0  0\n"
        "    1.2500   -3.0000    0.5000 N   0  3  0  0  0  0  0  0  0  0  0  0\n"
        "  1  2  2  1     0  0\n"
        "M  END\n"
        "> <TETHERED ATOMS>\n1,2\n2\n\n"
        "> <note>\ntwo\nlines\n\n"
        "> < key with blanks >\n  value  \n\n"
        "$$$$\n"
        "second\n     ZYKF           3D\n\n"
        "  1  0  0  0  0  0  0  0  0  0999 V2000\n"
        "    0.0000    0.0000    0.0000 Fe  0  0  0  0  0  0  0  0  0  0  0  0\n"
        "M  CHG  1   1   5\n"
        "M  END\n"
        "$$$$\n"
        "third\n     ZYKF           3D\n\n"
        "  0  0  0  0  0  0  0  0  0  0999 V2000\n"
        "M  END\n"
        "> <empty>\n\n\n"
        "$$$$\n";
    auto r = from_sdf(text);
    EXPECT(r.has_value());
    EXPECT_EQ(r->structures.size(), std::size_t(3));
    EXPECT(r->data_blocks[0]->constraints.groups == (std::vector<std::vector<std::uint32_t>>{{1, 2}, {2}}));
    EXPECT_EQ(r->data_blocks[0]->items.size(), std::size_t(2));
    EXPECT(!r->data_blocks[1].has_value());
    EXPECT(r->data_blocks[2]->items == std::vector<DataItem>{item("empty", "")});
    EXPECT_EQ(write(r->structures, r->data_blocks), text);

    auto again = from_sdf(write(r->structures, r->data_blocks));
    EXPECT(again->structures == r->structures);
    EXPECT(again->data_blocks == r->data_blocks);
}

ZYK_TEST(writer_data_block_layout) {
    DataBlocks blocks;
    blocks.constraints.groups = {{3, 1}, {}};
    blocks.smiles = "CC";  // never written
    blocks.items = {item("ends with a line feed", "v\n"), item("k", "")};
    const std::string out = write({two_atom_trc()}, {blocks});
    const std::string tail = out.substr(out.find("M  END\n"));
    EXPECT_EQ(tail,
              "M  END\n"
              "> <TETHERED ATOMS>\n3,1\n\n\n"
              "> <ends with a line feed>\nv\n\n\n"
              "> <k>\n\n\n"
              "$$$$\n");
}

ZYK_TEST(writer_pairs_structures_with_blocks_up_to_the_shorter_list) {
    const TRC t = two_atom_trc();
    EXPECT_EQ(write({t, t}, {std::nullopt}), write({t}, {std::nullopt}));
    EXPECT_EQ(write({t}, {std::nullopt, DataBlocks{}}), write({t}, {std::nullopt}));
    EXPECT_EQ(write({}, {}), "");
    // An empty data block writes nothing besides the record.
    EXPECT_EQ(write({t}, {DataBlocks{}}), write({t}, {std::nullopt}));
}

ZYK_TEST(writer_keeps_earlier_records_when_a_later_one_fails) {
    TRC good = two_atom_trc();
    TRC bad = good;
    (*bad.topology.connectivity)[0].order = BondOrder::Quadruple;
    std::string out = "prefix\n";
    std::vector<TRC> trcs = {good, bad, good};
    std::vector<std::optional<DataBlocks>> blocks(3);
    auto r = to_sdf(out, trcs, blocks);
    EXPECT(!r.has_value());
    EXPECT_EQ(message(r.error()), "unsupported bond order: Quadruple");
    const std::string one = write({good}, {std::nullopt});
    EXPECT_EQ(out.substr(0, 7 + one.size()), "prefix\n" + one);
    // The failing record stops where the failure was found: after its atom block.
    EXPECT_EQ(out.substr(7 + one.size()), one.substr(0, one.find("  1  2  1")));
}

ZYK_TEST(writer_title_comes_from_the_single_residue_label) {
    TRC t = two_atom_trc();
    t.residues.labels = std::vector<std::vector<std::string>>{{"first", "second"}};
    EXPECT_EQ(write({t}, {std::nullopt}).substr(0, 6), "first\n");
    t.residues.labels = std::vector<std::vector<std::string>>{{}};
    EXPECT_EQ(write({t}, {std::nullopt}).substr(0, 6), "\n     ");
    t.residues.labels = std::vector<std::vector<std::string>>{};
    t.residues.labeled = std::vector<std::uint32_t>{};
    EXPECT_EQ(write({t}, {std::nullopt}).substr(0, 6), "\n     ");
    t.residues.labels.reset();
    t.residues.labeled.reset();
    EXPECT_EQ(write({t}, {std::nullopt}).substr(0, 6), "\n     ");

    // Two labelled residues: refused, whatever the rest of the record says.
    TRC two = two_atom_trc();
    two.residues.residues = {{0}, {1}};
    two.residues.seqs = {"A", "B"};
    two.residues.seq_ns = {1, 2};
    two.residues.insertion_codes = {"", ""};
    two.residues.labeled = std::vector<std::uint32_t>{0, 1};
    two.residues.labels = std::vector<std::vector<std::string>>{{"a"}, {"b"}};
    two.chains.chains = {{0, 1}};
    std::string out;
    auto r = to_sdf(out, std::vector<TRC>{two}, std::vector<std::optional<DataBlocks>>(1));
    EXPECT(!r.has_value());
    EXPECT_EQ(message(r.error()), "only 1 residue expected when doing a single conversion to SDF");
}

ZYK_TEST(writer_stereo_values) {
    TRC t = two_atom_trc();
    const std::pair<Stereochemistry, std::string> table[] = {
        {Stereochemistry::NONE, "  0"}, {Stereochemistry::Up, "  1"}, {Stereochemistry::Down, "  6"},
        {Stereochemistry::Either, "  4"}, {Stereochemistry::CisOrTrans, "  3"},
    };
    for (auto& [s, field] : table) {
        t.topology.stereochemistry = std::vector<Stereochemistry>{s};
        EXPECT_EQ(write({t}, {std::nullopt}).find("  1  2  1" + field + "     0  0\n") != std::string::npos, true);
    }
    t.topology.stereochemistry.reset();
    EXPECT(write({t}, {std::nullopt}).find("  1  2  1  0     0  0\n") != std::string::npos);
}

ZYK_TEST(writer_counts_widen_beyond_three_digits) {
    const std::size_t n = 1000;
    TRC t{make_topology(std::vector<Element>(n, Element::H), std::vector<float>(3 * n, 0.0f)), {}, {}};
    Residue all(n);
    for (std::size_t i = 0; i < n; ++i) all[i] = std::uint32_t(i);
    t.residues.residues = {all};
    t.residues.seqs = {"LIG"};
    t.residues.seq_ns = {0};
    t.residues.insertion_codes = {""};
    t.chains.chains = {{0}};
    t.topology.connectivity = std::vector<Bond>{Bond{998, 999, BondOrder::Single}};
    const std::string out = write({t}, {std::nullopt});
    EXPECT_EQ(out.substr(out.find("ZYKF") + 19, 41), "1000  1  0  0  0  0  0  0  0  0999 V2000\n");
    EXPECT(out.find("\n9991000  1  0     0  0\n") != std::string::npos);
}

ZYK_TEST(bad_trc_debug_forms) {
    using K = TRCError::Kind;
    using TK = TopologyError::Kind;
    using RK = ResiduesError::Kind;
    auto topo = [](TK kind, std::uint64_t a = 0, std::uint64_t b = 0) {
        TRCError e{K::InvalidTopology};
        e.topology = TopologyError{kind, a, b};
        return e;
    };
    auto res = [](RK kind, std::uint64_t a = 0, std::uint64_t b = 0) {
        TRCError e{K::InvalidResidues};
        e.residues = ResiduesError{kind, a, b};
        return e;
    };
    auto with_ref = [](K kind, std::uint32_t ref) {
        TRCError e{kind};
        e.ref = ref;
        return e;
    };
    auto chains = [](TRCError::ChainsProblem p) {
        TRCError e{K::InvalidChains};
        e.chains = p;
        return e;
    };
    const std::pair<TRCError, std::string> table[] = {
        {with_ref(K::ResidueNotInChain, 3), "ResidueNotInChain(ResidueRef(3))"},
        {with_ref(K::ResidueDoesNotExist, 9), "ResidueDoesNotExist(ResidueRef(9))"},
        {chains(TRCError::ChainsProblem::LabelMismatch), "InvalidChains(LabelMismatch)"},
        {chains(TRCError::ChainsProblem::LabelsMissing), "InvalidChains(LabelsMissing)"},
        {chains(TRCError::ChainsProblem::LabeledMissing), "InvalidChains(LabeledMissing)"},
        {TRCError{K::AtomsNotInResidues}, "AtomsNotInResidues"},
        {with_ref(K::AtomDoesNotExist, 4), "AtomDoesNotExist(AtomRef(4))"},
        {topo(TK::InvalidGeometryLength, 7, 2), "InvalidTopology(InvalidGeometryLength(7, 2))"},
        {topo(TK::InvalidLabelsLength, 1, 2), "InvalidTopology(InvalidLabelsLength(1, 2))"},
        {topo(TK::InvalidPartialChargesLength, 1, 2), "InvalidTopology(InvalidPartialChargesLength(1, 2))"},
        {topo(TK::InvalidFormalChargesLength, 1, 2), "InvalidTopology(InvalidFormalChargesLength(1, 2))"},
        {topo(TK::InvalidConnectivity, 0, 9), "InvalidTopology(InvalidConnectivity(AtomRef(0), AtomRef(9)))"},
        {topo(TK::InvalidStereochemistryExistence), "InvalidTopology(InvalidStereochemistryExistence)"},
        {topo(TK::InvalidStereochemistryLength, 0, 1), "InvalidTopology(InvalidStereochemistryLength(0, 1))"},
        {topo(TK::InvalidVelocitiesLength, 5, 2), "InvalidTopology(InvalidVelocitiesLength(5, 2))"},
        {topo(TK::InvalidFragments), "InvalidTopology(InvalidFragments)"},
        {topo(TK::InvalidFragmentRef, 4), "InvalidTopology(InvalidFragmentRef(4))"},
        {topo(TK::InvalidFragmentFormalChargesLength, 2, 1), "InvalidTopology(InvalidFragmentFormalChargesLength(2, 1))"},
        {topo(TK::InvalidFragmentPartialChargesLength, 2, 1), "InvalidTopology(InvalidFragmentPartialChargesLength(2, 1))"},
        {topo(TK::InvalidFragmentMultiplicitiesLength, 2, 1), "InvalidTopology(InvalidFragmentMultiplicitiesLength(2, 1))"},
        {res(RK::LabelMismatch, 2, 1), "InvalidResidues(LabelMismatch(2, 1))"},
        {res(RK::InvalidLabel, 2, 3), "InvalidResidues(InvalidLabel(2, 3))"},
        {res(RK::LabelsMissing), "InvalidResidues(LabelsMissing)"},
        {res(RK::LabeledMissing), "InvalidResidues(LabeledMissing)"},
        {res(RK::InvalidSeqsLength, 0, 1), "InvalidResidues(InvalidSeqsLength(0, 1))"},
        {res(RK::InvalidSeqNLength, 0, 1), "InvalidResidues(InvalidSeqNLength(0, 1))"},
        {res(RK::InvalidInsertionCodesLength, 0, 1), "InvalidResidues(InvalidInsertionCodesLength(0, 1))"},
    };
    for (auto& [error, form] : table) {
        SDFWriteErrorType e{SDFWriteErrorType::Kind::BadTRC};
        e.trc = error;
        EXPECT_EQ(message(e), "bad TRC: " + form);
    }
    EXPECT_EQ(message(SDFWriteErrorType{SDFWriteErrorType::Kind::ChargeFormat}), "could not format charge");
    SDFWriteErrorType order{SDFWriteErrorType::Kind::UnsupportedBondOrder};
    order.order = BondOrder::TwoAndAHalf;
    EXPECT_EQ(message(order), "unsupported bond order: TwoAndAHalf");
}

ZYK_TEST(writer_checks_records_that_python_cannot_build) {
    TRC t = two_atom_trc();
    t.topology.stereochemistry = std::vector<Stereochemistry>{};
    std::string out;
    auto r = to_sdf(out, std::vector<TRC>{t}, std::vector<std::optional<DataBlocks>>(1));
    EXPECT_EQ(message(r.error()), "bad TRC: InvalidTopology(InvalidStereochemistryLength(0, 1))");
    t = two_atom_trc();
    t.topology.geometry.pop_back();
    out.clear();
    r = to_sdf(out, std::vector<TRC>{t}, std::vector<std::optional<DataBlocks>>(1));
    EXPECT_EQ(message(r.error()), "bad TRC: InvalidTopology(InvalidGeometryLength(5, 2))");
    EXPECT(out.empty());
    t = two_atom_trc();
    t.residues.labeled.reset();
    r = to_sdf(out, std::vector<TRC>{t}, std::vector<std::optional<DataBlocks>>(1));
    EXPECT_EQ(message(r.error()), "bad TRC: InvalidResidues(LabeledMissing)");
}

// Every prefix of a record and every single-byte change to it (line ends, blanks, '$', digits,
// stray UTF-8 lead and continuation bytes) reads or fails cleanly; run under the sanitizers
// this is the guard against reads past a line or past the text.
ZYK_TEST(truncated_and_mutated_records_never_misbehave) {
    const std::string base = entry("> <k>\nv\n\n") + "x\n\n\n  1  0  0  0  0  0  0  0  0  0999 V2000\n"
                             "    0.0000    0.0000    0.0000 C   0  0  0  0  0  0  0  0  0  0  0  0\n"
                             "M  CHG  1   1   1\nM  END\n$$$$\n";
    std::size_t ok = 0, failed = 0;
    auto run = [&](const std::string& text) {
        auto r = from_sdf(text);
        if (r) {
            ++ok;
            for (const TRC& t : r->structures) EXPECT(check(t).has_value());
            // Whatever was read can be written, unless a CHG line gave a charge beyond +-15.
            std::string out;
            auto written = to_sdf(out, r->structures, r->data_blocks);
            EXPECT(written.has_value() || written.error().kind == SDFWriteErrorType::Kind::ChargeFormat);
        } else {
            ++failed;
            EXPECT(!message(r.error()).empty());
        }
    };
    for (std::size_t n = 0; n <= base.size(); ++n) run(base.substr(0, n));
    const char replacements[] = {'\n', '\r', ' ', '$', '9', '-', '>', '<', '\xC3', '\x80', '\xE2', '\0'};
    for (std::size_t i = 0; i < base.size(); ++i) {
        for (char c : replacements) {
            std::string text = base;
            text[i] = c;
            run(text);
        }
    }
    EXPECT(ok > 0 && failed > 0);
}
