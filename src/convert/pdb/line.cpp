#include "convert/pdb/line.hpp"

#include <array>
#include <cstring>

#include "log.hpp"
#include "text.hpp"

namespace zyk::pdb {

// ---- errors ----

Error Error::invalid_line_length(std::uint64_t expected, std::uint64_t found) {
    Error e{Kind::InvalidLineLength};
    e.expected_length = expected;
    e.found_length = found;
    return e;
}

Error Error::invalid_line(std::string expected, std::string found) {
    Error e{Kind::InvalidLine};
    e.expected = std::move(expected);
    e.found = std::move(found);
    return e;
}

Error Error::invalid_connection(std::uint32_t serial) {
    Error e{Kind::InvalidConnection};
    e.atom = serial;
    return e;
}

Error Error::invalid_symbol(std::string text, std::uint32_t line) {
    Error e{Kind::InvalidSymbol};
    e.found = std::move(text);
    e.line = line;
    return e;
}

namespace {
Error ranged(Error::Kind kind, std::uint32_t line, std::size_t start, std::size_t end) {
    Error e{kind};
    e.line = line;
    e.start = std::uint32_t(start);
    e.end = std::uint32_t(end);
    return e;
}
}  // namespace

Error Error::expected_int(std::uint32_t line, std::size_t start, std::size_t end) {
    return ranged(Kind::ExpectedInt, line, start, end);
}
Error Error::expected_float(std::uint32_t line, std::size_t start, std::size_t end) {
    return ranged(Kind::ExpectedFloat, line, start, end);
}
Error Error::atom_charges_should_zip() { return Error{Kind::AtomChargesShouldZip}; }
Error Error::split_character(std::uint32_t line, std::size_t start, std::size_t end) {
    return ranged(Kind::SplitCharacter, line, start, end);
}

std::string message(const Error& e) {
    auto at = [&] { return std::to_string(e.line) + ":" + std::to_string(e.start) + "-" + std::to_string(e.end); };
    switch (e.kind) {
        case Error::Kind::InvalidLineLength:
            return "invalid line length, expected '> " + std::to_string(e.expected_length) + "', found '" +
                   std::to_string(e.found_length) + "'";
        case Error::Kind::InvalidLine: return "invalid line, expected '" + e.expected + "', found '" + e.found + "'";
        case Error::Kind::InvalidConnection:
            return "invalid connection for atom index " + std::to_string(e.atom) +
                   ", references and atom that does not exist";
        case Error::Kind::InvalidSymbol: return "invalid symbol " + e.found;
        case Error::Kind::ExpectedInt: return "expected int at " + at();
        case Error::Kind::ExpectedFloat: return "expected float at " + at();
        case Error::Kind::AtomChargesShouldZip: return "atom charges should zip with atoms";
        case Error::Kind::SplitCharacter: return "non-ASCII character across field boundary at " + at();
    }
    return "invalid PDB text";
}

// ---- field level ----

namespace {

constexpr std::size_t line_width = 80;

bool is_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
bool is_ascii_blank(unsigned char b) { return b == 0x20 || (b >= 0x09 && b <= 0x0D); }

// Unicode trimming, with ASCII blanks stripped inline first: fixed-column text is ASCII, and
// whenever a byte beyond ASCII is met the general rule decides.
[[gnu::always_inline]] inline std::string_view trim_field(std::string_view f) {
    std::size_t b = 0, e = f.size();
    while (b < e && is_ascii_blank(static_cast<unsigned char>(f[b]))) ++b;
    while (e > b && is_ascii_blank(static_cast<unsigned char>(f[e - 1]))) --e;
    const std::string_view kept(f.data() + b, e - b);
    if (b < e && (static_cast<unsigned char>(f[b]) >= 0x80 || static_cast<unsigned char>(f[e - 1]) >= 0x80)) {
        return text::trim(kept);
    }
    return kept;
}

// Element symbols seen in columns 77-78 are one or two ASCII letters; memoise the symbol
// parser's answer for each such pair (0 = not an element, else code + 1).
std::optional<Element> element_from_letters(std::string_view s) {
    static const std::array<std::uint8_t, 27 * 27> table = [] {
        std::array<std::uint8_t, 27 * 27> t{};
        for (int a = 0; a < 26; ++a) {
            for (int b = 0; b <= 26; ++b) {
                char buf[2] = {char('A' + a), char('A' + b)};
                auto e = element_from_text(std::string_view(buf, b == 26 ? 1 : 2));
                t[std::size_t(a * 27 + b)] = e ? std::uint8_t(element_code(*e) + 1) : 0;
            }
        }
        return t;
    }();
    auto letter = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a';
        return -1;
    };
    if (s.empty() || s.size() > 2) return std::nullopt;
    const int a = letter(s[0]);
    const int b = s.size() == 2 ? letter(s[1]) : 26;
    if (a < 0 || b < 0) return std::nullopt;
    const std::uint8_t v = table[std::size_t(a * 27 + b)];
    if (v == 0) return std::nullopt;
    return static_cast<Element>(v - 1);
}

// Reads the fields of one line in order. Each read traces, checks that the range does not cut
// a character and trims; the first failure is kept and every later read is a no-op, so that a
// record parser reads straight through and looks at `ok()` once.
//
// A `Plain` reader is for lines known to be untraced, at least 80 bytes long and ASCII in
// those 80 columns (and not continued into column 81): no field there can cut a character or
// reach past the end, so those checks are skipped. Fields must lie within the 80 columns.
template <bool Plain = false>
class FieldReader {
public:
    explicit FieldReader(const PaddedLine& line) : line_(line) {}

