#include <cmath>
#include <cstdint>
#include <string>

#include "harness.hpp"
#include "text.hpp"

using namespace zyk::text;

ZYK_TEST(trim_removes_unicode_white_space_at_both_ends) {
    struct { std::string_view in, out; } table[] = {
        {"  CA  ", "CA"},
        {"\t\r\nX\v\f", "X"},
        {"\xC2\xA0N\xE2\x80\x83", "N"},  // NBSP, EM SPACE
        {"\xE3\x80\x80", ""},            // IDEOGRAPHIC SPACE
        {"a b", "a b"},
        {"", ""},
        {"\xC2", "\xC2"},                // a truncated sequence is not white space
        {"\xE2\x80", "\xE2\x80"},
        {"x\xC2\x85", "x"},              // NEL
    };
    for (auto& row : table) EXPECT_EQ(trim(row.in), row.out);
    EXPECT_EQ(trim_start("  a  "), "a  ");
    EXPECT_EQ(trim_end("  a  "), "  a");
}

ZYK_TEST(integers_take_an_optional_sign_and_digits_only) {
    EXPECT_EQ(parse_int<std::int32_t>("42").value(), 42);
    EXPECT_EQ(parse_int<std::int32_t>("+42").value(), 42);
    EXPECT_EQ(parse_int<std::int32_t>("-42").value(), -42);
    EXPECT_EQ(parse_int<std::int32_t>("-2147483648").value(), INT32_MIN);
    EXPECT_EQ(parse_int<std::int32_t>("2147483647").value(), INT32_MAX);
    EXPECT_EQ(parse_int<std::uint64_t>("18446744073709551615").value(), UINT64_MAX);
    EXPECT_EQ(parse_int<std::uint8_t>("255").value(), 255);
    EXPECT_EQ(parse_int<std::int32_t>("007").value(), 7);
    struct { std::string_view in; IntError err; } failures[] = {
        {"", IntError::Empty},
        {"+", IntError::InvalidDigit},
        {"-", IntError::InvalidDigit},
        {" 1", IntError::InvalidDigit},
        {"1.0", IntError::InvalidDigit},
        {"1e3", IntError::InvalidDigit},
        {"three", IntError::InvalidDigit},
        {"2147483648", IntError::PosOverflow},
        {"-2147483649", IntError::NegOverflow},
        {"99999999999999999999999", IntError::PosOverflow},
    };
    for (auto& row : failures) EXPECT(parse_int<std::int32_t>(row.in).error() == row.err);
    EXPECT(parse_int<std::uint32_t>("-3").error() == IntError::InvalidDigit);
    EXPECT(parse_int<std::uint32_t>("-0").error() == IntError::InvalidDigit);
    EXPECT(parse_int<std::uint8_t>("256").error() == IntError::PosOverflow);
    EXPECT_EQ(message(IntError::Empty), "cannot parse integer from empty string");
    EXPECT_EQ(message(IntError::InvalidDigit), "invalid digit found in string");
    EXPECT_EQ(message(IntError::PosOverflow), "number too large to fit in target type");
    EXPECT_EQ(message(IntError::NegOverflow), "number too small to fit in target type");
}

ZYK_TEST(floats_follow_the_decimal_rule_and_round_to_nearest) {
    struct { std::string_view in; float out; } table[] = {
        {"1", 1.0f}, {"-1.5", -1.5f}, {"+2.25", 2.25f}, {"1.", 1.0f}, {".5", 0.5f},
        {"1e3", 1000.0f}, {"1E-2", 0.01f}, {"2.5e+1", 25.0f}, {"0.1", 0.1f},
        {"1e39", INFINITY}, {"-1e39", -INFINITY}, {"1e-50", 0.0f}, {"inf", INFINITY},
        {"-Infinity", -INFINITY}, {"INF", INFINITY},
        {"340282356779733661637539395458142568447", 3.4028234663852886e38f},  // rounds down to max
    };
    for (auto& row : table) EXPECT_EQ(parse_f32(row.in).value(), row.out);
    EXPECT(std::isnan(parse_f32("nan").value()));
    EXPECT(std::isnan(parse_f32("NaN").value()));
    EXPECT_EQ(parse_f64("0.1").value(), 0.1);
    EXPECT(parse_f32("").error() == FloatError::Empty);
    for (std::string_view bad : {".", "e5", "1e", "1e+", "--1", "+-1", " 1", "1 ", "0x10", "nan(1)", "infinit", "1.2.3", "1,5"}) {
        EXPECT(parse_f32(bad).error() == FloatError::Invalid);
    }
    EXPECT_EQ(message(FloatError::Invalid), "invalid float literal");
    EXPECT_EQ(message(FloatError::Empty), "cannot parse float from empty string");
}

