// The mmCIF text layer: tokeniser, block/item/loop rules and row accessors. Only part of it
// shows through from_mmcif, so the rules are pinned here directly.
#include <cmath>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "convert/mmcif/builder.hpp"
#include "convert/mmcif/letters.hpp"
#include "convert/mmcif/secondary.hpp"
#include "convert/mmcif/syntax.hpp"
#include "harness.hpp"

using namespace zyk;
using namespace zyk::mmcif;

namespace {

std::vector<std::string> tokens(std::string_view line) {
    std::vector<std::string_view> out;
    std::deque<std::string> owned;
    tokenize_loop_line(line, out, owned);
    return {out.begin(), out.end()};
}

using Strings = std::vector<std::string>;

std::string join(const Strings& v) {
    std::string s = "[";
    for (const auto& x : v) s += "<" + x + ">";
    return s + "]";
}

Strings row_strings(Row row) {
    Strings out;
    for (std::size_t i = 0; i < row.size(); ++i) out.emplace_back(row[i]);
    return out;
}

const Loop& loop_of(const DataBlock& b, std::string_view key) {
    static const Loop empty;
    const Loop* l = get_loop_data(b, key);
    return l ? *l : empty;
}

}  // namespace

ZYK_TEST(mmcif_tokeniser_quote_semicolon_and_placeholder_rules) {
    struct {
        std::string_view line;
        Strings values;
    } table[] = {
        {"a b  c", {"a", "b", "c"}},
        {"'a b' c", {"a b", "c"}},
        {"\"it's\" x", {"it's", "x"}},
        {"'a\"b' \"a'b\"", {"a\"b", "a'b"}},
        {". ? x", {"", "", "x"}},
        {"'.' \"?\"", {"", ""}},
        {"'' x", {"x"}},
        {"\"\"", {}},
        {"a'b c'd", {"ab c", "d"}},
        {"'a'b", {"a", "b"}},
        {"'a b", {"a b"}},            // unterminated: the rest of the line
        {"x 'a", {"x", "a"}},
        {";text here", {""}},
        {"a ;b c", {"a", ""}},
        {"a;b", {"a;b"}},
        {"#a b", {"#a", "b"}},        // "#" is ordinary inside a line
        {"x\xC2\xA0y\xE3\x80\x80z", {"x", "y", "z"}},  // NBSP and ideographic space split
        {"x\ty\rz", {"x", "y", "z"}},
        {"\xC3\xA9t\xC3\xA9", {"\xC3\xA9t\xC3\xA9"}},
        {"\xFF\xFE a", {"\xFF\xFE", "a"}},  // invalid UTF-8 is not white space
        {"", {}},
    };
    for (const auto& row : table) {
        const Strings got = tokens(row.line);
        if (got != row.values) {
            EXPECT_EQ(join(got), join(row.values));
        }
    }
}

ZYK_TEST(mmcif_blocks_and_single_items) {
    EXPECT(parse_mmcif("").blocks.empty());
    EXPECT(parse_mmcif("_a.b 1\nloop_\n_x.y\n1\n").blocks.empty());

    const Document doc = parse_mmcif(
        "_before.tag 1\n"
        "data_\n"
        "_struct_ref_seq.pdbx_strand_id A\n"
        "_q.quoted   'two words'  \n"
        "_q.unknown ?\n"
        "_q.dot .\n"
        "_q.alone\n"
        "_q.replaced 1\n"
        "_q.replaced 2\n"
        "  _q.indented\tv w  \n"
        "stray value line\n"
        "; text field\n"
        "data_2BEG\r\n"
        "_x.y z\r\n");
    EXPECT_EQ(doc.blocks.size(), std::size_t(2));
    if (doc.blocks.size() != 2) return;
    const DataBlock& a = doc.blocks[0];
    EXPECT_EQ(a.name, "");
    EXPECT(!get_single_data(a, "_before.tag"));
    EXPECT_EQ(get_single_data(a, "_struct_ref_seq.pdbx_strand_id").value_or("-"), "A");
    EXPECT_EQ(get_single_data(a, "_q.quoted").value_or("-"), "'two words'");
    EXPECT_EQ(get_single_data(a, "_q.unknown").value_or("-"), "?");
    EXPECT_EQ(get_single_data(a, "_q.dot").value_or("-"), ".");
    EXPECT(!get_single_data(a, "_q.alone"));
    EXPECT_EQ(get_single_data(a, "_q.replaced").value_or("-"), "2");
    EXPECT_EQ(get_single_data(a, "_q.indented").value_or("-"), "v w");
    EXPECT_EQ(a.items.size(), std::size_t(6));
    const DataBlock& b = doc.blocks[1];
    EXPECT_EQ(b.name, "2BEG");
    EXPECT_EQ(get_single_data(b, "_x.y").value_or("-"), "z");
}

