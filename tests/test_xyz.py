"""XYZ reading and writing through the Python module."""

import math

import numpy as np
import pytest

import libzyk
from libzyk import TRC, Element

WATER = "2\nzyk molecule\nO     0.00000    0.00000    0.00000\nH     0.95700    0.00000    0.00000"


def test_reads_symbols_and_coordinates_into_an_atoms_only_structure():
    trc = libzyk.from_xyz("3\nethanol fragment\nC 0.0 1.5 -2\nCl 1e1 -0.25 +3\nh 1 2 3\n")
    top = trc.topology
    assert top.symbols == [Element.C, Element.Cl, Element.H]
    assert top.geometry.dtype == np.float32
    np.testing.assert_array_equal(top.geometry, np.array([[0, 1.5, -2], [10, -0.25, 3], [1, 2, 3]], np.float32))
    assert str(top.schema_version) == "0.2.0"
    for field in ("labels", "partial_charges", "formal_charges", "connectivity", "stereochemistry", "velocities",
                  "fragments", "fragment_formal_charges", "fragment_partial_charges", "fragment_multiplicities"):
        assert getattr(top, field) is None, field
    assert trc.residues.residues == [] and trc.residues.seqs == []
    assert trc.chains.chains == [] and trc.chains.alpha_helices is None and trc.chains.beta_sheets is None


@pytest.mark.parametrize(
    "text, message",
    [
        ("", "parsing atom count: cannot parse integer from empty string"),
        ("\n\n", "parsing atom count: cannot parse integer from empty string"),
        ("-3\nc\n", "parsing atom count: invalid digit found in string"),
        ("3.0\nc\n", "parsing atom count: invalid digit found in string"),
        ("three\nc\n", "parsing atom count: invalid digit found in string"),
        ("+\nc\n", "parsing atom count: invalid digit found in string"),
        ("1 2\nc\n", "parsing atom count: invalid digit found in string"),
        ("99999999999999999999999\nc\n", "parsing atom count: number too large to fit in target type"),
        ("0", "missing comment: line is empty"),
        ("0\n", "missing comment: line is empty"),
        ("0\n   \t\r\n", "missing comment: line is empty"),
        ("1\n \nC 0 0 0", "missing comment: line is empty"),
        ("1\nc\n", "missing atom line"),
        ("2\nc\nC 0 0 0\n", "missing atom line"),
        ("1\nc\n   \n", "missing atom line"),
        ("1\nc\nC 1.0 2.0", "missing atom line"),
        ("1\nc\nC", "missing atom line"),
        ("1\nc\nQq 0 0 0", "parsing atom line: invalid atom symbol Qq"),
        ("1\nc\nC1 0 0 0", "parsing atom line: invalid atom symbol C1"),
        ("1\nc\nC 0 x 0", "parsing atom line: invalid float literal"),
        ("1\nc\nC 0 0 1,5", "parsing atom line: invalid float literal"),
        # the symbol is checked before the coordinates are looked at
        ("1\nc\nZz 1.0", "parsing atom line: invalid atom symbol Zz"),
    ],
)
def test_errors_name_the_first_failure(text, message):
    with pytest.raises(ValueError) as info:
        libzyk.from_xyz(text)
    assert str(info.value) == "XYZ parse error: " + message


def test_count_line_takes_a_plus_sign_and_surrounding_blanks():
    assert libzyk.from_xyz("  +3 \t\nc\nC 0 0 0\nN 0 0 0\nO 0 0 0").topology.symbols == [Element.C, Element.N, Element.O]


def test_zero_atoms_with_a_comment_is_an_empty_structure():
    trc = libzyk.from_xyz("0\nnothing here\n")
    assert trc.num_atoms == 0
    assert trc.topology.geometry.shape == (0, 3)


def test_crlf_lines_and_unicode_blanks_read_like_plain_ones():
    plain = libzyk.from_xyz("2\nc\nC 1 2 3\nO 4 5 6\n")
    crlf = libzyk.from_xyz("2\r\nc\r\nC 1 2 3\r\nO 4 5 6\r\n")
    unicode_blanks = libzyk.from_xyz("2\u2003\nc\n\u00a0C\u30001 2\t3\nO 4\u00a05 6 extra 7\n")
    for other in (crlf, unicode_blanks):
        assert other.topology.symbols == plain.topology.symbols
        np.testing.assert_array_equal(other.topology.geometry, plain.topology.geometry)


