"""Reading PDB text: record lines, models, residues, chains, bonds, secondary structure, logs.

`from_pdb` runs bond perception on every model. Bonds checked here are CONECT bonds of
non-amino-acid residues (perception keeps them); tests that depend on bonds perception adds
inside amino acids are marked as such.
"""

import logging
import subprocess
import sys

import numpy as np
import pytest

import libzyk
from libzyk import BondOrder, Element, HelixClass, StrandSense
from pdb_text import atom, conect, dbref, helix, hetatm, seqres, sheet, text

LOGGER = "libzyk.convert.pdb"

ALA = [("N", "N"), ("CA", "C"), ("C", "C"), ("O", "O"), ("CB", "C")]


def residue_lines(first_serial, res_name, chain, seq, atoms=ALA, icode=" ", het=False, x0=0.0):
    return [atom(first_serial + i, name, res_name, chain, seq, element, icode=icode, het=het, x=x0 + i)
            for i, (name, element) in enumerate(atoms)]


def ligand(first_serial=1, chain="A", seq=1, res_name="LIG"):
    return [hetatm(first_serial + i, name, res_name, chain, seq, el, x=float(i))
            for i, (name, el) in enumerate([("C1", "C"), ("C2", "C"), ("O1", "O")])]


def read(*lines):
    return libzyk.from_pdb(text(*lines))


def read_one(*lines):
    models = read(*lines)
    assert len(models) == 1
    return models[0]


def bonds(trc):
    return [(b.atoms, b.order) for b in trc.topology.connectivity]


def parse_error(contents):
    with pytest.raises(ValueError) as info:
        libzyk.from_pdb(contents)
    return str(info.value)


# ---- record lines as the reader sees them ----

GOOD = atom(1, "CA", "GLY", "A", 1, "C")


@pytest.mark.parametrize(
    "lines, message",
    [
        ([GOOD, "", "END"], "invalid line length, expected '> 3', found '0'"),
        ([GOOD, "XY"], "invalid line length, expected '> 3', found '2'"),
        (["XYZ"], "invalid line, expected 'END', found 'XYZ'"),
        (["ENDX"], "invalid line length, expected '> 6', found '4'"),
        (["REMARK 1", "ATOM "], "invalid line length, expected '> 6', found '5'"),
        (["REMARK 1", GOOD[:54]], "expected float at 2:54-60"),
        ([GOOD[:66]], "invalid symbol "),
        ([GOOD[:76] + "Qq"], "invalid symbol Qq"),
        ([GOOD[:76] + " 1"], "invalid symbol 1"),
        ([GOOD[:60] + "      " + GOOD[66:]], "expected float at 1:60-66"),
        ([GOOD[:6] + "     " + GOOD[11:]], "expected int at 1:6-11"),
        ([GOOD[:6] + "   -1" + GOOD[11:]], "expected int at 1:6-11"),
        ([GOOD[:22] + "  x1" + GOOD[26:]], "expected int at 1:22-26"),
        ([GOOD[:22] + "    " + GOOD[26:]], "expected int at 1:22-26"),
        ([GOOD[:30] + "   1.0.0" + GOOD[38:]], "expected float at 1:30-38"),
        ([GOOD[:38] + "        " + GOOD[46:]], "expected float at 1:38-46"),
        ([GOOD[:46] + "    1e  " + GOOD[54:]], "expected float at 1:46-54"),
        ([GOOD[:54] + "  abc " + GOOD[60:]], "expected float at 1:54-60"),
        ([GOOD[:78] + "+ "], "expected int at 1:78-80"),
        ([GOOD[:78] + "2x"], "expected int at 1:78-80"),
        ([GOOD, "CONECT    1   x2"], "expected int at 2:11-16"),
        (["HELIX    x   1 GLY A    1  GLY A    1"], "expected int at 1:7-10"),
        (["SHEET    1   A 2 GLY A   1  GLY A   x"], "expected int at 1:33-37"),
        (["SEQRES   1 A    x  GLY"], "expected int at 1:13-17"),
        (["DBREF  1ABC A    x"], "expected int at 1:14-18"),
        # a two-byte letter across the boundary of columns 16 and 17 (atom name | alt_loc)
        ([GOOD[:15] + "\u00c5" + GOOD[17:]], "non-ASCII character across field boundary at 1:12-16"),
    ],
)
def test_a_malformed_line_ends_the_read_with_its_position(lines, message):
    assert parse_error(text(*lines)) == "PDB parse error: " + message


