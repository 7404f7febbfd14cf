"""SDF V2000 reading and writing through the Python API."""

from __future__ import annotations

import math

import numpy as np
import pytest

import libzyk
from libzyk import TRC, BondOrder, Element, Stereochemistry

COUNTS_TAIL = "  0  0  0  0  0  0  0  0999 V2000"


def atom_line(x=0.0, y=0.0, z=0.0, symbol="C", code=0, tail="  0  0  0"):
    return f"{x:10.4f}{y:10.4f}{z:10.4f} {symbol:<3} 0{code:3d}{tail}"


def bond_line(a, b, kind=1, stereo=0):
    return f"{a:3d}{b:3d}{kind:3d}{stereo:3d}"


def record(name="mol", atoms=None, bonds=None, props=("M  END",), data=(), counts=None, header=("  test", "")):
    """One record; `atoms`/`bonds` are lines, `counts` overrides the counts line."""
    atoms = [atom_line(0, 0, 0, "C"), atom_line(1.5, 0, 0, "O")] if atoms is None else list(atoms)
    bonds = [bond_line(1, 2)] if bonds is None else list(bonds)
    if counts is None:
        counts = f"{len(atoms):3d}{len(bonds):3d}" + COUNTS_TAIL
    lines = [name, *header, counts, *atoms, *bonds, *props, *data, "$$$$"]
    return "\n".join(lines) + "\n"


VALID = record()
VALID_LINES = VALID.count("\n")


def parse_error(text: str) -> str:
    with pytest.raises(ValueError) as info:
        libzyk.from_sdf(text)
    return str(info.value)


# ---- reading: the structure built from a record ----

def test_a_record_becomes_one_ligand_residue_in_one_chain():
    text = record(
        name="  aspirin  ",
        atoms=[atom_line(1.25, -2.5, 3.0, "C"), atom_line(0, 0, 0, "o", code=5), atom_line(2, 2, 2, "Cl", code=3)],
        bonds=[bond_line(1, 2, 2), bond_line(3, 1, 1, 6)],
    )
    [trc] = libzyk.from_sdf(text)
    top = trc.topology
    assert top.symbols == [Element.C, Element.O, Element.Cl]
    np.testing.assert_array_equal(top.geometry, np.array([[1.25, -2.5, 3.0], [0, 0, 0], [2, 2, 2]], dtype=np.float32))
    assert list(top.formal_charges) == [0, -1, 1]
    assert [(b.atoms, b.order) for b in top.connectivity] == [((0, 1), BondOrder.Double), ((2, 0), BondOrder.Single)]
    assert top.stereochemistry == [Stereochemistry.NONE, Stereochemistry.Down]
    assert top.fragments == [[0, 1, 2]]
    assert list(top.fragment_formal_charges) == [0]
    assert top.labels is None and top.partial_charges is None and top.velocities is None
    assert str(top.schema_version) == "0.2.0"
    res = trc.residues
    assert res.residues == [[0, 1, 2]]
    assert res.seqs == ["LIG"] and res.seq_ns == [0] and res.insertion_codes == [""]
    assert trc.chains.chains == [[0]]
    # The untrimmed name is the record's title when written back.
    assert libzyk.to_sdf(trc).split("\n")[0] == "  aspirin  "
    trc.check()


def test_several_records_read_in_file_order():
    text = record(name="first") + record(name="second", atoms=[atom_line(symbol="N")], bonds=[])
    trcs = libzyk.from_sdf(text)
    assert [libzyk.to_sdf(t).split("\n")[0] for t in trcs] == ["first", "second"]
    assert trcs[1].topology.symbols == [Element.N]
    assert trcs[1].topology.connectivity == [] and trcs[1].topology.stereochemistry == []


def test_empty_molecule_goes_straight_to_the_properties():
    [trc] = libzyk.from_sdf(record(atoms=[], bonds=[]))
    assert trc.topology.symbols == [] and trc.topology.connectivity == []
    assert trc.residues.residues == [[]] and trc.chains.chains == [[0]]
    assert trc.topology.fragments == [[]]


