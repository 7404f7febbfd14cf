"""from_mmcif: models, atoms, residues and chains, sequence-driven residues, bonds and warnings."""

from __future__ import annotations

import logging

import numpy as np
import pytest

import libzyk
from libzyk import BondOrder, Element
from mmcif_text import ATOM_COLUMNS, atom, atom_sites, cif, loop, singles

LOGGER = "libzyk.convert.mmcif"


def read(text: str) -> list[libzyk.TRC]:
    return libzyk.from_mmcif(text)


def read_one(text: str) -> libzyk.TRC:
    (trc,) = read(text)
    return trc


def bonds(trc: libzyk.TRC) -> list[tuple[int, int, BondOrder]]:
    return [(*b.atoms, b.order) for b in trc.topology.connectivity]


def residue_table(trc: libzyk.TRC) -> list[tuple[str, int, str, int]]:
    r = trc.residues
    return [(r.seqs[i], r.seq_ns[i], r.insertion_codes[i], len(r.residues[i])) for i in range(len(r.seqs))]


def gly(seq: int, chain: str = "A", **kw) -> list[dict[str, str]]:
    return [atom(n, "GLY", seq, chain, **kw) for n in ("N", "CA", "C", "O")]


# --- Structures per block and model -------------------------------------------------------


def test_no_blocks_and_blocks_without_atoms_give_nothing() -> None:
    assert read("") == []
    assert read("_atom_site.id 1\n") == []
    assert read(cif(singles("_entry", {"id": "X"}))) == []
    assert read(cif("loop_\n" + "\n".join(f"_atom_site.{c}" for c in ATOM_COLUMNS) + "\n#\n")) == []


def test_one_structure_per_model_in_ascending_model_text() -> None:
    rows = [atom("O", "HOH", 1, model="2", xyz=(2, 0, 0)), atom("O", "HOH", 1, model="1", xyz=(1, 0, 0)),
            atom("H1", "HOH", 1, model="2", el="H", xyz=(2, 1, 0))]
    first, second = read(cif(atom_sites(rows)))
    assert first.topology.geometry.tolist() == [[1, 0, 0]]
    assert second.topology.geometry.tolist() == [[2, 0, 0], [2, 1, 0]]
    no_model_column = tuple(c for c in ATOM_COLUMNS if c != "pdbx_PDB_model_num")
    assert len(read(cif(atom_sites(rows, no_model_column)))) == 1


def test_blocks_come_in_file_order() -> None:
    a = cif(atom_sites([atom("O", "HOH", 1)]), name="A")
    b = cif(atom_sites([atom("N", "NH3", 1, el="N"), atom("N", "NH3", 2, el="N")]), name="B")
    assert [t.topology.num_atoms for t in read(a + b)] == [1, 2]


@pytest.mark.parametrize("alt, kept", [(".", True), ("?", True), ("A", True), ("B", False), ("C", False), ("a", False)])
def test_alternate_locations(alt: str, kept: bool) -> None:
    trc = read_one(cif(atom_sites([atom("CA", "GLY", 1, el="C"), atom("N", "GLY", 1, alt=alt)])))
    assert trc.topology.num_atoms == (2 if kept else 1)


def test_atoms_keep_file_order_coordinates_names_and_charges() -> None:
    rows = [atom("NA", "NA", 1, el="NA", charge="1+", xyz=(1.5, -2.25, 3)),
            atom("CL", "CL", 2, el="Cl", charge="1-"),
            atom("O", "HOH", 3, charge="?"),
            atom("FE", "FE", 4, el="FE", charge="2-"),
            atom("O", "ACT", 5, charge="junk")]
    t = read_one(cif(atom_sites(rows))).topology
    assert t.symbols == [Element.Na, Element.Cl, Element.O, Element.Fe, Element.O]
    assert t.labels == ["NA", "CL", "O", "FE", "O"]
    assert t.formal_charges.tolist() == [1, -1, 0, -2, 0]
    assert t.geometry.dtype == np.float32 and t.geometry[0].tolist() == [1.5, -2.25, 3.0]


