"""Writing PDB text: exact records, the CONECT rules, and structures that fail `check`."""

import pytest

import libzyk
from libzyk import TRC, Element
from pdb_text import atom, helix, hetatm, sheet, text

WATER = TRC([Element.O, Element.H, Element.H], [[0, 0, 0], [0.9572, 0, 0], [-0.24, 0.9266, 0]],
            labels=["O", "H1", "H2"], residue_seqs=["HOH"], residue_insertion_codes=[""])


def records(out, name):
    return [line for line in out.splitlines() if line.startswith(name)]


def write_error(trc):
    with pytest.raises(ValueError) as info:
        libzyk.to_pdb(trc)
    return str(info.value)


def test_a_water_molecule():
    assert libzyk.to_pdb(WATER) == (
        "SEQRES   1 A    1  HOH          \n"
        "HETATM    0  O   HOH A   1       0.000   0.000   0.000  1.00  0.00           O  \n"
        "HETATM    1  H1  HOH A   1       0.957   0.000   0.000  1.00  0.00           H  \n"
        "HETATM    2  H2  HOH A   1      -0.240   0.927   0.000  1.00  0.00           H  \n"
    )


def test_fourteen_residues_give_two_seqres_lines():
    n = 14
    trc = TRC([Element.C] * n, [[float(i), 0, 0] for i in range(n)], residues=[[i] for i in range(n)],
              residue_seqs=["ALA"] * 13 + ["GLY"])
    lines = records(libzyk.to_pdb(trc), "SEQRES")
    assert lines == [
        "SEQRES   1 A   14  " + " ".join(["ALA"] * 13) + " " * 10,
        "SEQRES   2 A   14  GLY" + " " * 10,
    ]


def test_atom_records_use_labels_residues_and_charges():
    trc = TRC([Element.N, Element.C, Element.Cl, Element.Na], [[1, 2, 3], [4, 5, 6], [7, 8, 9], [-1, -2, -3]],
              labels=["N", "CA", "CL1", "NA"], formal_charges=[1, 0, -2, 12],
              residues=[[1, 0], [2], [3]], residue_seqs=["ala", "LIG", "NA"], residue_seq_ns=[-5, 1000, 7],
              residue_insertion_codes=["A", "", "~"], chains=[[0, 1], [2]])
    assert records(libzyk.to_pdb(trc), "ATOM") + records(libzyk.to_pdb(trc), "HETATM") == [
        "ATOM      1  CA  ala A  -5A      4.000   5.000   6.000  1.00  0.00           C  ",
        "ATOM      0  N   ala A  -5A      1.000   2.000   3.000  1.00  0.00           N1+",
        "HETATM    2  CL1 LIG A1000       7.000   8.000   9.000  1.00  0.00          Cl2-",
        "HETATM    3  NA   NA B   7~     -1.000  -2.000  -3.000  1.00  0.00          Na12",
    ]


def test_atoms_without_labels_are_named_by_element_and_atoms_in_no_residue_are_skipped():
    trc = TRC([Element.Fe, Element.O], [[0, 0, 0], [1, 1, 1]], residues=[[0]], residue_seqs=["FE"])
    assert records(libzyk.to_pdb(trc), "HETATM") == [
        "HETATM    0  Fe   FE A   1~      0.000   0.000   0.000  1.00  0.00          Fe  "]


def test_a_four_character_label_starts_in_column_13():
    trc = TRC([Element.H], [[0, 0, 0]], labels=["HG21"], residue_seqs=["VAL"])
    assert records(libzyk.to_pdb(trc), "ATOM")[0][12:16] == "HG21"


def test_a_label_longer_than_four_characters_is_a_write_error():
    trc = TRC([Element.H], [[0, 0, 0]], labels=["HG211"], residue_seqs=["VAL"])
    assert write_error(trc) == 'PDB write error: atom name "HG211" is longer than 4 characters'


LIGAND_AND_PROTEIN = dict(
    residues=[[0, 1], [2, 3], [4, 5]], residue_seqs=["CYS", "CYS", "LIG"],
    labels=["CA", "SG", "CA", "SG", "C1", "O1"])
