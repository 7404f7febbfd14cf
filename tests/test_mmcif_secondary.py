"""Helices from _struct_conf and strands from the _struct_sheet categories, resolved per structure."""

from __future__ import annotations

import pytest

import libzyk
from libzyk import HelixClass, StrandSense
from mmcif_text import atom, atom_sites, cif, loop, singles

CONF_COLUMNS = ("conf_type_id", "id", "pdbx_PDB_helix_id", "beg_label_comp_id", "beg_auth_asym_id", "beg_auth_seq_id",
                "pdbx_beg_PDB_ins_code", "end_label_comp_id", "end_auth_asym_id", "end_auth_seq_id",
                "pdbx_end_PDB_ins_code", "pdbx_PDB_helix_class", "pdbx_PDB_helix_length")

RANGE_COLUMNS = ("sheet_id", "id", "beg_label_comp_id", "beg_auth_asym_id", "beg_auth_seq_id", "pdbx_beg_PDB_ins_code",
                 "end_label_comp_id", "end_auth_asym_id", "end_auth_seq_id", "pdbx_end_PDB_ins_code")


def chain_of_alanines(chain: str = "A", count: int = 12, ins: dict[int, str] | None = None) -> list[dict[str, str]]:
    ins = ins or {}
    return [atom("CA", "ALA", n, chain, el="C", ins=ins.get(n, "?")) for n in range(1, count + 1)]


def helix(type_id: str = "HELX_P", hid: str = "H1", beg: int = 2, end: int = 6, cls: str = "1", length: str = "5",
          chain: str = "A", end_ins: str = "?", pdb_id: str | None = None) -> list[str]:
    return [type_id, f"{type_id}{hid}", pdb_id or hid, "ALA", chain, str(beg), "?", "ALA", chain, str(end), end_ins, cls,
            length]


def helices_of(text: str) -> list[tuple]:
    h = libzyk.from_mmcif(text)[0].chains.alpha_helices
    if h is None:
        return []
    return list(zip(h.helix_ids, h.chain_refs, h.start_residues, h.end_residues, h.classes, h.lengths))


def sheets_of(text: str) -> list[tuple]:
    s = libzyk.from_mmcif(text)[0].chains.beta_sheets
    if s is None:
        return []
    return list(zip(s.sheet_ids, s.strand_ids, s.strand_ordinals, s.num_strands, s.chain_refs, s.start_residues,
                    s.end_residues, s.senses))


@pytest.mark.parametrize("type_id, kept", [("HELX_P", True), ("HELX_RH_AL_P", True), ("HELX", True),
                                           ("helx_p", False), ("TURN_TY1_P", False), ("STRN", False), ("HEL", False),
                                           ("?", False)])
def test_only_helix_types_become_helices(type_id: str, kept: bool) -> None:
    text = cif(atom_sites(chain_of_alanines()), loop("_struct_conf", CONF_COLUMNS, [helix(type_id)]))
    assert len(helices_of(text)) == (1 if kept else 0)


@pytest.mark.parametrize("cls, expected", [("1", HelixClass.RightHandedAlpha), ("5", HelixClass.RightHanded),
                                           ("10", HelixClass.Polyproline), ("0", None), ("11", None), ("-1", None),
                                           ("?", None), ("x", None)])
def test_helix_classes(cls: str, expected: HelixClass | None) -> None:
    text = cif(atom_sites(chain_of_alanines()), loop("_struct_conf", CONF_COLUMNS, [helix(cls=cls)]))
    assert helices_of(text)[0][4] == expected


@pytest.mark.parametrize("length, expected", [("5", 5), ("0", 0), ("?", None), ("five", None), ("-3", None)])
def test_helix_lengths(length: str, expected: int | None) -> None:
    text = cif(atom_sites(chain_of_alanines()), loop("_struct_conf", CONF_COLUMNS, [helix(length=length)]))
    assert helices_of(text)[0][5] == expected


def test_helices_resolve_against_residue_keys() -> None:
    atoms = chain_of_alanines("A") + chain_of_alanines("B", 4)
    rows = [helix(hid="H1", beg=2, end=6), helix(hid="H2", beg=1, end=4, chain="B"),
            helix(hid="H3", beg=2, end=20),               # end residue missing
            helix(hid="H4", beg=2, end=6, chain="C"),      # chain missing
            helix(hid="H5", beg=2, end=6, end_ins="A")]    # insertion code the atoms lack
    text = cif(atom_sites(atoms), loop("_struct_conf", CONF_COLUMNS, rows))
    assert helices_of(text) == [("H1", 0, 1, 5, HelixClass.RightHandedAlpha, 5),
                                ("H2", 1, 12, 15, HelixClass.RightHandedAlpha, 5)]


