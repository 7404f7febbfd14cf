// Chemical element codes: the value is the atomic number, X (0) names no element.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace zyk {

// clang-format off
enum class Element : std::uint8_t {
    X, H, He, Li, Be, B, C, N, O, F, Ne, Na, Mg, Al, Si, P, S, Cl, Ar, K, Ca, Sc, Ti, V, Cr, Mn,
    Fe, Co, Ni, Cu, Zn, Ga, Ge, As, Se, Br, Kr, Rb, Sr, Y, Zr, Nb, Mo, Tc, Ru, Rh, Pd, Ag, Cd, In,
    Sn, Sb, Te, I, Xe, Cs, Ba, La, Ce, Pr, Nd, Pm, Sm, Eu, Gd, Tb, Dy, Ho, Er, Tm, Yb, Lu, Hf, Ta,
    W, Re, Os, Ir, Pt, Au, Hg, Tl, Pb, Bi, Po, At, Rn, Fr, Ra, Ac, Th, Pa, U, Np, Pu, Am, Cm, Bk,
    Cf, Es, Fm, Md, No, Lr, Rf, Db, Sg, Bh, Hs, Mt, Ds, Rg, Cn, Nh, Fl, Mc, Lv, Ts, Og,
};
// clang-format on

inline constexpr std::size_t element_count = 119;

// The symbol as printed: "X", "H", "He", ..., "Og".
std::string_view element_symbol(Element e);

// Case-insensitive symbol (ASCII letters only, no trimming). The error carries the input.
std::expected<Element, std::string> element_from_text(std::string_view text);

// Code -> element for codes 0..118.
std::optional<Element> element_from_code(std::uint8_t code);

inline std::uint8_t element_code(Element e) { return static_cast<std::uint8_t>(e); }

}  // namespace zyk