ZYK_TEST(shortest_forms_read_back_to_the_same_value) {
    struct { float v; std::string_view display, debug; } table[] = {
        {1.0f, "1", "1.0"},
        {-2.5f, "-2.5", "-2.5"},
        {0.1f, "0.1", "0.1"},
        {3.25f, "3.25", "3.25"},
        {0.0f, "0", "0.0"},
        {-0.0f, "-0", "-0.0"},
        {100.0f, "100", "100.0"},
        {1e20f, "100000000000000000000", "1e20"},
        {1.5e-5f, "0.000015", "1.5e-5"},
        {0.0001f, "0.0001", "0.0001"},
        {123456.79f, "123456.79", "123456.79"},
        {INFINITY, "inf", "inf"},
        {-INFINITY, "-inf", "-inf"},
        {NAN, "NaN", "NaN"},
    };
    for (auto& row : table) {
        EXPECT_EQ(shortest(row.v, FloatStyle::Display), row.display);
        EXPECT_EQ(shortest(row.v, FloatStyle::Debug), row.debug);
    }
    EXPECT_EQ(shortest(0.1, FloatStyle::Display), "0.1");
    EXPECT_EQ(shortest(double(0.1f), FloatStyle::Display), "0.10000000149011612");
}

ZYK_TEST(fixed_point_rounds_the_exact_value) {
    struct { double v; int decimals; std::string_view out; } table[] = {
        {1.0, 5, "1.00000"},
        {-1.23456789, 3, "-1.235"},
        {0.5, 0, "0"},
        {1.5, 0, "2"},
        {2.5, 0, "2"},
        {0.125, 2, "0.12"},
        {double(0.1f), 10, "0.1000000015"},
        {-0.0, 3, "-0.000"},
        {1e6, 1, "1000000.0"},
    };
    for (auto& row : table) {
        std::string s;
        append_fixed(s, row.v, row.decimals);
        EXPECT_EQ(s, row.out);
    }
}

ZYK_TEST(alignment_pads_by_characters) {
    std::string s;
    append_right(s, "CA", 4);
    append_left(s, "N", 3);
    append_right(s, "toolong", 3);
    append_right(s, "\xC3\x85", 3);  // one character, two bytes
    EXPECT_EQ(s, "  CAN  toolong  \xC3\x85");
    EXPECT_EQ(char_count("\xC3\x85x"), 2u);
}

ZYK_TEST(quoting_escapes_like_a_debug_form) {
    EXPECT_EQ(quoted("X1"), "\"X1\"");
    EXPECT_EQ(quoted("a\"b\\c\n"), "\"a\\\"b\\\\c\\n\"");
    EXPECT_EQ(quoted(std::string_view("\x01", 1)), "\"\\u{1}\"");
}

ZYK_TEST(white_space_at_measures_one_code_point) {
    struct { std::string_view in; std::size_t at, len; } table[] = {
        {" x", 0, 1}, {"\tx", 0, 1}, {"x y", 0, 0}, {"x y", 1, 1},
        {"\xC2\xA0", 0, 2},          // NBSP
        {"\xE2\x80\x83x", 0, 3},     // EM SPACE
        {"\xE3\x80\x80", 0, 3},      // IDEOGRAPHIC SPACE
        {"\xC3\xA9", 0, 0},          // a letter
        {"\xE2\x80", 0, 0},          // truncated
        {"\xFF", 0, 0},
    };
    for (auto& row : table) EXPECT_EQ(white_space_at(row.in, row.at), row.len);
    char32_t cp = 0;
    EXPECT_EQ(decode_utf8_at("\xC3\xA9", 0, cp), std::size_t(2));
    EXPECT_EQ(std::uint32_t(cp), std::uint32_t(0xE9));
    EXPECT_EQ(decode_utf8_at("\x80", 0, cp), std::size_t(0));
}
