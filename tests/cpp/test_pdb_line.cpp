// PDB record lines: the kinds and printing paths the reader and writer never take, and the
// field trace.
#include <string>
#include <vector>

#include "convert/pdb/line.hpp"
#include "harness.hpp"
#include "log.hpp"

using namespace zyk;
using namespace zyk::pdb;

namespace {

const std::string atom_line = "ATOM    413  CA  GLY A  52A     11.104  -6.134   2.047  1.00 20.51      SEG1 C1+";

std::string error_of(std::string_view text, std::uint32_t number = 7) {
    auto line = Line::try_from(text, number);
    return line ? std::string("<ok>") : message(line.error());
}

// The record of a line that must parse; a default record (and a failure) otherwise.
template <class T>
T parsed(std::string_view text) {
    auto line = Line::try_from(text, 1);
    if (!line || !std::holds_alternative<T>(line->value)) {
        ::zyk_test::report(__FILE__, __LINE__, "line did not parse as expected: " + std::string(text) +
                                                   (line ? "" : " (" + message(line.error()) + ")"));
        return T{};
    }
    return std::get<T>(line->value);
}

struct Captured {
    std::vector<std::string> messages;
    static void sink(void* self, const log::Event& e) {
        static_cast<Captured*>(self)->messages.emplace_back(e.message);
    }
};

}  // namespace

ZYK_TEST(atom_lines_fill_every_field) {
    auto line = Line::try_from(atom_line, 1);
    EXPECT(line.has_value());
    EXPECT(line->kind() == RecordKind::Atom);
    const Atom& a = std::get<Atom>(line->value);
    EXPECT_EQ(a.serial, 413u);
    EXPECT_EQ(a.name, "CA");
    EXPECT(!a.alt_loc.has_value());
    EXPECT_EQ(a.res_name, "GLY");
    EXPECT_EQ(a.chain_id, "A");
    EXPECT_EQ(a.res_seq, 52);
    EXPECT(a.i_code == std::optional<std::string>("A"));
    EXPECT_EQ(a.x, 11.104f);
    EXPECT_EQ(a.y, -6.134f);
    EXPECT_EQ(a.z, 2.047f);
    EXPECT_EQ(a.occupancy, 1.0f);
    EXPECT_EQ(a.temp_factor, 20.51f);
    EXPECT(a.seg_id == std::optional<std::string>("SEG1"));
    EXPECT(a.element == Element::C);
    EXPECT_EQ(a.charge, 1);
    EXPECT(!a.hetatm);

    auto het = Line::try_from("HETATM" + atom_line.substr(6), 1);
    EXPECT(std::get<Atom>(het->value).hetatm);
}

ZYK_TEST(dispatch_by_length_and_record_name) {
    EXPECT(Line::try_from("END", 1)->kind() == RecordKind::End);
    EXPECT(Line::try_from("END   ", 1)->kind() == RecordKind::End);
    EXPECT(Line::try_from("END                 ", 1)->kind() == RecordKind::End);
    EXPECT(Line::try_from("ENDMDL", 1)->kind() == RecordKind::Endmdl);
    EXPECT(Line::try_from("MODEL        1", 1)->kind() == RecordKind::Model);
    EXPECT(*Line::try_from("TER", 1) == Line{Other{"TER"}});
    EXPECT((*Line::try_from("TER   ", 1) == Line{Ter{0, "", "", 0}}));
    EXPECT((*Line::try_from("TER    5170      HOH A 401", 1) == Line{Ter{5170, "HOH", "A", 401}}));
    EXPECT((*Line::try_from("TER    xx        HOH A  4x", 1) == Line{Ter{0, "HOH", "A", 0}}));
    // Anything else keeps its text, padded to 80 columns.
    EXPECT(*Line::try_from("atom  1", 1) == Line{Other{"atom  1" + std::string(73, ' ')}});
    EXPECT(*Line::try_from("REMARK", 1) == Line{Other{"REMARK" + std::string(74, ' ')}});
    const std::string long_line(90, 'R');
    EXPECT(*Line::try_from(long_line, 1) == Line{Other{long_line}});
    EXPECT(*Line::try_from("ENDX  ", 1) == Line{Other{"ENDX" + std::string(76, ' ')}});

    EXPECT_EQ(error_of(""), "invalid line length, expected '> 3', found '0'");
    EXPECT_EQ(error_of("EN"), "invalid line length, expected '> 3', found '2'");
    EXPECT_EQ(error_of("XYZ"), "invalid line, expected 'END', found 'XYZ'");
    EXPECT_EQ(error_of("ENDX"), "invalid line length, expected '> 6', found '4'");
    EXPECT_EQ(error_of("ATOM "), "invalid line length, expected '> 6', found '5'");
}

