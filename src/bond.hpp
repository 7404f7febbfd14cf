// Bond orders, stereochemistry flags and the Bond record.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace zyk {

enum class BondOrder : std::uint8_t {
    Unspecified = 0,
    Single = 1,
    Double = 2,
    Triple = 3,
    Quadruple = 4,
    Quintuple = 5,
    Sextuple = 6,
    FiveAndAHalf = 250,
    FourAndAHalf = 251,
    ThreeAndAHalf = 252,
    TwoAndAHalf = 253,
    OneAndAHalf = 254,
    Ring = 255,
};

// The thirteen codes in declaration order.
inline constexpr std::uint8_t bond_order_codes[] = {0, 1, 2, 3, 4, 5, 6, 250, 251, 252, 253, 254, 255};

inline bool is_bond_order_code(std::uint8_t b) { return b <= 6 || b >= 250; }

// Defined only for the thirteen codes: callers validate first (see is_bond_order_code).
inline BondOrder bond_order_from_byte(std::uint8_t b) { return static_cast<BondOrder>(b); }
inline std::optional<BondOrder> bond_order_try_from_byte(std::uint8_t b) {
    if (!is_bond_order_code(b)) return std::nullopt;
    return static_cast<BondOrder>(b);
}
inline std::uint8_t bond_order_code(BondOrder o) { return static_cast<std::uint8_t>(o); }
std::string_view bond_order_name(BondOrder o);

enum class Stereochemistry : std::int8_t {
    NONE = 0,
    Up = 1,
    Down = -1,
    Either = 2,
    CisOrTrans = 3,
};

inline constexpr std::int8_t stereochemistry_codes[] = {0, 1, -1, 2, 3};
std::optional<Stereochemistry> stereochemistry_from_code(std::int8_t code);
std::string_view stereochemistry_name(Stereochemistry s);
inline std::int8_t stereochemistry_code(Stereochemistry s) { return static_cast<std::int8_t>(s); }

// An undirected bond, stored with its atoms in the order supplied.
struct Bond {
    std::uint32_t first;   // atom index
    std::uint32_t second;  // atom index
    BondOrder order;

    friend bool operator==(const Bond&, const Bond&) = default;
};

}  // namespace zyk
