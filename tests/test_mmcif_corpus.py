"""Real mmCIF files: every one reads, and agrees with the same entry's PDB file; hostile input
never crashes the reader."""

from __future__ import annotations

import random
from pathlib import Path

import numpy as np
import pytest

import libzyk
from mmcif_text import atom, atom_sites, cif, loop

ENTRIES = ["1a8o", "2beg", "4zhl"]


def cif_path(corpus: Path, entry: str) -> Path:
    return corpus / "cif" / f"{entry}.cif"


def atom_site_models(text: str) -> dict[str, int]:
    """Kept atoms (alternate location none or A) per model, read with a plain split: the corpus'
    atom lines hold no quoted values."""
    lines = text.splitlines()
    start = next(i for i, line in enumerate(lines) if line.strip() == "_atom_site.group_PDB")
    columns = []
    i = start
    while lines[i].startswith("_atom_site."):
        columns.append(lines[i].strip())
        i += 1
    alt = columns.index("_atom_site.label_alt_id")
    model = columns.index("_atom_site.pdbx_PDB_model_num")
    counts: dict[str, int] = {}
    while lines[i].startswith(("ATOM", "HETATM")):
        values = lines[i].split()
        assert len(values) == len(columns) and "'" not in lines[i] and '"' not in lines[i]
        if values[alt] in (".", "A"):
            counts[values[model]] = counts.get(values[model], 0) + 1
        i += 1
    return counts


def pdb_models(path: Path) -> list[dict]:
    """Per model of a PDB file: kept atoms with coordinates, resolved residues and chains."""
    models: list[dict] = []
    current = None
    for line in path.read_text().splitlines():
        record = line[:6]
        if record == "MODEL ":
            current = {"xyz": [], "residues": set(), "chains": set()}
            models.append(current)
        elif record in ("ATOM  ", "HETATM"):
            if current is None:
                current = {"xyz": [], "residues": set(), "chains": set()}
                models.append(current)
            if line[16] not in " A":
                continue
            current["xyz"].append([float(line[30:38]), float(line[38:46]), float(line[46:54])])
            current["residues"].add((line[21], line[22:26], line[26], line[17:20]))
            current["chains"].add(line[21])
        elif record == "ENDMDL":
            current = None
    return models


@pytest.mark.parametrize("entry", ENTRIES)
def test_corpus_file_reads_into_valid_structures(corpus: Path, entry: str) -> None:
    text = cif_path(corpus, entry).read_text()
    trcs = libzyk.from_mmcif(text)
    per_model = atom_site_models(text)
    assert [t.topology.num_atoms for t in trcs] == [per_model[m] for m in sorted(per_model)]
    for trc in trcs:
        trc.check()
        assert len(trc.topology.fragments) == sum(1 for r in trc.residues.residues if len(r))


@pytest.mark.parametrize("entry", [e for e in ENTRIES if e in ("1a8o", "2beg")])
def test_corpus_agrees_with_the_pdb_file(corpus: Path, entry: str) -> None:
    trcs = libzyk.from_mmcif(cif_path(corpus, entry).read_text())
    models = pdb_models(corpus / "pdb" / f"{entry}.pdb")
    # The PDB file of 2beg carries only the first of the ten models.
    assert 1 <= len(models) <= len(trcs)
    if entry == "1a8o":
        assert len(models) == len(trcs)
    for trc, model in zip(trcs, models):
        assert trc.topology.num_atoms == len(model["xyz"])
        np.testing.assert_allclose(trc.topology.geometry, np.array(model["xyz"], dtype=np.float32), atol=1e-4)
        assert sum(1 for r in trc.residues.residues if len(r)) == len(model["residues"])
        assert trc.chains.num_chains == len(model["chains"])


@pytest.mark.parametrize("entry", [e for e in ENTRIES if e in ("1a8o", "2beg")])
def test_corpus_agrees_with_from_pdb(corpus: Path, entry: str) -> None:
    pdb_text = (corpus / "pdb" / f"{entry}.pdb").read_text()
    try:
        from_pdb = libzyk.from_pdb(pdb_text)
    except NotImplementedError:
        pytest.skip("from_pdb is not implemented in this build yet")
    from_cif = libzyk.from_mmcif(cif_path(corpus, entry).read_text())
    if entry == "1a8o":
        assert len(from_pdb) == len(from_cif)
    for p, c in zip(from_pdb, from_cif):
        assert p.topology.num_atoms == c.topology.num_atoms
        assert p.residues.num_residues == c.residues.num_residues
        assert p.chains.num_chains == c.chains.num_chains


