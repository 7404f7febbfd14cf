#include "spatial.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace zyk {
namespace {

bool finite3(const float* p) { return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]); }

// Cell coordinates never exceed 2^20 per axis (see the cell size), so three fit in a key.
std::uint64_t cell_key(std::int64_t x, std::int64_t y, std::int64_t z) {
    return std::uint64_t(x) | (std::uint64_t(y) << 21) | (std::uint64_t(z) << 42);
}

}  // namespace

float distance_f32(const float* a, const float* b) {
    const float dx = a[0] - b[0];
    const float dy = a[1] - b[1];
    const float dz = a[2] - b[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

SiteGrid::SiteGrid(std::span<const float> sites, float threshold) : threshold_(threshold) {
    const std::size_t count = sites.size() / 3;
    if (!(threshold >= 0) || count == 0) {
        nothing_near_ = true;
        return;
    }
    infinite_ = std::isinf(threshold);

    std::vector<std::uint32_t> finite_ids;
    finite_ids.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const float* p = &sites[3 * i];
        if (finite3(p)) {
            finite_ids.push_back(std::uint32_t(i));
        } else {
            odd_.insert(odd_.end(), p, p + 3);
        }
    }
    if (finite_ids.empty()) return;
    for (int a = 0; a < 3; ++a) {
        min_[a] = max_[a] = sites[3 * finite_ids[0] + a];
    }
    for (std::uint32_t i : finite_ids) {
        for (int a = 0; a < 3; ++a) {
            min_[a] = std::min(min_[a], double(sites[3 * i + a]));
            max_[a] = std::max(max_[a], double(sites[3 * i + a]));
        }
    }
    if (infinite_) {
        // A finite point is near any finite site; only points with an infinite coordinate
        // need the sites themselves (brute force, see any_within).
        for (std::uint32_t i : finite_ids) finite_.insert(finite_.end(), &sites[3 * i], &sites[3 * i] + 3);
        return;
    }

    // A cell at least as wide as the threshold (with room for the rounding of the 32-bit
    // distance), so that a site farther than one cell away on some axis can never qualify.
    // The absolute floor keeps squared differences out of the subnormal range, where they
    // could round to zero; the extent bound keeps cell coordinates below 2^20.
    const double extent = std::max({max_[0] - min_[0], max_[1] - min_[1], max_[2] - min_[2]});
    cell_ = std::max({double(threshold) * (1 + 1e-4), 1e-9, extent / double(1 << 20)});
    double cells = 1;
    for (int a = 0; a < 3; ++a) {
        dims_[a] = std::int64_t(std::floor((max_[a] - min_[a]) / cell_)) + 1;
        cells *= double(dims_[a]);
    }
    dense_ = cells <= 8.0 * double(finite_ids.size()) + 4096;

    auto coord = [&](std::uint32_t i, int a) {
        const std::int64_t c = std::int64_t(std::floor((double(sites[3 * i + a]) - min_[a]) / cell_));
        return std::clamp<std::int64_t>(c, 0, dims_[a] - 1);
    };
    std::vector<std::uint64_t> keys(finite_ids.size());
    for (std::size_t k = 0; k < finite_ids.size(); ++k) {
        const std::uint32_t i = finite_ids[k];
        const std::int64_t x = coord(i, 0), y = coord(i, 1), z = coord(i, 2);
        keys[k] = dense_ ? std::uint64_t(x + dims_[0] * (y + dims_[1] * z)) : cell_key(x, y, z);
    }
    std::vector<std::uint32_t> order(finite_ids.size());
    std::iota(order.begin(), order.end(), 0u);
    if (dense_) {
        cell_start_.assign(std::size_t(cells) + 1, 0);
        for (std::uint64_t key : keys) ++cell_start_[key + 1];
        std::partial_sum(cell_start_.begin(), cell_start_.end(), cell_start_.begin());
        std::vector<std::uint32_t> next(cell_start_.begin(), cell_start_.end() - 1);
        for (std::size_t k = 0; k < keys.size(); ++k) order[next[keys[k]]++] = std::uint32_t(k);
    } else {
        std::stable_sort(order.begin(), order.end(), [&](std::uint32_t l, std::uint32_t r) { return keys[l] < keys[r]; });
        for (std::size_t p = 0; p < order.size();) {
            std::size_t q = p;
            while (q < order.size() && keys[order[q]] == keys[order[p]]) ++q;
            sparse_.emplace(keys[order[p]], std::pair{std::uint32_t(p), std::uint32_t(q)});
            p = q;
        }
    }
    finite_.resize(3 * order.size());
    for (std::size_t p = 0; p < order.size(); ++p) {
        const float* s = &sites[3 * finite_ids[order[p]]];
        std::copy(s, s + 3, &finite_[3 * p]);
    }
}

bool SiteGrid::brute_force(const float* point, const std::vector<float>& sites) const {
    for (std::size_t i = 0; i + 2 < sites.size(); i += 3) {
        if (threshold_ >= distance_f32(&sites[i], point)) return true;
    }
    return false;
}

bool SiteGrid::any_within(const float* point) const {
    if (nothing_near_) return false;
    if (infinite_) {
        // Every distance that is not NaN qualifies; between finite points it never is NaN.
        if (finite3(point) && !finite_.empty()) return true;
        return brute_force(point, finite_) || brute_force(point, odd_);
    }
    // With a finite threshold an infinite or NaN difference never qualifies.
    if (!finite3(point) || finite_.empty()) return false;

    std::int64_t lo[3], hi[3];
    for (int a = 0; a < 3; ++a) {
        const double p = point[a];
        if (p < min_[a] - cell_ || p > max_[a] + cell_) return false;
        const std::int64_t c = std::int64_t(std::floor((p - min_[a]) / cell_));
        lo[a] = std::max<std::int64_t>(c - 1, 0);
        hi[a] = std::min<std::int64_t>(c + 1, dims_[a] - 1);
    }
    for (std::int64_t z = lo[2]; z <= hi[2]; ++z) {
        for (std::int64_t y = lo[1]; y <= hi[1]; ++y) {
            std::uint32_t begin, end;
            if (dense_) {
                const std::uint64_t row = std::uint64_t(dims_[0] * (y + dims_[1] * z));
                begin = cell_start_[row + std::uint64_t(lo[0])];
                end = cell_start_[row + std::uint64_t(hi[0]) + 1];
                for (std::uint32_t s = begin; s < end; ++s) {
                    if (threshold_ >= distance_f32(&finite_[3 * std::size_t(s)], point)) return true;
                }
            } else {
                for (std::int64_t x = lo[0]; x <= hi[0]; ++x) {
                    const auto it = sparse_.find(cell_key(x, y, z));
                    if (it == sparse_.end()) continue;
                    for (std::uint32_t s = it->second.first; s < it->second.second; ++s) {
                        if (threshold_ >= distance_f32(&finite_[3 * std::size_t(s)], point)) return true;
                    }
                }
            }
        }
    }
    return false;
}

}  // namespace zyk