    bool ok() const { return !error_; }
    Error take_error() { return std::move(*error_); }

    [[gnu::always_inline]] std::string_view str(std::size_t start, std::size_t end) {
        std::string_view f;
        (void)begin(start, end, f);
        return f;
    }
    [[gnu::always_inline]] std::optional<std::string_view> opt_str(std::size_t start, std::size_t end) {
        std::string_view f;
        if (!begin(start, end, f) || f.empty()) return std::nullopt;
        return f;
    }
    template <class T>
    [[gnu::always_inline]] T integer(std::size_t start, std::size_t end) {
        std::string_view f;
        if (!begin(start, end, f)) return 0;
        return number<T>(f, start, end);
    }
    std::optional<std::int32_t> opt_i32(std::size_t start, std::size_t end) {
        std::string_view f;
        if (!begin(start, end, f) || f.empty()) return std::nullopt;
        const std::int32_t v = number<std::int32_t>(f, start, end);
        if (error_) return std::nullopt;
        return v;
    }
    [[gnu::always_inline]] float real(std::size_t start, std::size_t end) {
        std::string_view f;
        if (!begin(start, end, f)) return 0;
        const auto v = text::parse_f32(f);
        if (!v) [[unlikely]] {
            error_ = Error::expected_float(line_.number, start, end);
            return 0;
        }
        return *v;
    }
    [[gnu::always_inline]] Element element(std::size_t start, std::size_t end) {
        std::string_view f;
        if (!begin(start, end, f)) return Element::X;
        if (auto e = element_from_letters(f)) return *e;
        error_ = Error::invalid_symbol(std::string(f), line_.number);
        return Element::X;
    }
    [[gnu::always_inline]] std::int32_t charge(std::size_t start, std::size_t end) {
        std::string_view f;
        if (!begin(start, end, f) || f.empty()) return 0;
        const char last = f.back();
        if (last != '+' && last != '-') return number<std::int32_t>(f, start, end);
        const auto v = text::parse_int<std::int32_t>(f.substr(0, f.size() - 1));
        if (!v || (last == '-' && *v == INT32_MIN)) {
            error_ = Error::expected_int(line_.number, start, end);
            return 0;
        }
        return last == '-' ? -*v : *v;
    }

private:
    [[gnu::always_inline]] bool begin(std::size_t start, std::size_t end, std::string_view& f) {
        if (error_) [[unlikely]] return false;
        if constexpr (Plain) {
            // Eight bytes are readable from any field start up to column 73: count the leading
            // blanks at once (their number varies with a number's magnitude, so a loop over
            // them mispredicts).
            const char* const t = line_.text.data();
            if (start + 8 <= line_width) {
                std::uint64_t w;
                std::memcpy(&w, t + start, 8);
                w ^= 0x2020202020202020ULL;  // blanks become zero bytes; the first byte is the lowest
                const std::size_t blanks = w == 0 ? 8 : std::size_t(__builtin_ctzll(w)) / 8;
                start += blanks < end - start ? blanks : end - start;
            }
            f = trim_field(std::string_view(t + start, end - start));
            return true;
        }
        if (line_.trace) [[unlikely]] trace_parser(line_, start, end);
        const std::string_view t = line_.text;
        if ((start < t.size() && is_continuation(t[start])) || (end < t.size() && is_continuation(t[end]))) [[unlikely]] {
            error_ = Error::split_character(line_.number, start, end);
            return false;
        }
        const std::size_t s = start < t.size() ? start : t.size();
        const std::size_t e = end < t.size() ? end : t.size();
        f = trim_field(std::string_view(t.data() + s, e > s ? e - s : 0));
        return true;
    }
    template <class T>
    T number(std::string_view f, std::size_t start, std::size_t end) {
        const auto v = text::parse_int<T>(f);
        if (!v) [[unlikely]] {
            error_ = Error::expected_int(line_.number, start, end);
            return 0;
        }
        return *v;
    }

