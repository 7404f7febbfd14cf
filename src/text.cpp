#include "text.hpp"

#include <cmath>
#include <cstring>

namespace zyk::text {
namespace {

bool is_white_space(char32_t c) {
    switch (c) {
        case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20:
        case 0x85: case 0xA0: case 0x1680:
        case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
            return true;
        default:
            return c >= 0x2000 && c <= 0x200A;
    }
}

// Length of the well-formed UTF-8 sequence starting at s[i], or 0 if it is not one.
std::size_t utf8_length_at(std::string_view s, std::size_t i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    std::size_t len;
    if (b0 < 0x80) { cp = b0; return 1; }
    if ((b0 & 0xE0) == 0xC0) { len = 2; cp = b0 & 0x1F; }
    else if ((b0 & 0xF0) == 0xE0) { len = 3; cp = b0 & 0x0F; }
    else if ((b0 & 0xF8) == 0xF0) { len = 4; cp = b0 & 0x07; }
    else return 0;
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    return len;
}

}  // namespace

// The ASCII members of the white-space set, tested first: fixed-column text is almost all ASCII.
bool is_ascii_white_space(unsigned char b) { return b == 0x20 || (b >= 0x09 && b <= 0x0D); }

std::string_view trim_start(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            if (!is_ascii_white_space(b)) break;
            ++i;
            continue;
        }
        char32_t cp;
        const std::size_t len = utf8_length_at(s, i, cp);
        if (len == 0 || !is_white_space(cp)) break;
        i += len;
    }
    return s.substr(i);
}

std::string_view trim_end(std::string_view s) {
    std::size_t end = s.size();
    while (end > 0) {
        const auto b = static_cast<unsigned char>(s[end - 1]);
        if (b < 0x80) {
            if (!is_ascii_white_space(b)) break;
            --end;
            continue;
        }
        // Step back over continuation bytes to the start of the last sequence (at most 4).
        std::size_t start = end - 1;
        while (start > 0 && end - start < 4 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80) --start;
        char32_t cp;
        const std::size_t len = utf8_length_at(s, start, cp);
        if (len != end - start || !is_white_space(cp)) break;
        end = start;
    }
    return s.substr(0, end);
}

std::string_view trim(std::string_view s) { return trim_end(trim_start(s)); }

std::size_t decode_utf8_at(std::string_view s, std::size_t i, char32_t& cp) { return utf8_length_at(s, i, cp); }

std::size_t white_space_at(std::string_view s, std::size_t i) {
    char32_t cp;
    const std::size_t len = utf8_length_at(s, i, cp);
    return len != 0 && is_white_space(cp) ? len : 0;
}

std::string_view next_token(std::string_view& rest) {
    rest = trim_start(rest);
    std::size_t i = 0;
    while (i < rest.size()) {
        char32_t cp;
        const std::size_t len = utf8_length_at(rest, i, cp);
        if (len != 0 && is_white_space(cp)) break;
        i += len == 0 ? 1 : len;
    }
    const std::string_view token = rest.substr(0, i);
    rest.remove_prefix(i);
    return token;
}

std::string_view message(IntError e) {
    switch (e) {
        case IntError::Empty: return "cannot parse integer from empty string";
        case IntError::InvalidDigit: return "invalid digit found in string";
        case IntError::PosOverflow: return "number too large to fit in target type";
        case IntError::NegOverflow: return "number too small to fit in target type";
    }
    return "invalid integer";
}

std::string_view message(FloatError e) {
    return e == FloatError::Empty ? "cannot parse float from empty string" : "invalid float literal";
}

namespace {

bool equals_ignore_case(std::string_view a, std::string_view lower) {
    if (a.size() != lower.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != lower[i]) return false;
    }
    return true;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Validates the decimal grammar; returns false for anything else.
bool is_decimal(std::string_view s) {
    std::size_t i = 0, mantissa_digits = 0;
    while (i < s.size() && is_digit(s[i])) { ++i; ++mantissa_digits; }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && is_digit(s[i])) { ++i; ++mantissa_digits; }
    }
    if (mantissa_digits == 0) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        std::size_t exp_digits = 0;
        while (i < s.size() && is_digit(s[i])) { ++i; ++exp_digits; }
        if (exp_digits == 0) return false;
    }
    return i == s.size();
}