def test_bonds_without_atoms_are_read_and_then_refused():
    text = record(atoms=[], bonds=[bond_line(1, 2)])
    assert parse_error(text) == "SDF parse error: invalid connectivity between: AtomRef(0) and AtomRef(1)"


@pytest.mark.parametrize("code,charge", [(0, 0), (1, 3), (2, 2), (3, 1), (5, -1), (6, -2), (7, -3)])
def test_atom_block_charge_codes(code, charge):
    [trc] = libzyk.from_sdf(record(atoms=[atom_line(code=code)], bonds=[]))
    assert list(trc.topology.formal_charges) == [charge]
    assert list(trc.topology.fragment_formal_charges) == [charge]


@pytest.mark.parametrize("kind,order", [(1, BondOrder.Single), (2, BondOrder.Double), (3, BondOrder.Triple), (4, BondOrder.Ring)])
def test_bond_types(kind, order):
    [trc] = libzyk.from_sdf(record(bonds=[bond_line(1, 2, kind)]))
    assert trc.topology.connectivity[0].order == order


@pytest.mark.parametrize("field,stereo", [
    ("  0", Stereochemistry.NONE), ("  1", Stereochemistry.Up), ("  3", Stereochemistry.CisOrTrans),
    ("  4", Stereochemistry.Either), ("  6", Stereochemistry.Down),
    ("   ", Stereochemistry.NONE), ("  x", Stereochemistry.NONE),  # unreadable stereo counts as none
])
def test_bond_stereo_values(field, stereo):
    [trc] = libzyk.from_sdf(record(bonds=["  1  2  1" + field]))
    assert trc.topology.stereochemistry == [stereo]


@pytest.mark.parametrize("value", [2, 5, 7, -1])
def test_stereo_values_without_meaning_fail_the_conversion(value):
    assert parse_error(record(bonds=[bond_line(1, 2, 1, value)])) == f"SDF parse error: Unexpected stereochemistry value {value}"


@pytest.mark.parametrize("bond,message", [
    (bond_line(0, 1), "invalid connectivity between: AtomRef(4294967295) and AtomRef(0)"),
    (bond_line(1, 3), "invalid connectivity between: AtomRef(0) and AtomRef(2)"),
    (bond_line(2, 2), "invalid connectivity between: AtomRef(1) and AtomRef(1)"),
])
def test_bonds_to_atoms_outside_the_molecule_fail_the_check(bond, message):
    assert parse_error(record(bonds=[bond])) == "SDF parse error: " + message


def test_counts_line_needs_only_the_two_counts():
    text = record(counts="  2  1")
    assert len(libzyk.from_sdf(text)) == 1


def test_blank_lines_are_skipped_outside_the_header():
    text = "\n".join([
        "mol", "", "", "   ", "  2  1", "", atom_line(), "\t", atom_line(1, 0, 0, "O"), "", bond_line(1, 2),
        "", "M  END", "", "> <k>", "v", "", "", "$$$$", "",
    ])
    [trc] = libzyk.from_sdf(text)
    assert len(trc.topology.symbols) == 2 and len(trc.topology.connectivity) == 1


def test_text_without_final_line_feed_reads_the_same():
    a = libzyk.from_sdf(VALID + VALID)
    b = libzyk.from_sdf((VALID + VALID)[:-1])
    assert [libzyk.to_sdf(t) for t in a] == [libzyk.to_sdf(t) for t in b]


def test_carriage_returns_before_line_feeds_are_line_ends():
    text = VALID.replace("\n", "\r\n")[: -len("$$$$\r\n")] + "$$$$"
    [trc] = libzyk.from_sdf(text)
    assert trc.topology.symbols == [Element.C, Element.O]
    assert libzyk.to_sdf(trc).split("\n")[0] == "mol"


def test_carriage_return_inside_a_line_stays_part_of_it():
    [trc] = libzyk.from_sdf(record(name="a\rb"))
    assert libzyk.to_sdf(trc).startswith("a\rb\n")