    const PaddedLine& line_;
    std::optional<Error> error_;
};

// A public field parser: one read, then its value or its error.
template <class Read>
auto single(const PaddedLine& line, Read&& read) -> std::expected<decltype(read(std::declval<FieldReader<>&>())), Error> {
    FieldReader<> r(line);
    auto v = read(r);
    if (!r.ok()) return std::unexpected(r.take_error());
    return v;
}

}  // namespace

std::size_t PaddedLine::padded_size() const {
    if (text.size() >= line_width) {
        const std::size_t chars = text::char_count(text);
        return chars < line_width ? text.size() + (line_width - chars) : text.size();
    }
    return text.size() + (line_width - text::char_count(text));
}

std::string PaddedLine::padded() const {
    std::string s(text);
    s.append(padded_size() - text.size(), ' ');
    return s;
}

std::string_view PaddedLine::raw(std::size_t start, std::size_t end) const {
    const std::size_t s = std::min(start, text.size());
    const std::size_t e = std::min(std::max(end, s), text.size());
    return text.substr(s, e - s);
}

void trace_parser(const PaddedLine& line, std::size_t start, std::size_t end) {
    if (!line.trace) return;
    ZYK_DEBUG(log::target_pdb, line.padded());
    ZYK_DEBUG(log::target_pdb, std::string(start, ' ') + std::string(end > start ? end - start : 0, '^'));
    ZYK_DEBUG(log::target_pdb, [&] {
        // The field as it stands in the padded line, ending at column `end`.
        std::string value(line.raw(start, end));
        const std::size_t have = std::min(std::max(end, start), line.text.size()) - std::min(start, line.text.size());
        if (end > start && have < end - start) value.append(end - start - have, ' ');
        std::string out;
        text::append_right(out, value, end);
        return out;
    }());
}

std::expected<std::string_view, Error> parse_str(const PaddedLine& line, std::size_t start, std::size_t end) {
    return single(line, [&](FieldReader<>& r) { return r.str(start, end); });
}

std::expected<std::optional<std::string_view>, Error> parse_opt_str(const PaddedLine& line, std::size_t start, std::size_t end) {
    return single(line, [&](FieldReader<>& r) { return r.opt_str(start, end); });
}

std::expected<std::int32_t, Error> parse_i32(const PaddedLine& line, std::size_t start, std::size_t end) {
    return single(line, [&](FieldReader<>& r) { return r.integer<std::int32_t>(start, end); });
}

std::expected<std::optional<std::int32_t>, Error> parse_opt_i32(const PaddedLine& line, std::size_t start, std::size_t end) {
    return single(line, [&](FieldReader<>& r) { return r.opt_i32(start, end); });
}

std::expected<std::uint32_t, Error> parse_u32(const PaddedLine& line, std::size_t start, std::size_t end) {
    return single(line, [&](FieldReader<>& r) { return r.integer<std::uint32_t>(start, end); });
}