// For a validated decimal whose value lies outside the type's range: true when it is too
// large (rather than too small). Estimates the decimal exponent of the leading digit.
bool decimal_overflows(std::string_view s) {
    long long scale = 0;
    bool seen_nonzero = false, after_point = false;
    std::size_t i = 0;
    for (; i < s.size() && s[i] != 'e' && s[i] != 'E'; ++i) {
        if (s[i] == '.') { after_point = true; continue; }
        if (s[i] != '0') seen_nonzero = true;
        if (!after_point && seen_nonzero) ++scale;
        if (after_point && !seen_nonzero) --scale;
    }
    long long exponent = 0;
    if (i < s.size()) {
        ++i;
        bool neg = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
        for (; i < s.size(); ++i) {
            if (exponent < 1'000'000'000) exponent = exponent * 10 + (s[i] - '0');
        }
        if (neg) exponent = -exponent;
    }
    return scale + exponent > 0;
}

template <class F>
std::expected<F, FloatError> parse_float(std::string_view s) {
    if (s.empty()) return std::unexpected(FloatError::Empty);
    bool negative = false;
    std::string_view body = s;
    if (body.front() == '+' || body.front() == '-') {
        negative = body.front() == '-';
        body.remove_prefix(1);
    }
    F value;
    if (equals_ignore_case(body, "inf") || equals_ignore_case(body, "infinity")) {
        value = std::numeric_limits<F>::infinity();
    } else if (equals_ignore_case(body, "nan")) {
        value = std::numeric_limits<F>::quiet_NaN();
    } else {
        if (!is_decimal(body)) return std::unexpected(FloatError::Invalid);
        auto r = std::from_chars(body.data(), body.data() + body.size(), value, std::chars_format::general);
        if (r.ec == std::errc::result_out_of_range) {
            value = decimal_overflows(body) ? std::numeric_limits<F>::infinity() : F(0);
        } else if (r.ec != std::errc() || r.ptr != body.data() + body.size()) {
            return std::unexpected(FloatError::Invalid);
        }
    }
    return negative ? -value : value;
}

// Shortest round-trip digits and decimal exponent: value = 0.d1d2d3... * 10^(exp10 + 1),
// i.e. exp10 is the exponent of the first digit in scientific notation.
template <class F>
void shortest_digits(F v, std::string& digits, int& exp10) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    std::string_view sci(buf, std::size_t(r.ptr - buf));
    const std::size_t e = sci.find('e');
    digits.clear();
    for (char c : sci.substr(0, e)) {
        if (is_digit(c)) digits.push_back(c);
    }
    exp10 = 0;
    std::string_view ex = sci.substr(e + 1);
    bool neg = ex.front() == '-';
    ex.remove_prefix(1);
    for (char c : ex) exp10 = exp10 * 10 + (c - '0');
    if (neg) exp10 = -exp10;
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
}

template <class F>
void append_shortest_impl(std::string& out, F v, FloatStyle style) {
    if (std::isnan(v)) { out += "NaN"; return; }
    if (std::signbit(v)) out.push_back('-');
    F a = std::fabs(v);
    if (std::isinf(a)) { out += "inf"; return; }
    if (a == F(0)) {
        out += style == FloatStyle::Debug ? "0.0" : "0";
        return;
    }
    std::string digits;
    int exp10;
    shortest_digits(a, digits, exp10);
    if (style == FloatStyle::Debug && (a < F(1e-4) || a >= F(1e16))) {
        out.push_back(digits[0]);
        if (digits.size() > 1) {
            out.push_back('.');
            out.append(digits, 1);
        }
        out.push_back('e');
        append_int(out, exp10);
        return;
    }
    const int n = int(digits.size());
    if (exp10 < 0) {
        out += "0.";
        out.append(std::size_t(-exp10 - 1), '0');
        out += digits;
    } else if (exp10 + 1 >= n) {
        out += digits;
        out.append(std::size_t(exp10 + 1 - n), '0');
        if (style == FloatStyle::Debug) out += ".0";
    } else {
        out.append(digits, 0, std::size_t(exp10 + 1));
        out.push_back('.');
        out.append(digits, std::size_t(exp10 + 1));
    }
}

}  // namespace