def test_corpus_details(corpus: Path) -> None:
    (trc,) = libzyk.from_mmcif(cif_path(corpus, "4zhl").read_text())
    assert len(trc.topology.connectivity) == 4  # the four disulfide bridges
    assert all(trc.topology.labels[a] == "SG" for b in trc.topology.connectivity for a in b.atoms)
    assert trc.chains.alpha_helices is not None and trc.chains.beta_sheets is not None
    # Author numbering with insertion codes and gaps; every position is observed.
    assert all(len(r) for r in trc.residues.residues) and trc.residues.num_residues == 307
    (trc,) = libzyk.from_mmcif(cif_path(corpus, "1a8o").read_text())
    assert all(len(r) for r in trc.residues.residues) and trc.residues.num_residues == 158
    models = libzyk.from_mmcif(cif_path(corpus, "2beg").read_text())
    assert len(models) == 10
    assert all(m.residues.num_residues == 210 for m in models)  # 5 chains of 42 including unobserved 1-16


# --- Hostile input ------------------------------------------------------------------------


def read_or_value_error(text: str) -> None:
    try:
        for trc in libzyk.from_mmcif(text):
            trc.check()
    except ValueError as err:
        assert str(err).startswith("mmCIF parse error: ")


def test_truncated_files_read_or_fail_cleanly(corpus: Path) -> None:
    text = cif_path(corpus, "1a8o").read_text()
    rng = random.Random(7)
    for cut in sorted(rng.sample(range(len(text)), 150)):
        read_or_value_error(text[:cut])


def test_mutated_files_read_or_fail_cleanly(corpus: Path) -> None:
    text = cif_path(corpus, "4zhl").read_text()
    start = text.index("loop_\n_atom_site.")
    body = text[start - 2000:start + 8000]
    pieces = ["'", '"', ";", "\n", " ", ".", "?", "#", "_", "loop_\n", "data_x\n", "_atom_site.id\n", "\u00a0", "\r",
              "99999999999", "-2147483648", "1e999", "nan", "\u00e9", "A", "B"]
    rng = random.Random(11)
    for _ in range(150):
        chars = list(body)
        for _ in range(rng.randint(1, 12)):
            chars[rng.randrange(len(chars))] = rng.choice(pieces)
        read_or_value_error("data_m\n" + "".join(chars))


def test_huge_and_odd_numbers_take_defaults() -> None:
    rows = [atom("O", "HOH", "99999999999", xyz=("1e999", "-1e999", "1e-999"), charge="99999999999+"),
            atom("O", "HOH", "-2147483648", charge="2147483647+"), atom("N", "NH4", "2147483647", charge="2147483647+")]
    rows.append(atom("H1", "NH4", "2147483647", el="H", charge="2147483647+"))
    (trc,) = libzyk.from_mmcif(cif(atom_sites(rows)))
    g = trc.topology.geometry
    assert np.isinf(g[0, 0]) and g[0, 0] > 0 and np.isinf(g[0, 1]) and g[0, 2] == 0
    assert list(trc.topology.formal_charges) == [0, 2147483647, 2147483647, 2147483647]
    assert list(trc.topology.fragment_formal_charges) == [2147483647, 0, 2147483647]  # the sum saturates
    assert trc.residues.seq_ns == [-2147483648, 0, 2147483647]
    trc.check()


def test_sequence_numbers_beyond_the_integer_range_are_skipped() -> None:
    rows = [atom("CA", "GLY", 2147483646, el="C")]
    seq = loop("_pdbx_poly_seq_scheme", ("seq_id", "pdb_strand_id", "mon_id"),
               [["1", "A", "ALA"], ["2", "A", "GLY"], ["3", "A", "SER"], ["4", "A", "TRP"]])
    (trc,) = libzyk.from_mmcif(cif(atom_sites(rows), seq))
    assert trc.residues.seq_ns == [2147483645, 2147483646, 2147483647]


def test_unresolvable_references_add_nothing() -> None:
    rows = [atom("CA", "GLY", 1, el="C")]
    extra = (loop("_struct_conn", ("id", "ptnr1_label_atom_id", "ptnr1_label_asym_id", "ptnr1_label_seq_id",
                                   "ptnr2_label_atom_id"), [["c1", "CA", "A", "1", "XX"], ["c2", "?", "?", "?", "?"]])
             + loop("_chem_comp_bond", ("comp_id", "atom_id_1"), [["GLY", "CA"]])
             + loop("_struct_sheet_range", ("sheet_id", "id"), [["S", "1"]])
             + loop("_struct_conf", ("conf_type_id",), [["HELX_P"]]))
    (trc,) = libzyk.from_mmcif(cif(atom_sites(rows), extra))
    assert trc.topology.connectivity == []
    assert trc.chains.alpha_helices is None and trc.chains.beta_sheets is None
