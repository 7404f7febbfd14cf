// What from_mmcif builds that the Python views do not show: chain labels, the absent optional
// fields, and the log events with their target and level.
#include <string>
#include <vector>

#include "convert/mmcif/builder.hpp"
#include "harness.hpp"
#include "log.hpp"

using namespace zyk;

namespace {

const char* two_chains =
    "data_t\n"
    "loop_\n"
    "_atom_site.type_symbol\n_atom_site.label_atom_id\n_atom_site.label_comp_id\n_atom_site.auth_asym_id\n"
    "_atom_site.auth_seq_id\n"
    "O O HOH B 1\n"
    "O O HOH A 1\n"
    "O O HOH A 2\n"
    "#\n"
    "loop_\n_pdbx_poly_seq_scheme.seq_id\n_pdbx_poly_seq_scheme.pdb_strand_id\n_pdbx_poly_seq_scheme.mon_id\n"
    "1 C ALA\n";

struct Captured {
    std::vector<log::Event> events;
    std::vector<std::string> messages;
};

void capture(void* context, const log::Event& e) {
    auto* c = static_cast<Captured*>(context);
    c->events.push_back(e);
    c->messages.emplace_back(e.message);
}

}  // namespace

ZYK_TEST(mmcif_chains_carry_their_identifier_as_label) {
    auto result = mmcif::from_mmcif(two_chains);
    EXPECT(result.has_value());
    if (!result || result->size() != 1) return;
    const TRC& trc = result->front();
    EXPECT(trc.chains.labeled == std::vector<std::uint32_t>({0, 1}));
    EXPECT(trc.chains.labels == std::vector<std::vector<std::string>>({{"A"}, {"B"}}));
    EXPECT(trc.chains.chains == std::vector<Chain>({{0, 1}, {2}}));
    EXPECT(!trc.residues.labeled && !trc.residues.labels);
    const Topology& t = trc.topology;
    EXPECT(t.schema_version == current_schema_version());
    EXPECT(t.connectivity.has_value() && t.connectivity->empty());
    EXPECT(!t.partial_charges && !t.stereochemistry && !t.velocities && !t.fragment_partial_charges &&
           !t.fragment_multiplicities);
    EXPECT(t.fragments.has_value() && t.fragments->size() == 3);
    EXPECT(trc.residues.insertion_codes == std::vector<std::string>({"", "", ""}));
    EXPECT(check(trc).has_value());
}

ZYK_TEST(mmcif_warnings_are_warning_events_of_the_mmcif_target) {
    Captured c;
    {
        log::Scope scope(log::Listener{log::Level::Warn, &capture, &c});
        auto result = mmcif::from_mmcif(two_chains);
        EXPECT(result.has_value());
    }
    EXPECT_EQ(c.events.size(), std::size_t(1));
    if (c.events.empty()) return;
    EXPECT(c.events[0].level == log::Level::Warn);
    EXPECT_EQ(c.events[0].target, "libzyk::convert::mmcif");
    EXPECT(c.events[0].file.find("mmcif") != std::string_view::npos);
    EXPECT_EQ(c.messages[0],
              "mmCIF: chain C: unable to determine first resolved residue while aligning _pdbx_poly_seq_scheme; "
              "skipping sequence-driven empty residue injection for this chain");
    // Nobody listening: nothing is produced.
    Captured quiet;
    {
        log::Scope scope(log::Listener{log::Level::Error, &capture, &quiet});
        (void)mmcif::from_mmcif(two_chains);
    }
    EXPECT(quiet.events.empty());
}
