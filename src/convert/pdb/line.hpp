// The fixed-column PDB record lines: one line of text <-> one typed record.
//
// Columns are byte positions; a line shorter than 80 characters reads as if padded with
// blanks. Ranges below are 0-based and half-open (columns 23-26 are 22-26), as messages
// print them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "element.hpp"
#include "log.hpp"

namespace zyk::pdb {

struct Error {
    enum class Kind : std::uint8_t {
        InvalidLineLength,
        InvalidLine,
        InvalidConnection,
        InvalidSymbol,
        ExpectedInt,
        ExpectedFloat,
        AtomChargesShouldZip,
        // A field boundary falls inside a multi-byte character.
        SplitCharacter,
    };
    Kind kind;
    std::uint64_t expected_length = 0;  // InvalidLineLength
    std::uint64_t found_length = 0;     // InvalidLineLength
    std::string expected{};             // InvalidLine
    std::string found{};                // InvalidLine; the symbol text of InvalidSymbol
    std::uint32_t atom = 0;             // InvalidConnection: the serial number
    std::uint32_t line = 0;             // 1-based line number
    std::uint32_t start = 0;            // field range
    std::uint32_t end = 0;

    static Error invalid_line_length(std::uint64_t expected, std::uint64_t found);
    static Error invalid_line(std::string expected, std::string found);
    static Error invalid_connection(std::uint32_t serial);
    static Error invalid_symbol(std::string text, std::uint32_t line);
    static Error expected_int(std::uint32_t line, std::size_t start, std::size_t end);
    static Error expected_float(std::uint32_t line, std::size_t start, std::size_t end);
    static Error atom_charges_should_zip();
    static Error split_character(std::uint32_t line, std::size_t start, std::size_t end);
};
std::string message(const Error& e);

// One ATOM or HETATM line.
struct Atom {
    std::uint32_t serial = 0;
    std::string name;
    std::optional<std::string> alt_loc;
    std::string res_name;
    std::string chain_id;
    std::int32_t res_seq = 0;
    std::optional<std::string> i_code;
    float x = 0, y = 0, z = 0;
    float occupancy = 0;
    float temp_factor = 0;
    std::optional<std::string> seg_id;
    Element element = Element::X;
    std::int32_t charge = 0;
    bool hetatm = false;

    friend bool operator==(const Atom&, const Atom&) = default;
};

// Blank insertion codes are stored as "~"; 0 stands for a number not given.
struct Helix {
    std::int32_t ser_num = 0;
    std::string helix_id;
    std::string init_res_name;
    std::string init_chain_id;
    std::int32_t init_seq_num = 0;
    std::string init_i_code;
    std::string end_res_name;
    std::string end_chain_id;
    std::int32_t end_seq_num = 0;
    std::string end_i_code;
    std::int32_t helix_class = 0;
    std::int32_t length = 0;

    friend bool operator==(const Helix&, const Helix&) = default;
};

struct Sheet {
    std::int32_t strand = 0;
    std::string sheet_id;
    std::int32_t num_strands = 0;
    std::string init_res_name;
    std::string init_chain_id;
    std::int32_t init_seq_num = 0;
    std::string init_i_code;
    std::string end_res_name;
    std::string end_chain_id;
    std::int32_t end_seq_num = 0;
    std::string end_i_code;
    std::int32_t sense = 0;
    std::string cur_atom;
    std::string cur_res_name;
    std::string cur_chain_id;
    std::int32_t cur_res_seq = 0;
    std::string cur_i_code;
    std::string prev_atom;
    std::string prev_res_name;
    std::string prev_chain_id;
    std::int32_t prev_res_seq = 0;
    std::string prev_i_code;

    friend bool operator==(const Sheet&, const Sheet&) = default;
};

struct Seqres {
    std::uint32_t ser_num = 0;
    std::string chain_id;
    std::uint32_t num_res = 0;
    std::vector<std::string> res_names;

    friend bool operator==(const Seqres&, const Seqres&) = default;
};

struct Dbref {
    std::string chain_id;
    std::int32_t seq_begin = 0;
    friend bool operator==(const Dbref&, const Dbref&) = default;
};

// The first serial is the atom, the others its bonded partners.
struct Conect {
    std::vector<std::uint32_t> serials;
    friend bool operator==(const Conect&, const Conect&) = default;
};

struct Ter {
    std::uint32_t serial = 0;
    std::string res_name;
    std::string chain_id;
    std::int32_t res_seq = 0;
    friend bool operator==(const Ter&, const Ter&) = default;
};

// Any record this library does not interpret, kept as text.
struct Other {
    std::string text;
    friend bool operator==(const Other&, const Other&) = default;
};

struct Model {
    friend bool operator==(const Model&, const Model&) = default;
};
struct Endmdl {
    friend bool operator==(const Endmdl&, const Endmdl&) = default;
};
struct End {
    friend bool operator==(const End&, const End&) = default;
};

// The record kinds, in the order of Line's alternatives.
enum class RecordKind : std::uint8_t { Seqres, Dbref, Helix, Sheet, Atom, Conect, Ter, Other, Model, Endmdl, End };

struct Line {
    using Value = std::variant<Seqres, Dbref, Helix, Sheet, Atom, Conect, Ter, Other, Model, Endmdl, End>;
    Value value;

