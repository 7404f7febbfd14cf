"""TRC.perceive_formal_charges and the completeness checks it shares with bond perception: the
covalent-binder test of serines with its diagnostics, disulfides, the large-charge warnings,
fragment sums, what is left untouched, and copy semantics."""

import pytest

import libzyk as z
from perception_kit import Builder, charges_by_label, full_atoms, one_residue

S = z.AtomCheckStrictness
SER_NO_HG = [a for a in full_atoms("SER") if a != "HG"]
HYDROGEN_WARNING = ("WARNING: hydrogen in non-protein residue (e.g. water) clashes with protein atom. Check the "
                    "protonation of your ligands and waters.\n")


def serine_and_ligand(ligand_x: float, serine: list[str] = SER_NO_HG, ligand_element=z.Element.C) -> Builder:
    b = Builder()
    b.residue("SER", serine, positions={"OG": (0.0, 0.0, 0.0)})
    b.residue("LIG", ["X1"], positions={"X1": (ligand_x, 0.0, 0.0)}, elements={"X1": ligand_element})
    return b


def charged(b: Builder, **kw) -> z.TRC:
    kw.setdefault("connectivity", [])
    kw.setdefault("formal_charges", [3] * len(b.symbols))
    return b.trc(**kw).perceive_formal_charges()


def test_covalently_bound_serine_counts_hg_as_substituted(capsys):
    out = charged(serine_and_ligand(2.3))
    assert charges_by_label(out) == {a: 3 if a == "X1" else 0 for a in SER_NO_HG + ["X1"]}
    line = "[0.0, 0.0, 0.0] :: [2.3, 0.0, 0.0] :: 2.3\n"
    assert capsys.readouterr().err == line * 2  # once in the check, once in the charge step


@pytest.mark.parametrize("x, near", [(2.5, True), (-2.5, True), (2.5000002, False), (3.0, False)])
def test_covalent_binder_threshold_is_inclusive(x, near, capsys):
    trc = serine_and_ligand(x).trc()
    if near:
        trc.perceive_bonds(S.All)
        assert capsys.readouterr().err == f"[0.0, 0.0, 0.0] :: [{x}, 0.0, 0.0] :: 2.5\n"
    else:
        with pytest.raises(ValueError) as err:
            trc.perceive_bonds(S.All)
        assert str(err.value) == 'bad protonation state for SER @ 1: ["H", "HA", "HB2", "HB3"] doesn\'t match a known state'
        assert capsys.readouterr().err == ""


@pytest.mark.parametrize("strictness", [S.Heavy, S.All])
def test_hydrogen_where_a_covalent_binder_sits_is_a_clash(strictness):
    trc = serine_and_ligand(1.8, full_atoms("SER")).trc()
    message = 'on SER @ 1: the atom(s) ["HG"] clash with a covalent binder'
    with pytest.raises(ValueError) as err:
        trc.perceive_bonds(strictness)
    assert str(err.value) == message
    with pytest.raises(ValueError) as err:
        trc.perceive_formal_charges()
    assert str(err.value) == message
    trc.perceive_bonds(S.NONE)


def test_water_hydrogen_near_serine_warns_but_substitutes_nothing(capsys):
    b = Builder()
    b.residue("SER", full_atoms("SER"), positions={"OG": (1.0, 2.0, 3.0)})
    b.residue("HOH", ["O", "H1", "H2"], positions={"O": (1.0, 2.0, 6.0), "H1": (1.0, 2.0, 4.5)})
    trc = b.trc(connectivity=[], formal_charges=[0] * len(b.symbols))
    trc.perceive_bonds(S.All)
    line = "[1.0, 2.0, 3.0] :: [1.0, 2.0, 4.5] :: 1.5\n"
    assert capsys.readouterr().err == line + HYDROGEN_WARNING
    trc.perceive_formal_charges()
    assert capsys.readouterr().err == (line + HYDROGEN_WARNING) * 2
    trc.perceive_bonds(S.NONE)
    assert capsys.readouterr().err == ""