def test_atom_line_of_39_characters_is_enough():
    line = atom_line(tail="")
    assert len(line) == 39
    assert len(libzyk.from_sdf(record(atoms=[line], bonds=[]))) == 1


def mapped(columns_57_to_59):
    """An atom line with the given text in columns 57-59 (the atom-atom mapping number)."""
    return atom_line(tail="  0" * 5) + "  " + columns_57_to_59 + "  0  0  0"


@pytest.mark.parametrize("mapping", ["  0", "   ", " +0", "000", "-0 "])
def test_atom_atom_mapping_number_zero_or_blank_is_accepted(mapping):
    line = mapped(mapping)
    assert len(line) == 68 and line[56:59] == mapping
    assert len(libzyk.from_sdf(record(atoms=[line], bonds=[]))) == 1


def test_charge_lines_replace_the_atom_block_charges():
    atoms = [atom_line(code=3), atom_line(1, 0, 0, code=5), atom_line(2, 0, 0, code=1), atom_line(3, 0, 0, code=2)]
    [trc] = libzyk.from_sdf(record(atoms=atoms, bonds=[], props=("M  CHG  2   1  -1   3   1", "M  END")))
    assert list(trc.topology.formal_charges) == [-1, 0, 1, 0]
    assert list(trc.topology.fragment_formal_charges) == [0]


def test_later_charge_lines_add_to_the_first():
    props = ("M  CHG  1   1   2", "M  CHG  1   2  -5", "M  END")
    [trc] = libzyk.from_sdf(record(props=props))
    assert list(trc.topology.formal_charges) == [2, -5]


def test_charge_line_with_a_two_column_count():
    # Column 9 blank: the count is in columns 7-8 and the entries start at column 9.
    [trc] = libzyk.from_sdf(record(props=("M  CHG 1   2  -2", "M  END")))
    assert list(trc.topology.formal_charges) == [0, -2]


def test_other_property_lines_are_ignored():
    props = ("M  ISO  1   1  13", "M  RAD  1   1   2", "A    1", "M  chg  1   1   1", "M  STY  1   1 SUP", "M  END")
    assert len(libzyk.from_sdf(record(props=props))) == 1


def test_data_items_are_read_but_not_returned():
    data = ["> <PUBCHEM_SMILES>", "C=O", "", ">  <TETHERED ATOMS>", "1,2", "", "> <note> (1)", "line one", "line two", ""]
    assert len(libzyk.from_sdf(record(data=data))) == 1


def test_data_value_without_blank_line_swallows_the_terminator():
    text = record(data=["> <note>", "value"])  # the "$$$$" line becomes part of the value
    assert len(libzyk.from_sdf(text)) == 1
    assert len(libzyk.from_sdf(text + VALID)) == 2


@pytest.mark.parametrize("value", ["1, 2", "1,,2", "", "a", "1;2", "-1", "4294967296"])
def test_malformed_tethered_atoms(value):
    data = ["> <TETHERED ATOMS>", value, ""]
    assert parse_error(record(data=data)) == "SDF parse error: error parsing constraints"


def test_tethered_atoms_key_is_case_sensitive():
    data = ["> <tethered atoms>", "not numbers", ""]
    assert len(libzyk.from_sdf(record(data=data))) == 1


# ---- reading: errors, counted over the whole text ----

def atoms_with(line):
    return {"atoms": [line], "bonds": []}