std::expected<float, Error> parse_f32(const PaddedLine& line, std::size_t start, std::size_t end) {
    return single(line, [&](FieldReader<>& r) { return r.real(start, end); });
}

std::expected<Element, Error> parse_element(const PaddedLine& line, std::size_t start, std::size_t end) {
    return single(line, [&](FieldReader<>& r) { return r.element(start, end); });
}

std::expected<std::int32_t, Error> parse_opt_charge(const PaddedLine& line, std::size_t start, std::size_t end) {
    return single(line, [&](FieldReader<>& r) { return r.charge(start, end); });
}

std::string ins_code_or_tilde(std::string_view code) { return code.empty() ? std::string("~") : std::string(code); }

// ---- record parsers ----

namespace {

template <bool Plain>
std::expected<void, Error> read_atom_fields(const PaddedLine& line, AtomFields& out) {
    FieldReader<Plain> r(line);
    out.serial = r.template integer<std::uint32_t>(6, 11);
    out.name = r.str(12, 16);
    out.alt_loc = r.opt_str(16, 17);
    out.res_name = r.str(17, 20);
    out.chain_id = r.str(21, 22);
    out.res_seq = r.template integer<std::int32_t>(22, 26);
    out.i_code = r.opt_str(26, 27);
    out.x = r.real(30, 38);
    out.y = r.real(38, 46);
    out.z = r.real(46, 54);
    out.occupancy = r.real(54, 60);
    out.temp_factor = r.real(60, 66);
    out.seg_id = r.opt_str(72, 76);
    out.element = r.element(76, 78);
    out.charge = r.charge(78, 80);
    if (!r.ok()) return std::unexpected(r.take_error());
    return {};
}

// At least 80 bytes, ASCII in columns 1-80, and column 81 (if any) not the rest of a character.
bool is_plain_80(std::string_view t) {
    if (t.size() < line_width) return false;
    std::uint64_t any = 0;
    for (std::size_t i = 0; i < line_width; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, t.data() + i, 8);
        any |= w;
    }
    return (any & 0x8080808080808080ULL) == 0 && (t.size() == line_width || !is_continuation(t[line_width]));
}

}  // namespace

std::expected<void, Error> parse_atom_fields(const PaddedLine& line, AtomFields& out) {
    if (!line.trace && is_plain_80(line.text)) return read_atom_fields<true>(line, out);
    return read_atom_fields<false>(line, out);
}

namespace {

std::optional<std::string> to_owned(const std::optional<std::string_view>& v) {
    if (!v) return std::nullopt;
    return std::string(*v);
}

std::expected<Atom, Error> atom_record(const PaddedLine& line, bool hetatm) {
    AtomFields f;
    if (auto ok = parse_atom_fields(line, f); !ok) return std::unexpected(std::move(ok.error()));
    Atom a;
    a.serial = f.serial;
    a.name = std::string(f.name);
    a.alt_loc = to_owned(f.alt_loc);
    a.res_name = std::string(f.res_name);
    a.chain_id = std::string(f.chain_id);
    a.res_seq = f.res_seq;
    a.i_code = to_owned(f.i_code);
    a.x = f.x;
    a.y = f.y;
    a.z = f.z;
    a.occupancy = f.occupancy;
    a.temp_factor = f.temp_factor;
    a.seg_id = to_owned(f.seg_id);
    a.element = f.element;
    a.charge = f.charge;
    a.hetatm = hetatm;
    return a;
}

}  // namespace

std::expected<Atom, Error> try_from_atom(const PaddedLine& line) { return atom_record(line, false); }
std::expected<Atom, Error> try_from_hetatm(const PaddedLine& line) { return atom_record(line, true); }

Ter try_from_ter(const PaddedLine& line) {
    // Never fails: each field is read on its own, and an unreadable one is 0 or empty.
    Ter t;
    t.serial = parse_u32(line, 6, 11).value_or(0);
    t.res_name = std::string(parse_str(line, 17, 20).value_or(std::string_view{}));
    t.chain_id = std::string(parse_str(line, 21, 22).value_or(std::string_view{}));
    t.res_seq = parse_i32(line, 22, 26).value_or(0);
    return t;
}