def test_near_atoms_are_reported_in_residue_order(capsys):
    b = Builder()
    b.residue("SER", SER_NO_HG, positions={"OG": (0.0, 0.0, 0.0)})
    b.residue("LIG", ["C1", "C2"], positions={"C1": (0.0, 1.0, 0.0), "C2": (0.0, 0.0, -0.5)})
    b.residue("HOH", ["O", "H1", "H2"], positions={"O": (0.0, 0.0, 2.0), "H1": (0.0, 0.0, 1.0)})
    b.residue("SER", full_atoms("SER"), positions={"CB": (0.0, 0.0, 0.5)})  # amino acids are never binders
    b.residues[1].reverse()
    b.trc().perceive_bonds(S.All)
    assert capsys.readouterr().err == (
        "[0.0, 0.0, 0.0] :: [0.0, 0.0, -0.5] :: 0.5\n"
        "[0.0, 0.0, 0.0] :: [0.0, 1.0, 0.0] :: 1\n"
        "[0.0, 0.0, 0.0] :: [0.0, 0.0, 2.0] :: 2\n"
        "[0.0, 0.0, 0.0] :: [0.0, 0.0, 1.0] :: 1\n" + HYDROGEN_WARNING)


def test_only_serine_og_looks_for_binders(capsys):
    b = Builder()
    b.residue("THR", full_atoms("THR"), positions={"OG1": (0.0, 0.0, 0.0)})
    b.residue("CYS", full_atoms("CYS"), positions={"SG": (0.0, 1.0, 0.0)})
    b.residue("LIG", ["C1"], positions={"C1": (0.0, 0.5, 0.0)})
    b.trc().perceive_bonds(S.All)
    assert capsys.readouterr().err == ""


@pytest.mark.parametrize("bonded, expected", [(True, 0), (False, -1)])
def test_disulfide_sulfurs_are_neutral(bonded, expected):
    b = Builder()
    cys = [a for a in full_atoms("CYS") if a != "HG"]
    first = b.residue("CYS", cys)
    second = b.residue("CYX", cys)
    sg = cys.index("SG")
    out = charged(b, connectivity=[(first[sg], second[sg], 1)] if bonded else [])
    q = out.topology.formal_charges
    assert (q[first[sg]], q[second[sg]]) == (expected, expected)


def test_sulfur_bond_raises_any_sulfur_and_plus_two_is_no_warning(capsys):
    b = Builder()
    cys = b.residue("CYS", full_atoms("CYS"))
    lys = b.residue("LYS", full_atoms("LYS"), elements={"NZ": z.Element.S})
    lig = b.residue("LIG", ["S1", "S2"])
    sg, nz = cys[full_atoms("CYS").index("SG")], lys[full_atoms("LYS").index("NZ")]
    out = charged(b, connectivity=[(sg, lig[0], 1), (lig[1], nz, 1), (lig[0], lig[0], 1)])
    q = out.topology.formal_charges
    assert (q[sg], q[nz], q[lig[0]], q[lig[1]]) == (1, 2, 3, 3)
    assert capsys.readouterr().err == ""


@pytest.mark.parametrize(
    "kind, count, warning",
    [
        ("LYS", 20, None), ("LYS", 21, "+21"), ("ASP", 20, None), ("ASP", 21, "-21"), ("ASP", 40, "-40"),
        ("LYS", 130, "-126"),  # the running total is a signed byte
        ("LYS", 256, None),
    ],
)
def test_total_charge_warning(kind, count, warning, capsys):
    b = Builder()
    atoms = [a for a in full_atoms(kind) if kind != "ASP" or a != "HD2"]
    for _ in range(count):
        b.residue(kind, atoms)
    for formal_charges in ([0] * len(b.symbols), None):
        b.trc(connectivity=[], formal_charges=formal_charges).perceive_formal_charges()
        expected = ("WARNING: total charge of all amino acids has unexpectedly large magnitude: "
                    f"{warning}.\n") if warning else ""
        assert capsys.readouterr().err == expected