    RecordKind kind() const { return static_cast<RecordKind>(value.index()); }
    friend bool operator==(const Line&, const Line&) = default;

    // `line` without its line terminator; `line_number` (1-based) goes into messages.
    static std::expected<Line, Error> try_from(std::string_view line, std::uint32_t line_number);
};

// The kind of record a line holds, from its length and its first six columns (HETATM lines
// are Atom). Fails exactly where Line::try_from fails before looking at any field.
std::expected<RecordKind, Error> record_kind(std::string_view line);

// Printing. The error is a plain message.
std::expected<std::string, std::string> try_to_string(const Line& line);
// Appends the line's text (without a line end) to `out`; on failure `out` is unchanged.
std::expected<void, std::string> append_line(std::string& out, const Line& line);
std::expected<void, std::string> append_atom(std::string& out, const Atom& atom);
void append_helix(std::string& out, const Helix& helix);
void append_sheet(std::string& out, const Sheet& sheet);
std::expected<std::string, std::string> try_to_string(const Atom& atom);
std::string to_string(const Helix& helix);
std::string to_string(const Sheet& sheet);

// ---- field level ----

// A line as the field parsers see it: the text as read, virtually padded with blanks to 80
// characters, and its number for messages.
struct PaddedLine {
    std::string_view text;
    std::uint32_t number = 0;
    // Whether the field parsers trace (debug events are being listened to); a reader
    // decides once per text.
    bool trace = log::enabled(log::Level::Debug);

    // Length in bytes of the padded line.
    std::size_t padded_size() const;
    // The padded line itself (80 characters or more).
    std::string padded() const;
    // The bytes of range [start, end) of the padded line, without the padding blanks.
    std::string_view raw(std::size_t start, std::size_t end) const;
};

// Emits the line, a caret marker under the range and the raw field text as three debug
// events; nothing is built unless the line is traced.
void trace_parser(const PaddedLine& line, std::size_t start, std::size_t end);

// Every parser traces, checks that the range does not cut a character, and trims Unicode
// white space from the field before reading it.
std::expected<std::string_view, Error> parse_str(const PaddedLine& line, std::size_t start, std::size_t end);
std::expected<std::optional<std::string_view>, Error> parse_opt_str(const PaddedLine& line, std::size_t start, std::size_t end);
std::expected<std::int32_t, Error> parse_i32(const PaddedLine& line, std::size_t start, std::size_t end);
std::expected<std::optional<std::int32_t>, Error> parse_opt_i32(const PaddedLine& line, std::size_t start, std::size_t end);
std::expected<std::uint32_t, Error> parse_u32(const PaddedLine& line, std::size_t start, std::size_t end);
std::expected<float, Error> parse_f32(const PaddedLine& line, std::size_t start, std::size_t end);
std::expected<Element, Error> parse_element(const PaddedLine& line, std::size_t start, std::size_t end);
// 0 when blank; "2+" is 2, "1-" is -1, "-1" is -1, "+1" and "1" are 1.
std::expected<std::int32_t, Error> parse_opt_charge(const PaddedLine& line, std::size_t start, std::size_t end);
std::string ins_code_or_tilde(std::string_view code);

// An ATOM or HETATM line as views into the line text; the reader copies what it keeps.
struct AtomFields {
    std::uint32_t serial = 0;
    std::string_view name;
    std::optional<std::string_view> alt_loc;
    std::string_view res_name;
    std::string_view chain_id;
    std::int32_t res_seq = 0;
    std::optional<std::string_view> i_code;
    float x = 0, y = 0, z = 0;
    float occupancy = 0;
    float temp_factor = 0;
    std::optional<std::string_view> seg_id;
    Element element = Element::X;
    std::int32_t charge = 0;
};
std::expected<void, Error> parse_atom_fields(const PaddedLine& line, AtomFields& out);
// Appends the serial numbers of a CONECT line to `out`.
std::expected<void, Error> parse_conect(const PaddedLine& line, std::vector<std::uint32_t>& out);

std::expected<Atom, Error> try_from_atom(const PaddedLine& line);
std::expected<Atom, Error> try_from_hetatm(const PaddedLine& line);
Ter try_from_ter(const PaddedLine& line);
std::expected<Conect, Error> try_from_conect(const PaddedLine& line);
std::expected<Helix, Error> try_from_helix(const PaddedLine& line);
std::expected<Sheet, Error> try_from_sheet(const PaddedLine& line);
std::expected<Seqres, Error> try_from_seqres(const PaddedLine& line);
std::expected<Dbref, Error> try_from_dbref(const PaddedLine& line);

}  // namespace zyk::pdb
