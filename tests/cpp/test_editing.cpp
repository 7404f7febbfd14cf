// Editing operations on records that the Python layer cannot build (geometry shorter than three
// values per atom: the views refuse it), the spatial grid's arithmetic edges, the companion
// operations called on their own, and the editing error texts.
#include <cmath>
#include <limits>
#include <random>

#include "harness.hpp"
#include "index_map.hpp"
#include "spatial.hpp"
#include "trc.hpp"

namespace {

using zyk::EditError;
using zyk::TopologyError;

zyk::TRC small_trc() {
    zyk::TRC t{zyk::make_topology({zyk::Element::C, zyk::Element::O, zyk::Element::N}, std::vector<float>(9, 0.0f)),
               {},
               {}};
    t.topology.fragments = std::vector<zyk::Fragment>{{0, 1}, {2}};
    t.residues.residues = {{0, 1}, {2}};
    t.residues.seqs = {"A", "B"};
    t.residues.seq_ns = {1, 2};
    t.residues.insertion_codes = {"", ""};
    t.chains.chains = {{0, 1}};
    return t;
}

bool brute(const std::vector<float>& sites, const float* p, float threshold) {
    for (std::size_t i = 0; i + 2 < sites.size(); i += 3) {
        if (threshold >= zyk::distance_f32(&sites[i], p)) return true;
    }
    return false;
}

}  // namespace

ZYK_TEST(short_geometry_is_refused_not_read) {
    zyk::TRC t = small_trc();
    t.topology.geometry.resize(4);
    auto sub = zyk::new_trc_from_residue_subset(t, std::vector<std::uint32_t>{1, 0});
    EXPECT(!sub);
    if (!sub) {
        EXPECT_EQ(zyk::message(sub.error()), std::string("geometry length does not symbol length * 3: 4 != 3 * 3"));
    }
    auto near = zyk::get_fragments_near_fragment(t.topology, 0, 5.0f);
    EXPECT(!near);
    if (!near) EXPECT(near.error().kind == TopologyError::Kind::InvalidGeometryLength);
    // replacing the coordinates mends the record
    std::vector<std::array<float, 3>> positions(3, {1.0f, 2.0f, 3.0f});
    auto fixed = zyk::with_geometry(t, positions);
    EXPECT(fixed && fixed->topology.geometry.size() == 9);
    // extend only appends
    zyk::TRC merged = t;
    EXPECT(zyk::extend(merged, small_trc()).has_value());
    EXPECT_EQ(merged.topology.geometry.size(), std::size_t(13));
}

ZYK_TEST(topology_subset_on_its_own_checks_atom_lists) {
    const zyk::TRC t = small_trc();
    auto out = zyk::new_topology_from_residue_subset(t.topology, {{0}, {2, 3}});
    EXPECT(!out);
    if (!out) EXPECT_EQ(zyk::message(out.error()), std::string("residue 1 contains atom 3, but there are only 3 atoms"));
    auto ok = zyk::new_topology_from_residue_subset(t.topology, {{2}, {1, 0}});
    EXPECT(ok);
    if (ok) {
        EXPECT(ok->fragments == (std::vector<zyk::Fragment>{{2, 1}, {0}}));
        EXPECT(ok->symbols == (std::vector<zyk::Element>{zyk::Element::N, zyk::Element::O, zyk::Element::C}));
    }
}

ZYK_TEST(chain_subset_on_its_own_takes_any_refs) {
    zyk::Chains c;
    c.chains = {{4000000000u, 7}, {7}};
    auto out = zyk::new_chains_from_residue_subset(c, std::vector<std::uint32_t>{7, 4000000000u, 4294967295u});
    EXPECT(out);
    if (out) EXPECT(out->chains == (std::vector<zyk::Chain>{{0, 1}, {0}}));
    auto res = zyk::new_residues_from_subset(small_trc().residues, std::vector<std::uint32_t>{2});
    EXPECT(!res);
    if (!res) EXPECT_EQ(zyk::message(res.error()), std::string("refs contains residue 2, but there are only 2 residues"));
}

ZYK_TEST(first_positions_dense_and_sparse) {
    const std::vector<std::uint32_t> keys{5, 3, 5, 4294967295u};
    const zyk::FirstPositions sparse(keys);
    EXPECT_EQ(sparse.find(5), 0u);
    EXPECT_EQ(sparse.find(3), 1u);
    EXPECT_EQ(sparse.find(4294967295u), 3u);
    EXPECT(!sparse.contains(4));
    const zyk::FirstPositions dense(keys, 6);
    EXPECT_EQ(dense.find(5), 0u);
    EXPECT(!dense.contains(4294967295u));
    EXPECT(!dense.contains(6));
}