# (case, record arguments, 1-based line of the failure inside the record, state, message)
MALFORMED = [
    ("two header lines", None, 3, "HeaderBlock", "missing header line"),
    ("one header line", None, 2, "HeaderBlock", "missing header line"),
    ("V3000", {"counts": "  0  0  0     0  0            999 V3000"}, 4, "CountsLine", "unsupported format, only V2000 is supported by this parser"),
    ("atom count", {"counts": "  x  1" + COUNTS_TAIL}, 4, "CountsLine", "could not parse number of atoms"),
    ("negative atom count", {"counts": " -1  1" + COUNTS_TAIL}, 4, "CountsLine", "could not parse number of atoms"),
    ("bond count", {"counts": "  2 1.0" + COUNTS_TAIL}, 4, "CountsLine", "could not parse number of bonds"),
    ("counts line too short", {"counts": "  2  "}, 4, "CountsLine", "line shorter than the expcted length"),
    ("x", atoms_with("    abcdef    0.0000    0.0000 C   0  0"), 5, "AtomBlock", "could not parse x coordinate"),
    ("empty x", atoms_with(" " * 10 + "    0.0000    0.0000 C   0  0"), 5, "AtomBlock", "could not parse x coordinate"),
    ("y", atoms_with("    0.0000    1.2.34    0.0000 C   0  0"), 5, "AtomBlock", "could not parse y coordinate"),
    ("z", atoms_with("    0.0000    0.0000    1e+x   C   0  0"), 5, "AtomBlock", "could not parse z coordinate"),
    ("short x", atoms_with("    0.000"), 5, "AtomBlock", "line shorter than the expcted length"),
    ("symbol", atoms_with(atom_line(symbol="Qq")), 5, "AtomBlock", "could not parse symbol"),
    ("empty symbol", atoms_with(atom_line(symbol="")), 5, "AtomBlock", "could not parse symbol"),
    ("alias symbol", atoms_with(atom_line(symbol="R#")), 5, "AtomBlock", "could not parse symbol"),
    ("no mass difference", atoms_with(atom_line()[:34]), 5, "AtomBlock", "line shorter than the expcted length"),
    ("no charge", atoms_with(atom_line()[:38]), 5, "AtomBlock", "line shorter than the expcted length"),
    ("charge code 4", atoms_with(atom_line(code=4)), 5, "AtomBlock", "could not parse charge"),
    ("charge code 8", atoms_with(atom_line(code=8)), 5, "AtomBlock", "could not parse charge"),
    ("charge code -1", atoms_with(atom_line(code=-1)), 5, "AtomBlock", "could not parse charge"),
    ("blank charge", atoms_with(atom_line()[:36] + "   "), 5, "AtomBlock", "could not parse charge"),
    ("57 characters", atoms_with(atom_line(tail="  0" * 6)), 5, "AtomBlock", "line shorter than the expcted length"),
    ("58 characters", atoms_with(atom_line(tail="  0" * 6) + " "), 5, "AtomBlock", "line shorter than the expcted length"),
    ("mapping 1", atoms_with(mapped("  1")), 5, "AtomBlock", "could not parse atom-atom mapping number"),
    ("mapping -1", atoms_with(mapped(" -1")), 5, "AtomBlock", "could not parse atom-atom mapping number"),
    ("mapping text", atoms_with(mapped("  a")), 5, "AtomBlock", "could not parse atom-atom mapping number"),
    ("second atom line", {"atoms": [atom_line(), "garbage"], "bonds": []}, 6, "AtomBlock", "line shorter than the expcted length"),
    ("bond type", {"bonds": ["  1  2  x  0"]}, 7, "BondBlock", "could not parse bond type"),
    ("bond type 5", {"bonds": [bond_line(1, 2, 5)]}, 7, "BondBlock", "bond type not part of SDF standard"),
    ("bond type 0", {"bonds": [bond_line(1, 2, 0)]}, 7, "BondBlock", "bond type not part of SDF standard"),
    ("bond type 8", {"bonds": [bond_line(1, 2, 8)]}, 7, "BondBlock", "bond type not part of SDF standard"),
    ("first atom", {"bonds": ["  a  2  1  0"]}, 7, "BondBlock", "could not parse first bond atom index"),
    ("second atom", {"bonds": ["  1 -2  1  0"]}, 7, "BondBlock", "could not parse second bond atom index"),
    ("type checked first", {"bonds": ["  a  b  9  0"]}, 7, "BondBlock", "bond type not part of SDF standard"),
    ("short bond type", {"bonds": ["  1  2"]}, 7, "BondBlock", "line shorter than the expcted length"),
    ("no stereo field", {"bonds": ["  1  2  2"]}, 7, "BondBlock", "line shorter than the expcted length"),
    ("missing M  END", {"props": ()}, 8, "PropertiesBlock", "line shorter than the expcted length"),
    ("short property", {"props": ("M  EN", "M  END")}, 8, "PropertiesBlock", "line shorter than the expcted length"),
    ("short CHG", {"props": ("M  CHG", "M  END")}, 8, "PropertiesBlock", "line shorter than the expcted length"),
    ("CHG count", {"props": ("M  CHG  x   1   1", "M  END")}, 8, "PropertiesBlock", "could not parse CHG count"),
    ("CHG count 9", {"props": ("M  CHG  9" + "   1   1" * 9, "M  END")}, 8, "PropertiesBlock", "HG count out of range"),
    ("CHG count 0", {"props": ("M  CHG  0   1   1", "M  END")}, 8, "PropertiesBlock", "HG count out of range"),
    ("CHG index", {"props": ("M  CHG  1   x   1", "M  END")}, 8, "PropertiesBlock", "could not parse CHG index"),
    ("CHG charge", {"props": ("M  CHG  1   1  +-", "M  END")}, 8, "PropertiesBlock", "could not parse CHG charge"),
    ("CHG index 0", {"props": ("M  CHG  1   0   1", "M  END")}, 8, "PropertiesBlock", "CHG index out of range"),
    ("CHG index 3 of 2", {"props": ("M  CHG  1   3   1", "M  END")}, 8, "PropertiesBlock", "CHG index out of range"),
    ("CHG missing entry", {"props": ("M  CHG  2   1   1", "M  END")}, 8, "PropertiesBlock", "line shorter than the expcted length"),
    ("CHG short charge", {"props": ("M  CHG  1   1  1", "M  END")}, 8, "PropertiesBlock", "line shorter than the expcted length"),
    ("second CHG line", {"props": ("M  CHG  1   1   1", "M  CHG  1   1   x", "M  END")}, 9, "PropertiesBlock", "could not parse CHG charge"),
    ("data header", {"data": ["<key>", "v", ""]}, 9, "DataItems", "could not parse data item key"),
    ("data header no brackets", {"data": ["> key", "v", ""]}, 9, "DataItems", "could not parse data item key"),
    ("data header unclosed", {"data": ["> <key", "v", ""]}, 9, "DataItems", "could not parse data item key"),
    ("data header reversed", {"data": ["> >key<", "v", ""]}, 9, "DataItems", "could not parse data item key"),
    ("second data header", {"data": ["> <a>", "1", "", "stray text"]}, 12, "DataItems", "could not parse data item key"),
    ("multi-byte character across a field end", atoms_with("    0.0000    0.0000   0.0000\u00e9C   0  0"), 5, "AtomBlock", "line shorter than the expcted length"),
    ("multi-byte character in the symbol", atoms_with("    0.0000    0.0000    0.0000 \u00e9  0  0"), 5, "AtomBlock", "could not parse symbol"),
    ("multi-byte property name", {"props": ("M  \u00e9\u00e9", "M  END")}, 8, "PropertiesBlock", "line shorter than the expcted length"),
]


