// PDB reader paths Python cannot reach: reading without SEQRES residues, and the events.
#include <string>
#include <vector>

#include "convert/pdb/reader.hpp"
#include "convert/pdb/writer.hpp"
#include "harness.hpp"
#include "log.hpp"

using namespace zyk;

namespace {

struct Captured {
    std::vector<log::Event> events;
    std::vector<std::string> messages;
    static void sink(void* self, const log::Event& e) {
        auto* c = static_cast<Captured*>(self);
        c->events.push_back(e);
        c->messages.emplace_back(e.message);
    }
};

std::string atom(int serial, const char* res, int seq) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "ATOM  %5d  CA  %3s A%4d       0.000   0.000   0.000  1.00  0.00           C  ",
                  serial, res, seq);
    return buf;
}

const std::string seqres = "SEQRES   1 A    4  MET ALA GLY SER\n";

}  // namespace

ZYK_TEST(without_seqres_residues_internal_gaps_are_reported) {
    const std::string text = seqres + atom(1, "ALA", 2) + "\n" + atom(2, "SER", 4) + "\n";
    Captured captured;
    std::expected<std::vector<TRC>, pdb::Error> models;
    {
        log::Scope scope(log::Listener{log::Level::Warn, &Captured::sink, &captured});
        models = pdb::from_pdb_with_options(text, false);
    }
    EXPECT(models.has_value());
    EXPECT_EQ(models->size(), 1u);
    EXPECT((models->front().residues.seqs == std::vector<std::string>{"ALA", "SER"}));
    EXPECT_EQ(captured.messages.size(), 1u);
    if (!captured.messages.empty()) {
        EXPECT_EQ(captured.messages[0],
                  "WARNING: chain A has 1 missing internal residue(s) from SEQRES that are being omitted because "
                  "include_seqres is false: GLY 3");
        EXPECT(captured.events[0].level == log::Level::Warn);
        EXPECT_EQ(captured.events[0].target, log::target_pdb);
    }

    const std::string gaps = "SEQRES   1 A    6  MET ALA GLY GLY SER TRP\n" + atom(1, "ALA", 2) + "\n" + atom(2, "SER", 5) + "\n";
    captured.messages.clear();
    {
        log::Scope scope(log::Listener{log::Level::Warn, &Captured::sink, &captured});
        (void)pdb::from_pdb_with_options(gaps, false);
    }
    EXPECT_EQ(captured.messages.size(), 1u);
    if (!captured.messages.empty()) {
        EXPECT_EQ(captured.messages[0],
                  "WARNING: chain A has 2 missing internal residue(s) from SEQRES that are being omitted because "
                  "include_seqres is false: GLY 3, GLY 4");
    }
}

ZYK_TEST(with_seqres_residues_the_same_text_fills_the_gaps) {
    const std::string text = seqres + atom(1, "ALA", 2) + "\n" + atom(2, "SER", 4) + "\n";
    auto models = pdb::from_pdb_with_options(text, true);
    EXPECT(models.has_value());
    EXPECT((models->front().residues.seqs == std::vector<std::string>{"MET", "ALA", "GLY", "SER"}));
    EXPECT((models->front().residues.seq_ns == std::vector<std::int32_t>{1, 2, 3, 4}));
}

ZYK_TEST(no_events_are_built_without_a_listener) {
    // Not listening: the reader still works and nothing reaches a sink.
    Captured captured;
    {
        log::Scope scope(log::Listener{log::Level::Off, &Captured::sink, &captured});
        auto models = pdb::from_pdb_with_options("MODEL \nCONECT    1    2\nENDMDL\n", true);
        EXPECT(models.has_value() && models->empty());
    }
    EXPECT(captured.messages.empty());
}

ZYK_TEST(errors_print_their_messages) {
    EXPECT_EQ(pdb::message(pdb::Error::atom_charges_should_zip()), "atom charges should zip with atoms");
    EXPECT_EQ(pdb::message(pdb::Error::invalid_connection(12)),
              "invalid connection for atom index 12, references and atom that does not exist");
    EXPECT_EQ(pdb::message(pdb::Error::invalid_symbol("Xx", 4)), "invalid symbol Xx");
    EXPECT_EQ(pdb::message(pdb::Error::expected_float(12, 60, 66)), "expected float at 12:60-66");
    EXPECT_EQ(pdb::message(pdb::Error::split_character(3, 16, 17)),
              "non-ASCII character across field boundary at 3:16-17");
}

ZYK_TEST(damaged_text_gives_models_or_an_error_never_a_crash) {
    // Byte flips, cuts, inserted multi-byte characters and stray bytes over a small file with
    // every record kind; each read must end in models or a message, and writing what was read
    // must succeed or fail cleanly.
    const std::string base =
        "HEADER    TEST\n"
        "DBREF  1ABC A    1    98  SWS    P43529   E2BB_ECOLI      24    121\n"
        "SEQRES   1 A    3  GLY ALA SER\n"
        "HELIX    1   1 GLY A    1  ALA A    2  1                                   2\n"
        "SHEET    1   A 2 GLY A   1  ALA A   2  0\n"
        "MODEL        1\n"
        "ATOM      1  N   GLY A   1       0.000   0.000   0.000  1.00  0.00           N  \n"
        "ATOM      2  CA  GLY A   1       1.450   0.000   0.000  1.00  0.00           C  \n"
        "ATOM      3  CA  ALA A   2A      3.000   1.000   0.000  0.50 10.00      SEG  C1+\n"
        "HETATM    4 ZN    ZN B   9      10.000  10.000  10.000  1.00  0.00          ZN2+\n"
        "CONECT    4    1    2\n"
        "TER       5      ALA A   2\n"
        "ENDMDL\n"
        "CONECT    1    2    2\n"
        "END\n";
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    const char* inserts[] = {"\xC3\x85", "\xE2\x82\xAC", "\x80", "\xF0\x9F\x98\x80", "\r", "\n", "\t", "-", "9", " "};
    int models = 0, errors = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string text = base;
        const int edits = 1 + int(next() % 4);
        for (int e = 0; e < edits && !text.empty(); ++e) {
            const std::size_t at = next() % text.size();
            switch (next() % 4) {
                case 0: text[at] = char(next() % 256); break;
                case 1: text.erase(at, 1 + next() % 8); break;
                case 2: text.insert(at, inserts[next() % std::size(inserts)]); break;
                default: text.resize(at); break;
            }
        }
        auto result = pdb::from_pdb_with_options(text, (round & 1) != 0);
        if (!result) {
            EXPECT(!pdb::message(result.error()).empty());
            ++errors;
            continue;
        }
        for (const TRC& trc : *result) {
            ++models;
            EXPECT(check(trc).has_value());
            auto written = pdb::to_pdb(trc);
            if (written) (void)pdb::from_pdb_with_options(*written, true);
        }
    }
    EXPECT(models > 0);
    EXPECT(errors > 0);
}
