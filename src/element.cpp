#include "element.hpp"

#include <array>

namespace zyk {
namespace {

// clang-format off
constexpr std::array<std::string_view, element_count> symbols = {
    "X", "H", "He", "Li", "Be", "B", "C", "N", "O", "F", "Ne", "Na", "Mg", "Al", "Si", "P", "S",
    "Cl", "Ar", "K", "Ca", "Sc", "Ti", "V", "Cr", "Mn", "Fe", "Co", "Ni", "Cu", "Zn", "Ga", "Ge",
    "As", "Se", "Br", "Kr", "Rb", "Sr", "Y", "Zr", "Nb", "Mo", "Tc", "Ru", "Rh", "Pd", "Ag", "Cd",
    "In", "Sn", "Sb", "Te", "I", "Xe", "Cs", "Ba", "La", "Ce", "Pr", "Nd", "Pm", "Sm", "Eu", "Gd",
    "Tb", "Dy", "Ho", "Er", "Tm", "Yb", "Lu", "Hf", "Ta", "W", "Re", "Os", "Ir", "Pt", "Au", "Hg",
    "Tl", "Pb", "Bi", "Po", "At", "Rn", "Fr", "Ra", "Ac", "Th", "Pa", "U", "Np", "Pu", "Am", "Cm",
    "Bk", "Cf", "Es", "Fm", "Md", "No", "Lr", "Rf", "Db", "Sg", "Bh", "Hs", "Mt", "Ds", "Rg", "Cn",
    "Nh", "Fl", "Mc", "Lv", "Ts", "Og",
};
// clang-format on

char upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

}  // namespace

std::string_view element_symbol(Element e) {
    const auto code = static_cast<std::size_t>(e);
    return code < element_count ? symbols[code] : std::string_view("X");
}

std::optional<Element> element_from_code(std::uint8_t code) {
    if (code >= element_count) return std::nullopt;
    return static_cast<Element>(code);
}

std::expected<Element, std::string> element_from_text(std::string_view text) {
    if (text.size() == 1 || text.size() == 2) {
        const char a = upper(text[0]);
        const char b = text.size() == 2 ? upper(text[1]) : '\0';
        for (std::size_t code = 0; code < element_count; ++code) {
            const std::string_view sym = symbols[code];
            if (sym.size() != text.size() || sym[0] != a) continue;
            if (sym.size() == 1 || upper(sym[1]) == b) return static_cast<Element>(code);
        }
    }
    return std::unexpected(std::string(text));
}

}  // namespace zyk
