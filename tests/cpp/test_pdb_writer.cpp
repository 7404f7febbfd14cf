// PDB writer on records only the dictionary form can build: ragged or out-of-range tables.
#include <string>

#include "convert/pdb/writer.hpp"
#include "harness.hpp"

using namespace zyk;

namespace {

TRC two_residues() {
    TRC trc{make_topology({Element::C, Element::C}, {0, 0, 0, 1, 1, 1}), {}, {}};
    trc.residues.residues = {{0}, {1}};
    trc.residues.seqs = {"ALA", "GLY"};
    trc.residues.seq_ns = {1, 2};
    trc.residues.insertion_codes = {"", ""};
    trc.chains.chains = {{0, 1}};
    return trc;
}

std::vector<std::string> lines_starting(const std::string& text, std::string_view name) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t lf = text.find('\n', pos);
        std::string line = text.substr(pos, lf - pos);
        if (line.compare(0, name.size(), name) == 0) out.push_back(line);
        pos = lf == std::string::npos ? text.size() : lf + 1;
    }
    return out;
}

}  // namespace

ZYK_TEST(helix_residues_outside_the_tables_print_empty) {
    TRC trc = two_residues();
    trc.chains.alpha_helices.emplace();
    trc.chains.alpha_helices->push("LONGID", 5, 1, 9, HelixClass::Polyproline, 2);
    auto out = pdb::to_pdb(trc);
    EXPECT(out.has_value());
    const auto helices = lines_starting(*out, "HELIX");
    EXPECT_EQ(helices.size(), 1u);
    if (!helices.empty()) {
        // chain 5 has no entry: letter F; residue 9 does not exist: no name, number 0
        EXPECT_EQ(helices[0], "HELIX    1 LON GLY F    2      F    0 10                                   2    ");
    }
}

ZYK_TEST(ragged_secondary_structure_tables_are_errors) {
    TRC trc = two_residues();
    trc.chains.alpha_helices.emplace();
    trc.chains.alpha_helices->push("A", 0, 0, 1, std::nullopt, std::nullopt);
    trc.chains.alpha_helices->lengths.clear();
    EXPECT(pdb::to_pdb(trc).error() == "alpha helix table lists have different lengths");
    trc = two_residues();
    trc.chains.beta_sheets.emplace();
    trc.chains.beta_sheets->push("A", "1", 1, 2, 0, 0, 1, StrandSense::First);
    trc.chains.beta_sheets->senses.push_back(std::nullopt);
    EXPECT(pdb::to_pdb(trc).error() == "beta sheet table lists have different lengths");
}

ZYK_TEST(chain_letters_past_the_alphabet_stay_valid_text) {
    TRC trc = two_residues();
    trc.chains.chains = {{}};
    for (int i = 1; i < 64; ++i) trc.chains.chains.push_back({});
    trc.chains.chains.back() = {0, 1};  // chain 63: code 65 + 63 = 128
    auto out = pdb::to_pdb(trc);
    EXPECT(out.has_value());
    const auto atoms = lines_starting(*out, "ATOM");
    EXPECT_EQ(atoms.size(), 2u);
    if (!atoms.empty()) EXPECT_EQ(atoms[0].substr(21, 2), "\xC2\x80");
    const auto seqres = lines_starting(*out, "SEQRES");
    EXPECT_EQ(seqres.size(), 1u);
}

ZYK_TEST(chain_labels_that_are_empty_lists_fall_back_to_letters) {
    TRC trc = two_residues();
    trc.chains.chains = {{0}, {1}};
    trc.chains.labeled = std::vector<std::uint32_t>{0, 1};
    trc.chains.labels = std::vector<std::vector<std::string>>{{"X", "Y"}, {}};
    auto out = pdb::to_pdb(trc);
    const auto atoms = lines_starting(*out, "ATOM");
    EXPECT_EQ(atoms.size(), 2u);
    if (atoms.size() == 2) {
        EXPECT_EQ(atoms[0][21], 'X');
        EXPECT_EQ(atoms[1][21], 'B');
    }
}

ZYK_TEST(geometry_of_the_wrong_length_is_an_error) {
    TRC trc = two_residues();
    trc.topology.geometry.pop_back();
    EXPECT(pdb::to_pdb(trc).error() == "geometry length does not symbol length * 3: 5 != 2 * 3");
}