def test_non_ascii_inside_a_field_is_kept_and_lines_count_bytes():
    trc = read_one(GOOD[:17] + "\u00c5L" + GOOD[20:])  # residue name "ÅL": three bytes
    assert trc.residues.seqs == ["\u00c5L"]


@pytest.mark.parametrize(
    "columns, charge",
    [("2+", 2), ("1-", -1), ("-1", -1), ("+1", 1), (" 1", 1), ("  ", 0), ("0 ", 0), ("3-", -3)],
)
def test_charge_columns(columns, charge):
    trc = read_one(GOOD[:78] + columns)
    assert trc.topology.formal_charges.tolist() == [charge]
    assert trc.topology.fragment_formal_charges == [charge]


def test_end_ter_and_unknown_records_do_not_stop_reading():
    trc = read_one(
        "HEADER    TEST",
        "atom      1  CA  GLY A   1       0.000   0.000   0.000  1.00  0.00           C",
        GOOD,
        "TER",
        "TER   ",
        "END",
        atom(2, "CA", "GLY", "A", 2, "C"),
        "END   ",
    )
    assert trc.num_atoms == 2
    assert trc.residues.seq_ns == [1, 2]


def test_atom_fields_reach_the_topology():
    trc = read_one(atom(7, "CA", "GLY", "A", 1, "C", x=1.5, y=-2.25, z=3.125, charge="1+"),
                   hetatm(9, "FE", "HEM", "A", 2, "FE", x=10.0, y=11.0, z=12.0))
    top = trc.topology
    assert top.symbols == [Element.C, Element.Fe]
    np.testing.assert_array_equal(top.geometry, [[1.5, -2.25, 3.125], [10, 11, 12]])
    assert top.labels == ["CA", "FE"]
    assert top.formal_charges.tolist() == [1, 0]
    assert top.fragments == [[0], [1]]
    assert top.fragment_formal_charges == [1, 0]
    assert str(top.schema_version) == "0.2.0"
    for field in ("partial_charges", "stereochemistry", "velocities", "fragment_partial_charges",
                  "fragment_multiplicities"):
        assert getattr(top, field) is None, field


# ---- models and sections ----


def test_text_without_atoms_gives_no_models():
    assert libzyk.from_pdb("") == []
    assert libzyk.from_pdb("HEADER    NOTHING\nEND\n") == []


def test_models_split_at_endmdl_and_empty_sections_are_dropped():
    models = read("MODEL        1", *residue_lines(1, "ALA", "A", 1), "ENDMDL",
                  "MODEL        2", "ENDMDL",
                  "MODEL        3", *residue_lines(1, "ALA", "A", 1, x0=5.0), hetatm(6, "NA", "NA", "B", 9, "NA"),
                  "ENDMDL", "END")
    assert [m.num_atoms for m in models] == [5, 6]
    assert models[1].topology.geometry[0, 0] == 5.0
    assert models[1].chains.num_chains == 2


def test_a_file_without_model_lines_is_one_model_and_last_line_needs_no_line_feed():
    models = libzyk.from_pdb("\n".join(residue_lines(1, "ALA", "A", 1)))
    assert len(models) == 1 and models[0].num_atoms == 5


@pytest.mark.parametrize("width", [80, 79, 78])
def test_crlf_line_ends(width):
    lines = [line[:width] for line in residue_lines(1, "ALA", "A", 1)]
    lf = libzyk.from_pdb("\n".join(lines) + "\n")[0]
    crlf = libzyk.from_pdb("\r\n".join(lines) + "\r\n")[0]
    assert crlf.num_atoms == 5
    assert crlf.topology.symbols == lf.topology.symbols and crlf.topology.labels == lf.topology.labels


