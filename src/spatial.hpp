// A uniform grid over a set of sites (for example the atoms of a ligand) that answers "is any
// site within `threshold` of this point?" in constant time for real structures, so that a query
// against every atom of a large structure stays linear in its atom count.
#pragma once

#include <cstdint>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zyk {

// The distance of the fragment-neighbourhood query: summed squared differences and the square
// root, all in 32-bit floating point.
float distance_f32(const float* a, const float* b);

class SiteGrid {
public:
    // `sites`: x, y, z per site. A negative or not-a-number threshold makes nothing near.
    SiteGrid(std::span<const float> sites, float threshold);

    // True when some site s has threshold >= distance_f32(s, point): exactly the brute-force
    // answer, the grid only skips sites that cannot qualify.
    bool any_within(const float* point) const;

private:
    bool brute_force(const float* point, const std::vector<float>& sites) const;

    float threshold_;
    bool nothing_near_ = false;
    bool infinite_ = false;
    std::vector<float> finite_;  // sites with finite coordinates, in cell order
    std::vector<float> odd_;     // sites with an infinite or NaN coordinate
    double min_[3] = {0, 0, 0};
    double max_[3] = {0, 0, 0};
    double cell_ = 1;
    std::int64_t dims_[3] = {1, 1, 1};
    bool dense_ = true;
    std::vector<std::uint32_t> cell_start_;                                    // dense: cells + 1 offsets
    std::unordered_map<std::uint64_t, std::pair<std::uint32_t, std::uint32_t>> sparse_;  // cell -> [begin, end)
};

}  // namespace zyk
