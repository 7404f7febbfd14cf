#include "convert/mmcif/syntax.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "text.hpp"

namespace zyk::mmcif {

// --- Loop storage ----------------------------------------------------------------------

namespace {

// Chunk c holds first_chunk_rows * 2^c rows.
constexpr std::size_t first_chunk_rows = 4;

struct ChunkPos {
    std::size_t chunk;
    std::size_t offset;  // row within the chunk
};

ChunkPos chunk_of(std::size_t row) {
    const std::size_t q = row / first_chunk_rows + 1;
    const std::size_t c = std::size_t(std::bit_width(q)) - 1;
    const std::size_t first_row = first_chunk_rows * ((std::size_t(1) << c) - 1);
    return {c, row - first_row};
}

}  // namespace

// A row slot: the address of the row's first line (two words), then one word per value. A
// slot whose address is null holds the index of the row in `wide_rows_` instead.
namespace {

std::size_t slot_words(std::size_t columns) { return 2 + columns; }

const char* slot_base(const std::uint32_t* slot) {
    const char* base;
    std::memcpy(&base, slot, sizeof base);
    return base;
}

}  // namespace

Row Loop::row(std::size_t i) const {
    const std::size_t n = columns.size();
    if (i >= rows_ || n == 0) return {};
    const ChunkPos p = chunk_of(i);
    const std::uint32_t* slot = chunks_[p.chunk].get() + p.offset * slot_words(n);
    const char* base = slot_base(slot);
    if (!base) return Row(std::span<const std::string_view>(wide_rows_[slot[2]].get(), n));
    return Row(base, slot + 2, n);
}

void Loop::push_row(std::span<const std::string_view> values) {
    const std::size_t n = columns.size();
    if (values.size() != n || n == 0) return;
    const ChunkPos p = chunk_of(rows_);
    if (p.chunk == chunks_.size()) {
        const std::size_t rows_in_chunk = first_chunk_rows << p.chunk;
        chunks_.push_back(std::make_unique_for_overwrite<std::uint32_t[]>(rows_in_chunk * slot_words(n)));
    }
    std::uint32_t* slot = chunks_[p.chunk].get() + p.offset * slot_words(n);
    // The row's values lie after its first value in the text unless some were assembled.
    const char* base = nullptr;
    for (std::string_view v : values) {
        if (!v.empty()) {
            base = v.data();
            break;
        }
    }
    bool packed = true;
    if (base) {
        for (std::size_t i = 0; i < n && packed; ++i) {
            const std::string_view v = values[i];
            if (v.empty()) {
                slot[2 + i] = 0;
                continue;
            }
            const auto offset = std::uintptr_t(v.data()) - std::uintptr_t(base);
            packed = v.data() >= base && offset <= 0xFFFF && v.size() <= 0xFFFF;
            slot[2 + i] = std::uint32_t(offset << 16) | std::uint32_t(v.size());
        }
    }
    if (!base || !packed) {
        auto wide = std::make_unique_for_overwrite<std::string_view[]>(n);
        std::copy(values.begin(), values.end(), wide.get());
        base = nullptr;
        slot[2] = std::uint32_t(wide_rows_.size());
        wide_rows_.push_back(std::move(wide));
    }
    std::memcpy(slot, &base, sizeof base);
    ++rows_;
}

// --- Lines -----------------------------------------------------------------------------

namespace {

bool starts_with(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// Lines split at line feeds, each trimmed; a carriage return before the feed goes with the
// ending (and would be trimmed anyway as white space).
class Lines {
public:
    explicit Lines(std::string_view text) : text_(text) {}

    bool at_end() const { return pos_ >= text_.size(); }
    // The next line, trimmed, without consuming it.
    std::string_view peek() {
        if (!peeked_) {
            const std::size_t nl = text_.find('\n', pos_);
            const std::size_t end = nl == std::string_view::npos ? text_.size() : nl;
            next_pos_ = nl == std::string_view::npos ? text_.size() : nl + 1;
            line_ = text::trim(text_.substr(pos_, end - pos_));
            peeked_ = true;
        }
        return line_;
    }
    void consume() {
        peek();
        pos_ = next_pos_;
        peeked_ = false;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t next_pos_ = 0;
    std::string_view line_;
    bool peeked_ = false;
};

bool ends_loop(std::string_view line) {
    if (line.empty()) return false;
    switch (line[0]) {
        case '_': return true;
        case 'l': return starts_with(line, "loop_");
        case 'd': return starts_with(line, "data_");
        default: return false;
    }
}

bool is_ascii_space(unsigned char c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }

// Byte length of the white space at s[i], 0 when s[i] is not white space.
std::size_t space_at(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) return is_ascii_space(c) ? 1 : 0;
    return text::white_space_at(s, i);
}

bool is_placeholder(std::string_view v) { return v.size() == 1 && (v[0] == '.' || v[0] == '?'); }

std::string_view placeholder_to_empty(std::string_view v) { return is_placeholder(v) ? std::string_view{} : v; }

}  // namespace

namespace {

// Byte classes of the tokeniser; bytes from 0x80 may start a multi-byte white-space character.
enum ByteClass : std::uint8_t { Plain, Semicolon, Space, Quote, High };

constexpr std::array<std::uint8_t, 256> byte_classes = [] {
    std::array<std::uint8_t, 256> t{};
    for (int c = 0x09; c <= 0x0D; ++c) t[std::size_t(c)] = Space;
    t[' '] = Space;
    t['\''] = Quote;
    t['"'] = Quote;
    t[';'] = Semicolon;
    for (int c = 0x80; c < 0x100; ++c) t[std::size_t(c)] = High;
    return t;
}();

ByteClass class_of(char c) { return ByteClass(byte_classes[static_cast<unsigned char>(c)]); }

// Inside a value a semicolon is an ordinary byte.
bool continues_value(char c) { return class_of(c) <= Semicolon; }

}  // namespace

void tokenize_loop_line(std::string_view line, std::vector<std::string_view>& out, std::deque<std::string>& owned) {
    const char* const p = line.data();
    const std::size_t n = line.size();
    std::size_t i = 0;
    while (i < n) {
        // Between values: skip white space.
        const ByteClass k = class_of(p[i]);
        if (k == Space) {
            ++i;
            continue;
        }
        if (k == High) {
            if (const std::size_t space = text::white_space_at(line, i)) {
                i += space;
                continue;
            }
        } else if (k == Semicolon) {  // with nothing collected: the rest of the line is one empty value
            out.emplace_back();
            return;
        }
        // A value: bytes up to white space or a quote.
        const std::size_t start = i;
        bool quote = false;
        if (k != Quote) {
            ++i;
            for (;;) {
                while (i < n && continues_value(p[i])) ++i;
                if (i == n) break;
                const ByteClass next = class_of(p[i]);
                if (next == High && !text::white_space_at(line, i)) {
                    ++i;
                    continue;
                }
                quote = next == Quote;
                break;
            }
        } else {
            quote = true;
        }
        if (!quote) {
            out.push_back(placeholder_to_empty(std::string_view(p + start, i - start)));
            continue;
        }
        // A quoted section: its text joins what was collected before the quote and ends the value.
        const std::size_t open = i + 1;
        const std::size_t close = std::min(line.find(p[i], open), n);
        const std::string_view quoted = line.substr(open, close - open);
        if (i > start) {
            std::string& s = owned.emplace_back(line.substr(start, i - start));
            s.append(quoted);
            out.push_back(placeholder_to_empty(s));
        } else if (!quoted.empty()) {
            out.push_back(placeholder_to_empty(quoted));
        }
        i = close < n ? close + 1 : n;
    }
}

namespace {

void store(DataBlock* block, std::string_view key, DataItem&& item) {
    if (!block) return;
    block->items.insert_or_assign(key, std::move(item));
}

// The loop starting after a "loop_" line; leaves the line that ends it unconsumed.
void read_loop(Lines& lines, DataBlock* block, std::deque<std::string>& owned) {
    Loop loop;
    while (!lines.at_end()) {
        const std::string_view line = lines.peek();
        if (line.empty() || line[0] != '_') break;
        loop.columns.push_back(line);
        lines.consume();
    }
    const std::size_t n = loop.columns.size();
    std::vector<std::string_view> row;
    row.reserve(n + 8);
    while (!lines.at_end()) {
        const std::string_view line = lines.peek();
        if (ends_loop(line)) break;
        lines.consume();
        if (line.empty() || line[0] == '#') continue;
        row.clear();
        tokenize_loop_line(line, row, owned);
        while (row.size() < n && !lines.at_end()) {
            const std::string_view more = lines.peek();
            if (ends_loop(more)) break;
            lines.consume();
            tokenize_loop_line(more, row, owned);
        }
        if (row.size() == n) loop.push_row(row);
    }
    if (n == 0) return;
    const std::string_view first = loop.columns.front();
    const std::string_view key = first.substr(0, first.find('.'));
    store(block, key, std::move(loop));
}

// Splits "tag value..." at the first white space; nothing when the tag stands alone.
void read_single_item(std::string_view line, DataBlock* block) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        const std::size_t space = space_at(line, i);
        if (space == 0) continue;
        store(block, line.substr(0, i), Value{text::trim(line.substr(i + space))});
        return;
    }
}

}  // namespace

