"""The mmCIF text rules as they show through from_mmcif (the full tables are in tests/cpp)."""

from __future__ import annotations

import pytest

import libzyk
from mmcif_text import cif

HEADER = "loop_\n_atom_site.type_symbol\n_atom_site.label_atom_id\n_atom_site.label_comp_id\n_atom_site.auth_seq_id\n" \
         "_atom_site.Cartn_x\n"


def labels(text: str) -> list[str]:
    return [label for t in libzyk.from_mmcif(text) for label in t.topology.labels]


@pytest.mark.parametrize("rows, expected", [
    ("C CA ALA 1 0.0\n", ["CA"]),
    ("O \"O5'\" DA 1 0.0\n", ["O5'"]),
    ("C 'C 1' UNL 1 0.0\n", ["C 1"]),
    ("C \"x'y\" UNL 1 0.0\n", ["x'y"]),
    ("C a'b c'd UNL 1\n", ["ab c"]),                          # letters, then a quoted section, make one value
    ("C CA ALA\n1 0.0\n", ["CA"]),                            # one row over two lines
    ("C CA ALA 1 0.0 extra\nC CB ALA 1 0.0\n", ["CB"]),       # too many values: dropped
    ("C CA ALA 1\n_next.tag x\nC CB ALA 1 0.0\n", []),        # cut short by a tag; later lines are not rows
    ("C CA ALA 1 0.0\n# note\n\nC CB ALA 1 0.0\n", ["CA", "CB"]),
    ("C CA ALA 1 0.0 # trailing\n", []),                      # "#" inside a line is a value
    ("C CA\u00a0ALA\u30001 0.0\n", ["CA"]),                   # Unicode white space separates values
    ("C CA ALA 1 0.0\r\nC CB ALA 1 0.0\r\n", ["CA", "CB"]),
    ("C CA ALA 1 0.0\nC CB ALA 1 0.0", ["CA", "CB"]),        # last line without a line feed
    ("C ;comment\nALA 1 0.0\nC CB ALA 1 0.0\n", ["", "CB"]),  # ";" opens nothing but an empty value
    ("C '' CA ALA 1 0.0\n", ["CA"]),                          # an empty quoted value yields no value
    ("C . ALA 1 0.0\nC ? ALA 1 0.0\n", ["", ""]),
])
def test_loop_values(rows: str, expected: list[str]) -> None:
    assert labels(cif(HEADER + rows)) == expected


def test_placeholders_are_missing_values() -> None:
    (trc,) = libzyk.from_mmcif(cif(HEADER + "C CA ALA ? ?\nC CB ALA . '.'\n"))
    assert trc.topology.geometry.tolist() == [[0, 0, 0], [0, 0, 0]]
    assert trc.residues.seq_ns == [0]


def test_loops_end_at_loop_and_data_lines() -> None:
    text = cif(HEADER + "C CA ALA 1 0.0\nloop_\n_other.a\n1\n") + cif(HEADER + "C CB ALA 1 0.0\ndata_empty\n")
    assert labels(text) == ["CA", "CB"]


def test_items_before_the_first_block_and_repeated_categories() -> None:
    assert labels(HEADER + "C CA ALA 1 0.0\n") == []
    # A later loop of the same category replaces the earlier one.
    assert labels(cif(HEADER + "C CA ALA 1 0.0\n#\n" + HEADER + "C CB ALA 1 0.0\n")) == ["CB"]


def test_lines_inside_text_fields_are_read_as_lines() -> None:
    text = cif(";\n" + HEADER + "C CA ALA 1 0.0\n;\n")
    assert labels(text) == ["CA"]


def test_tags_are_matched_exactly() -> None:
    text = cif(HEADER.replace("_atom_site.label_atom_id", "_atom_site.Label_atom_id") + "C CA ALA 1 0.0\n")
    assert labels(text) == [""]
    assert labels(cif(HEADER.replace("loop_", "LOOP_") + "C CA ALA 1 0.0\n")) == []