def test_helix_end_with_insertion_code_resolves_when_present() -> None:
    text = cif(atom_sites(chain_of_alanines(ins={6: "A"})), loop("_struct_conf", CONF_COLUMNS, [helix(end_ins="A")]))
    assert [h[:4] for h in helices_of(text)] == [("H1", 0, 1, 5)]


def test_helix_id_falls_back_to_the_conf_id() -> None:
    text = cif(atom_sites(chain_of_alanines()), loop("_struct_conf", CONF_COLUMNS, [helix(pdb_id="?")]))
    assert helices_of(text)[0][0] == "HELX_PH1"


def test_helix_written_as_single_items() -> None:
    values = dict(zip(CONF_COLUMNS, helix()))
    text = cif(atom_sites(chain_of_alanines()), singles("_struct_conf", values))
    assert helices_of(text) == [("H1", 0, 1, 5, HelixClass.RightHandedAlpha, 5)]


def test_no_helix_leaves_the_table_absent() -> None:
    trc = libzyk.from_mmcif(cif(atom_sites(chain_of_alanines())))[0]
    assert trc.chains.alpha_helices is None and trc.chains.beta_sheets is None


def three_strand_sheet(sense_2: str = "anti-parallel", sense_3: str = "parallel") -> str:
    ranges = [["S1", "1", "ALA", "A", "1", "?", "ALA", "A", "3", "?"],
              ["S1", "2", "ALA", "A", "5", "?", "ALA", "A", "7", "?"],
              ["S1", "3", "ALA", "A", "9", "?", "ALA", "A", "11", "?"]]
    return cif(atom_sites(chain_of_alanines()),
               loop("_struct_sheet", ("id", "number_strands"), [["S1", "3"]]),
               loop("_struct_sheet_order", ("sheet_id", "range_id_1", "range_id_2", "sense"),
                    [["S1", "1", "2", sense_2], ["S1", "2", "3", sense_3]]),
               loop("_struct_sheet_range", RANGE_COLUMNS, ranges))


def test_sheet_of_three_strands() -> None:
    assert sheets_of(three_strand_sheet()) == [
        ("S1", "1", 1, 3, 0, 0, 2, None),
        ("S1", "2", 2, 3, 0, 4, 6, StrandSense.AntiParallel),
        ("S1", "3", 3, 3, 0, 8, 10, StrandSense.Parallel),
    ]


@pytest.mark.parametrize("text, sense", [("ANTIPARALLEL", StrandSense.AntiParallel),
                                         ("Anti-Parallel", StrandSense.AntiParallel), ("'anti parallel'", None),
                                         ("PARALLEL", StrandSense.Parallel), ("first", StrandSense.First), ("?", None)])
def test_sheet_senses(text: str, sense: StrandSense | None) -> None:
    assert sheets_of(three_strand_sheet(sense_2=text))[1][7] == sense


def test_strands_without_sheet_counts_or_numeric_ids() -> None:
    ranges = [["S2", "A", "ALA", "A", "1", "?", "ALA", "A", "3", "?"],
              ["S2", "-1", "ALA", "A", "4", "?", "ALA", "A", "5", "?"],
              ["S2", "2", "ALA", "A", "4", "?", "ALA", "A", "50", "?"]]   # end missing: dropped
    text = cif(atom_sites(chain_of_alanines()), loop("_struct_sheet_range", RANGE_COLUMNS, ranges))
    assert sheets_of(text) == [("S2", "A", None, None, 0, 0, 2, None), ("S2", "-1", None, None, 0, 3, 4, None)]


def test_sheet_categories_written_as_single_items() -> None:
    rng = dict(zip(RANGE_COLUMNS, ["S1", "1", "ALA", "A", "2", "?", "ALA", "A", "4", "?"]))
    text = cif(atom_sites(chain_of_alanines()), singles("_struct_sheet", {"id": "S1", "number_strands": "1"}),
               singles("_struct_sheet_range", rng))
    assert sheets_of(text) == [("S1", "1", 1, 1, 0, 1, 3, None)]


def test_secondary_structure_of_a_left_out_alternate_location_is_dropped() -> None:
    atoms = chain_of_alanines(count=5)
    atoms[4]["label_alt_id"] = "B"
    text = cif(atom_sites(atoms), loop("_struct_conf", CONF_COLUMNS, [helix(beg=1, end=5), helix(hid="H2", beg=1, end=4)]))
    assert [h[0] for h in helices_of(text)] == ["H2"]


def test_each_model_resolves_its_own_residues() -> None:
    atoms = chain_of_alanines(count=6) + [atom("CA", "ALA", n, el="C", model="2") for n in (1, 2, 3)]
    text = cif(atom_sites(atoms), loop("_struct_conf", CONF_COLUMNS, [helix(beg=2, end=6)]))
    one, two = libzyk.from_mmcif(text)
    assert one.chains.alpha_helices is not None and two.chains.alpha_helices is None