std::expected<void, Error> parse_conect(const PaddedLine& line, std::vector<std::uint32_t>& out) {
    FieldReader<> r(line);
    const std::size_t size = line.padded_size();
    for (std::size_t start = 6; start + 5 <= size; start += 5) {
        const std::string_view text = r.str(start, start + 5);
        if (!r.ok() || text.empty()) break;
        auto v = text::parse_int<std::uint32_t>(text);
        if (!v) return std::unexpected(Error::expected_int(line.number, start, start + 5));
        out.push_back(*v);
    }
    if (!r.ok()) return std::unexpected(r.take_error());
    return {};
}

std::expected<Conect, Error> try_from_conect(const PaddedLine& line) {
    Conect c;
    c.serials.reserve(15);
    if (auto ok = parse_conect(line, c.serials); !ok) return std::unexpected(std::move(ok.error()));
    return c;
}

std::expected<Helix, Error> try_from_helix(const PaddedLine& line) {
    FieldReader<> r(line);
    Helix h;
    h.ser_num = r.integer<std::int32_t>(7, 10);
    h.helix_id = r.str(11, 14);
    h.init_res_name = r.str(15, 18);
    h.init_chain_id = r.str(19, 20);
    h.init_seq_num = r.integer<std::int32_t>(21, 25);
    h.init_i_code = ins_code_or_tilde(r.str(25, 26));
    h.end_res_name = r.str(27, 30);
    h.end_chain_id = r.str(31, 32);
    h.end_seq_num = r.integer<std::int32_t>(33, 37);
    h.end_i_code = ins_code_or_tilde(r.str(37, 38));
    h.helix_class = r.opt_i32(38, 40).value_or(0);
    h.length = r.opt_i32(71, 76).value_or(0);
    if (!r.ok()) return std::unexpected(r.take_error());
    return h;
}

std::expected<Sheet, Error> try_from_sheet(const PaddedLine& line) {
    FieldReader<> r(line);
    Sheet s;
    s.strand = r.integer<std::int32_t>(7, 10);
    s.sheet_id = r.str(11, 14);
    s.num_strands = r.opt_i32(14, 16).value_or(0);
    s.init_res_name = r.str(17, 20);
    s.init_chain_id = r.str(21, 22);
    s.init_seq_num = r.integer<std::int32_t>(22, 26);
    s.init_i_code = ins_code_or_tilde(r.str(26, 27));
    s.end_res_name = r.str(28, 31);
    s.end_chain_id = r.str(32, 33);
    s.end_seq_num = r.integer<std::int32_t>(33, 37);
    s.end_i_code = ins_code_or_tilde(r.str(37, 38));
    s.sense = r.opt_i32(38, 40).value_or(0);
    s.cur_atom = r.str(41, 45);
    s.cur_res_name = r.str(45, 48);
    s.cur_chain_id = r.str(49, 50);
    s.cur_res_seq = r.opt_i32(50, 54).value_or(0);
    s.cur_i_code = ins_code_or_tilde(r.str(54, 55));
    s.prev_atom = r.str(56, 60);
    s.prev_res_name = r.str(60, 63);
    s.prev_chain_id = r.str(64, 65);
    s.prev_res_seq = r.opt_i32(65, 69).value_or(0);
    s.prev_i_code = ins_code_or_tilde(r.str(69, 70));
    if (!r.ok()) return std::unexpected(r.take_error());
    return s;
}

std::expected<Seqres, Error> try_from_seqres(const PaddedLine& line) {
    FieldReader<> r(line);
    Seqres s;
    s.ser_num = r.integer<std::uint32_t>(7, 10);
    s.chain_id = r.str(11, 12);
    s.num_res = r.integer<std::uint32_t>(13, 17);
    const std::size_t size = line.padded_size();
    for (std::size_t start = 19; r.ok() && start + 3 <= size; start += 4) {
        const std::string_view name = r.str(start, start + 3);
        if (!r.ok() || name.empty()) break;
        s.res_names.emplace_back(name);
    }
    if (!r.ok()) return std::unexpected(r.take_error());
    return s;
}