def test_a_carriage_return_without_line_feed_stays_in_the_line():
    # only a carriage return before a line feed ends a line; the last line keeps its own
    assert parse_error(GOOD + "\nEND\r") == "PDB parse error: invalid line length, expected '> 6', found '4'"


def test_only_blank_and_first_alternate_locations_are_kept():
    trc = read_one(atom(1, "CA", "SER", "A", 1, "C"),
                   atom(2, "OG", "SER", "A", 1, "O", alt="A", x=1.0),
                   atom(3, "OG", "SER", "A", 1, "O", alt="B", x=2.0),
                   atom(4, "OG", "SER", "A", 1, "O", alt="C", x=3.0))
    assert trc.topology.labels == ["CA", "OG"]
    assert trc.topology.geometry[:, 0].tolist() == [0.0, 1.0]


def test_chains_sort_by_identifier_and_residues_by_key():
    trc = read_one(
        atom(1, "CA", "GLY", "B", 5, "C"),
        atom(2, "CA", "GLY", "A", 52, "C"),
        atom(3, "CA", "ALA", "A", 52, "C", icode="A"),
        atom(4, "CA", "GLY", "A", 52, "C", icode="B"),
        atom(5, "CA", "GLY", "A", 3, "C"),
        atom(6, "CB", "GLY", "A", 52, "C"),  # joins the residue of atom 2
        atom(7, "CA", "ALA", "A", 52, "C"),  # same number, other name: a residue of its own
        atom(8, "CA", "HOH", " ", 1, "O"),
    )
    res = trc.residues
    assert list(zip(res.seq_ns, res.insertion_codes, res.seqs)) == [
        (1, "", "HOH"),
        (3, "", "GLY"), (52, "A", "ALA"), (52, "B", "GLY"), (52, "", "ALA"), (52, "", "GLY"),
        (5, "", "GLY"),
    ]
    assert res.residues == [[7], [4], [2], [3], [6], [1, 5], [0]]
    assert trc.chains.chains == [[0], [1, 2, 3, 4, 5], [6]]
    assert trc.topology.fragments == [[7], [4], [2], [3], [6], [1, 5], [0]]


def test_chain_labels_are_the_identifiers():
    trc = read_one(atom(1, "CA", "GLY", "B", 1, "C"), atom(2, "CA", "GLY", " ", 1, "C"))
    out = libzyk.to_pdb(trc)
    # blank chain first, then B; the written chain columns carry the labels back
    assert [line[21] for line in out.splitlines() if line.startswith("ATOM")] == [" ", "B"]


# ---- SEQRES and DBREF ----

SEQ4 = seqres(1, "A", 4, ["MET", "ALA", "GLY", "SER"])


def test_seqres_adds_unresolved_residues_without_atoms():
    trc = read_one(SEQ4, *residue_lines(1, "ALA", "A", 2), *residue_lines(6, "SER", "A", 4))
    res = trc.residues
    assert list(zip(res.seqs, res.seq_ns)) == [("MET", 1), ("ALA", 2), ("GLY", 3), ("SER", 4)]
    assert [len(r) for r in res.residues] == [0, 5, 0, 5]
    assert res.insertion_codes == ["", "", "", ""]
    assert trc.chains.chains == [[0, 1, 2, 3]]
    assert trc.topology.fragments == [[0, 1, 2, 3, 4], [5, 6, 7, 8, 9]]
    assert trc.topology.fragment_formal_charges == [0, 0]


def test_dbref_sets_the_first_sequence_number():
    # SEQRES GLY ALA GLY ALA: the name alone would place ALA 11 at the first ALA (start 10 as
    # well); DBREF 8 agrees with the names too (position 3 is ALA) and wins
    trc = read_one(dbref("A", 8), dbref("A", 50), seqres(1, "A", 4, ["GLY", "ALA", "GLY", "ALA"]),
                   *residue_lines(1, "ALA", "A", 11))
    assert list(zip(trc.residues.seqs, trc.residues.seq_ns)) == [("GLY", 8), ("ALA", 9), ("GLY", 10), ("ALA", 11)]


