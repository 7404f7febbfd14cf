#include <cmath>
#include <cstdint>
#include <random>
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

ZYK_TEST(tokens_split_at_runs_of_unicode_white_space) {
    std::string_view rest = "  C\t1.0\xC2\xA0\xC2\xA0-2 \xE2\x80\x83x\r\n";
    std::string_view expected[] = {"C", "1.0", "-2", "x"};
    for (std::string_view want : expected) EXPECT_EQ(next_token(rest), want);
    EXPECT_EQ(next_token(rest), "");
    EXPECT_EQ(rest, "");
    std::string_view broken = "a\xC2 b";  // a truncated sequence is part of the token
    EXPECT_EQ(next_token(broken), "a\xC2");
    EXPECT_EQ(next_token(broken), "b");
}

ZYK_TEST(character_prefixes_never_split_a_character) {
    struct { std::string_view in; std::size_t n; std::string_view out; } table[] = {
        {"ABCD", 3, "ABC"},
        {"AB", 3, "AB"},
        {"", 1, ""},
        {"\xC3\x85" "BC", 1, "\xC3\x85"},
        {"A\xE2\x82\xAC", 2, "A\xE2\x82\xAC"},
        {"ABC", 0, ""},
    };
    for (auto& row : table) EXPECT_EQ(prefix_chars(row.in, row.n), row.out);
}

ZYK_TEST(fast_paths_agree_with_the_general_number_forms) {
    // Fixed-point printing of floats and parsing of plain decimals take shortcuts; both must
    // give exactly what the general conversions give.
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-12, 12);
    for (int i = 0; i < 200000; ++i) {
        const float f = float(mantissa(rng) * std::pow(10.0, exponent(rng)));
        const int decimals = i % 9;
        std::string fast;
        append_fixed(fast, double(f), decimals);
        char buf[400];
        auto r = std::to_chars(buf, buf + sizeof buf, double(f), std::chars_format::fixed, decimals);
        const std::string slow(buf, r.ptr);
        if (fast != slow) {
            EXPECT_EQ(fast, slow);
            break;
        }
        float parsed = 0;
        std::from_chars(slow.data(), slow.data() + slow.size(), parsed);
        if (parse_f32(slow).value() != parsed) {
            EXPECT_EQ(parse_f32(slow).value(), parsed);
            break;
        }
        double parsed64 = 0;
        std::from_chars(slow.data(), slow.data() + slow.size(), parsed64);
        if (parse_f64(slow).value() != parsed64) {
            EXPECT_EQ(parse_f64(slow).value(), parsed64);
            break;
        }
    }
    struct { float v; int decimals; std::string_view out; } ties[] = {
        {0.125f, 2, "0.12"}, {0.375f, 2, "0.38"}, {2.5f, 0, "2"}, {3.5f, 0, "4"}, {-0.0001f, 3, "-0.000"},
        {-0.0f, 0, "-0"}, {16777216.0f, 8, "16777216.00000000"}, {1e30f, 2, "1000000015047466219876688855040.00"},
    };
    for (auto& row : ties) {
        std::string s;
        append_fixed(s, double(row.v), row.decimals);
        EXPECT_EQ(s, row.out);
    }
    struct { std::string_view in; float out; } decimals[] = {
        {"16777216", 16777216.0f}, {"16777217", 16777216.0f}, {"0.1", 0.1f}, {"123.456", 123.456f},
        {"-0.000", -0.0f}, {"00000000000000000000001.5", 1.5f}, {"0.0000000001", 1e-10f},
        {"0.00000000001", 1e-11f}, {"3.4028235e38", 3.4028235e38f},
    };
    for (auto& row : decimals) EXPECT_EQ(parse_f32(row.in).value(), row.out);
    EXPECT(std::signbit(parse_f32("-0.000").value()));
    EXPECT(parse_f32("1.2.3").error() == FloatError::Invalid);
    EXPECT(parse_f32(".").error() == FloatError::Invalid);
}

ZYK_TEST(short_integers_take_the_unchecked_path_with_the_same_results) {
    // Up to digits10 digits cannot overflow and skip the range checks; the edges on both
    // sides of that length must read as before.
    EXPECT_EQ(parse_int<std::uint8_t>("99").value(), 99);
    EXPECT_EQ(parse_int<std::uint8_t>("255").value(), 255);
    EXPECT(parse_int<std::uint8_t>("256").error() == IntError::PosOverflow);
    EXPECT_EQ(parse_int<std::int8_t>("-99").value(), -99);
    EXPECT_EQ(parse_int<std::int8_t>("-128").value(), -128);
    EXPECT(parse_int<std::int8_t>("-129").error() == IntError::NegOverflow);
    EXPECT(parse_int<std::int8_t>("128").error() == IntError::PosOverflow);
    EXPECT_EQ(parse_int<std::uint32_t>("999999999").value(), 999999999u);
    EXPECT_EQ(parse_int<std::uint32_t>("4294967295").value(), 4294967295u);
    EXPECT(parse_int<std::uint32_t>("4294967296").error() == IntError::PosOverflow);
    EXPECT_EQ(parse_int<std::int32_t>("-999999999").value(), -999999999);
    EXPECT_EQ(parse_int<std::int32_t>("+00000001").value(), 1);
    EXPECT_EQ(parse_int<std::int32_t>("0000000001").value(), 1);
    EXPECT(parse_int<std::int32_t>("12a").error() == IntError::InvalidDigit);
    EXPECT(parse_int<std::int32_t>("1/").error() == IntError::InvalidDigit);
    EXPECT(parse_int<std::int32_t>("1:").error() == IntError::InvalidDigit);
    EXPECT(parse_int<std::int32_t>("\xB1").error() == IntError::InvalidDigit);
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