@pytest.mark.parametrize("symbol, element", [("FE", Element.Fe), ("Fe", Element.Fe), ("fe", Element.Fe),
                                             ("O1-", Element.O), ("'C'", Element.C), ("2H", Element.H)])
def test_element_symbols_keep_their_letters(symbol: str, element: Element) -> None:
    assert read_one(cif(atom_sites([atom("X1", "UNL", 1, el=symbol)]))).topology.symbols == [element]


@pytest.mark.parametrize("symbol, shown", [("QX1", "QX"), ("Xx", "Xx"), ("CAL", "CAL"), ("12", ""), ("?", ""),
                                           ("F\u00e9", "F\u00e9")])
def test_unknown_element_symbol_fails_the_whole_call(symbol: str, shown: str) -> None:
    good = cif(atom_sites([atom("O", "HOH", 1)]), name="GOOD")
    bad = cif(atom_sites([atom("O", "HOH", 1), atom("X1", "UNL", 2, el=symbol)]), name="BAD")
    with pytest.raises(ValueError) as err:
        read(good + bad)
    assert str(err.value) == "mmCIF parse error: invalid element symbol: " + shown


def test_missing_type_symbol_column_fails_with_empty_text() -> None:
    columns = tuple(c for c in ATOM_COLUMNS if c != "type_symbol")
    with pytest.raises(ValueError, match=r"^mmCIF parse error: invalid element symbol: $"):
        read(cif(atom_sites([atom("O", "HOH", 1)], columns)))


def test_left_out_alternate_location_is_not_checked_for_its_element() -> None:
    trc = read_one(cif(atom_sites([atom("O", "HOH", 1), atom("X", "HOH", 1, el="QQ", alt="B")])))
    assert trc.topology.num_atoms == 1


def test_non_str_contents_is_a_type_error() -> None:
    with pytest.raises(TypeError, match="argument 'contents'"):
        libzyk.from_mmcif(b"data_x\n")


# --- Residues and chains ------------------------------------------------------------------


def test_residue_keys_order_by_chain_number_insertion_code_and_name() -> None:
    rows = (gly(10, "B") + [atom("CA", "ALA", 10, "A", el="C")] + [atom("CA", "SER", 10, "A", el="C", ins="A")]
            + [atom("CA", "GLY", 9, "A", el="C")] + [atom("CB", "ALA", 10, "A", el="C")])
    trc = read_one(cif(atom_sites(rows)))
    assert residue_table(trc) == [("GLY", 9, "", 1), ("SER", 10, "A", 1), ("ALA", 10, "", 2), ("GLY", 10, "", 4)]
    assert trc.chains.chains == [[0, 1, 2], [3]]
    assert trc.residues.residues[2] == [4, 7]  # atoms of one residue in input order
    # One fragment per residue with atoms, in residue order, carrying the residues' atoms.
    assert trc.topology.fragments == trc.residues.residues
    trc.check()


def test_chain_falls_back_to_label_chain_and_number_to_label_number() -> None:
    columns = tuple(c for c in ATOM_COLUMNS if c not in ("auth_asym_id", "auth_seq_id"))
    trc = read_one(cif(atom_sites([atom("O", "HOH", 7, "Z", label_seq=3), atom("O", "HOH", 7, "Y", label_seq=4)],
                                  columns)))
    assert residue_table(trc) == [("HOH", 4, "", 1), ("HOH", 3, "", 1)]  # chain Y sorts before Z
    rows = [atom("O", "HOH", "?", "A", label_seq="5"), atom("O", "HOH", "x", "A", label_seq=".")]
    assert [n for _, n, _, _ in residue_table(read_one(cif(atom_sites(rows))))] == [0, 5]


def test_fragment_charges_sum_the_residue_charges() -> None:
    rows = [atom("N", "LYS", 1, charge="1+"), atom("O", "LYS", 1, charge="1-"), atom("O", "ACT", 2, charge="-1"),
            atom("C", "ACT", 2)]
    t = read_one(cif(atom_sites(rows))).topology
    assert list(t.fragment_formal_charges) == [0, -1]


