// Text helpers shared by every reader and writer: trimming, the number rules and the output
// forms. One parser per number rule and one formatter per output form, so that all formats
// agree on what "an integer" or "five decimals" means.
#pragma once

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
std::expected<float, FloatError> parse_f32(std::string_view s);
std::expected<double, FloatError> parse_f64(std::string_view s);

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