std::expected<Dbref, Error> try_from_dbref(const PaddedLine& line) {
    FieldReader<> r(line);
    Dbref d;
    d.chain_id = r.str(12, 13);
    d.seq_begin = r.integer<std::int32_t>(14, 18);
    if (!r.ok()) return std::unexpected(r.take_error());
    return d;
}


// ---- dispatch ----

namespace {

// The first six bytes of a line as one number, for comparing record names at once.
constexpr std::uint64_t name_code(std::string_view name) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < 6; ++i) v |= std::uint64_t(static_cast<unsigned char>(name[i])) << (8 * i);
    return v;
}

}  // namespace

std::expected<RecordKind, Error> record_kind(std::string_view line) {
    const std::size_t n = line.size();
    if (n <= 2) return std::unexpected(Error::invalid_line_length(3, n));
    if (n == 3) {
        if (line == "END") return RecordKind::End;
        if (line == "TER") return RecordKind::Other;
        return std::unexpected(Error::invalid_line("END", std::string(line)));
    }
    if (n < 6) return std::unexpected(Error::invalid_line_length(6, n));
    std::uint64_t code = 0;
    std::memcpy(&code, line.data(), 6);  // little-endian, like name_code
    if (code == name_code("ATOM  ")) return RecordKind::Atom;  // most lines
    switch (code) {
        case name_code("HETATM"): return RecordKind::Atom;
        case name_code("HELIX "): return RecordKind::Helix;
        case name_code("SEQRES"): return RecordKind::Seqres;
        case name_code("SHEET "): return RecordKind::Sheet;
        case name_code("DBREF "): return RecordKind::Dbref;
        case name_code("CONECT"): return RecordKind::Conect;
        case name_code("TER   "): return RecordKind::Ter;
        case name_code("MODEL "): return RecordKind::Model;
        case name_code("ENDMDL"): return RecordKind::Endmdl;
        case name_code("END   "): return RecordKind::End;
        default: return RecordKind::Other;
    }
}

std::expected<Line, Error> Line::try_from(std::string_view text, std::uint32_t line_number) {
    auto kind = record_kind(text);
    if (!kind) return std::unexpected(std::move(kind.error()));
    const PaddedLine line{text, line_number, log::enabled(log::Level::Debug)};
    auto wrap = [](auto&& r) -> std::expected<Line, Error> {
        if (!r) return std::unexpected(std::move(r.error()));
        return Line{std::move(*r)};
    };
    switch (*kind) {
        case RecordKind::Seqres: return wrap(try_from_seqres(line));
        case RecordKind::Dbref: return wrap(try_from_dbref(line));
        case RecordKind::Helix: return wrap(try_from_helix(line));
        case RecordKind::Sheet: return wrap(try_from_sheet(line));
        case RecordKind::Atom: return wrap(text[0] == 'H' ? try_from_hetatm(line) : try_from_atom(line));
        case RecordKind::Conect: return wrap(try_from_conect(line));
        case RecordKind::Ter: return Line{try_from_ter(line)};
        case RecordKind::Other: return Line{Other{text.size() == 3 ? std::string(text) : line.padded()}};
        case RecordKind::Model: return Line{Model{}};
        case RecordKind::Endmdl: return Line{Endmdl{}};
        case RecordKind::End: return Line{End{}};
    }
    return Line{Other{std::string(text)}};
}

// ---- printing ----

namespace {

void pad_front(std::string& out, std::size_t start, std::size_t width) {
    const std::size_t len = text::char_count(std::string_view(out).substr(start));
    if (len < width) out.insert(start, width - len, ' ');
}

template <class T>
void append_int_right(std::string& out, T v, std::size_t width) {
    const std::size_t start = out.size();
    text::append_int(out, v);
    pad_front(out, start, width);
}

void append_fixed_right(std::string& out, float v, int decimals, std::size_t width) {
    const std::size_t start = out.size();
    text::append_fixed(out, double(v), decimals);
    pad_front(out, start, width);
}

template <class T>
std::string int_right(T v, std::size_t width) {
    std::string s;
    append_int_right(s, v, width);
    return s;
}

// Builds a line field by field at fixed 1-based columns (in characters), each field cut to
// its width; gaps are blanks.
class Columns {
public:
    explicit Columns(std::string& out) : out_(out) {}

