// The text layer of the mmCIF reader: data blocks made of single values and loops, and the
// small typed accessors the readers above use to pull values out of loop rows.
//
// The layer never fails: lines it does not understand are skipped and malformed loop rows
// are dropped. It is deliberately not a full CIF parser (no multi-line text fields, no save
// frames). Values are slices of the input text, so a `Document` must not outlive the text it
// was parsed from; the few values that are not contiguous in the input are owned by the
// document.
#pragma once

#include <cstdint>
#include <deque>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

namespace zyk::mmcif {

// One loop row: exactly one value per column. "." and "?" are stored as empty text.
class Row {
public:
    Row() = default;
    // A row over caller-owned values.
    Row(std::span<const std::string_view> values) : wide_(values.data()), size_(values.size()) {}

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::string_view operator[](std::size_t i) const {
        if (wide_) return wide_[i];
        const std::uint32_t v = packed_[i];
        return {base_ + (v >> 16), v & 0xFFFFu};
    }

private:
    friend class Loop;
    Row(const char* base, const std::uint32_t* packed, std::size_t size) : base_(base), packed_(packed), size_(size) {}

    const char* base_ = nullptr;
    const std::uint32_t* packed_ = nullptr;
    const std::string_view* wide_ = nullptr;
    std::size_t size_ = 0;
};

// A position in a loop's columns, or absent when the loop has no such column.
using Column = std::optional<std::size_t>;

// A table. A row is stored as the address of its first line and, per value, a 16-bit offset
// from there and a 16-bit length (rows that do not fit that are kept as views); rows live in
// chunks of doubling size, so that a loop of a million rows is built in little memory and
// without ever copying the rows already read.
class Loop {
public:
    std::vector<std::string_view> columns;

    std::size_t row_count() const { return rows_; }
    Row row(std::size_t i) const;
    // Appends one row; `values` must hold exactly `columns.size()` entries.
    void push_row(std::span<const std::string_view> values);

private:
    std::vector<std::unique_ptr<std::uint32_t[]>> chunks_;
    std::vector<std::unique_ptr<std::string_view[]>> wide_rows_;
    std::size_t rows_ = 0;
};

// A single value: the text after the tag, trimmed, quotes and "." / "?" kept as written.
struct Value {
    std::string_view text;
};

using DataItem = std::variant<Value, Loop>;

struct DataBlock {
    std::string_view name;  // what follows "data_"
    // Single values under their full tag, loops under their category ("_atom_site").
    std::unordered_map<std::string_view, DataItem> items;
};

struct Document {
    std::vector<DataBlock> blocks;
    // Values assembled from pieces of a line (letters before a quoted section).
    std::deque<std::string> owned;
};

// The blocks of `text` in file order; `text` must outlive the result.
Document parse_mmcif(std::string_view text);

// Splits one (trimmed) line of loop values, appending them to `out`; assembled values go
// to `owned`.
void tokenize_loop_line(std::string_view line, std::vector<std::string_view>& out, std::deque<std::string>& owned);

// The loop stored under a category key, or null when it is missing or a single value.
const Loop* get_loop_data(const DataBlock& block, std::string_view category);
// The single value stored under a full tag, raw; nothing when missing or a loop.
std::optional<std::string_view> get_single_data(const DataBlock& block, std::string_view tag);
// A category written as single items instead of a loop: one row holding, for each of `tags`,
// its single value (empty when absent). Nothing when none of the tags has a single value.
std::optional<Loop> single_items_as_loop(const DataBlock& block, std::span<const std::string_view> tags);

// First column whose tag equals `tag` byte for byte.
Column find_column_index(std::span<const std::string_view> columns, std::string_view tag);

// Row accessors. A value is missing when the column is absent or beyond the row, or the
// value is empty, "?" or ".".
std::optional<std::string_view> row_str(Row row, Column column);
std::optional<std::string_view> row_str_fallback(Row row, Column column, Column fallback);
std::string_view row_string_or_default(Row row, Column column);
std::optional<std::int32_t> row_i32(Row row, Column column);
std::optional<std::int32_t> row_i32_fallback(Row row, Column column, Column fallback);
std::int32_t row_i32_or(Row row, Column column, std::int32_t fallback);
std::uint32_t row_u32_or(Row row, Column column, std::uint32_t fallback);
float row_f32_or(Row row, Column column, float fallback);

// A formal charge as written in atom sites: "", "1", "+1", "-1", "2+", "2-". Empty text is 0;
// anything else that does not parse gives nothing.
std::optional<std::int32_t> parse_charge(std::string_view text);

struct MmCifError {
    enum class Kind : std::uint8_t { InvalidFormat, MissingField, InvalidElement, Parse, InvalidConnection, ChargeMismatch };
    Kind kind;
    std::string text;
};
std::string message(const MmCifError& e);

}  // namespace zyk::mmcif