SIX = [Element.C, Element.S, Element.C, Element.S, Element.C, Element.O]
POSITIONS = [[float(i), 0, 0] for i in range(6)]


@pytest.mark.parametrize(
    "bond, lines",
    [
        ((4, 5, 2), ["CONECT    4    5"] * 2),  # within the ligand: order 2 as two lines
        ((1, 4, 3), ["CONECT    1    4"] * 3),  # ligand to protein
        ((5, 4, 6), ["CONECT    5    4"] * 6),  # one direction only, as stored
        ((4, 5, 0), ["CONECT    4    5"]),  # unspecified order: once
        ((4, 5, 254), ["CONECT    4    5"]),  # 1.5: once
        ((4, 5, 255), ["CONECT    4    5"]),  # ring: once
        ((0, 2, 1), []),  # between two amino acids: left to perception
        ((0, 1, 1), []),  # within an amino acid
        ((1, 3, 1), ["CONECT    1    3"]),  # a disulfide is kept
    ],
)
def test_conect_records(bond, lines):
    trc = TRC(SIX, POSITIONS, connectivity=[bond], **LIGAND_AND_PROTEIN)
    assert records(libzyk.to_pdb(trc), "CONECT") == lines


def test_a_pair_listed_twice_is_written_once_for_its_first_bond():
    # two bonds between the same atoms would read back as one bond of a higher order
    trc = TRC(SIX, POSITIONS, connectivity=[(4, 5, 1), (5, 4, 2), (1, 4, 1), (4, 5, 1)], **LIGAND_AND_PROTEIN)
    assert records(libzyk.to_pdb(trc), "CONECT") == ["CONECT    4    5", "CONECT    1    4"]


def test_an_atom_counts_in_the_first_residue_that_lists_it():
    # atom 1 is listed by CYS and by the ligand: it counts as an amino-acid atom
    trc = TRC(SIX, POSITIONS, connectivity=[(0, 1, 1)], residues=[[0, 1], [1, 2, 3, 4, 5]],
              residue_seqs=["CYS", "LIG"], labels=LIGAND_AND_PROTEIN["labels"])
    assert records(libzyk.to_pdb(trc), "CONECT") == []


def test_an_atom_in_no_residue_is_not_an_amino_acid_atom():
    trc = TRC(SIX, POSITIONS, connectivity=[(0, 4, 1)], residues=[[0, 1, 2, 3]],
              residue_seqs=["CYS"], labels=LIGAND_AND_PROTEIN["labels"])
    assert records(libzyk.to_pdb(trc), "CONECT") == ["CONECT    0    4"]


PROTEIN = [atom(i + 1, "CA", "ALA", chain, seq, "C", x=float(i), icode=icode)
           for i, (chain, seq, icode) in enumerate(
               [("H", 1, " "), ("H", 2, " "), ("H", 3, "B"), ("H", 4, " "), ("L", 1, " "), ("L", 2, " ")])]


def test_chain_labels_name_every_record():
    src = text(helix(1, "HX1", ("ALA", "H", 1, " "), ("ALA", "H", 3, "B"), 5, 3),
               helix(2, "HX2", ("ALA", "L", 1, " "), ("ALA", "L", 2, " ")),
               sheet(1, "SA", 2, ("ALA", "H", 2, " "), ("ALA", "H", 4, " "), 0),
               sheet(2, "SA", 2, ("ALA", "L", 1, " "), ("ALA", "L", 2, " "), -1), *PROTEIN)
    out = libzyk.to_pdb(libzyk.from_pdb(src)[0])
    assert records(out, "SEQRES") == ["SEQRES   1 H    4  ALA ALA ALA ALA" + " " * 10,
                                      "SEQRES   1 L    2  ALA ALA" + " " * 10]
    assert records(out, "HELIX") == [
        "HELIX    1 HX1 ALA H    1  ALA H    3B 5                                   3    ",
        "HELIX    2 HX2 ALA L    1  ALA L    2".ljust(80),
    ]
    assert records(out, "SHEET") == [
        "SHEET    1 SA  2 ALA H   2  ALA H   4  0" + " " * 40,
        "SHEET    2 SA  2 ALA L   1  ALA L   2 -1" + " " * 40,
    ]
    assert [line[21] for line in records(out, "ATOM")] == ["H", "H", "H", "H", "L", "L"]
    assert records(out, "ATOM")[2][26] == "B"