ZYK_TEST(mmcif_loop_rows_and_their_ends) {
    const Document doc = parse_mmcif(
        "data_t\n"
        "loop_ ignored words\n"
        "_atom_site.group_PDB\n"
        "_atom_site.id\n"
        "_atom_site.type_symbol\n"
        "ATOM 1 C\n"
        "ATOM 2\n"            // a row over two lines
        "C\n"
        "ATOM 3 C extra\n"    // too many values: dropped
        "# comment\n"
        "\n"
        "ATOM 4\n"
        "\n"                  // inside a row an empty line adds nothing
        "#\n"                 // and a comment line is split like any other
        "ATOM . ?\n"
        "ATOM 6\n"            // cut short by the next tag: dropped
        "_other.tag v\n"
        "loop_\n"
        "_short\n"
        "'a'\n"
        "loop_\n"
        "_empty.loop\n"
        "#\n"
        "loop_\n"
        "1 2 3\n"             // a loop without columns is discarded
        "data_next\n"
        "loop_\n"
        "_z.a\n"
        "_z.b\n"
        "1\n"
        "data_last\n");
    EXPECT_EQ(doc.blocks.size(), std::size_t(3));
    if (doc.blocks.size() != 3) return;
    const DataBlock& t = doc.blocks[0];
    const Loop* atoms = get_loop_data(t, "_atom_site");
    EXPECT(atoms != nullptr);
    EXPECT(!get_single_data(t, "_atom_site"));
    if (!atoms) return;
    EXPECT_EQ(atoms->columns.size(), std::size_t(3));
    EXPECT_EQ(atoms->row_count(), std::size_t(4));
    const std::vector<Strings> want = {{"ATOM", "1", "C"}, {"ATOM", "2", "C"}, {"ATOM", "4", "#"}, {"ATOM", "", ""}};
    for (std::size_t i = 0; i < want.size() && i < atoms->row_count(); ++i) EXPECT_EQ(join(row_strings(atoms->row(i))), join(want[i]));
    EXPECT_EQ(join(row_strings(atoms->row(2))), join({"ATOM", "4", "#"}));
    EXPECT_EQ(get_single_data(t, "_other.tag").value_or("-"), "v");
    EXPECT_EQ(loop_of(t, "_short").row_count(), std::size_t(1));
    EXPECT_EQ(join(row_strings(loop_of(t, "_short").row(0))), join({"a"}));
    const Loop* empty = get_loop_data(t, "_empty");
    EXPECT(empty != nullptr && empty->row_count() == 0 && empty->columns.size() == 1);
    EXPECT_EQ(t.items.size(), std::size_t(4));
    // A row cut short by the next block is dropped too.
    EXPECT_EQ(loop_of(doc.blocks[1], "_z").row_count(), std::size_t(0));
    EXPECT_EQ(doc.blocks[2].name, "last");
}

ZYK_TEST(mmcif_loop_header_ends_at_first_other_line) {
    const Document doc = parse_mmcif("data_x\nloop_\n_a.x\n\n_a.y\n1 2\nloop_\n_b.x\n_b.y\n1 2\n3\n4\n");
    const DataBlock& b = doc.blocks.at(0);
    EXPECT_EQ(loop_of(b, "_a").columns.size(), std::size_t(1));
    EXPECT_EQ(loop_of(b, "_a").row_count(), std::size_t(0));
    EXPECT_EQ(loop_of(b, "_b").row_count(), std::size_t(2));
    EXPECT_EQ(join(row_strings(loop_of(b, "_b").row(1))), join({"3", "4"}));
}

ZYK_TEST(mmcif_large_loop_rows_survive_chunking) {
    std::string text = "data_big\nloop_\n_t.a\n_t.b\n";
    const std::size_t n = 5000;
    for (std::size_t i = 0; i < n; ++i) text += std::to_string(i) + " x" + std::to_string(i) + "\n";
    const Document doc = parse_mmcif(text);
    const Loop& l = loop_of(doc.blocks.at(0), "_t");
    EXPECT_EQ(l.row_count(), n);
    bool all = true;
    for (std::size_t i = 0; i < n; ++i) {
        const Row r = l.row(i);
        std::string second = "x";
        second += std::to_string(i);
        all = all && r.size() == 2 && r[0] == std::to_string(i) && r[1] == second;
    }
    EXPECT(all);
    EXPECT(l.row(n).empty());
}