# --- Sequence-driven empty residues -------------------------------------------------------


def poly_seq(chain: str, names: list[str], first: int = 1) -> str:
    rows = [[str(first + i), chain, n] for i, n in enumerate(names)]
    return loop("_pdbx_poly_seq_scheme", ("seq_id", "pdb_strand_id", "mon_id"), rows)


def ref_seq(chain: str, start: int) -> str:
    return loop("_struct_ref_seq", ("pdbx_strand_id", "pdbx_auth_seq_align_beg", "seq_align_beg"),
                [[chain, str(start), "1"]])


@pytest.mark.parametrize("extra, expected", [
    ("", [("ALA", 50, "", 0), ("GLY", 51, "", 4), ("SER", 52, "", 0)]),
    (ref_seq("A", 50), [("ALA", 50, "", 0), ("GLY", 51, "", 4), ("SER", 52, "", 0)]),
    (singles("_struct_ref_seq", {"pdbx_strand_id": "A", "pdbx_auth_seq_align_beg": "50"}),
     [("ALA", 50, "", 0), ("GLY", 51, "", 4), ("SER", 52, "", 0)]),
    (ref_seq("A", 1), [("ALA", 1, "", 0), ("GLY", 2, "", 0), ("SER", 3, "", 0), ("GLY", 51, "", 4)]),
])
def test_polymer_sequence_adds_empty_residues(extra: str, expected: list) -> None:
    trc = read_one(cif(atom_sites(gly(51)), poly_seq("A", ["ALA", "GLY", "SER"]), extra))
    assert residue_table(trc) == expected
    assert trc.chains.chains == [list(range(len(expected)))]
    assert len(trc.topology.fragments) == 1  # empty residues have no fragment
    trc.check()


def test_sequence_positions_are_taken_in_sequence_number_order() -> None:
    rows = [["3", "A", "SER"], ["1", "A", "ALA"], ["2", "A", "GLY"], ["2", "A", "GLY"]]
    text = cif(atom_sites(gly(51)), loop("_pdbx_poly_seq_scheme", ("seq_id", "pdb_strand_id", "mon_id"), rows))
    assert [n for _, n, _, _ in residue_table(read_one(text))] == [50, 51, 52]


def test_poly_seq_prefers_strand_and_author_names() -> None:
    rows = [["1", "A", "X", "ALA", "UNK"], ["2", "A", "X", "GLY", "UNK"], ["3", "?", "A", "?", "SER"]]
    text = cif(atom_sites(gly(7)),
               loop("_pdbx_poly_seq_scheme", ("seq_id", "pdb_strand_id", "asym_id", "auth_mon_id", "mon_id"), rows))
    assert residue_table(read_one(text)) == [("ALA", 6, "", 0), ("GLY", 7, "", 4), ("SER", 8, "", 0)]


def authored_poly_seq(rows: list[tuple[str, str, str]]) -> str:
    """Positions of chain A given as (name, author number, insertion code)."""
    return loop("_pdbx_poly_seq_scheme", ("seq_id", "mon_id", "pdb_seq_num", "pdb_strand_id", "pdb_ins_code"),
                [[str(i), name, num, "A", ins] for i, (name, num, ins) in enumerate(rows, 1)])


@pytest.mark.parametrize("extra", ["", ref_seq("A", 1)])
def test_author_numbered_sequence_places_residues_by_their_own_numbers(extra: str) -> None:
    # Author numbering with an insertion code and a gap (no 39): counting positions from the first
    # residue would misplace everything after 37.
    atoms = gly(37) + gly(37, ins="A") + gly(38) + gly(40)
    seq = authored_poly_seq([("ALA", "36", "?"), ("GLY", "37", "?"), ("GLY", "37", "A"), ("GLY", "38", "?"),
                             ("GLY", "40", "?"), ("SER", "41", "?"), ("TRP", "41", "B")])
    trc = read_one(cif(atom_sites(atoms), seq, extra))
    assert residue_table(trc) == [("ALA", 36, "", 0), ("GLY", 37, "A", 4), ("GLY", 37, "", 4), ("GLY", 38, "", 4),
                                  ("GLY", 40, "", 4), ("TRP", 41, "B", 0), ("SER", 41, "", 0)]