def test_strand_numbers_without_ordinals():
    src = text(sheet(0, "S", None, ("ALA", "H", 1, " "), ("ALA", "H", 2, " "), 1),
               sheet(-4, "S", None, ("ALA", "H", 3, "B"), ("ALA", "H", 4, " "), None), *PROTEIN)
    out = libzyk.to_pdb(libzyk.from_pdb(src)[0])
    # strand 0 has no ordinal but the identifier "0" reads as a number; "-4" does not: position + 1
    assert [line[:40] for line in records(out, "SHEET")] == [
        "SHEET    0 S     ALA H   1  ALA H   2  1",
        "SHEET    2 S     ALA H   3B ALA H   4  0",
    ]


def test_the_no_code_marker_prints_in_atom_records_only():
    trc = TRC([Element.C], [[0, 0, 0]], residue_seqs=["ALA"])  # insertion code "~" by default
    assert records(libzyk.to_pdb(trc), "ATOM")[0][26] == "~"


def test_output_reads_back():
    trc = TRC(SIX, POSITIONS, connectivity=[(4, 5, 2), (1, 3, 1)], **LIGAND_AND_PROTEIN)
    back = libzyk.from_pdb(libzyk.to_pdb(trc))[0]
    assert back.topology.labels == trc.topology.labels
    assert back.residues.seqs == ["CYS", "CYS", "LIG"]
    have = {(b.atoms, int(b.order)) for b in back.topology.connectivity}
    assert {((1, 3), 1), ((4, 5), 2)} <= have


# ---- structures that fail check ----


@pytest.mark.parametrize(
    "kwargs, message",
    [
        (dict(residues=[[0, 5]]), "atom does not exist or is in more than one residue: AtomRef(5)"),
        (dict(connectivity=[(0, 9, 1)]), "invalid connectivity between: AtomRef(0) and AtomRef(9)"),
        (dict(connectivity=[(1, 1, 1)]), "invalid connectivity between: AtomRef(1) and AtomRef(1)"),
    ],
)
def test_records_pointing_at_missing_atoms_are_write_errors(kwargs, message):
    trc = TRC([Element.C, Element.O], [[0, 0, 0], [1, 0, 0]], **kwargs)
    with pytest.raises(ValueError):
        trc.check()
    assert write_error(trc) == "PDB write error: " + message


def test_other_broken_tables_still_write():
    trc = TRC([Element.C, Element.O, Element.N], [[0, 0, 0], [1, 0, 0], [2, 0, 0]],
              labels=["C1"], formal_charges=[1], residues=[[0], [1, 2]], residue_seqs=["LIG"],
              residue_seq_ns=[4], residue_insertion_codes=[], chains=[[1, 7]])
    # residue 0 is in no chain, chain 0 lists a residue that does not exist, residue 1 has no
    # name, number or insertion code, atoms 1 and 2 no label and no charge
    with pytest.raises(ValueError):
        trc.check()
    out = libzyk.to_pdb(trc)
    assert out.splitlines() == [
        "SEQRES   1 A    1            ",
        "HETATM    0  C1  LIG A   4       0.000   0.000   0.000  1.00  0.00           C1+",
        "HETATM    1  O       A   0       1.000   0.000   0.000  1.00  0.00           O  ",
        "HETATM    2  N       A   0       2.000   0.000   0.000  1.00  0.00           N  ",
    ]


def test_atom_listed_twice_is_written_twice():
    trc = TRC([Element.C], [[0, 0, 0]], residues=[[0], [0]], residue_seqs=["LIG", "LIG"])
    assert len(records(libzyk.to_pdb(trc), "HETATM")) == 2


@pytest.mark.parametrize("value", ["not a trc", None, 1.5])
def test_argument_must_be_a_trc(value):
    with pytest.raises(TypeError, match="^argument 'trc': "):
        libzyk.to_pdb(value)