ZYK_TEST(record_kind_agrees_with_try_from) {
    const std::string_view lines[] = {"SEQRES   1 A    1  ALA", "DBREF  1TII D    1    98", "HELIX    1   1 ALA A    1  ALA A    2  1",
                                      "SHEET    1   A 2 ALA A   1  ALA A   2  0", atom_line, "CONECT    1    2",
                                      "TER   ", "REMARK", "MODEL ", "ENDMDL", "END"};
    for (std::string_view l : lines) {
        auto line = Line::try_from(l, 1);
        EXPECT(line.has_value());
        EXPECT(record_kind(l).value() == line->kind());
    }
}

ZYK_TEST(dbref_reads_chain_and_first_number_only) {
    EXPECT((*Line::try_from("DBREF  1TII D    1    98  SWS    P43529   E2BB_ECOLI      24    121", 3) ==
            Line{Dbref{"D", 1}}));
    EXPECT((*Line::try_from("DBREF  1TII A  -12", 3) == Line{Dbref{"A", -12}}));
    EXPECT_EQ(error_of("DBREF  1TII A", 3), "expected int at 3:14-18");
}

ZYK_TEST(seqres_takes_names_until_a_blank_one) {
    auto s = parsed<Seqres>("SEQRES   2 D   99  THR ALA SER LEU VAL GLU GLY VAL GLU LEU THR LYS TYR");
    EXPECT_EQ(s.ser_num, 2u);
    EXPECT_EQ(s.chain_id, "D");
    EXPECT_EQ(s.num_res, 99u);
    EXPECT_EQ(s.res_names.size(), 13u);
    EXPECT_EQ(s.res_names.front(), "THR");
    EXPECT_EQ(s.res_names.back(), "TYR");
    auto short_one = parsed<Seqres>("SEQRES   1 A    3  ALA  U      GLY");
    EXPECT(short_one.res_names == (std::vector<std::string>{"ALA", "U"}));
    // Fifteen names fit into 80 columns.
    std::string full = "SEQRES   1 A   15 ";
    for (int i = 0; i < 16; ++i) full += " GLY";
    auto fifteen = parsed<Seqres>(full.substr(0, 80));
    EXPECT_EQ(fifteen.res_names.size(), 15u);
    EXPECT_EQ(error_of("SEQRES   x A   15  GLY", 4), "expected int at 4:7-10");
    EXPECT_EQ(error_of("SEQRES   1 A       GLY", 4), "expected int at 4:13-17");
}

ZYK_TEST(conect_reads_five_column_serials) {
    auto c = parsed<Conect>("CONECT  413  412  414");
    EXPECT(c.serials == (std::vector<std::uint32_t>{413, 412, 414}));
    auto gap = parsed<Conect>("CONECT  413  412       414");
    EXPECT(gap.serials == (std::vector<std::uint32_t>{413, 412}));
    EXPECT(parsed<Conect>("CONECT").serials.empty());
    // 14 fields at most on an 80-column line; a longer line has room for more.
    std::string many = "CONECT";
    for (int i = 1; i <= 16; ++i) many += "    " + std::string(1, char('0' + i % 10));
    EXPECT_EQ(parsed<Conect>(many.substr(0, 80)).serials.size(), 14u);
    EXPECT_EQ(parsed<Conect>(many).serials.size(), 16u);
    EXPECT_EQ(error_of("CONECT  413 -412", 9), "expected int at 9:11-16");
    EXPECT_EQ(error_of("CONECT  41x", 9), "expected int at 9:6-11");
}