namespace detail {
std::expected<float, FloatError> parse_f32_general(std::string_view s) { return parse_float<float>(s); }
std::expected<double, FloatError> parse_f64_general(std::string_view s) { return parse_float<double>(s); }
}  // namespace detail

void append_shortest(std::string& out, float v, FloatStyle style) { append_shortest_impl(out, v, style); }
void append_shortest(std::string& out, double v, FloatStyle style) { append_shortest_impl(out, v, style); }

std::string shortest(float v, FloatStyle style) {
    std::string s;
    append_shortest(s, v, style);
    return s;
}

std::string shortest(double v, FloatStyle style) {
    std::string s;
    append_shortest(s, v, style);
    return s;
}

void append_fixed(std::string& out, double v, int decimals) {
    if (std::isnan(v)) { out += "NaN"; return; }
    if (std::isinf(v)) { out += v < 0 ? "-inf" : "inf"; return; }
    // Values that are exactly floats (what the writers print) with up to 8 decimals: the
    // 24-bit mantissa times 10^d (5^d takes at most 19 bits) is exact in a double, so rounding
    // it to an integer (ties to even) is the correctly rounded result.
    if (decimals >= 0 && decimals <= 8 && double(float(v)) == v) {
        static constexpr double pow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
        const double scaled = std::fabs(v) * pow10[decimals];
        if (scaled < 9007199254740992.0) {
            const auto n = static_cast<std::uint64_t>(std::nearbyint(scaled));
            char buf[24];
            const auto r = std::to_chars(buf, buf + sizeof buf, n);
            std::string_view digits(buf, std::size_t(r.ptr - buf));
            if (std::signbit(v)) out.push_back('-');
            const auto d = std::size_t(decimals);
            if (digits.size() <= d) {
                out += "0";
                if (d > 0) {
                    out.push_back('.');
                    out.append(d - digits.size(), '0');
                    out += digits;
                }
            } else {
                out += digits.substr(0, digits.size() - d);
                if (d > 0) {
                    out.push_back('.');
                    out += digits.substr(digits.size() - d);
                }
            }
            return;
        }
    }
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    if (r.ec == std::errc()) {
        out.append(buf, r.ptr);
        return;
    }
    std::string big(4096, '\0');  // only reachable for huge magnitudes with many decimals
    auto r2 = std::to_chars(big.data(), big.data() + big.size(), v, std::chars_format::fixed, decimals);
    out.append(big.data(), r2.ptr);
}

std::size_t char_count(std::string_view s) {
    std::size_t n = 0;
    for (char c : s) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    }
    return n;
}

std::string_view prefix_chars(std::string_view s, std::size_t n) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (seen == n) return s.substr(0, i);
            ++seen;
        }
    }
    return s;
}

void append_aligned(std::string& out, std::string_view s, std::size_t width, Align align) {
    const std::size_t n = char_count(s);
    const std::size_t pad = n < width ? width - n : 0;
    if (align == Align::Right) out.append(pad, ' ');
    out += s;
    if (align == Align::Left) out.append(pad, ' ');
}

std::string quoted(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    out.push_back('"');
    for (char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\0': out += "\\0"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    static const char* hex = "0123456789abcdef";
                    out += "\\u{";
                    if (static_cast<unsigned char>(c) >= 16) out.push_back(hex[static_cast<unsigned char>(c) >> 4]);
                    out.push_back(hex[static_cast<unsigned char>(c) & 15]);
                    out.push_back('}');
                } else {
                    out.push_back(c);
                }
        }
    }
    out.push_back('"');
    return out;
}

}  // namespace zyk::text