def malformed_text(case, args):
    if case == "two header lines":
        return "mol\nprogram\n$$$$\n"
    if case == "one header line":
        return "mol\n$$$$\n"
    return record(**args)


@pytest.mark.parametrize("prefix_records", [0, 2], ids=["first", "third"])
@pytest.mark.parametrize("case,args,line,state,message", MALFORMED, ids=[m[0] for m in MALFORMED])
def test_malformed_lines(case, args, line, state, message, prefix_records):
    text = VALID * prefix_records + malformed_text(case, args) + VALID
    expected_line = line + prefix_records * VALID_LINES
    assert parse_error(text) == f"SDF parse error: error parsing SDF: line {expected_line} state {state}: {message}"


@pytest.mark.parametrize("text,line", [
    ("", 1),
    (VALID[:-len("$$$$\n")], 1),
    (VALID + "\n", VALID_LINES + 1),
    (VALID + VALID + "  \n", 2 * VALID_LINES + 1),
    (VALID + "x", VALID_LINES + 1),
    (VALID.replace("\n", "\r\n"), 1),
    (VALID[:-1] + " \n", 1),
    (VALID[:-1] + "$\n", 1),
    (VALID + VALID[:-1] + "\r\n", VALID_LINES + 1),
    ("$$$$\n", 1),
])
def test_text_must_end_exactly_at_a_terminator_line(text, line):
    expected = f"SDF parse error: error parsing SDF: line {line} state HeaderBlock: could not find correctly formatted terminator"
    assert parse_error(text) == expected