ZYK_TEST(helix_fields_and_defaults) {
    auto h = std::get<Helix>(
        Line::try_from("HELIX    1   1 ALA A   13B GLY A   24  1                                  12", 1)->value);
    EXPECT_EQ(h.ser_num, 1);
    EXPECT_EQ(h.helix_id, "1");
    EXPECT_EQ(h.init_res_name, "ALA");
    EXPECT_EQ(h.init_chain_id, "A");
    EXPECT_EQ(h.init_seq_num, 13);
    EXPECT_EQ(h.init_i_code, "B");
    EXPECT_EQ(h.end_res_name, "GLY");
    EXPECT_EQ(h.end_seq_num, 24);
    EXPECT_EQ(h.end_i_code, "~");
    EXPECT_EQ(h.helix_class, 1);
    EXPECT_EQ(h.length, 12);
    auto bare = parsed<Helix>("HELIX    2   2 ALA A   13  GLY A   24");
    EXPECT_EQ(bare.helix_class, 0);
    EXPECT_EQ(bare.length, 0);
    EXPECT_EQ(error_of("HELIX        2 ALA A   13  GLY A   24", 2), "expected int at 2:7-10");
    EXPECT_EQ(error_of("HELIX    2   2 ALA A       GLY A   24", 2), "expected int at 2:21-25");
    EXPECT_EQ(error_of("HELIX    2   2 ALA A   13  GLY A     ", 2), "expected int at 2:33-37");
    EXPECT_EQ(error_of("HELIX    2   2 ALA A   13  GLY A   24 x", 2), "expected int at 2:38-40");
}

ZYK_TEST(sheet_fields_and_defaults) {
    auto s = parsed<Sheet>("SHEET    2   A 5 TYR A  22  ASP A  27 -1  O  ILE A  24   N  VAL A  15");
    EXPECT_EQ(s.strand, 2);
    EXPECT_EQ(s.sheet_id, "A");
    EXPECT_EQ(s.num_strands, 5);
    EXPECT_EQ(s.init_res_name, "TYR");
    EXPECT_EQ(s.init_seq_num, 22);
    EXPECT_EQ(s.init_i_code, "~");
    EXPECT_EQ(s.end_res_name, "ASP");
    EXPECT_EQ(s.end_chain_id, "A");
    EXPECT_EQ(s.end_seq_num, 27);
    EXPECT_EQ(s.sense, -1);
    EXPECT_EQ(s.cur_atom, "O");
    EXPECT_EQ(s.cur_res_name, "ILE");
    EXPECT_EQ(s.cur_chain_id, "A");
    EXPECT_EQ(s.cur_res_seq, 24);
    EXPECT_EQ(s.cur_i_code, "~");
    EXPECT_EQ(s.prev_atom, "N");
    EXPECT_EQ(s.prev_res_name, "VAL");
    EXPECT_EQ(s.prev_res_seq, 15);
    EXPECT_EQ(s.prev_i_code, "~");
    auto first = parsed<Sheet>("SHEET    1   A   TYR A  22  ASP A  27");
    EXPECT_EQ(first.num_strands, 0);
    EXPECT_EQ(first.sense, 0);
    EXPECT_EQ(first.cur_res_seq, 0);
    EXPECT_EQ(error_of("SHEET    1   A   TYR A  22  ASP A  27  0  O  ILE A  2x", 5), "expected int at 5:50-54");
}