@pytest.mark.parametrize("seq_begin", [3, 2, 9])
def test_a_dbref_number_that_disagrees_with_the_names_is_not_used(seq_begin):
    # the sequence starts with two tag residues before the database segment: DBREF numbers
    # the segment (3) or is simply off, and the first residue's name places the sequence
    trc = read_one(dbref("A", seq_begin), seqres(1, "A", 4, ["MET", "GLY", "SER", "ALA"]),
                   *residue_lines(1, "SER", "A", 3), *residue_lines(6, "ALA", "A", 4))
    assert list(zip(trc.residues.seqs, trc.residues.seq_ns)) == [("MET", 1), ("GLY", 2), ("SER", 3), ("ALA", 4)]


def test_seqres_lines_of_a_chain_are_joined_in_order():
    trc = read_one(seqres(1, "A", 3, ["GLY"]), seqres(2, "A", 3, ["ALA", "SER"]), *residue_lines(1, "ALA", "A", 2))
    assert list(zip(trc.residues.seqs, trc.residues.seq_ns)) == [("GLY", 1), ("ALA", 2), ("SER", 3)]


def test_seqres_of_a_chain_without_atoms_is_ignored():
    trc = read_one(seqres(1, "B", 2, ["GLY", "GLY"]), *residue_lines(1, "ALA", "A", 1))
    assert trc.num_residues == 1


def test_seqres_applies_to_every_model():
    models = read(SEQ4, "MODEL        1", *residue_lines(1, "ALA", "A", 2), "ENDMDL",
                  "MODEL        2", *residue_lines(1, "SER", "A", 4), "ENDMDL")
    assert [m.residues.seqs for m in models] == [["MET", "ALA", "GLY", "SER"]] * 2
    assert [[len(r) for r in m.residues.residues] for m in models] == [[0, 5, 0, 0], [0, 0, 0, 5]]


def warnings_of(caplog):
    return [r.getMessage() for r in caplog.records if r.name == LOGGER and r.levelno == logging.WARNING]


def test_unalignable_seqres_is_skipped_with_a_warning(caplog):
    caplog.set_level(logging.WARNING, logger=LOGGER)
    trc = read_one(seqres(1, "A", 2, ["GLY", "SER"]), *residue_lines(1, "ALA", "A", 7))
    assert trc.num_residues == 1
    assert warnings_of(caplog) == [
        "WARNING: chain A: could not align SEQRES with ATOM records (residue ALA at seq_n 7 not found in SEQRES). "
        "Skipping SEQRES processing for this chain."
    ]


def test_many_empty_terminal_residues_are_reported(caplog):
    caplog.set_level(logging.WARNING, logger=LOGGER)
    names = ["GLY"] * 6 + ["ALA"] + ["GLY"] * 6
    trc = read_one(seqres(1, "A", 13, names), *residue_lines(1, "ALA", "A", 20))
    assert trc.num_residues == 13
    assert trc.residues.seq_ns == list(range(14, 27))
    assert warnings_of(caplog) == [
        "WARNING: chain A has 12 empty terminal residues from SEQRES (resolved range: 20-20, SEQRES range: 14-26). "
        "Use from_pdb_with_options(..., false) to exclude them."
    ]


def test_ten_empty_terminal_residues_are_not_reported(caplog):
    caplog.set_level(logging.WARNING, logger=LOGGER)
    read_one(seqres(1, "A", 11, ["ALA"] + ["GLY"] * 10), *residue_lines(1, "ALA", "A", 1))
    assert warnings_of(caplog) == []


def test_a_model_with_only_conect_lines_is_reported(caplog):
    caplog.set_level(logging.WARNING, logger=LOGGER)
    models = read("MODEL        1", conect(1, 2), "ENDMDL", *ligand())
    assert len(models) == 1
    assert warnings_of(caplog) == [
        "CONECT lines found but no ATOM lines found for this model; PDB file may be malformed"
    ]


def test_an_open_model_without_atoms_at_the_end_is_reported(caplog):
    caplog.set_level(logging.WARNING, logger=LOGGER)
    assert read(*ligand(), "ENDMDL", "MODEL        2", conect(1, 2)) != []
    assert warnings_of(caplog) == [
        "No ATOM lines found despite being in a model; PDB file may be malformed",
        "CONECT lines found but no ATOM lines found for this model; PDB file may be malformed",
    ]