def test_missing_terminator_is_reported_before_any_parse_error():
    bad = record(atoms=[atom_line(symbol="Qq")], bonds=[])
    assert "could not find correctly formatted terminator" in parse_error(bad + VALID + "\n")


def test_parse_error_in_a_later_record_beats_a_conversion_error_in_an_earlier_one():
    unconvertible = record(bonds=[bond_line(1, 2, 1, 2)])
    unparsable = record(atoms=[atom_line(symbol="Qq")], bonds=[])
    assert parse_error(unconvertible + unparsable) == (
        f"SDF parse error: error parsing SDF: line {VALID_LINES + 5} state AtomBlock: could not parse symbol")
    assert parse_error(unconvertible + VALID + record(data=["> <TETHERED ATOMS>", "x", ""])) == (
        "SDF parse error: Unexpected stereochemistry value 2")


def test_declared_counts_beyond_the_record_are_an_error_not_an_allocation():
    text = "mol\n\n\n999999  0  0  0  0  0  0  0  0999 V2000\nM  END\n$$$$\n"
    assert parse_error(text) == "SDF parse error: error parsing SDF: line 5 state AtomBlock: line shorter than the expcted length"


def test_from_sdf_wants_a_string():
    with pytest.raises(TypeError, match="argument 'contents'"):
        libzyk.from_sdf(b"mol\n")


# ---- writing ----

def small_trc(**kwargs):
    return TRC([Element.C, Element.O], [[0.0, 0.0, 0.0], [1.2345, -0.5, 10.0]], **kwargs)


def test_writer_record_layout():
    trc = small_trc(formal_charges=[0, -1], connectivity=[(0, 1, 2)])
    assert libzyk.to_sdf(trc) == (
        "\n"
        "     ZYKF           3D\n"
        "\n"
        "  2  1  0  0  0  0  0  0  0  0999 V2000\n"
        "    0.0000    0.0000    0.0000 C   0  0  0  0  0  0  0  0  0  0  0  0\n"
        "    1.2345   -0.5000   10.0000 O   0  5  0  0  0  0  0  0  0  0  0  0\n"
        "  1  2  2  0     0  0\n"
        "M  END\n"
        "$$$$\n"
    )


def test_writer_line_widths():
    lines = libzyk.to_sdf(small_trc(connectivity=[(0, 1, 1)])).split("\n")
    assert len(lines[1]) == 22
    assert len(lines[3]) == 39
    assert len(lines[4]) == 69
    assert lines[6] == "  1  2  1  0     0  0"


def test_empty_structure():
    assert libzyk.to_sdf(TRC([], [])) == (
        "\n     ZYKF           3D\n\n  0  0  0  0  0  0  0  0  0  0999 V2000\nM  END\n$$$$\n")


