#include "chain.hpp"

namespace zyk {

std::optional<HelixClass> helix_class_from_code(std::uint8_t code) {
    if (code < 1 || code > 10) return std::nullopt;
    return static_cast<HelixClass>(code);
}

std::string_view helix_class_name(HelixClass c) {
    switch (c) {
        case HelixClass::RightHandedAlpha: return "RightHandedAlpha";
        case HelixClass::RightHandedOmega: return "RightHandedOmega";
        case HelixClass::RightHandedPi: return "RightHandedPi";
        case HelixClass::RightHandedGamma: return "RightHandedGamma";
        case HelixClass::RightHanded: return "RightHanded";
        case HelixClass::LeftHandedAlpha: return "LeftHandedAlpha";
        case HelixClass::LeftHandedOmega: return "LeftHandedOmega";
        case HelixClass::LeftHandedGamma: return "LeftHandedGamma";
        case HelixClass::Ribbon27: return "Ribbon27";
        case HelixClass::Polyproline: return "Polyproline";
    }
    return "RightHandedAlpha";
}

std::optional<StrandSense> strand_sense_from_code(std::uint8_t code) {
    if (code == 1 || code == 2 || code == 255) return static_cast<StrandSense>(code);
    return std::nullopt;
}

std::string_view strand_sense_name(StrandSense s) {
    switch (s) {
        case StrandSense::First: return "First";
        case StrandSense::Parallel: return "Parallel";
        case StrandSense::AntiParallel: return "AntiParallel";
    }
    return "First";
}

void AlphaHelices::push(std::string helix_id, std::uint32_t chain, std::uint32_t start, std::uint32_t end,
                        std::optional<HelixClass> cls, std::optional<std::uint32_t> length) {
    helix_ids.push_back(std::move(helix_id));
    chain_refs.push_back(chain);
    start_residues.push_back(start);
    end_residues.push_back(end);
    classes.push_back(cls);
    lengths.push_back(length);
}

void BetaSheets::push(std::string sheet_id, std::string strand_id, std::optional<std::uint32_t> ordinal,
                      std::optional<std::uint32_t> strand_count, std::uint32_t chain, std::uint32_t start,
                      std::uint32_t end, std::optional<StrandSense> sense) {
    sheet_ids.push_back(std::move(sheet_id));
    strand_ids.push_back(std::move(strand_id));
    strand_ordinals.push_back(ordinal);
    num_strands.push_back(strand_count);
    chain_refs.push_back(chain);
    start_residues.push_back(start);
    end_residues.push_back(end);
    senses.push_back(sense);
}

}  // namespace zyk
