#include "bond.hpp"

namespace zyk {

std::string_view bond_order_name(BondOrder o) {
    switch (o) {
        case BondOrder::Unspecified: return "Unspecified";
        case BondOrder::Single: return "Single";
        case BondOrder::Double: return "Double";
        case BondOrder::Triple: return "Triple";
        case BondOrder::Quadruple: return "Quadruple";
        case BondOrder::Quintuple: return "Quintuple";
        case BondOrder::Sextuple: return "Sextuple";
        case BondOrder::FiveAndAHalf: return "FiveAndAHalf";
        case BondOrder::FourAndAHalf: return "FourAndAHalf";
        case BondOrder::ThreeAndAHalf: return "ThreeAndAHalf";
        case BondOrder::TwoAndAHalf: return "TwoAndAHalf";
        case BondOrder::OneAndAHalf: return "OneAndAHalf";
        case BondOrder::Ring: return "Ring";
    }
    return "Unspecified";
}

std::optional<Stereochemistry> stereochemistry_from_code(std::int8_t code) {
    for (std::int8_t c : stereochemistry_codes) {
        if (c == code) return static_cast<Stereochemistry>(code);
    }
    return std::nullopt;
}

std::string_view stereochemistry_name(Stereochemistry s) {
    switch (s) {
        case Stereochemistry::NONE: return "NONE";
        case Stereochemistry::Up: return "Up";
        case Stereochemistry::Down: return "Down";
        case Stereochemistry::Either: return "Either";
        case Stereochemistry::CisOrTrans: return "CisOrTrans";
    }
    return "NONE";
}

}  // namespace zyk