def test_alternate_locations_alone_open_a_model(caplog):
    caplog.set_level(logging.WARNING, logger=LOGGER)
    assert read(atom(1, "CA", "GLY", "A", 1, "C", alt="B")) == []
    assert warnings_of(caplog) == ["No ATOM lines found despite being in a model; PDB file may be malformed"]


def test_warnings_print_nothing_unless_logging_is_configured():
    code = (
        "import libzyk, sys\n"
        "lines = ['SEQRES   1 A    2  GLY SER', 'MODEL        1', 'CONECT    1    2', 'ENDMDL',\n"
        "         'ATOM      1  CA  ALA A   7       0.000   0.000   0.000  1.00  0.00           C  ']\n"
        "assert len(libzyk.from_pdb('\\n'.join(lines))) == 1\n"
    )
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    assert run.stdout == "" and run.stderr == ""
    configured = subprocess.run([sys.executable, "-c", "import logging; logging.basicConfig()\n" + code],
                                capture_output=True, text=True)
    assert "WARNING:libzyk.convert.pdb:WARNING: chain A: could not align SEQRES" in configured.stderr
    assert "CONECT lines found but no ATOM lines found" in configured.stderr


def test_debug_logging_traces_every_field(caplog):
    caplog.set_level(logging.DEBUG, logger=LOGGER)
    read_one(GOOD)
    messages = [r.getMessage() for r in caplog.records if r.name == LOGGER and r.levelno == logging.DEBUG]
    assert len(messages) == 3 * 15
    assert messages[:3] == [GOOD, "      ^^^^^", "          1"]
    assert messages[3:6] == [GOOD, " " * 12 + "^^^^", " " * 12 + " CA "]
    assert messages[-2:] == [" " * 78 + "^^", " " * 80]


def test_no_debug_events_at_warning_level(caplog):
    caplog.set_level(logging.WARNING, logger=LOGGER)
    read_one(GOOD)
    assert [r for r in caplog.records if r.levelno == logging.DEBUG] == []


# ---- CONECT bonds ----


def test_conect_pairs_become_bonds_ordered_by_repetition():
    trc = read_one(*ligand(), conect(1, 2), conect(1, 2), conect(2, 1), conect(2, 1), conect(3, 2), conect(2, 3))
    assert bonds(trc) == [((0, 1), BondOrder.Double), ((1, 2), BondOrder.Single)]


def test_bonds_are_sorted_by_the_pair_first_seen_and_stored_smaller_first():
    trc = read_one(*ligand(), conect(3, 1), conect(2, 3), conect(1, 3))
    # (3,1) is recorded first; (1,3) counts as its reverse and is skipped
    assert bonds(trc) == [((1, 2), BondOrder.Single), ((0, 2), BondOrder.Single)]


@pytest.mark.parametrize("times, order", [(3, BondOrder.Triple), (4, BondOrder.Quadruple), (5, BondOrder.Quintuple),
                                          (6, BondOrder.Sextuple)])
def test_orders_up_to_six(times, order):
    trc = read_one(*ligand(), *[conect(1, 2)] * times)
    assert bonds(trc) == [((0, 1), order)]


def test_more_than_six_repetitions_clamp_to_sextuple_with_a_warning(caplog):
    caplog.set_level(logging.WARNING, logger=LOGGER)
    trc = read_one(*ligand(), *[conect(1, 2, 2)] * 4)
    assert bonds(trc) == [((0, 1), BondOrder.Sextuple)]
    assert warnings_of(caplog) == [
        "CONECT lists the bond between atoms 1 and 2 8 times; using bond order 6 (Sextuple)"
    ]


def test_one_line_lists_several_partners():
    trc = read_one(*ligand(), conect(2, 1, 3))
    assert bonds(trc) == [((0, 1), BondOrder.Single), ((1, 2), BondOrder.Single)]


