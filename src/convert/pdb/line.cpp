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

// The trimmed field text, after tracing and the character-boundary check.
std::expected<std::string_view, Error> field(const PaddedLine& line, std::size_t start, std::size_t end) {
    trace_parser(line, start, end);
    const std::string_view t = line.text;
    if ((start < t.size() && is_continuation(t[start])) || (end < t.size() && is_continuation(t[end]))) {
        return std::unexpected(Error::split_character(line.number, start, end));
    }
    return text::trim(line.raw(start, end));
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
    if (!log::enabled(log::Level::Debug)) return;
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
    return field(line, start, end);
}

std::expected<std::optional<std::string_view>, Error> parse_opt_str(const PaddedLine& line, std::size_t start, std::size_t end) {
    auto f = field(line, start, end);
    if (!f) return std::unexpected(std::move(f.error()));
    if (f->empty()) return std::optional<std::string_view>{};
    return std::optional<std::string_view>{*f};
}

std::expected<std::int32_t, Error> parse_i32(const PaddedLine& line, std::size_t start, std::size_t end) {
    auto f = field(line, start, end);
    if (!f) return std::unexpected(std::move(f.error()));
    auto v = text::parse_int<std::int32_t>(*f);
    if (!v) return std::unexpected(Error::expected_int(line.number, start, end));
    return *v;
}

std::expected<std::optional<std::int32_t>, Error> parse_opt_i32(const PaddedLine& line, std::size_t start, std::size_t end) {
    auto f = field(line, start, end);
    if (!f) return std::unexpected(std::move(f.error()));
    if (f->empty()) return std::optional<std::int32_t>{};
    auto v = text::parse_int<std::int32_t>(*f);
    if (!v) return std::unexpected(Error::expected_int(line.number, start, end));
    return std::optional<std::int32_t>{*v};
}

std::expected<std::uint32_t, Error> parse_u32(const PaddedLine& line, std::size_t start, std::size_t end) {
    auto f = field(line, start, end);
    if (!f) return std::unexpected(std::move(f.error()));
    auto v = text::parse_int<std::uint32_t>(*f);
    if (!v) return std::unexpected(Error::expected_int(line.number, start, end));
    return *v;
}

std::expected<float, Error> parse_f32(const PaddedLine& line, std::size_t start, std::size_t end) {
    auto f = field(line, start, end);
    if (!f) return std::unexpected(std::move(f.error()));
    auto v = text::parse_f32(*f);
    if (!v) return std::unexpected(Error::expected_float(line.number, start, end));
    return *v;
}

std::expected<Element, Error> parse_element(const PaddedLine& line, std::size_t start, std::size_t end) {
    auto f = field(line, start, end);
    if (!f) return std::unexpected(std::move(f.error()));
    if (auto e = element_from_letters(*f)) return *e;
    return std::unexpected(Error::invalid_symbol(std::string(*f), line.number));
}

std::expected<std::int32_t, Error> parse_opt_charge(const PaddedLine& line, std::size_t start, std::size_t end) {
    auto f = field(line, start, end);
    if (!f) return std::unexpected(std::move(f.error()));
    std::string_view s = *f;
    if (s.empty()) return 0;
    const char last = s.back();
    if (last == '+' || last == '-') {
        auto v = text::parse_int<std::int32_t>(s.substr(0, s.size() - 1));
        if (!v) return std::unexpected(Error::expected_int(line.number, start, end));
        if (last == '+') return *v;
        if (*v == INT32_MIN) return std::unexpected(Error::expected_int(line.number, start, end));
        return -*v;
    }
    auto v = text::parse_int<std::int32_t>(s);
    if (!v) return std::unexpected(Error::expected_int(line.number, start, end));
    return *v;
}

std::string ins_code_or_tilde(std::string_view code) { return code.empty() ? std::string("~") : std::string(code); }

// ---- record parsers ----

