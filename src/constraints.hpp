// Groups of atoms held together during a minimisation or a docking run ("tethered" atoms).
#pragma once

#include <cstdint>
#include <vector>

namespace zyk {

// Each group lists atom numbers exactly as the source file wrote them (SDF files count from 1),
// so writing them back needs no conversion.
struct Constraints {
    std::vector<std::vector<std::uint32_t>> groups;

    bool empty() const { return groups.empty(); }
    friend bool operator==(const Constraints&, const Constraints&) = default;
};

}  // namespace zyk