@pytest.mark.parametrize("line", [conect(1), "CONECT", "CONECT         2", conect(1, 1), conect(1, 9)])
def test_conect_lines_that_make_no_bond(line):
    # a single number, no number, a blank first field, a pair with itself, an unknown serial
    assert bonds(read_one(*ligand(), line)) == []


def test_serials_resolve_to_the_first_atom_that_has_them():
    trc = read_one(hetatm(5, "C1", "LIG", "A", 1, "C"), hetatm(5, "C2", "LIG", "A", 1, "C"),
                   hetatm(6, "O1", "LIG", "A", 1, "O"), conect(6, 5))
    assert bonds(trc) == [((0, 2), BondOrder.Single)]


def test_conect_inside_a_model_applies_to_that_model_only():
    models = read("MODEL        1", *ligand(), conect(1, 2), "ENDMDL", "MODEL        2", *ligand(), "ENDMDL")
    assert [bonds(m) for m in models] == [[((0, 1), BondOrder.Single)], []]


def test_conect_after_the_last_model_applies_to_every_model():
    models = read("MODEL        1", *ligand(), conect(1, 2), "ENDMDL", "MODEL        2", *ligand(), "ENDMDL",
                  conect(2, 3), conect(3, 2), conect(2, 3))
    assert [bonds(m) for m in models] == [
        [((0, 1), BondOrder.Single), ((1, 2), BondOrder.Double)],
        [((1, 2), BondOrder.Double)],
    ]


def test_conect_before_any_atom_is_file_level():
    trc = read_one(conect(1, 3), *ligand())
    assert bonds(trc) == [((0, 2), BondOrder.Single)]


def test_a_file_level_serial_missing_from_a_model_fails_the_read():
    contents = text("MODEL        1", *ligand(), hetatm(4, "N1", "LIG", "A", 1, "N"), "ENDMDL",
                    "MODEL        2", *ligand(), "ENDMDL", conect(4, 1))
    assert parse_error(contents) == (
        "PDB parse error: invalid connection for atom index 4, references and atom that does not exist")
    assert parse_error(text(conect(1, 7), *ligand())) == (
        "PDB parse error: invalid connection for atom index 7, references and atom that does not exist")


def test_conect_bonds_of_waters_and_ions_to_a_ligand():
    trc = read_one(*ligand(), hetatm(4, "ZN", "ZN", "A", 2, "ZN"), hetatm(5, "O", "HOH", "A", 3, "O"),
                   conect(3, 4), conect(4, 3, 5), conect(5, 4))
    assert bonds(trc) == [((2, 3), BondOrder.Single), ((3, 4), BondOrder.Single)]


# ---- helices and sheets ----

PEPTIDE = [line for seq in range(1, 7) for line in residue_lines(seq * 10, "ALA", "A", seq)]


def test_helices_resolve_residues_and_keep_class_and_length():
    trc = read_one(helix(1, "H1", ("ALA", "A", 1, " "), ("ALA", "A", 4, " "), 1, 4),
                   helix(2, "H2", ("ALA", "A", 5, " "), ("ALA", "A", 6, " "), 11, 0),
                   helix(3, "H3", ("GLY", "A", 1, " "), ("ALA", "A", 4, " ")),  # name differs: dropped
                   helix(4, "H4", ("ALA", "B", 1, " "), ("ALA", "A", 4, " ")),  # no chain B: dropped
                   helix(5, "H5", ("ALA", "A", 1, "A"), ("ALA", "A", 4, " ")),  # no 1A: dropped
                   *PEPTIDE)
    h = trc.chains.alpha_helices
    assert h.helix_ids == ["H1", "H2"]
    assert h.chain_refs == [0, 0]
    assert h.start_residues == [0, 4] and h.end_residues == [3, 5]
    assert h.classes == [HelixClass.RightHandedAlpha, None]
    assert h.lengths == [4, None]


def test_no_resolvable_helix_or_strand_leaves_the_tables_absent():
    trc = read_one(helix(1, "H1", ("GLY", "A", 1, " "), ("ALA", "A", 4, " ")), *PEPTIDE)
    assert trc.chains.alpha_helices is None
    assert trc.chains.beta_sheets is None