def test_reference_start_of_a_later_position_adds_no_phantom_residue() -> None:
    # The reference alignment starts at the second position (author 152); the first position is
    # an observed tag residue 151. Every position is observed: nothing is added.
    atoms = [atom("CA", "MSE", 151, el="C"), atom("CA", "ASP", 152, el="C"), atom("CA", "GLY", 153, el="C")]
    seq = authored_poly_seq([("MSE", "151", "?"), ("ASP", "152", "?"), ("GLY", "153", "?")])
    trc = read_one(cif(atom_sites(atoms), seq, ref_seq("A", 152)))
    assert [n for _, n, _, _ in residue_table(trc)] == [151, 152, 153]


def test_partly_numbered_sequence_counts_positions() -> None:
    seq = loop("_pdbx_poly_seq_scheme", ("seq_id", "mon_id", "pdb_seq_num", "pdb_strand_id"),
               [["1", "ALA", "7", "A"], ["2", "GLY", "?", "A"], ["3", "SER", "9", "A"]])
    assert [n for _, n, _, _ in residue_table(read_one(cif(atom_sites(gly(51)), seq)))] == [50, 51, 52]


def test_unobserved_residues_fill_chains_without_sequence() -> None:
    unobs = loop("_pdbx_unobs_or_zero_occ_residues",
                 ("polymer_flag", "PDB_model_num", "auth_asym_id", "auth_comp_id", "auth_seq_id", "PDB_ins_code"),
                 [["Y", "1", "A", "MET", "1", "?"], ["Y", "1", "A", "GLY", "5", "?"], ["Y", "2", "A", "TRP", "2", "?"],
                  ["Y", "?", "A", "ALA", "3", "B"], ["N", "1", "A", "HOH", "9", "?"]])
    rows = gly(5) + [atom("CA", "GLY", 5, model="2", el="C")]
    one, two = read(cif(atom_sites(rows), unobs))
    assert residue_table(one) == [("MET", 1, "", 0), ("ALA", 3, "B", 0), ("GLY", 5, "", 4)]
    assert residue_table(two) == [("TRP", 2, "", 0), ("ALA", 3, "B", 0), ("GLY", 5, "", 1)]


def test_sequence_handled_chains_ignore_unobserved_residues() -> None:
    unobs = loop("_pdbx_unobs_or_zero_occ_residues", ("polymer_flag", "auth_asym_id", "auth_comp_id", "auth_seq_id"),
                 [["Y", "A", "MET", "1"]])
    trc = read_one(cif(atom_sites(gly(51)), poly_seq("A", ["ALA", "GLY"]), unobs))
    assert residue_table(trc) == [("ALA", 50, "", 0), ("GLY", 51, "", 4)]


def test_unaligned_sequence_warns_and_falls_back_to_unobserved(caplog: pytest.LogCaptureFixture) -> None:
    unobs = loop("_pdbx_unobs_or_zero_occ_residues", ("polymer_flag", "auth_asym_id", "auth_comp_id", "auth_seq_id"),
                 [["Y", "A", "MET", "1"]])
    text = cif(atom_sites(gly(51)), poly_seq("A", ["ALA", "SER"]), unobs)
    with caplog.at_level(logging.WARNING, logger=LOGGER):
        trc = read_one(text)
    assert residue_table(trc) == [("MET", 1, "", 0), ("GLY", 51, "", 4)]
    assert [(r.name, r.levelno, r.getMessage()) for r in caplog.records] == [(
        LOGGER, logging.WARNING,
        "mmCIF: chain A: cannot align _pdbx_poly_seq_scheme with resolved residues (residue GLY at auth seq 51 not "
        "found in polymer sequence); skipping sequence-driven empty residue injection for this chain")]


