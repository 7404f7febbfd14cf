// Text helpers shared by every reader and writer: trimming, the number rules and the output
// forms. One parser per number rule and one formatter per output form, so that all formats
// agree on what "an integer" or "five decimals" means.
#pragma once

#include <bit>
#include <charconv>
#include <cstdint>
#include <expected>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>

namespace zyk::text {

// Trimming removes Unicode white space (ASCII blanks, NEL, NBSP and the other White_Space
// code points encoded as UTF-8) from the ends only; invalid UTF-8 is never consumed.
std::string_view trim(std::string_view s);
std::string_view trim_start(std::string_view s);
std::string_view trim_end(std::string_view s);

// Splits off the next run of non-white-space (same set as trim) from the front of `rest` and
// advances `rest` past it; empty when only white space is left.
std::string_view next_token(std::string_view& rest);
// Byte length of the well-formed UTF-8 sequence starting at s[i] with its code point in `cp`,
// or 0 when s[i] starts no well-formed sequence (i must be below s.size()).
std::size_t decode_utf8_at(std::string_view s, std::size_t i, char32_t& cp);
// Byte length of the white-space code point starting at s[i], or 0 when there is none there;
// lets tokenisers split on the same white space that `trim` removes.
std::size_t white_space_at(std::string_view s, std::size_t i);

// Integers: an optional sign ('-' only for signed types), then one or more ASCII digits,
// nothing else, range-checked against the target type.
enum class IntError : std::uint8_t { Empty, InvalidDigit, PosOverflow, NegOverflow };
std::string_view message(IntError e);

template <class T>
std::expected<T, IntError> parse_int(std::string_view s) {
    static_assert(std::is_integral_v<T> && !std::is_same_v<T, bool>);
    if (s.empty()) return std::unexpected(IntError::Empty);
    bool negative = false;
    if (s.front() == '+' || s.front() == '-') {
        negative = s.front() == '-';
        s.remove_prefix(1);
        if (s.empty()) return std::unexpected(IntError::InvalidDigit);
        if (negative && std::is_unsigned_v<T>) return std::unexpected(IntError::InvalidDigit);
    }
    using U = std::make_unsigned_t<T>;
    if (s.size() <= std::size_t(std::numeric_limits<T>::digits10)) {
        // Too few digits to overflow: no range checks needed.
        U value = 0;
        for (char c : s) {
            const unsigned digit = static_cast<unsigned>(static_cast<unsigned char>(c)) - unsigned('0');
            if (digit > 9) return std::unexpected(IntError::InvalidDigit);
            value = U(value * 10U + digit);
        }
        if (negative) return T(U(~value + 1U));
        return T(value);
    }
    // Magnitude limit: max for positives, |min| for negatives.
    const U limit = negative ? U(U(std::numeric_limits<T>::max()) + 1U) : U(std::numeric_limits<T>::max());
    U value = 0;
    bool overflow = false;
    for (char c : s) {
        if (c < '0' || c > '9') return std::unexpected(IntError::InvalidDigit);
        const U digit = U(c - '0');
        if (!overflow && (value > (limit - digit) / 10U)) overflow = true;
        if (!overflow) value = U(value * 10U + digit);
    }
    if (overflow) return std::unexpected(negative ? IntError::NegOverflow : IntError::PosOverflow);
    if (negative) return T(U(~value + 1U));
    return T(value);
}

// Floats: optional sign, then digits with an optional point and optional exponent (at least
// one mantissa digit), or inf / infinity / nan in any case. The nearest value is taken;
// magnitudes beyond the type's range become infinity, those below it zero.
enum class FloatError : std::uint8_t { Empty, Invalid };
std::string_view message(FloatError e);
namespace detail {
std::expected<float, FloatError> parse_f32_general(std::string_view s);
std::expected<double, FloatError> parse_f64_general(std::string_view s);

// Plain decimals ("12.345", "7", ".5", no sign) whose digits fit the float's mantissa and
// whose fraction is short enough that 10^d is exact: one IEEE division of two exact values is
// correctly rounded, so this gives the general parser's value. Anything else returns false.
template <class F>
inline bool parse_simple_decimal(std::string_view s, F& out) {
    constexpr std::uint64_t max_mantissa = std::is_same_v<F, float> ? (1ULL << 24) : (1ULL << 53);
    constexpr std::size_t max_fraction = std::is_same_v<F, float> ? 10 : 22;
    static constexpr F pow10[] = {F(1e0),  F(1e1),  F(1e2),  F(1e3),  F(1e4),  F(1e5),  F(1e6),  F(1e7),
                                  F(1e8),  F(1e9),  F(1e10), F(1e11), F(1e12), F(1e13), F(1e14), F(1e15),
                                  F(1e16), F(1e17), F(1e18), F(1e19), F(1e20), F(1e21), F(1e22)};
    const char* p = s.data();
    const char* const end = p + s.size();
    std::uint64_t m = 0;
    const char* const first = p;
    while (p != end && static_cast<unsigned>(*p - '0') < 10U) m = m * 10 + static_cast<unsigned>(*p++ - '0');
    std::size_t digits = std::size_t(p - first);
    std::size_t fraction = 0;
    if (p != end && *p == '.') {
        const char* const point = ++p;
        while (p != end && static_cast<unsigned>(*p - '0') < 10U) m = m * 10 + static_cast<unsigned>(*p++ - '0');
        fraction = std::size_t(p - point);
        digits += fraction;
    }
    // At most 19 digits cannot overflow the 64-bit accumulator.
    if (p != end || digits == 0 || digits > 19 || m > max_mantissa || fraction > max_fraction) return false;
    out = fraction > 0 ? F(m) / pow10[fraction] : F(m);
    return true;
}

template <class F>
inline bool parse_simple_signed_decimal(std::string_view s, F& out) {
    if (s.empty()) return false;
    // Signs of coordinates are unpredictable: handle them without branching.
    const char c = s.front();
    const bool negative = c == '-';
    const std::size_t skip = std::size_t(negative) | std::size_t(c == '+');
    if (!parse_simple_decimal(std::string_view(s.data() + skip, s.size() - skip), out)) return false;
    using Bits = std::conditional_t<sizeof(F) == 4, std::uint32_t, std::uint64_t>;
    out = std::bit_cast<F>(std::bit_cast<Bits>(out) ^ (Bits(negative) << (8 * sizeof(F) - 1)));
    return true;
}
}  // namespace detail

// The common plain decimals are read inline; everything else by the general parser.
inline std::expected<float, FloatError> parse_f32(std::string_view s) {
    float v;
    if (detail::parse_simple_signed_decimal(s, v)) return v;
    return detail::parse_f32_general(s);
}
inline std::expected<double, FloatError> parse_f64(std::string_view s) {
    double v;
    if (detail::parse_simple_signed_decimal(s, v)) return v;
    return detail::parse_f64_general(s);
}

// Output forms. `Display`: plain decimal, integral values without a fraction ("1", "0.1").
// `Debug`: like Display but integral values get ".0", and magnitudes below 1e-4 or from
// 1e16 up use exponent form ("1e20", "1.5e-5"). Both are the shortest digits that read back
// to the same value. Infinity prints "inf"/"-inf", not-a-number "NaN".
enum class FloatStyle : std::uint8_t { Display, Debug };
void append_shortest(std::string& out, float v, FloatStyle style = FloatStyle::Display);
void append_shortest(std::string& out, double v, FloatStyle style = FloatStyle::Display);
std::string shortest(float v, FloatStyle style = FloatStyle::Display);
std::string shortest(double v, FloatStyle style = FloatStyle::Display);

// Fixed point with exactly `decimals` digits after the point, correctly rounded from the
// exact binary value (ties to even).
void append_fixed(std::string& out, double v, int decimals);

template <class T>
void append_int(std::string& out, T v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

// Width counts characters (UTF-8 code points), as a reader of the text sees them.
std::size_t char_count(std::string_view s);
// The first `n` characters of `s` (all of it when shorter); never splits a character.
std::string_view prefix_chars(std::string_view s, std::size_t n);
enum class Align : std::uint8_t { Left, Right };
void append_aligned(std::string& out, std::string_view s, std::size_t width, Align align);
inline void append_right(std::string& out, std::string_view s, std::size_t width) {
    append_aligned(out, s, width, Align::Right);
}
inline void append_left(std::string& out, std::string_view s, std::size_t width) {
    append_aligned(out, s, width, Align::Left);
}

// Double-quoted text with the usual escapes (\" \\ \n \r \t \0, other control characters as
// \u{..}); used where messages quote a name.
std::string quoted(std::string_view s);

}  // namespace zyk::text