    void put(std::size_t column, std::string_view text, std::size_t width) {
        pad_to(column - 1);
        const std::string_view cut = text::prefix_chars(text, width);
        out_ += cut;
        col_ += text::char_count(cut);
    }
    void pad_to(std::size_t col) {
        if (col_ < col) {
            out_.append(col - col_, ' ');
            col_ = col;
        }
    }

private:
    std::string& out_;
    std::size_t col_ = 0;
};

// Column text of an insertion code in HELIX and SHEET lines: "~" means none.
std::string_view code_text(std::string_view code) { return code == "~" ? std::string_view{} : code; }

std::string charge_text(std::int32_t charge) {
    if (charge == 0) return {};
    std::string s;
    text::append_int(s, charge < 0 ? -std::int64_t(charge) : std::int64_t(charge));
    s.push_back(charge < 0 ? '-' : '+');
    return s;
}

}  // namespace

std::expected<void, std::string> append_atom(std::string& out, const Atom& a) {
    const std::size_t name_chars = text::char_count(a.name);
    if (name_chars > 4) return std::unexpected("atom name " + text::quoted(a.name) + " is longer than 4 characters");
    out += a.hetatm ? "HETATM" : "ATOM  ";
    append_int_right(out, a.serial, 5);
    out.push_back(' ');
    if (name_chars == 4) {
        out += a.name;
    } else {
        out.push_back(' ');
        text::append_left(out, a.name, 3);
    }
    text::append_left(out, text::prefix_chars(a.alt_loc.value_or(std::string{}), 1), 1);
    text::append_right(out, text::prefix_chars(a.res_name, 3), 3);
    out.push_back(' ');
    text::append_right(out, text::prefix_chars(a.chain_id, 1), 1);
    append_int_right(out, a.res_seq, 4);
    text::append_left(out, text::prefix_chars(a.i_code.value_or(std::string{}), 1), 1);
    out += "   ";
    append_fixed_right(out, a.x, 3, 8);
    append_fixed_right(out, a.y, 3, 8);
    append_fixed_right(out, a.z, 3, 8);
    append_fixed_right(out, a.occupancy, 2, 6);
    append_fixed_right(out, a.temp_factor, 2, 6);
    out += "      ";
    text::append_left(out, text::prefix_chars(a.seg_id.value_or(std::string{}), 4), 4);
    text::append_right(out, text::prefix_chars(element_symbol(a.element), 2), 2);
    text::append_right(out, text::prefix_chars(charge_text(a.charge), 2), 2);
    return {};
}

void append_helix(std::string& out, const Helix& h) {
    Columns c(out);
    c.put(1, "HELIX ", 6);
    c.put(8, int_right(h.ser_num, 3), 3);
    c.put(12, h.helix_id, 3);
    c.put(16, h.init_res_name, 3);
    c.put(20, h.init_chain_id, 1);
    c.put(22, int_right(h.init_seq_num, 4), 4);
    c.put(26, code_text(h.init_i_code), 1);
    c.put(28, h.end_res_name, 3);
    c.put(32, h.end_chain_id, 1);
    c.put(34, int_right(h.end_seq_num, 4), 4);
    c.put(38, code_text(h.end_i_code), 1);
    if (h.helix_class != 0) c.put(39, int_right(h.helix_class, 2), 2);
    if (h.length != 0) c.put(72, int_right(h.length, 5), 5);
    c.pad_to(line_width);
}