ZYK_TEST(grid_agrees_with_brute_force) {
    std::mt19937 rng(12345);
    for (float scale : {1e-30f, 1e-20f, 1e-3f, 1.0f, 50.0f, 1e6f, 1e30f}) {
        std::normal_distribution<float> d(0.0f, scale);
        std::vector<float> sites(3 * 60);
        for (float& v : sites) v = d(rng);
        for (float threshold : {0.0f, scale * 1e-3f, scale * 0.3f, scale, scale * 10, 3e38f,
                                std::numeric_limits<float>::infinity(), -1.0f,
                                std::numeric_limits<float>::quiet_NaN()}) {
            const zyk::SiteGrid grid(sites, threshold);
            for (int q = 0; q < 400; ++q) {
                float p[3] = {d(rng), d(rng), d(rng)};
                if (q % 5 == 0) {  // exactly on or next to a site
                    const float* s = &sites[3 * std::size_t(q % 60)];
                    p[0] = s[0];
                    p[1] = std::nextafter(s[1], 1e38f);
                    p[2] = s[2];
                }
                if (grid.any_within(p) != brute(sites, p, threshold)) {
                    ::zyk_test::report(__FILE__, __LINE__,
                                       "grid and brute force differ at scale " + std::to_string(scale) +
                                           " threshold " + std::to_string(threshold));
                    return;
                }
            }
        }
    }
}

ZYK_TEST(grid_counts_squares_that_underflow_to_zero) {
    // 1e-23 squared is below the smallest subnormal float: the 32-bit distance is 0.
    const std::vector<float> sites{0.0f, 0.0f, 0.0f};
    const float p[3] = {1e-23f, 0.0f, 0.0f};
    EXPECT(brute(sites, p, 0.0f));
    EXPECT(zyk::SiteGrid(sites, 0.0f).any_within(p));
    const float far[3] = {1e-17f, 0.0f, 0.0f};
    EXPECT(!zyk::SiteGrid(sites, 0.0f).any_within(far));
}

ZYK_TEST(grid_with_odd_coordinates) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> sites{0, 0, 0, inf, 0, 0, nan, 1, 1};
    const float finite[3] = {1, 0, 0}, infinite[3] = {inf, 5, 0}, other_inf[3] = {-inf, 0, 0};
    EXPECT(zyk::SiteGrid(sites, 2.0f).any_within(finite));
    EXPECT(!zyk::SiteGrid(sites, 2.0f).any_within(infinite));
    EXPECT(zyk::SiteGrid(sites, inf).any_within(infinite));    // against the finite site: inf <= inf
    EXPECT(zyk::SiteGrid(sites, inf).any_within(other_inf));
    const std::vector<float> only_inf{inf, 0, 0};
    EXPECT(!zyk::SiteGrid(only_inf, inf).any_within(infinite));  // inf - inf is NaN
    EXPECT(zyk::SiteGrid(only_inf, inf).any_within(finite));
}

ZYK_TEST(grid_with_widely_spread_sites_uses_sparse_cells) {
    std::vector<float> sites;
    for (int i = 0; i < 20; ++i) {
        sites.insert(sites.end(), {float(i) * 1e5f, 0.0f, float(i % 3) * 1e5f});
    }
    const zyk::SiteGrid grid(sites, 1.0f);
    const float hit[3] = {7e5f + 0.5f, 0.5f, 1e5f}, miss[3] = {7e5f + 2.0f, 0.0f, 1e5f};
    EXPECT(grid.any_within(hit));
    EXPECT(!grid.any_within(miss));
}

ZYK_TEST(edit_error_messages) {
    using K = EditError::Kind;
    auto text = [](EditError e) { return zyk::message(e); };
    EditError topology{K::InvalidTopology};
    topology.topology = TopologyError{TopologyError::Kind::InvalidLabelsLength, 1, 3};
    EXPECT_EQ(text(topology), std::string("labels length does not match symbols length: 1 != 3"));
    EditError residues{K::InvalidResidues};
    residues.residues = zyk::ResiduesError{zyk::ResiduesError::Kind::InvalidSeqNLength, 0, 2};
    EXPECT_EQ(text(residues), std::string("seq_ns and residues have different lengths (0 != 2)"));
    EXPECT_EQ(text({K::ChainLabelsMissing}), std::string("labels are missing"));
    EXPECT_EQ(text({K::ChainLabelMismatch, 1, 2}), std::string("labeled and labels have different lengths"));
    EXPECT_EQ(text({K::ResidueOutOfRange, 5, 3}), std::string("refs contains residue 5, but there are only 3 residues"));
    EXPECT_EQ(text({K::ResidueAtomOutOfRange, 1, 9, 4}), std::string("residue 1 contains atom 9, but there are only 4 atoms"));
    EXPECT_EQ(text({K::FragmentAtomOutOfRange, 0, 5, 3}), std::string("fragment 0 contains atom 5, but there are only 3 atoms"));
    EXPECT_EQ(text({K::AtomInMultipleFragments, 1}), std::string("atom 1 appears in multiple fragments"));
    EXPECT_EQ(text({K::AtomNotInFragment, 2}), std::string("atom 2 is not in any fragment"));
    EXPECT_EQ(text({K::GeometryPositionCount, 1, 2}), std::string("geometry has 1 positions but TRC has 2 atoms"));
}