#define ZYK_PDB_TRY(var, expr)                                            \
    auto var##_result = (expr);                                           \
    if (!var##_result) return std::unexpected(std::move(var##_result.error())); \
    auto var = std::move(*var##_result)

std::expected<void, Error> parse_atom_fields(const PaddedLine& line, AtomFields& out) {
    ZYK_PDB_TRY(serial, parse_u32(line, 6, 11));
    ZYK_PDB_TRY(name, parse_str(line, 12, 16));
    ZYK_PDB_TRY(alt_loc, parse_opt_str(line, 16, 17));
    ZYK_PDB_TRY(res_name, parse_str(line, 17, 20));
    ZYK_PDB_TRY(chain_id, parse_str(line, 21, 22));
    ZYK_PDB_TRY(res_seq, parse_i32(line, 22, 26));
    ZYK_PDB_TRY(i_code, parse_opt_str(line, 26, 27));
    ZYK_PDB_TRY(x, parse_f32(line, 30, 38));
    ZYK_PDB_TRY(y, parse_f32(line, 38, 46));
    ZYK_PDB_TRY(z, parse_f32(line, 46, 54));
    ZYK_PDB_TRY(occupancy, parse_f32(line, 54, 60));
    ZYK_PDB_TRY(temp_factor, parse_f32(line, 60, 66));
    ZYK_PDB_TRY(seg_id, parse_opt_str(line, 72, 76));
    ZYK_PDB_TRY(element, parse_element(line, 76, 78));
    ZYK_PDB_TRY(charge, parse_opt_charge(line, 78, 80));
    out.serial = serial;
    out.name = name;
    out.alt_loc = alt_loc;
    out.res_name = res_name;
    out.chain_id = chain_id;
    out.res_seq = res_seq;
    out.i_code = i_code;
    out.x = x;
    out.y = y;
    out.z = z;
    out.occupancy = occupancy;
    out.temp_factor = temp_factor;
    out.seg_id = seg_id;
    out.element = element;
    out.charge = charge;
    return {};
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
    Ter t;
    t.serial = parse_u32(line, 6, 11).value_or(0);
    t.res_name = std::string(parse_str(line, 17, 20).value_or(std::string_view{}));
    t.chain_id = std::string(parse_str(line, 21, 22).value_or(std::string_view{}));
    t.res_seq = parse_i32(line, 22, 26).value_or(0);
    return t;
}

std::expected<void, Error> parse_conect(const PaddedLine& line, std::vector<std::uint32_t>& out) {
    const std::size_t size = line.padded_size();
    for (std::size_t start = 6; start + 5 <= size; start += 5) {
        ZYK_PDB_TRY(text, parse_str(line, start, start + 5));
        if (text.empty()) break;
        auto v = text::parse_int<std::uint32_t>(text);
        if (!v) return std::unexpected(Error::expected_int(line.number, start, start + 5));
        out.push_back(*v);
    }
    return {};
}

std::expected<Conect, Error> try_from_conect(const PaddedLine& line) {
    Conect c;
    c.serials.reserve(15);
    if (auto ok = parse_conect(line, c.serials); !ok) return std::unexpected(std::move(ok.error()));
    return c;
}

std::expected<Helix, Error> try_from_helix(const PaddedLine& line) {
    Helix h;
    ZYK_PDB_TRY(ser_num, parse_i32(line, 7, 10));
    ZYK_PDB_TRY(helix_id, parse_str(line, 11, 14));
    ZYK_PDB_TRY(init_res_name, parse_str(line, 15, 18));
    ZYK_PDB_TRY(init_chain_id, parse_str(line, 19, 20));
    ZYK_PDB_TRY(init_seq_num, parse_i32(line, 21, 25));
    ZYK_PDB_TRY(init_i_code, parse_str(line, 25, 26));
    ZYK_PDB_TRY(end_res_name, parse_str(line, 27, 30));
    ZYK_PDB_TRY(end_chain_id, parse_str(line, 31, 32));
    ZYK_PDB_TRY(end_seq_num, parse_i32(line, 33, 37));
    ZYK_PDB_TRY(end_i_code, parse_str(line, 37, 38));
    ZYK_PDB_TRY(helix_class, parse_opt_i32(line, 38, 40));
    ZYK_PDB_TRY(length, parse_opt_i32(line, 71, 76));
    h.ser_num = ser_num;
    h.helix_id = std::string(helix_id);
    h.init_res_name = std::string(init_res_name);
    h.init_chain_id = std::string(init_chain_id);
    h.init_seq_num = init_seq_num;
    h.init_i_code = ins_code_or_tilde(init_i_code);
    h.end_res_name = std::string(end_res_name);
    h.end_chain_id = std::string(end_chain_id);
    h.end_seq_num = end_seq_num;
    h.end_i_code = ins_code_or_tilde(end_i_code);
    h.helix_class = helix_class.value_or(0);
    h.length = length.value_or(0);
    return h;
}

std::expected<Sheet, Error> try_from_sheet(const PaddedLine& line) {
    Sheet s;
    ZYK_PDB_TRY(strand, parse_i32(line, 7, 10));
    ZYK_PDB_TRY(sheet_id, parse_str(line, 11, 14));
    ZYK_PDB_TRY(num_strands, parse_opt_i32(line, 14, 16));
    ZYK_PDB_TRY(init_res_name, parse_str(line, 17, 20));
    ZYK_PDB_TRY(init_chain_id, parse_str(line, 21, 22));
    ZYK_PDB_TRY(init_seq_num, parse_i32(line, 22, 26));
    ZYK_PDB_TRY(init_i_code, parse_str(line, 26, 27));
    ZYK_PDB_TRY(end_res_name, parse_str(line, 28, 31));
    ZYK_PDB_TRY(end_chain_id, parse_str(line, 32, 33));
    ZYK_PDB_TRY(end_seq_num, parse_i32(line, 33, 37));
    ZYK_PDB_TRY(end_i_code, parse_str(line, 37, 38));
    ZYK_PDB_TRY(sense, parse_opt_i32(line, 38, 40));
    ZYK_PDB_TRY(cur_atom, parse_str(line, 41, 45));
    ZYK_PDB_TRY(cur_res_name, parse_str(line, 45, 48));
    ZYK_PDB_TRY(cur_chain_id, parse_str(line, 49, 50));
    ZYK_PDB_TRY(cur_res_seq, parse_opt_i32(line, 50, 54));
    ZYK_PDB_TRY(cur_i_code, parse_str(line, 54, 55));
    ZYK_PDB_TRY(prev_atom, parse_str(line, 56, 60));
    ZYK_PDB_TRY(prev_res_name, parse_str(line, 60, 63));
    ZYK_PDB_TRY(prev_chain_id, parse_str(line, 64, 65));
    ZYK_PDB_TRY(prev_res_seq, parse_opt_i32(line, 65, 69));
    ZYK_PDB_TRY(prev_i_code, parse_str(line, 69, 70));
    s.strand = strand;
    s.sheet_id = std::string(sheet_id);
    s.num_strands = num_strands.value_or(0);
    s.init_res_name = std::string(init_res_name);
    s.init_chain_id = std::string(init_chain_id);
    s.init_seq_num = init_seq_num;
    s.init_i_code = ins_code_or_tilde(init_i_code);
    s.end_res_name = std::string(end_res_name);
    s.end_chain_id = std::string(end_chain_id);
    s.end_seq_num = end_seq_num;
    s.end_i_code = ins_code_or_tilde(end_i_code);
    s.sense = sense.value_or(0);
    s.cur_atom = std::string(cur_atom);
    s.cur_res_name = std::string(cur_res_name);
    s.cur_chain_id = std::string(cur_chain_id);
    s.cur_res_seq = cur_res_seq.value_or(0);
    s.cur_i_code = ins_code_or_tilde(cur_i_code);
    s.prev_atom = std::string(prev_atom);
    s.prev_res_name = std::string(prev_res_name);
    s.prev_chain_id = std::string(prev_chain_id);
    s.prev_res_seq = prev_res_seq.value_or(0);
    s.prev_i_code = ins_code_or_tilde(prev_i_code);
    return s;
}

std::expected<Seqres, Error> try_from_seqres(const PaddedLine& line) {
    Seqres s;
    ZYK_PDB_TRY(ser_num, parse_u32(line, 7, 10));
    ZYK_PDB_TRY(chain_id, parse_str(line, 11, 12));
    ZYK_PDB_TRY(num_res, parse_u32(line, 13, 17));
    s.ser_num = ser_num;
    s.chain_id = std::string(chain_id);
    s.num_res = num_res;
    const std::size_t size = line.padded_size();
    for (std::size_t start = 19; start + 3 <= size; start += 4) {
        ZYK_PDB_TRY(name, parse_str(line, start, start + 3));
        if (name.empty()) break;
        s.res_names.emplace_back(name);
    }
    return s;
}

std::expected<Dbref, Error> try_from_dbref(const PaddedLine& line) {
    ZYK_PDB_TRY(chain_id, parse_str(line, 12, 13));
    ZYK_PDB_TRY(seq_begin, parse_i32(line, 14, 18));
    return Dbref{std::string(chain_id), seq_begin};
}

#undef ZYK_PDB_TRY

// ---- dispatch ----

std::expected<RecordKind, Error> record_kind(std::string_view line) {
    const std::size_t n = line.size();
    if (n <= 2) return std::unexpected(Error::invalid_line_length(3, n));
    if (n == 3) {
        if (line == "END") return RecordKind::End;
        if (line == "TER") return RecordKind::Other;
        return std::unexpected(Error::invalid_line("END", std::string(line)));
    }
    if (n < 6) return std::unexpected(Error::invalid_line_length(6, n));
    const std::string_view name = line.substr(0, 6);
    switch (name[0]) {
        case 'A':
            if (name == "ATOM  ") return RecordKind::Atom;
            break;
        case 'H':
            if (name == "HETATM") return RecordKind::Atom;
            if (name == "HELIX ") return RecordKind::Helix;
            break;
        case 'S':
            if (name == "SEQRES") return RecordKind::Seqres;
            if (name == "SHEET ") return RecordKind::Sheet;
            break;
        case 'D':
            if (name == "DBREF ") return RecordKind::Dbref;
            break;
        case 'C':
            if (name == "CONECT") return RecordKind::Conect;
            break;
        case 'T':
            if (name == "TER   ") return RecordKind::Ter;
            break;
        case 'M':
            if (name == "MODEL ") return RecordKind::Model;
            break;
        case 'E':
            if (name == "ENDMDL") return RecordKind::Endmdl;
            if (name == "END   ") return RecordKind::End;
            break;
        default: break;
    }
    return RecordKind::Other;
}

std::expected<Line, Error> Line::try_from(std::string_view text, std::uint32_t line_number) {
    auto kind = record_kind(text);
    if (!kind) return std::unexpected(std::move(kind.error()));
    const PaddedLine line{text, line_number};
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