Document parse_mmcif(std::string_view text) {
    Document doc;
    std::optional<DataBlock> current;
    Lines lines(text);
    while (!lines.at_end()) {
        const std::string_view line = lines.peek();
        lines.consume();
        if (line.empty() || line[0] == '#') continue;
        if (starts_with(line, "data_")) {
            if (current) doc.blocks.push_back(std::move(*current));
            current.emplace();
            current->name = line.substr(5);
        } else if (starts_with(line, "loop_")) {
            read_loop(lines, current ? &*current : nullptr, doc.owned);
        } else if (line[0] == '_') {
            read_single_item(line, current ? &*current : nullptr);
        }
    }
    if (current) doc.blocks.push_back(std::move(*current));
    return doc;
}

// --- Lookup ----------------------------------------------------------------------------

const Loop* get_loop_data(const DataBlock& block, std::string_view category) {
    const auto it = block.items.find(category);
    if (it == block.items.end()) return nullptr;
    return std::get_if<Loop>(&it->second);
}

std::optional<std::string_view> get_single_data(const DataBlock& block, std::string_view tag) {
    const auto it = block.items.find(tag);
    if (it == block.items.end()) return std::nullopt;
    if (const Value* v = std::get_if<Value>(&it->second)) return v->text;
    return std::nullopt;
}

