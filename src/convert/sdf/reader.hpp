// SDF reader: V2000 molfile records, each followed by its data items and a "$$$$" line.
//
// Reading is three separate steps so that each can be tested and reused on its own:
// `sdf_entries` cuts the text at the terminator lines, `parse_sdf_entry` runs the line state
// machine over one entry and `convert_molecule` turns the parsed molecule into a checked TRC
// plus its data items. `from_sdf` chains them over a whole text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "constraints.hpp"
#include "element.hpp"
#include "trc.hpp"

namespace zyk::sdf {

// Where the state machine is: what kind of line comes next. `index` counts atom or bond lines
// (0-based) and is not part of the printed form.
struct SDFParseState {
    enum class Kind : std::uint8_t { HeaderBlock, CountsLine, AtomBlock, BondBlock, PropertiesBlock, DataItems, Done };
    Kind kind = Kind::HeaderBlock;
    std::size_t index = 0;

    friend bool operator==(const SDFParseState&, const SDFParseState&) = default;
};
std::string_view name(const SDFParseState& state);

enum class SDFParseErrorType : std::uint8_t {
    HeaderLine,
    ParseSymbol,
    ParseNumAtoms,
    ParseNumBonds,
    ParseX,
    ParseY,
    ParseZ,
    ParseCharge,
    ParseAtomAtomMappingNumber,
    ParseBondAtom1,
    ParseBondAtom2,
    ParseBondType,
    BondTypeNotAllowed,
    ParsePropertyCHGCount,
    ParsePropertyCHGIndex,
    ParsePropertyCHGCharge,
    PropertyCHGCount,
    PropertyCHGIndex,
    ParseDataKey,
    UnsupportedFormat,
    ParseTerminator,
    LineTooShort,
};
std::string_view message(SDFParseErrorType ty);

struct SDFParseError {
    std::size_t line_number;  // 1-based; relative to the entry until from_sdf shifts it
    SDFParseState state;
    SDFParseErrorType ty;

    friend bool operator==(const SDFParseError&, const SDFParseError&) = default;
};
// "line 7 state AtomBlock: could not parse symbol"
std::string message(const SDFParseError& e);

struct Counts {
    std::size_t num_atoms = 0;
    std::size_t num_bonds = 0;
};

struct Atom {
    double x, y, z;
    Element element;
    std::int32_t formal_charge;
};

struct BondLine {
    std::size_t first;   // 0-based: the file's number minus one, wrapping (0 becomes all ones)
    std::size_t second;
    std::uint32_t type;  // 1..4
    std::int32_t stereo;
};

struct DataItem {
    std::string key;
    std::string value;

    friend bool operator==(const DataItem&, const DataItem&) = default;
};

struct Molecule {
    std::string name;  // first header line, untrimmed
    Counts counts;
    std::vector<Atom> atoms;
    std::vector<BondLine> bonds;
    std::vector<DataItem> data_items;
};

// What a record carries besides its structure.
struct DataBlocks {
    Constraints constraints;            // from the "TETHERED ATOMS" item
    std::optional<std::string> smiles;  // the first item whose key contains "SMILES"
    std::vector<DataItem> items;        // everything else, in file order

    friend bool operator==(const DataBlocks&, const DataBlocks&) = default;
};

struct ConversionError {
    enum class Kind : std::uint8_t { SDFParse, ConstraintsParse, InvalidTRC, UnexpectedBondOrder, UnexpectedStereochemistry };
    Kind kind;
    SDFParseError parse{0, {}, SDFParseErrorType::HeaderLine};  // SDFParse
    TRCError trc{TRCError::Kind::AtomsNotInResidues};            // InvalidTRC
    std::uint32_t bond_type = 0;                                 // UnexpectedBondOrder
    std::int32_t stereo = 0;                                     // UnexpectedStereochemistry
};
std::string message(const ConversionError& e);

// One entry: its text (terminator line included) and the line of the whole text it starts on.
struct Entry {
    std::size_t start_line;
    std::string_view text;
};

// Entries in file order; an error, if any, is the last element. The views point into `text`.
std::vector<std::expected<Entry, SDFParseError>> sdf_entries(std::string_view text);

// Line numbers of the error count from the entry's first line (1).
std::expected<Molecule, SDFParseError> parse_sdf_entry(std::string_view entry);

// The TRC of one molecule (checked) and its data items, if it has any besides a SMILES.
std::expected<std::pair<TRC, std::optional<DataBlocks>>, ConversionError> convert_molecule(Molecule&& molecule);

struct SDFRecords {
    std::vector<TRC> structures;
    std::vector<std::optional<DataBlocks>> data_blocks;  // one per structure
};

// Every record of the text, or the first failure: a missing final terminator first, then the
// first parse error, then the first conversion error. Line numbers count over the whole text.
std::expected<SDFRecords, ConversionError> from_sdf(std::string_view text);

}  // namespace zyk::sdf
