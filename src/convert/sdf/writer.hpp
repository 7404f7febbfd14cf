// SDF writer: one V2000 record per structure, with its data items and the "$$$$" line.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>

#include "bond.hpp"
#include "convert/sdf/reader.hpp"
#include "trc.hpp"

namespace zyk::sdf {

struct SDFWriteErrorType {
    enum class Kind : std::uint8_t { BadTRC, ChargeFormat, MultipleResidues, UnsupportedBondOrder };
    Kind kind;
    TRCError trc{TRCError::Kind::AtomsNotInResidues};  // BadTRC
    BondOrder order = BondOrder::Unspecified;          // UnsupportedBondOrder
};
// "bad TRC: InvalidTopology(InvalidGeometryLength(7, 2))", "could not format charge", ...
std::string message(const SDFWriteErrorType& e);

// The variant name with its data, as in "ResidueNotInChain(ResidueRef(3))".
std::string debug_form(const TopologyError& e);
std::string debug_form(const ResiduesError& e);
std::string debug_form(const TRCError& e);

// Appends one record per position below the shorter of the two lists; data_blocks[i] belongs
// to trcs[i]. On failure the records already written stay in `output`, followed by the
// partly written failing record.
std::expected<void, SDFWriteErrorType> to_sdf(std::string& output, std::span<const TRC> trcs,
                                              std::span<const std::optional<DataBlocks>> data_blocks);

}  // namespace zyk::sdf