def test_sheets_map_ordinals_counts_and_senses():
    trc = read_one(
        sheet(1, "S1", 3, ("ALA", "A", 1, " "), ("ALA", "A", 2, " "), 0),
        sheet(2, "S1", 3, ("ALA", "A", 3, " "), ("ALA", "A", 4, " "), -1),
        sheet(3, "S1", None, ("ALA", "A", 5, " "), ("ALA", "A", 6, " "), 1),
        sheet(4, "S1", 3, ("ALA", "A", 5, " "), ("ALA", "A", 6, " "), 0),
        sheet(-2, "S2", 0, ("ALA", "A", 1, " "), ("ALA", "A", 6, " "), None),
        sheet(1, "S3", 2, ("ALA", "A", 1, " "), ("ALA", "A", 9, " "), 0),  # end residue missing: dropped
        *PEPTIDE,
    )
    b = trc.chains.beta_sheets
    assert b.sheet_ids == ["S1", "S1", "S1", "S1", "S2"]
    assert b.strand_ids == ["1", "2", "3", "4", "-2"]
    assert b.strand_ordinals == [1, 2, 3, 4, None]
    assert b.num_strands == [3, 3, None, 3, None]
    assert b.senses == [StrandSense.First, StrandSense.AntiParallel, StrandSense.Parallel, None, None]
    assert b.start_residues == [0, 2, 4, 4, 0] and b.end_residues == [1, 3, 5, 5, 5]


def test_blank_insertion_codes_match_residues_without_one_and_codes_match_exactly():
    trc = read_one(helix(1, "H1", ("ALA", "A", 1, "B"), ("ALA", "A", 2, " ")),
                   *residue_lines(1, "ALA", "A", 1, icode="B"), *residue_lines(6, "ALA", "A", 2))
    assert trc.chains.alpha_helices.start_residues == [0]
    assert trc.residues.insertion_codes == ["B", ""]


def test_helices_and_sheets_apply_to_every_model():
    models = read(helix(1, "H1", ("ALA", "A", 1, " "), ("ALA", "A", 2, " ")),
                  "MODEL        1", *PEPTIDE, "ENDMDL", "MODEL        2", *PEPTIDE, "ENDMDL")
    assert [m.chains.alpha_helices.helix_ids for m in models] == [["H1"], ["H1"]]


# ---- arguments ----


@pytest.mark.parametrize("value", [b"ATOM", None, 5])
def test_contents_must_be_a_str(value):
    with pytest.raises(TypeError, match="^argument 'contents': "):
        libzyk.from_pdb(value)


# ---- bond perception on every model ----

DIPEPTIDE = [
    atom(1, "N", "GLY", "A", 1, "N", x=0.0), atom(2, "CA", "GLY", "A", 1, "C", x=1.45),
    atom(3, "C", "GLY", "A", 1, "C", x=2.0, y=1.4), atom(4, "O", "GLY", "A", 1, "O", x=1.3, y=2.4),
    atom(5, "N", "ALA", "A", 2, "N", x=3.3, y=1.5), atom(6, "CA", "ALA", "A", 2, "C", x=4.0, y=2.7),
    atom(7, "C", "ALA", "A", 2, "C", x=5.5, y=2.5), atom(8, "O", "ALA", "A", 2, "O", x=6.0, y=1.4),
    atom(9, "CB", "ALA", "A", 2, "C", x=3.6, y=4.0),
]
LIGAND_AND_WATER = [
    hetatm(10, "C1", "LIG", "B", 1, "C", x=9.0), hetatm(11, "O1", "LIG", "B", 1, "O", x=10.2),
    conect(10, 11), conect(10, 11), conect(11, 10), conect(11, 10),
    hetatm(12, "O", "HOH", "W", 1, "O", x=20.0), hetatm(13, "H1", "HOH", "W", 1, "H", x=20.9),
    hetatm(14, "H2", "HOH", "W", 1, "H", x=19.7, y=0.9),
]


def named_bonds(trc):
    labels = trc.topology.labels
    return {(labels[b.atoms[0]], labels[b.atoms[1]], b.atoms, b.order) for b in trc.topology.connectivity}


