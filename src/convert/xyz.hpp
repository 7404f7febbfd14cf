// XYZ text: an atom count, a comment line, then one "symbol x y z" line per atom. Only the
// atom part of a structure goes in and out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "topology.hpp"

namespace zyk::xyz {

struct Error {
    enum class Kind : std::uint8_t { ParseAtomCount, MissingComment, MissingAtomLine, ParseAtomLine };
    Kind kind;
    std::string text;  // the underlying failure (empty for MissingAtomLine)
};
std::string message(const Error& e);

// A source of text lines without their line feeds.
class LineSource {
public:
    virtual ~LineSource() = default;
    // The next line, or nothing at the end of the text.
    virtual std::optional<std::string_view> next_line() = 0;
    // An upper bound on the bytes still to come; bounds what the reader reserves.
    virtual std::size_t remaining_bytes() const = 0;
};

// The lines of an in-memory text, split at line feeds.
class StringLines final : public LineSource {
public:
    explicit StringLines(std::string_view text) : rest_(text) {}
    std::optional<std::string_view> next_line() override;
    std::size_t remaining_bytes() const override { return rest_.size(); }

private:
    std::string_view rest_;
    bool done_ = false;
};

// Reads the first frame; everything after its last atom line is ignored.
std::expected<Topology, Error> read_xyz(LineSource& lines);
std::expected<Topology, Error> from_xyz(std::string_view contents);

struct WriteError {
    std::string text;
};
inline const std::string& message(const WriteError& e) { return e.text; }

// One frame: count, the comment "zyk molecule", then the atoms; no final line feed.
std::expected<std::string, WriteError> to_xyz(const Topology& topology);

}  // namespace zyk::xyz