def test_fragment_charges():
    b = Builder()
    ala = b.residue("ASP", [a for a in full_atoms("ASP") if a != "HD2"])
    lig = b.residue("LIG", ["C1", "N1"])
    fragments = [ala[:5], ala[5:] + lig]
    out = charged(b, fragments=fragments)
    # ASP: OD2 -1 (in the second fragment); the ligand keeps its 3 + 3.
    assert out.topology.fragment_formal_charges == [0, 5]
    assert charged(b, fragments=fragments, formal_charges=None).topology.fragment_formal_charges == [0, 0]
    assert charged(b).topology.fragment_formal_charges is None


def test_without_labels_or_bonds_charges_stay_and_fragment_sums_are_recomputed(capsys):
    b = Builder()
    b.residue("LYS", full_atoms("LYS"))
    n = len(b.symbols)
    for kw in (dict(labels=False), dict(connectivity=None)):
        trc = b.trc(formal_charges=list(range(n)), fragments=[list(range(n))], **kw)
        out = trc.perceive_formal_charges()
        assert list(out.topology.formal_charges) == list(range(n))
        assert out.topology.fragment_formal_charges == [sum(range(n))]
    assert capsys.readouterr().err == ""


def test_only_template_heavy_atoms_and_hydrogen_names_are_written():
    b = Builder()
    b.residue("NMA", ["N", "CA", "H", "1HA", "2HA", "3HA", "OXT"])
    b.residue("ALA", full_atoms("ALA") + ["CG", "HG"])
    b.residue("HOH", ["O", "H1", "H2"])
    b.residue("hsd", ["N", "H"])  # not an amino-acid name: untouched
    out = charged(b, formal_charges=[7] * len(b.symbols))
    q = [int(v) for v in out.topology.formal_charges]
    labels = out.topology.labels
    assert list(zip(labels, q)) == [
        ("N", 0), ("CA", 0), ("H", 0), ("1HA", 0), ("2HA", 0), ("3HA", 0), ("OXT", 0),
        *[(a, 0) for a in full_atoms("ALA")], ("CG", 7), ("HG", 0),
        ("O", 7), ("H1", 7), ("H2", 7),
        ("N", 7), ("H", 7),
    ]


@pytest.mark.parametrize(
    "kind, atoms, message",
    [
        ("UNK", ["N"], "missing template for UNK"),
        ("ALA", ["N", "CA", "C", "O", "CB", "HN"], 'bad atom label: "HN"'),
        ("ALA", ["N", "CA", "C", "O", "CB", "H", "H"], 'duplicate atoms in ALA @ 1: ["H"] appear more than once'),
        ("GLY", ["N", "CA", "O", "H"], 'missing heavy atoms in GLY @ 1: ["C"] are missing'),
        ("GLY", ["N", "CA", "C", "O"], "amino acid GLY @ 1 is unprotonated, but protonation is required for this task"),
        ("GLY", ["N", "CA", "C", "O", "H", "HA2"], 'bad protonation state for GLY @ 1: ["H", "HA2"] doesn\'t match a '
                                                   'known state'),
    ],
)
def test_charge_perception_runs_the_strictest_check(kind, atoms, message):
    trc = one_residue(kind, atoms)
    with pytest.raises(ValueError) as err:
        trc.perceive_formal_charges()
    assert str(err.value) == message


def test_perceive_formal_charges_works_on_a_copy():
    b = Builder()
    b.residue("LYS", full_atoms("LYS"))
    n = len(b.symbols)
    trc = b.trc(connectivity=[], formal_charges=[5] * n, fragments=[list(range(n))])
    out = trc.perceive_formal_charges()
    assert out is not trc
    assert list(trc.topology.formal_charges) == [5] * n
    assert trc.topology.fragment_formal_charges is None
    assert out.topology.fragment_formal_charges == [1]
    assert [b.atoms for b in out.topology.connectivity] == []
    bad = Builder()
    bad.residue("ALA", ["N", "CA", "C", "O", "CB", "H", "H1", "H2", "H3", "HA", "HB1", "HB2", "HB3"])
    failing = bad.trc(connectivity=[], formal_charges=[5] * 13)
    with pytest.raises(ValueError, match="^terminal residue has bad hydrogens"):
        failing.perceive_formal_charges()
    assert list(failing.topology.formal_charges) == [5] * 13