ZYK_TEST(mmcif_column_lookup_is_exact) {
    const std::vector<std::string_view> cols = {"_atom_site.id", "_atom_site.ID", "_atom_site.id"};
    EXPECT_EQ(find_column_index(cols, "_atom_site.id").value_or(99), std::size_t(0));
    EXPECT_EQ(find_column_index(cols, "_atom_site.ID").value_or(99), std::size_t(1));
    EXPECT(!find_column_index(cols, "_atom_site.i"));
}

ZYK_TEST(mmcif_row_accessors_follow_the_number_rules) {
    const std::vector<std::string_view> values = {"12", "+7", "-0", "1.0", "", "?", ".", "A", "-1", "1e3", "4294967295",
                                                  "2147483648", " 5", "inf", "x"};
    const Row row(values);
    struct {
        std::size_t col;
        std::optional<std::int32_t> i32;
        std::int32_t i32_or;
        std::uint32_t u32_or;
    } ints[] = {
        {0, 12, 12, 12},   {1, 7, 7, 7},      {2, 0, 0, 99},     {3, std::nullopt, -5, 99},
        {4, std::nullopt, -5, 99}, {5, std::nullopt, -5, 99}, {6, std::nullopt, -5, 99}, {7, std::nullopt, -5, 99},
        {8, -1, -1, 99},   {9, std::nullopt, -5, 99}, {10, std::nullopt, -5, 4294967295u}, {11, std::nullopt, -5, 2147483648u},
        {12, std::nullopt, -5, 99},
    };
    for (const auto& c : ints) {
        EXPECT_EQ(row_i32(row, c.col).value_or(-12345), c.i32.value_or(-12345));
        EXPECT_EQ(row_i32_or(row, c.col, -5), c.i32_or);
        EXPECT_EQ(row_u32_or(row, c.col, 99), c.u32_or);
    }
    EXPECT_EQ(row_f32_or(row, 9, -1.0f), 1000.0f);
    EXPECT_EQ(row_f32_or(row, 3, -1.0f), 1.0f);
    EXPECT_EQ(row_f32_or(row, 8, 0.0f), -1.0f);
    EXPECT(std::isinf(row_f32_or(row, 13, 0.0f)));
    EXPECT_EQ(row_f32_or(row, 4, 2.5f), 2.5f);
    EXPECT_EQ(row_f32_or(row, 14, 2.5f), 2.5f);

    // Fallbacks: a non-number falls back as well as a missing value.
    EXPECT_EQ(row_i32_fallback(row, 7, 0).value_or(-1), 12);
    EXPECT_EQ(row_i32_fallback(row, 5, 1).value_or(-1), 7);
    EXPECT_EQ(row_i32_fallback(row, 0, 1).value_or(-1), 12);
    EXPECT(!row_i32_fallback(row, 7, 5));
    EXPECT_EQ(row_str_fallback(row, 5, 7).value_or("-"), "A");
    EXPECT_EQ(row_str_fallback(row, std::nullopt, 0).value_or("-"), "12");
    EXPECT(!row_str_fallback(row, 4, 6));

    // Absent columns and columns beyond the row.
    for (Column c : {Column{}, Column{values.size()}, Column{1000}}) {
        EXPECT(!row_str(row, c));
        EXPECT(!row_i32(row, c));
        EXPECT_EQ(row_i32_or(row, c, 3), 3);
        EXPECT_EQ(row_u32_or(row, c, 4u), 4u);
        EXPECT_EQ(row_f32_or(row, c, 0.5f), 0.5f);
        EXPECT_EQ(row_string_or_default(row, c), "");
    }
    EXPECT_EQ(row_str(row, 7).value_or("-"), "A");
    for (std::size_t c : {4, 5, 6}) EXPECT(!row_str(row, c));
    // "?" and "." read raw (single items are stored unchanged) count as missing.
    EXPECT_EQ(row_string_or_default(row, 5), "?");
}