std::optional<Loop> single_items_as_loop(const DataBlock& block, std::span<const std::string_view> tags) {
    std::vector<std::string_view> values;
    values.reserve(tags.size());
    bool any = false;
    for (std::string_view tag : tags) {
        const auto v = get_single_data(block, tag);
        any = any || v.has_value();
        values.push_back(v.value_or(std::string_view{}));
    }
    if (!any || tags.empty()) return std::nullopt;
    Loop loop;
    loop.columns.assign(tags.begin(), tags.end());
    loop.push_row(values);
    return loop;
}

Column find_column_index(std::span<const std::string_view> columns, std::string_view tag) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (columns[i] == tag) return i;
    }
    return std::nullopt;
}

// --- Row accessors ---------------------------------------------------------------------

namespace {

// The value at a column inside the row, missing or not.
std::optional<std::string_view> raw(Row row, Column column) {
    if (!column || *column >= row.size()) return std::nullopt;
    return row[*column];
}

}  // namespace

std::optional<std::string_view> row_str(Row row, Column column) {
    const auto v = raw(row, column);
    if (!v || v->empty() || is_placeholder(*v)) return std::nullopt;
    return v;
}

std::optional<std::string_view> row_str_fallback(Row row, Column column, Column fallback) {
    if (auto v = row_str(row, column)) return v;
    return row_str(row, fallback);
}

std::string_view row_string_or_default(Row row, Column column) { return raw(row, column).value_or(std::string_view{}); }

std::optional<std::int32_t> row_i32(Row row, Column column) {
    const auto v = row_str(row, column);
    if (!v) return std::nullopt;
    const auto n = text::parse_int<std::int32_t>(*v);
    if (!n) return std::nullopt;
    return *n;
}

std::optional<std::int32_t> row_i32_fallback(Row row, Column column, Column fallback) {
    if (auto v = row_i32(row, column)) return v;
    return row_i32(row, fallback);
}

std::int32_t row_i32_or(Row row, Column column, std::int32_t fallback) {
    const auto v = raw(row, column);
    if (!v) return fallback;
    return text::parse_int<std::int32_t>(*v).value_or(fallback);
}

std::uint32_t row_u32_or(Row row, Column column, std::uint32_t fallback) {
    const auto v = raw(row, column);
    if (!v) return fallback;
    return text::parse_int<std::uint32_t>(*v).value_or(fallback);
}

float row_f32_or(Row row, Column column, float fallback) {
    const auto v = raw(row, column);
    if (!v) return fallback;
    return text::parse_f32(*v).value_or(fallback);
}

std::optional<std::int32_t> parse_charge(std::string_view text) {
    text = text::trim(text);
    if (text.empty()) return 0;
    const char last = text.back();
    if (last == '+' || last == '-') {
        const auto n = text::parse_int<std::int32_t>(text.substr(0, text.size() - 1));
        if (!n) return std::nullopt;
        if (last == '+') return *n;
        if (*n == std::numeric_limits<std::int32_t>::min()) return std::nullopt;  // no positive counterpart
        return -*n;
    }
    const auto n = text::parse_int<std::int32_t>(text);
    if (!n) return std::nullopt;
    return *n;
}

std::string message(const MmCifError& e) {
    using K = MmCifError::Kind;
    switch (e.kind) {
        case K::InvalidFormat: return "invalid mmCIF format: " + e.text;
        case K::MissingField: return "missing required field: " + e.text;
        case K::InvalidElement: return "invalid element symbol: " + e.text;
        case K::Parse: return "parse error: " + e.text;
        case K::InvalidConnection: return "invalid connection for atom " + e.text;
        case K::ChargeMismatch: return "atom charges should zip with atoms";
    }
    return "mmCIF error";
}

}  // namespace zyk::mmcif
