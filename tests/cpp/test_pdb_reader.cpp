// PDB reader paths Python cannot reach: reading without SEQRES residues, and the events.
#include <string>
#include <vector>

#include "convert/pdb/reader.hpp"
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