def test_amino_acids_get_template_and_peptide_bonds_and_conect_bonds_stay():
    trc = read_one(*DIPEPTIDE, *LIGAND_AND_WATER)
    assert named_bonds(trc) == {
        ("C1", "O1", (9, 10), BondOrder.Double),
        ("N", "CA", (0, 1), BondOrder.Single), ("CA", "C", (1, 2), BondOrder.Single), ("C", "O", (2, 3), BondOrder.Double),
        ("C", "N", (2, 4), BondOrder.Single),
        ("N", "CA", (4, 5), BondOrder.Single), ("CA", "C", (5, 6), BondOrder.Single), ("C", "O", (6, 7), BondOrder.Double),
        ("CA", "CB", (5, 8), BondOrder.Single),
        ("O", "H1", (11, 12), BondOrder.Single), ("O", "H2", (11, 13), BondOrder.Single),
    }
    # the CONECT bonds come first, then perception's
    assert bonds(trc)[0] == ((9, 10), BondOrder.Double)


def test_every_model_is_perceived():
    models = read("MODEL        1", *DIPEPTIDE, "ENDMDL", "MODEL        2", *DIPEPTIDE, "ENDMDL")
    assert [len(m.topology.connectivity) for m in models] == [8, 8]


def test_sequence_residues_without_atoms_do_not_stop_perception():
    # SER 3 exists only in SEQRES: an unresolved residue, not an incomplete one.
    trc = read_one(seqres(1, "A", 3, ["GLY", "ALA", "SER"]), *DIPEPTIDE, *LIGAND_AND_WATER)
    assert trc.residues.seqs[:3] == ["GLY", "ALA", "SER"] and trc.residues.residues[2] == []
    assert len(bonds(trc)) == len(bonds(read_one(*DIPEPTIDE, *LIGAND_AND_WATER)))
    assert sorted(bonds(trc.perceive_bonds())) == sorted(bonds(trc))


@pytest.mark.parametrize(
    "lines",
    [
        # an atom name the templates do not know
        [atom(1, "N", "GLY", "A", 1, "N"), atom(2, "XX", "GLY", "A", 1, "C"), atom(3, "C", "GLY", "A", 1, "C"),
         atom(4, "O", "GLY", "A", 1, "O"), atom(5, "CA", "GLY", "A", 1, "C")],
    ],
)
def test_a_model_perception_refuses_is_kept_as_read(lines):
    trc = read_one(*lines, *LIGAND_AND_WATER)
    # only the CONECT bonds: perception checks completeness before changing anything
    assert bonds(trc) == [((trc.num_atoms - 5, trc.num_atoms - 4), BondOrder.Double)]
    with pytest.raises(ValueError):
        trc.perceive_bonds()


def test_a_peptide_bond_given_by_conect_is_not_added_twice():
    # A modified residue (MSE, not a template kind) bonded to the next amino acid by CONECT: the
    # kept CONECT bond and the perceived peptide bond are the same bond.
    lines = [
        hetatm(1, "N", "MSE", "A", 1, "N", x=0.0), hetatm(2, "CA", "MSE", "A", 1, "C", x=1.45),
        hetatm(3, "C", "MSE", "A", 1, "C", x=2.0, y=1.4), hetatm(4, "O", "MSE", "A", 1, "O", x=1.3, y=2.4),
        atom(5, "N", "ALA", "A", 2, "N", x=3.3, y=1.5), atom(6, "CA", "ALA", "A", 2, "C", x=4.0, y=2.7),
        atom(7, "C", "ALA", "A", 2, "C", x=5.5, y=2.5), atom(8, "O", "ALA", "A", 2, "O", x=6.0, y=1.4),
        atom(9, "CB", "ALA", "A", 2, "C", x=3.6, y=4.0),
        conect(3, 5),
    ]
    trc = read_one(*lines)
    pairs = [tuple(sorted(b.atoms)) for b in trc.topology.connectivity]
    assert pairs.count((2, 4)) == 1
    assert len(pairs) == len(set(pairs))