ZYK_TEST(printing_every_kind) {
    EXPECT(try_to_string(Line{Dbref{"A", 1}}).error() == "Line::Dbref: Cannot convert to string");
    EXPECT(try_to_string(Line{Conect{{1}}}).error() == "CONECT with less than 2 atoms not supported");
    EXPECT(try_to_string(Line{Conect{{}}}).error() == "CONECT with less than 2 atoms not supported");
    EXPECT(try_to_string(Line{Conect{{1, 2, 3, 4, 5}}}).error() == "CONECT with more than 4 atoms not supported");
    EXPECT_EQ(try_to_string(Line{Conect{{413, 412, 414, 123456}}}).value(), "CONECT  413  412  414123456");
    EXPECT_EQ(try_to_string(Line{Ter{5170, "HOH", "A", 401}}).value(), "TER    5170      HOH A 401");
    EXPECT_EQ(try_to_string(Line{Ter{0, "", "", 0}}).value(), "TER       0              0");
    EXPECT_EQ(try_to_string(Line{Other{"REMARK  stays as it is"}}).value(), "REMARK  stays as it is");
    EXPECT_EQ(try_to_string(Line{Model{}}).value(), "MODEL ");
    EXPECT_EQ(try_to_string(Line{Endmdl{}}).value(), "ENDMDL");
    EXPECT_EQ(try_to_string(Line{End{}}).value(), "END");
    EXPECT_EQ(try_to_string(Line{Seqres{1, "A", 2, {"ALA", "U"}}}).value(),
              "SEQRES   1 A    2  ALA U          ");
    EXPECT_EQ(try_to_string(Line{Seqres{1234, "AB", 12345, {}}}).value(), "SEQRES 1234 AB 12345           ");
}

ZYK_TEST(atom_text_columns) {
    Atom a;
    a.serial = 0;
    a.name = "CA";
    a.res_name = "GLY";
    a.chain_id = "A";
    a.res_seq = 52;
    a.i_code = "A";
    a.x = 11.104f;
    a.y = -6.1345f;
    a.z = 2.0f;
    a.occupancy = 1.0f;
    a.temp_factor = 0.0f;
    a.element = Element::C;
    a.charge = -2;
    EXPECT_EQ(try_to_string(a).value(),
              "ATOM      0  CA  GLY A  52A     11.104  -6.135   2.000  1.00  0.00           C2-");
    a.name = "HG21";
    a.hetatm = true;
    a.alt_loc = "BX";
    a.res_name = "LONG";
    a.chain_id = "XY";
    a.i_code.reset();
    a.seg_id = "SEGMENT";
    a.element = Element::Cl;
    a.charge = 12;
    a.serial = 1234567;
    EXPECT_EQ(try_to_string(a).value(),
              "HETATM1234567 HG21BLON X  52      11.104  -6.135   2.000  1.00  0.00      SEGMCl12");
    a.name = "";
    a.serial = 1;
    a.seg_id.reset();
    a.charge = 0;
    a.alt_loc.reset();
    a.res_name = "";
    a.chain_id = "";
    EXPECT_EQ(try_to_string(a).value(),
              "HETATM    1             52      11.104  -6.135   2.000  1.00  0.00          Cl  ");
    EXPECT_EQ(try_to_string(a)->size(), 80u);
    a.name = "HG211";
    EXPECT(try_to_string(a).error() == "atom name \"HG211\" is longer than 4 characters");
    std::string out = "kept";
    EXPECT(!append_atom(out, a).has_value());
    EXPECT_EQ(out, "kept");
    // Characters, not bytes, count: a four-character name with a two-byte letter fits.
    a.name = "C\xC3\x85" "1A";
    EXPECT(try_to_string(a)->substr(12, 5) == "C\xC3\x85" "1A");
    a.name = "C\xC3\x85" "1";
    EXPECT(try_to_string(a)->substr(12, 5) == " C\xC3\x85" "1");
}