def test_sequence_of_a_chain_without_atoms_warns(caplog: pytest.LogCaptureFixture) -> None:
    with caplog.at_level(logging.WARNING, logger=LOGGER):
        trc = read_one(cif(atom_sites(gly(1)), poly_seq("B", ["ALA"])))
    assert trc.residues.num_residues == 1
    assert [r.getMessage() for r in caplog.records] == [
        "mmCIF: chain B: unable to determine first resolved residue while aligning _pdbx_poly_seq_scheme; skipping "
        "sequence-driven empty residue injection for this chain"]


def test_sequence_start_creates_a_chain_without_atoms() -> None:
    trc = read_one(cif(atom_sites(gly(1)), poly_seq("B", ["ALA", "SER"]), ref_seq("B", 4)))
    assert residue_table(trc) == [("GLY", 1, "", 4), ("ALA", 4, "", 0), ("SER", 5, "", 0)]
    assert trc.chains.chains == [[0], [1, 2]]
    trc.check()


def test_skipped_unobserved_rows_are_counted_per_chain(caplog: pytest.LogCaptureFixture) -> None:
    unobs = loop("_pdbx_unobs_or_zero_occ_residues",
                 ("polymer_flag", "auth_asym_id", "label_asym_id", "auth_comp_id", "auth_seq_id"),
                 [["Y", "B", "?", "?", "3"], ["Y", "?", "?", "ALA", "4"], ["Y", "B", "?", "ALA", "?"],
                  ["N", "?", "?", "?", "?"], ["Y", "?", "A", "MET", "x"], ["?", "B", "?", "ALA", "1"]])
    with caplog.at_level(logging.WARNING, logger=LOGGER):
        trc = read_one(cif(atom_sites(gly(5)), unobs))
    assert [r.getMessage() for r in caplog.records] == [
        f"mmCIF: chain {c}: skipped {n} _pdbx_unobs_or_zero_occ_residues row(s) due to missing chain/sequence/name fields"
        for c, n in (("<unknown>", 1), ("A", 1), ("B", 2))]
    # A row without a polymer flag is read.
    assert residue_table(trc) == [("GLY", 5, "", 4), ("ALA", 1, "", 0)]


def test_no_warning_reaches_a_logger_that_is_off(caplog: pytest.LogCaptureFixture) -> None:
    with caplog.at_level(logging.ERROR, logger=LOGGER):
        read(cif(atom_sites(gly(1)), poly_seq("B", ["ALA"])))
    assert caplog.records == []


# --- Bonds --------------------------------------------------------------------------------


def comp_bonds(rows: list[list[str]], columns=("comp_id", "atom_id_1", "atom_id_2", "value_order", "pdbx_ordinal")) -> str:
    return loop("_chem_comp_bond", columns, rows)


CONN_COLUMNS = ("id", "conn_type_id", "ptnr1_label_asym_id", "ptnr1_label_seq_id", "ptnr1_label_atom_id",
                "pdbx_ptnr1_PDB_ins_code", "ptnr1_auth_seq_id", "ptnr2_label_asym_id", "ptnr2_label_seq_id",
                "ptnr2_label_atom_id", "pdbx_ptnr2_PDB_ins_code", "ptnr2_auth_seq_id")


def conn(rows: list[list[str]], columns=CONN_COLUMNS) -> str:
    return loop("_struct_conn", columns, rows)


@pytest.mark.parametrize("order, expected", [("SING", BondOrder.Single), ("DOUB", BondOrder.Double),
                                             ("TRIP", BondOrder.Triple), ("QUAD", BondOrder.Quadruple),
                                             ("doub", BondOrder.Single), ("AROM", BondOrder.Single),
                                             ("DELO", BondOrder.Single), ("?", BondOrder.Single)])
def test_component_bond_orders(order: str, expected: BondOrder) -> None:
    rows = [atom("C", "ACT", 1), atom("O", "ACT", 1)]
    trc = read_one(cif(atom_sites(rows), comp_bonds([["ACT", "C", "O", order, "1"]])))
    assert bonds(trc) == [(0, 1, expected)]