ZYK_TEST(mmcif_charges) {
    struct {
        std::string_view text;
        std::optional<std::int32_t> charge;
    } table[] = {
        {"", 0},     {"  ", 0},   {"1+", 1},    {"2-", -2},   {"-1", -1},    {"+1", 1},
        {"1", 1},    {" 3+ ", 3}, {"+2+", 2},   {"-2-", 2},   {"+", std::nullopt}, {"-", std::nullopt},
        {"1.5", std::nullopt}, {"a", std::nullopt}, {"1 +", std::nullopt}, {"2147483647+", 2147483647},
        {"2147483648+", std::nullopt}, {"-2147483648", INT32_MIN}, {"-2147483648-", std::nullopt}, {"--", std::nullopt},
    };
    for (const auto& row : table) {
        const auto got = parse_charge(row.text);
        EXPECT_EQ(got.has_value(), row.charge.has_value());
        if (got && row.charge) EXPECT_EQ(*got, *row.charge);
    }
}

ZYK_TEST(mmcif_error_messages) {
    using K = MmCifError::Kind;
    struct {
        MmCifError e;
        std::string_view text;
    } table[] = {
        {{K::InvalidFormat, "x"}, "invalid mmCIF format: x"},
        {{K::MissingField, "_atom_site.id"}, "missing required field: _atom_site.id"},
        {{K::InvalidElement, "QX"}, "invalid element symbol: QX"},
        {{K::Parse, "bad"}, "parse error: bad"},
        {{K::InvalidConnection, "7"}, "invalid connection for atom 7"},
        {{K::ChargeMismatch, ""}, "atom charges should zip with atoms"},
    };
    for (const auto& row : table) EXPECT_EQ(message(row.e), row.text);
}

ZYK_TEST(mmcif_sheet_senses) {
    struct {
        std::string_view text;
        std::optional<StrandSense> sense;
    } table[] = {
        {"first", StrandSense::First},         {"FIRST", StrandSense::First},
        {"parallel", StrandSense::Parallel},   {"Parallel", StrandSense::Parallel},
        {"antiparallel", StrandSense::AntiParallel}, {"ANTIPARALLEL", StrandSense::AntiParallel},
        {"Anti-Parallel", StrandSense::AntiParallel}, {"anti parallel", std::nullopt},
        {"", std::nullopt},                    {"para", std::nullopt},
    };
    for (const auto& row : table) EXPECT(parse_sheet_sense(row.text) == row.sense);
}

ZYK_TEST(mmcif_sequence_starts_split_strand_lists) {
    SeqStartMap starts;
    insert_chain_seq_begin(starts, " A, B,,C ,", 5);
    insert_chain_seq_begin(starts, "B,D", 9);
    insert_chain_seq_begin(starts, "", 1);
    EXPECT_EQ(starts.size(), std::size_t(4));
    EXPECT_EQ(starts.at("A"), 5);
    EXPECT_EQ(starts.at("B"), 5);  // the first row naming a chain wins
    EXPECT_EQ(starts.at("C"), 5);
    EXPECT_EQ(starts.at("D"), 9);
}

ZYK_TEST(mmcif_type_symbol_letters) {
    struct {
        std::string_view in, out;
    } table[] = {
        {"O1-", "O"},
        {"FE", "FE"},
        {"Fe2+", "Fe"},
        {"F\xC3\xA9", "F\xC3\xA9"},           // é is a letter
        {"O\xC2\xB2\xE2\x81\xBB", "O"},       // superscript two and minus are not
        {"\xCE\xB1x", "\xCE\xB1x"},           // Greek alpha
        {"C\xFF", "C"},                       // invalid UTF-8 dropped
        {"12", ""},
    };
    for (const auto& row : table) EXPECT_EQ(letters_only(row.in), row.out);
    EXPECT(is_letter(U'\u4E2D'));
    EXPECT(!is_letter(U'\u0663'));  // Arabic-Indic digit three
}

ZYK_TEST(mmcif_rows_far_apart_or_long_keep_their_values) {
    const std::string long_value(70000, 'x');
    std::string text = "data_w\nloop_\n_w.a\n_w.b\n";
    text += "a\n" + std::string(70000, '\n') + "b\n";  // the second value is far from the first
    text += "c " + long_value + "\n";                    // a value too long to pack
    text += "x'q' s\n";                                 // an assembled value
    text += "d e\n";
    const Document doc = parse_mmcif(text);
    const Loop& l = loop_of(doc.blocks.at(0), "_w");
    EXPECT_EQ(l.row_count(), std::size_t(4));
    if (l.row_count() != 4) return;
    EXPECT_EQ(join(row_strings(l.row(0))), join({"a", "b"}));
    EXPECT(l.row(1)[0] == "c" && l.row(1)[1] == long_value);
    EXPECT_EQ(join(row_strings(l.row(2))), join({"xq", "s"}));
    EXPECT_EQ(join(row_strings(l.row(3))), join({"d", "e"}));
}