ZYK_TEST(helix_and_sheet_text_columns) {
    Helix h{1, "1", "ALA", "A", 13, "B", "GLY", "A", 24, "~", 1, 12};
    // Identifiers start in their first column; numbers are right-aligned.
    EXPECT_EQ(to_string(h), "HELIX    1 1   ALA A   13B GLY A   24  1                                  12    ");
    Helix cut{12345, "ABCDE", "LONG", "XY", -12345, "", "X", "", 7, "QZ", 0, 0};
    EXPECT_EQ(to_string(cut), "HELIX  123 ABC LON X -123  X        7Q" + std::string(42, ' '));
    Sheet s;
    s.strand = 2;
    s.sheet_id = "A";
    s.num_strands = 5;
    s.init_res_name = "TYR";
    s.init_chain_id = "A";
    s.init_seq_num = 22;
    s.init_i_code = "~";
    s.end_res_name = "ASP";
    s.end_chain_id = "A";
    s.end_seq_num = 27;
    s.end_i_code = "";
    s.sense = -1;
    s.cur_atom = "O";
    s.cur_res_name = "ILE";
    s.cur_chain_id = "A";
    s.cur_res_seq = 24;
    s.cur_i_code = "~";
    s.prev_atom = "N";
    s.prev_res_name = "VAL";
    s.prev_chain_id = "A";
    s.prev_res_seq = 15;
    s.prev_i_code = "C";
    EXPECT_EQ(to_string(s), "SHEET    2 A   5 TYR A  22  ASP A  27 -1 O   ILE A  24  N   VAL A  15C          ");
    Sheet zero{};
    EXPECT_EQ(to_string(zero), "SHEET    0               0          0  0" + std::string(40, ' '));
    // Cutting keeps whole characters: a two-byte chain letter is one column.
    h.init_chain_id = "\xC2\x80";
    EXPECT_EQ(to_string(h).substr(19, 2), "\xC2\x80");
}

ZYK_TEST(charge_forms) {
    struct { std::string_view columns; int charge; } table[] = {
        {"2+", 2}, {"1-", -1}, {"-1", -1}, {"+1", 1}, {" 1", 1}, {"  ", 0}, {"0 ", 0}, {"0+", 0},
    };
    for (auto& row : table) {
        std::string l = atom_line.substr(0, 78) + std::string(row.columns);
        auto line = Line::try_from(l, 1);
        EXPECT(line.has_value());
        if (line) EXPECT_EQ(std::get<Atom>(line->value).charge, row.charge);
    }
    for (std::string_view bad : {"+ ", " -", "x+", "++", "1x"}) {
        EXPECT_EQ(error_of(atom_line.substr(0, 78) + std::string(bad), 3), "expected int at 3:78-80");
    }
}

ZYK_TEST(split_characters_are_errors_not_crashes) {
    // A two-byte letter across columns 20-21 (res_name | blank) and across 16-17.
    std::string across = atom_line;
    across.replace(19, 2, "\xC3\x85");
    EXPECT_EQ(error_of(across, 4), "non-ASCII character across field boundary at 4:17-20");
    std::string inside = atom_line;
    inside.replace(17, 2, "\xC3\x85");  // within res_name: fine, the byte count stays
    EXPECT_EQ(parsed<Atom>(inside).res_name, "\xC3\x85Y");
    // Stray continuation bytes and truncated sequences do not crash either.
    std::string stray = atom_line;
    stray[22] = char(0x80);
    EXPECT_EQ(error_of(stray, 2), "non-ASCII character across field boundary at 2:21-22");
    std::string tail = "CONECT    1    2\xE2\x82";
    EXPECT(Line::try_from(tail, 1).has_value() == false);
}

ZYK_TEST(field_trace_is_three_debug_events_per_field) {
    Captured captured;
    {
        log::Scope scope(log::Listener{log::Level::Debug, &Captured::sink, &captured});
        (void)Line::try_from("CONECT  413  412", 1);
    }
    // Two numbers and the blank field that ends the list.
    EXPECT_EQ(captured.messages.size(), 9u);
    EXPECT_EQ(captured.messages[0], "CONECT  413  412" + std::string(64, ' '));
    EXPECT_EQ(captured.messages[1], "      ^^^^^");
    EXPECT_EQ(captured.messages[2], "        413");
    EXPECT_EQ(captured.messages[5], "             412");
    EXPECT_EQ(captured.messages[8], std::string(21, ' '));
    captured.messages.clear();
    {
        log::Scope scope(log::Listener{log::Level::Warn, &Captured::sink, &captured});
        (void)Line::try_from(atom_line, 1);
    }
    EXPECT(captured.messages.empty());
}