def test_component_bonds_per_residue_in_ascending_pair_order() -> None:
    rows = [atom("O", "ACT", 1), atom("C", "ACT", 1), atom("CH3", "ACT", 1, el="C"), atom("C", "ACT", 2),
            atom("CH3", "ACT", 2, el="C"), atom("O", "ACT", 2, alt="B")]
    text = cif(atom_sites(rows), comp_bonds([["ACT", "C", "O", "DOUB", "1"], ["ACT", "C", "CH3", "SING", "2"],
                                             ["ACT", "C", "OXT", "SING", "3"], ["HOH", "O", "H1", "SING", "1"]]))
    assert bonds(read_one(text)) == [(0, 1, BondOrder.Double), (1, 2, BondOrder.Single), (3, 4, BondOrder.Single)]


def test_component_bond_without_order_is_single_and_self_bond_is_skipped() -> None:
    rows = [atom("C", "ACT", 1), atom("O", "ACT", 1)]
    text = cif(atom_sites(rows), comp_bonds([["ACT", "C", "O"], ["ACT", "C", "C"]], ("comp_id", "atom_id_1", "atom_id_2")))
    assert bonds(read_one(text)) == [(0, 1, BondOrder.Single)]


def cys_pair() -> list[dict[str, str]]:
    return [atom("CA", "CYS", 3, el="C"), atom("SG", "CYS", 3, el="S"), atom("SG", "CYS", 8, el="S", alt="A"),
            atom("SG", "CYS", 8, el="S", alt="B"), atom("CA", "CYS", 8, el="C")]


def test_connections_become_single_bonds() -> None:
    text = cif(atom_sites(cys_pair()), conn([["disulf1", "disulf", "A", "3", "SG", "?", "3", "A", "8", "SG", "?", "8"],
                                             ["hydrog1", "hydrog", "A", "3", "CA", "?", "3", "A", "8", "CA", "?", "8"],
                                             ["covale1", "covale", "A", "3", "SG", "?", "3", "A", "9", "SG", "?", "9"]]))
    assert bonds(read_one(text)) == [(0, 3, BondOrder.Single), (1, 2, BondOrder.Single)]


def test_connection_to_a_left_out_alternate_location_adds_nothing() -> None:
    rows = [atom("SG", "CYS", 3, el="S"), atom("SG", "CYS", 8, el="S", alt="B"), atom("SG", "CYS", 8, el="S", alt="A")]
    text = cif(atom_sites(rows), conn([["disulf1", "disulf", "A", "3", "SG", "?", "3", "A", "8", "SG", "?", "8"]]))
    assert bonds(read_one(text)) == []


def test_component_order_overwrites_a_connection() -> None:
    rows = [atom("C", "ACT", 1), atom("O", "ACT", 1)]
    text = cif(atom_sites(rows), comp_bonds([["ACT", "C", "O", "DOUB", "1"]]),
               conn([["x", "covale", "A", "1", "O", "?", "1", "A", "1", "C", "?", "1"]]))
    assert bonds(read_one(text)) == [(0, 1, BondOrder.Double)]


def metal_and_waters(columns=CONN_COLUMNS) -> str:
    rows = [atom("ZN", "ZN", 201, "A", el="ZN", label_asym="B", label_seq="."),
            atom("O", "HOH", 301, "A", label_asym="C", label_seq="."),
            atom("O", "HOH", 302, "A", label_asym="C", label_seq="."),
            atom("O", "HOH", 302, "A", label_asym="C", label_seq=".", ins="A")]
    conns = [["metalc1", "metalc", "B", ".", "ZN", "?", "201", "C", ".", "O", "?", "301"],
             ["metalc2", "metalc", "B", ".", "ZN", "?", "201", "C", ".", "O", "?", "302"],
             ["metalc3", "metalc", "B", ".", "ZN", "?", "201", "C", ".", "O", "A", "302"]]
    keep = [CONN_COLUMNS.index(c) for c in columns]
    return cif(atom_sites(rows), conn([[r[i] for i in keep] for r in conns], columns))