@pytest.mark.parametrize("charges,codes,chg_lines", [
    ([0, 3, -3], [0, 1, 7], []),
    ([1, 2, -2], [3, 2, 6], []),
    ([0, 4, 0], [0, 0, 0], ["M  CHG  3   1   0   2   4   3   0"]),
    ([-15, 0, 15], [0, 0, 0], ["M  CHG  3   1 -15   2   0   3  15"]),
    (None, [0, 0, 0], []),
])
def test_charge_representation(charges, codes, chg_lines):
    trc = TRC([Element.N] * 3, [[0, 0, 0]] * 3, formal_charges=charges)
    lines = libzyk.to_sdf(trc).split("\n")
    assert [int(line[36:39]) for line in lines[4:7]] == codes
    assert lines[7:-3] == chg_lines
    assert lines[-3:] == ["M  END", "$$$$", ""]


def test_charge_lines_come_in_groups_of_eight():
    trc = TRC([Element.C] * 9, [[0, 0, 0]] * 9, formal_charges=[4] + [0] * 8)
    chg = [line for line in libzyk.to_sdf(trc).split("\n") if line.startswith("M  CHG")]
    assert chg == ["M  CHG  8   1   4   2   0   3   0   4   0   5   0   6   0   7   0   8   0", "M  CHG  1   9   0"]


@pytest.mark.parametrize("charge", [16, -16, 2**31 - 1, -(2**31)])
def test_charges_beyond_fifteen_cannot_be_written(charge):
    with pytest.raises(ValueError) as info:
        libzyk.to_sdf(TRC([Element.C], [[0, 0, 0]], formal_charges=[charge]))
    assert str(info.value) == "SDF write error: could not format charge"


@pytest.mark.parametrize("code,name", [(0, "Unspecified"), (4, "Quadruple"), (5, "Quintuple"), (6, "Sextuple"), (254, "OneAndAHalf"), (250, "FiveAndAHalf")])
def test_bond_orders_without_an_sdf_type_are_refused(code, name):
    with pytest.raises(ValueError) as info:
        libzyk.to_sdf(small_trc(connectivity=[(0, 1, code)]))
    assert str(info.value) == f"SDF write error: unsupported bond order: {name}"


@pytest.mark.parametrize("code,kind", [(1, 1), (2, 2), (3, 3), (255, 4)])
def test_bond_types_written(code, kind):
    line = libzyk.to_sdf(small_trc(connectivity=[(1, 0, code)])).split("\n")[6]
    assert line == f"  2  1{kind:3d}  0     0  0"  # stored atom order, not sorted


@pytest.mark.parametrize("value,text", [
    (-0.0, "   -0.0000"), (12345678.0, "12345678.0000"), (float("nan"), "       NaN"),
    (float("inf"), "       inf"), (float("-inf"), "      -inf"), (-1.23456, "   -1.2346"),
    (0.00005, f"{float(np.float32(0.00005)):10.4f}"), (2.00005, f"{float(np.float32(2.00005)):10.4f}"),
])
def test_coordinate_forms(value, text):
    line = libzyk.to_sdf(TRC([Element.C], [[value, 0, 0]])).split("\n")[4]
    assert line.startswith(text + "    0.0000")


def test_special_coordinates_read_back():
    trc = TRC([Element.C], [[float("nan"), float("-inf"), -0.0]])
    [back] = libzyk.from_sdf(libzyk.to_sdf(trc))
    x, y, z = back.topology.geometry[0]
    assert math.isnan(x) and y == -math.inf and z == 0.0 and math.copysign(1, z) < 0