def test_only_the_first_frame_is_read_and_extra_tokens_are_dropped():
    text = "1\nframe 1\nC 1.0 2.0 3.0 extra 7\n1\nframe 2\nthis is not checked\n"
    trc = libzyk.from_xyz(text)
    assert trc.topology.symbols == [Element.C]
    np.testing.assert_array_equal(trc.topology.geometry, [[1, 2, 3]])


def test_special_float_words_and_nearest_rounding():
    trc = libzyk.from_xyz("1\nc\nC inf -Infinity NaN")
    x, y, z = trc.topology.geometry[0]
    assert x == math.inf and y == -math.inf and math.isnan(z)
    assert libzyk.from_xyz("1\nc\nC 0.1 1e-50 1e39").topology.geometry[0].tolist() == [np.float32(0.1), 0.0, math.inf]


def test_a_huge_declared_count_fails_cleanly_without_reserving_for_it():
    with pytest.raises(ValueError, match="^XYZ parse error: missing atom line$"):
        libzyk.from_xyz("18446744073709551615\ncomment\nC 0 0 0\n")


def test_writer_layout_is_exact():
    trc = TRC([Element.O, Element.H], [[0, 0, 0], [0.957, 0, 0]])
    assert libzyk.to_xyz(trc) == WATER


@pytest.mark.parametrize(
    "value, text",
    [
        (-0.0, "  -0.00000"),
        (123456.789, "123456.78906"),  # nearest float32, never cut
        (-12345.5, "-12345.50000"),
        (math.inf, "       inf"),
        (-math.inf, "      -inf"),
        (math.nan, "       NaN"),
        (0.000004, "   0.00000"),
        (0.000006, "   0.00001"),
    ],
)
def test_writer_number_forms(value, text):
    out = libzyk.to_xyz(TRC([Element.Cl], [[value, 1, 2]]))
    assert out.splitlines()[2] == "Cl " + text + "    1.00000    2.00000"


def test_empty_structure_writes_count_and_comment_only():
    assert libzyk.to_xyz(TRC([], [])) == "0\nzyk molecule\n"


def test_round_trip_keeps_symbols_and_five_decimals():
    rng = np.random.default_rng(7)
    geometry = rng.uniform(-500, 500, size=(40, 3)).astype(np.float32)
    symbols = [Element.C, Element.N, Element.O, Element.Fe, Element.Cl] * 8
    trc = TRC(symbols, geometry.tolist())
    text = libzyk.to_xyz(trc)
    written = np.array([[float(v) for v in line.split()[1:]] for line in text.splitlines()[2:]])
    np.testing.assert_allclose(written, geometry.astype(np.float64), atol=5e-6, rtol=0)
    back = libzyk.from_xyz(text)
    assert back.topology.symbols == symbols
    np.testing.assert_array_equal(back.topology.geometry, written.astype(np.float32))


def test_writer_ignores_residues_labels_and_bonds():
    trc = TRC([Element.O, Element.H, Element.H], [[0, 0, 0], [1, 0, 0], [0, 1, 0]], labels=["OW", "HW1", "HW2"],
              connectivity=[(0, 1, 1), (0, 2, 1)], residue_seqs=["HOH"])
    assert libzyk.to_xyz(trc).splitlines()[2:] == [
        "O     0.00000    0.00000    0.00000",
        "H     1.00000    0.00000    0.00000",
        "H     0.00000    1.00000    0.00000",
    ]


@pytest.mark.parametrize("value", ["not a trc", None, 3])
def test_writer_argument_must_be_a_trc(value):
    with pytest.raises(TypeError, match="^argument 'trc': "):
        libzyk.to_xyz(value)


@pytest.mark.parametrize("value", [b"1\nc\nC 0 0 0", None])
def test_reader_argument_must_be_a_str(value):
    with pytest.raises(TypeError, match="^argument 'contents': "):
        libzyk.from_xyz(value)