def test_metal_bound_to_waters_bonds_each_water() -> None:
    # Waters carry no label number and share one label chain: the author number and insertion
    # code tell them apart.
    assert bonds(read_one(metal_and_waters())) == [(0, 1, BondOrder.Single), (0, 2, BondOrder.Single),
                                                  (0, 3, BondOrder.Single)]


def test_metal_bound_to_waters_without_insertion_code_columns() -> None:
    columns = tuple(c for c in CONN_COLUMNS if "ins_code" not in c)
    assert bonds(read_one(metal_and_waters(columns))) == [(0, 1, BondOrder.Single), (0, 2, BondOrder.Single)]


def test_without_author_numbers_the_label_keys_decide() -> None:
    columns = tuple(c for c in CONN_COLUMNS if "auth_seq" not in c)
    assert bonds(read_one(metal_and_waters(columns))) == [(0, 1, BondOrder.Single)]


def test_connections_apply_to_every_model() -> None:
    rows = [atom("SG", "CYS", 3, el="S", model=m) for m in "12"] + [atom("SG", "CYS", 8, el="S", model=m) for m in "12"]
    text = cif(atom_sites(rows), conn([["d", "disulf", "A", "3", "SG", "?", "3", "A", "8", "SG", "?", "8"]]))
    assert [bonds(t) for t in read(text)] == [[(0, 1, BondOrder.Single)]] * 2


def test_later_component_rows_overwrite_earlier_ones_in_either_direction() -> None:
    rows = [atom("C", "ACT", 1), atom("O", "ACT", 1), atom("C", "ACT", 1, xyz=(1, 0, 0))]
    text = cif(atom_sites(rows), comp_bonds([["ACT", "C", "O", "DOUB", "1"], ["ACT", "O", "C", "TRIP", "2"]]))
    assert bonds(read_one(text)) == [(0, 1, BondOrder.Triple)]  # the first atom of each name


def test_many_waters_with_a_large_template_stay_linear() -> None:
    waters = [atom("O", "HOH", n) for n in range(1, 3001)]
    template = [["HOH", "O", f"X{i}", "SING", str(i)] for i in range(3000)] + [["HOH", "O", "H1", "SING", "1"]] * 3000
    trc = read_one(cif(atom_sites(waters), comp_bonds(template)))
    assert trc.topology.num_atoms == 3000 and bonds(trc) == []


def test_categories_of_one_row_written_as_single_items() -> None:
    rows = cys_pair() + [atom("\"O5'\"", "DA", 20, "B", el="O"), atom("P", "DA", 21, "B")]
    text = cif(atom_sites(rows),
               singles("_struct_conn", {"id": "covale1", "conn_type_id": "covale", "ptnr1_label_atom_id": "\"O5'\"",
                                        "ptnr1_label_asym_id": "B", "ptnr1_label_seq_id": "20",
                                        "ptnr2_label_atom_id": "P", "ptnr2_label_asym_id": "B",
                                        "ptnr2_label_seq_id": "21"}),
               singles("_chem_comp_bond", {"comp_id": "CYS", "atom_id_1": "CA", "atom_id_2": "SG",
                                           "value_order": "'DOUB'"}),
               singles("_pdbx_unobs_or_zero_occ_residues", {"polymer_flag": "Y", "auth_asym_id": "A",
                                                            "auth_comp_id": "MET", "auth_seq_id": "1",
                                                            "PDB_ins_code": "?"}),
               singles("_pdbx_poly_seq_scheme", {"seq_id": "1", "pdb_strand_id": "B", "mon_id": "DA",
                                                 "pdb_seq_num": "22"}))
    trc = read_one(text)
    assert bonds(trc) == [(0, 1, BondOrder.Double), (2, 3, BondOrder.Double), (4, 5, BondOrder.Single)]
    assert residue_table(trc) == [("MET", 1, "", 0), ("CYS", 3, "", 2), ("CYS", 8, "", 2), ("DA", 20, "", 1),
                                  ("DA", 21, "", 1), ("DA", 22, "", 0)]