@pytest.mark.parametrize("kwargs,message", [
    ({"connectivity": [(0, 5, 1)]}, "InvalidTopology(InvalidConnectivity(AtomRef(0), AtomRef(5)))"),
    ({"connectivity": [(1, 1, 1)]}, "InvalidTopology(InvalidConnectivity(AtomRef(1), AtomRef(1)))"),
    ({"labels": ["C1"]}, "InvalidTopology(InvalidLabelsLength(1, 2))"),
    ({"formal_charges": [0, 0, 1]}, "InvalidTopology(InvalidFormalChargesLength(3, 2))"),
    ({"partial_charges": [0.5]}, "InvalidTopology(InvalidPartialChargesLength(1, 2))"),
    ({"fragments": [[0], [0, 1]]}, "InvalidTopology(InvalidFragments)"),
    ({"residues": [[0]]}, "AtomsNotInResidues"),
    ({"residues": [[0, 1], [1]]}, "AtomDoesNotExist(AtomRef(1))"),
    ({"residues": [[0, 7]]}, "AtomDoesNotExist(AtomRef(7))"),
    ({"residues": [[0], [1]], "chains": [[0]]}, "ResidueNotInChain(ResidueRef(1))"),
    ({"chains": [[0, 3]]}, "ResidueDoesNotExist(ResidueRef(3))"),
    ({"residue_seqs": ["A", "B"]}, "InvalidResidues(InvalidSeqsLength(2, 1))"),
    ({"residue_seq_ns": []}, "InvalidResidues(InvalidSeqNLength(0, 1))"),
    ({"residue_insertion_codes": ["", ""]}, "InvalidResidues(InvalidInsertionCodesLength(2, 1))"),
    ({"residues": []}, "AtomsNotInResidues"),
])
def test_invalid_structures_are_refused(kwargs, message):
    with pytest.raises(ValueError) as info:
        libzyk.to_sdf(small_trc(**kwargs))
    assert str(info.value) == "SDF write error: bad TRC: " + message


def test_several_residues_without_labels_write_one_record_with_an_empty_title():
    trc = small_trc(residues=[[0], [1]], chains=[[0, 1]])
    text = libzyk.to_sdf(trc)
    assert text.startswith("\n     ZYKF") and text.count("$$$$") == 1


def test_to_sdf_wants_a_trc():
    with pytest.raises(TypeError, match="argument 'trc': 'int' object cannot be converted to 'TRC'"):
        libzyk.to_sdf(5)


def test_written_structures_read_back():
    trc = TRC([Element.C, Element.N, Element.O], [[1, 2, 3], [-4.5, 0.25, 9.75], [0.1, 0.2, 0.3]],
              formal_charges=[0, 5, -1], connectivity=[(0, 1, 1), (2, 1, 3), (0, 2, 255)])
    [back] = libzyk.from_sdf(libzyk.to_sdf(trc))
    assert back.topology.symbols == trc.topology.symbols
    np.testing.assert_array_equal(back.topology.geometry, trc.topology.geometry)
    assert list(back.topology.formal_charges) == [0, 5, -1]
    assert [(b.atoms, b.order) for b in back.topology.connectivity] == [(b.atoms, b.order) for b in trc.topology.connectivity]


# ---- the corpus ----

def corpus_files(corpus):
    files = sorted((corpus / "sdf").glob("*.sdf"))
    assert files, "no SDF files in the corpus"
    return files


def record_starts(lines):
    """Index of each record's first line."""
    return [i for i in range(len(lines)) if (i == 0 or lines[i - 1] == "$$$$") and (i < len(lines) - 1 or lines[i])]


def test_every_corpus_record_reads_and_round_trips(corpus):
    for path in corpus_files(corpus):
        text = path.read_text()
        lines = text.split("\n")
        starts = record_starts(lines)
        trcs = libzyk.from_sdf(text)
        assert len(trcs) == len(starts) == lines.count("$$$$"), path.name
        for trc, start in zip(trcs, starts):
            trc.check()
            counts = lines[start + 3]
            assert (len(trc.topology.symbols), len(trc.topology.connectivity)) == (int(counts[0:3]), int(counts[3:6]))
            written = libzyk.to_sdf(trc)
            assert written.split("\n")[0] == lines[start]
            [back] = libzyk.from_sdf(written)
            a, b = trc.topology, back.topology
            assert b.symbols == a.symbols
            np.testing.assert_array_equal(b.geometry, a.geometry)
            assert list(b.formal_charges) == list(a.formal_charges)
            assert [(x.atoms, x.order) for x in b.connectivity] == [(x.atoms, x.order) for x in a.connectivity]
            assert b.stereochemistry == a.stereochemistry
            assert libzyk.to_sdf(back) == written