void append_sheet(std::string& out, const Sheet& s) {
    Columns c(out);
    c.put(1, "SHEET ", 6);
    c.put(8, int_right(s.strand, 3), 3);
    c.put(12, s.sheet_id, 3);
    if (s.num_strands != 0) c.put(15, int_right(s.num_strands, 2), 2);
    c.put(18, s.init_res_name, 3);
    c.put(22, s.init_chain_id, 1);
    c.put(23, int_right(s.init_seq_num, 4), 4);
    c.put(27, code_text(s.init_i_code), 1);
    c.put(29, s.end_res_name, 3);
    c.put(33, s.end_chain_id, 1);
    c.put(34, int_right(s.end_seq_num, 4), 4);
    c.put(38, code_text(s.end_i_code), 1);
    c.put(39, int_right(s.sense, 2), 2);
    c.put(42, s.cur_atom, 4);
    c.put(46, s.cur_res_name, 3);
    c.put(50, s.cur_chain_id, 1);
    if (s.cur_res_seq != 0) c.put(51, int_right(s.cur_res_seq, 4), 4);
    c.put(55, code_text(s.cur_i_code), 1);
    c.put(57, s.prev_atom, 4);
    c.put(61, s.prev_res_name, 3);
    c.put(65, s.prev_chain_id, 1);
    if (s.prev_res_seq != 0) c.put(66, int_right(s.prev_res_seq, 4), 4);
    c.put(70, code_text(s.prev_i_code), 1);
    c.pad_to(line_width);
}

std::expected<std::string, std::string> try_to_string(const Atom& atom) {
    std::string s;
    if (auto ok = append_atom(s, atom); !ok) return std::unexpected(std::move(ok.error()));
    return s;
}

std::string to_string(const Helix& helix) {
    std::string s;
    append_helix(s, helix);
    return s;
}

std::string to_string(const Sheet& sheet) {
    std::string s;
    append_sheet(s, sheet);
    return s;
}

std::expected<void, std::string> append_line(std::string& out, const Line& line) {
    struct Printer {
        std::string& out;
        std::expected<void, std::string> operator()(const Seqres& s) const {
            out += "SEQRES ";
            append_int_right(out, s.ser_num, 3);
            out.push_back(' ');
            text::append_right(out, s.chain_id, 1);
            out.push_back(' ');
            append_int_right(out, s.num_res, 4);
            out.push_back(' ');
            for (const std::string& name : s.res_names) {
                out.push_back(' ');
                out += name;
            }
            out.append(10, ' ');
            return {};
        }
        std::expected<void, std::string> operator()(const Dbref&) const {
            return std::unexpected(std::string("Line::Dbref: Cannot convert to string"));
        }
        std::expected<void, std::string> operator()(const Helix& h) const {
            append_helix(out, h);
            return {};
        }
        std::expected<void, std::string> operator()(const Sheet& s) const {
            append_sheet(out, s);
            return {};
        }
        std::expected<void, std::string> operator()(const Atom& a) const { return append_atom(out, a); }
        std::expected<void, std::string> operator()(const Conect& c) const {
            if (c.serials.size() < 2) return std::unexpected(std::string("CONECT with less than 2 atoms not supported"));
            if (c.serials.size() > 4) return std::unexpected(std::string("CONECT with more than 4 atoms not supported"));
            out += "CONECT";
            for (std::uint32_t serial : c.serials) append_int_right(out, serial, 5);
            return {};
        }
        std::expected<void, std::string> operator()(const Ter& t) const {
            out += "TER   ";
            append_int_right(out, t.serial, 5);
            out.append(6, ' ');
            text::append_right(out, t.res_name, 3);
            out.push_back(' ');
            text::append_right(out, t.chain_id, 1);
            append_int_right(out, t.res_seq, 4);
            return {};
        }
        std::expected<void, std::string> operator()(const Other& o) const {
            out += o.text;
            return {};
        }
        std::expected<void, std::string> operator()(const Model&) const {
            out += "MODEL ";
            return {};
        }
        std::expected<void, std::string> operator()(const Endmdl&) const {
            out += "ENDMDL";
            return {};
        }
        std::expected<void, std::string> operator()(const End&) const {
            out += "END";
            return {};
        }
    };
    return std::visit(Printer{out}, line.value);
}

std::expected<std::string, std::string> try_to_string(const Line& line) {
    std::string s;
    if (auto ok = append_line(s, line); !ok) return std::unexpected(std::move(ok.error()));
    return s;
}

}  // namespace zyk::pdb
