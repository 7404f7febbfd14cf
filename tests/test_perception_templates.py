"""The amino-acid templates as perception shows them: bonds and charges per residue kind, the
atom-name aliases, the residue-name variants, termini and protonation states."""

import pytest

import libzyk as z
from perception_kit import FULL, PARENT, Builder, charges_by_label, full_atoms, named_bonds, one_residue

ORDER = {"1": "Single", "2": "Double", "R": "Ring", "1.5": "OneAndAHalf"}

TEMPLATE_BONDS = {
    "GLY": "N-CA 1, C-O 2, CA-C 1, N-H 1, CA-HA2 1, CA-HA3 1",
    "ALA": "N-CA 1, C-O 2, CA-C 1, CB-CA 1, N-H 1, CA-HA 1, CB-HB1 1, CB-HB2 1, CB-HB3 1",
    "VAL": "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG1-CB 1, CG2-CB 1, CA-HA 1, CB-HB 1, CG1-HG11 1, CG1-HG12 1, "
           "CG1-HG13 1, CG2-HG21 1, CG2-HG22 1, CG2-HG23 1, N-H 1",
    "LEU": "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, CD1-CG 1, CD2-CG 1, N-H 1, CA-HA 1, CB-HB2 1, CB-HB3 1, "
           "CG-HG 1, CD1-HD11 1, CD1-HD12 1, CD1-HD13 1, CD2-HD21 1, CD2-HD22 1, CD2-HD23 1",
    "ILE": "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG1-CB 1, CG2-CB 1, CD1-CG1 1, N-H 1, CA-HA 1, CB-HB 1, CG1-HG12 1, "
           "CG1-HG13 1, CG2-HG21 1, CG2-HG22 1, CG2-HG23 1, CD1-HD11 1, CD1-HD12 1, CD1-HD13 1",
    "PRO": "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, CD-CG 1, CD-N 1, CA-HA 1, CB-HB2 1, CB-HB3 1, CG-HG2 1, "
           "CG-HG3 1, CD-HD2 1, CD-HD3 1",
    "SER": "N-CA 1, C-O 2, CA-C 1, CB-CA 1, OG-CB 1, N-H 1, CA-HA 1, CB-HB2 1, CB-HB3 1, OG-HG 1",
    "THR": "N-CA 1, C-O 2, CA-C 1, CB-CA 1, OG1-CB 1, CG2-CB 1, N-H 1, CA-HA 1, CB-HB 1, OG1-HG1 1, CG2-HG21 1, "
           "CG2-HG22 1, CG2-HG23 1",
    "ASN": "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, OD1-CG 2, ND2-CG 1, N-H 1, CA-HA 1, CB-HB2 1, CB-HB3 1, "
           "ND2-HD21 1, ND2-HD22 1",
    "GLN": "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, CD-CG 1, OE1-CD 2, NE2-CD 1, N-H 1, CA-HA 1, CB-HB2 1, "
           "CB-HB3 1, CG-HG2 1, CG-HG3 1, NE2-HE21 1, NE2-HE22 1",
    "CYS": "N-CA 1, C-O 2, CA-C 1, CB-CA 1, SG-CB 1, N-H 1, CA-HA 1, CB-HB2 1, CB-HB3 1, SG-HG 1",
    "MET": "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, SD-CG 1, CE-SD 1, N-H 1, CA-HA 1, CB-HB2 1, CB-HB3 1, "
           "CG-HG2 1, CG-HG3 1, CE-HE1 1, CE-HE2 1, CE-HE3 1",
    "PHE": "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, CD1-CG R, CD2-CG R, CE1-CD1 R, CE2-CD2 R, CZ-CE1 R, "
           "CZ-CE2 R, N-H 1, CA-HA 1, CB-HB2 1, CB-HB3 1, CD1-HD1 1, CD2-HD2 1, CE1-HE1 1, CE2-HE2 1, CZ-HZ 1",
    "TYR": "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, CD1-CG R, CD2-CG R, CE1-CD1 R, CE2-CD2 R, CZ-CE1 R, "
           "CZ-CE2 R, OH-CZ 1, N-H 1, CA-HA 1, CB-HB2 1, CB-HB3 1, CD1-HD1 1, CD2-HD2 1, CE1-HE1 1, CE2-HE2 1, "
           "OH-HH 1",
    "TRP": "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, CD1-CG R, CD2-CG R, NE1-CD1 R, CE2-CD2 R, CE2-NE1 R, "
           "CE3-CD2 R, CZ2-CE2 R, CZ3-CE3 R, CH2-CZ2 R, CH2-CZ3 R, N-H 1, CA-HA 1, CB-HB2 1, CB-HB3 1, "
           "CD1-HD1 1, NE1-HE1 1, CD2-HD2 1, CE3-HE3 1, CZ2-HZ2 1, CZ3-HZ3 1, CH2-HH2 1",
    "ASP": "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, OD1-CG 1.5, OD2-CG 1.5, N-H 1, CA-HA 1, CB-HB2 1, "
           "CB-HB3 1, OD2-HD2 1",
    "GLU": "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, CD-CG 1, OE1-CD 1.5, OE2-CD 1.5, N-H 1, CA-HA 1, "
           "CB-HB2 1, CB-HB3 1, CG-HG2 1, CG-HG3 1, OE2-HE2 1",
    "HIS": "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, ND1-CG R, CD2-CG R, CE1-ND1 R, NE2-CD2 R, NE2-CE1 R, "
           "N-H 1, CA-HA 1, CB-HB2 1, CB-HB3 1, ND1-HD1 1, CD2-HD2 1, CE1-HE1 1, NE2-HE2 1",
    "LYS": "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, CD-CG 1, CE-CD 1, NZ-CE 1, N-H 1, CA-HA 1, CB-HB2 1, "
           "CB-HB3 1, CG-HG2 1, CG-HG3 1, CD-HD2 1, CD-HD3 1, CE-HE2 1, CE-HE3 1, NZ-HZ1 1, NZ-HZ2 1, NZ-HZ3 1",
    "ARG": "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, CD-CG 1, NE-CD 1, CZ-NE 1, NH1-CZ 1.5, NH2-CZ 1.5, N-H 1, "
           "CA-HA 1, CB-HB2 1, CB-HB3 1, CG-HG2 1, CG-HG3 1, CD-HD2 1, CD-HD3 1, NE-HE 1, NH1-HH11 1, "
           "NH1-HH12 1, NH2-HH21 1, NH2-HH22 1",
    "HYP": "N-CA 1, C-O 2, CA-C 1, CB-CA 1, CG-CB 1, CD-CG 1, CD-N 1, OD-CG 1, CA-HA 1, CB-HB2 1, CB-HB3 1, "
           "CG-HG 1, CD-HD2 1, CD-HD3 1, OD-HD 1",
    "ACE": "C-CH3 1, C-O 2, CH3-H1 1, CH3-H2 1, CH3-H3 1",
    "BNC": "C-O 2, C-HA 1",
    "NME": "N-C 1, N-H 1, C-H1 1, C-H2 1, C-H3 1",
    "NMA": "N-CA 1, N-H 1, CA-1HA 1, CA-2HA 1, CA-3HA 1",
    "NHH": "N-H1 1, N-H2 1",
}


def expected_bonds(kind: str, atoms: list[str], rename: dict[str, str] | None = None) -> list[tuple[str, str, str]]:
    """The template bonds in template order, each written smaller atom index first."""
    rename = rename or {}
    index = {rename.get(a, a): i for i, a in enumerate(atoms)}
    out = []
    for item in TEMPLATE_BONDS[PARENT.get(kind, kind)].split(", "):
        pair, order = item.split(" ")
        first, second = pair.split("-")
        if first in index and second in index:
            i, j = sorted((index[first], index[second]))
            out.append((atoms[i], atoms[j], ORDER[order]))
    return out


ALL_KINDS = list(FULL) + list(PARENT)


@pytest.mark.parametrize("kind", ALL_KINDS)
def test_full_residue_gets_exactly_its_template_bonds(kind):
    atoms = full_atoms(kind)
    out = one_residue(kind, atoms).perceive_bonds(z.AtomCheckStrictness.All)
    assert named_bonds(out) == expected_bonds(kind, atoms)


@pytest.mark.parametrize("kind", ["ala", "hip", "nhh"])
def test_lower_case_residue_names_are_the_same_kinds(kind):
    atoms = full_atoms(kind.upper())
    out = one_residue(kind, atoms).perceive_bonds()
    assert named_bonds(out) == expected_bonds(kind.upper(), atoms)


@pytest.mark.parametrize("name", ["Ala", "ALA ", "HSD", "MSE"])
def test_other_residue_names_are_left_alone(name):
    b = Builder()
    b.residue(name, ["N", "CA", "HN"])
    trc = b.trc(connectivity=[(0, 1, 1)])
    assert [bond.atoms for bond in trc.perceive_bonds(z.AtomCheckStrictness.All).topology.connectivity] == [(0, 1)]


def test_heavy_atoms_alone_get_the_heavy_bonds_in_template_order():
    for kind, (heavy, _) in FULL.items():
        atoms = heavy.split()
        assert named_bonds(one_residue(kind, atoms).perceive_bonds()) == expected_bonds(kind, atoms), kind


# Fully protonated residues: the state without absent hydrogens decides the charges.
FULL_CHARGES = {"HIS": {"ND1": 1}, "LYS": {"NZ": 1}, "ARG": {"NH2": 1}}


@pytest.mark.parametrize("kind", list(FULL))
def test_fully_protonated_residue_charges(kind):
    atoms = full_atoms(kind)
    trc = Builder()
    trc.residue(kind, atoms)
    out = trc.trc(connectivity=[], formal_charges=[7] * len(atoms)).perceive_formal_charges()
    expected = {a: FULL_CHARGES.get(kind, {}).get(a, 0) for a in atoms}
    assert charges_by_label(out) == expected


@pytest.mark.parametrize(
    "kind, absent, expected",
    [
        ("CYS", ["HG"], {"SG": -1}),
        ("CYX", ["HG"], {"SG": -1}),
        ("TYR", ["HH"], {"OH": -1}),
        ("ASP", ["HD2"], {"OD2": -1}),
        ("ASH", [], {}),
        ("GLU", ["HE2"], {"OE2": -1}),
        ("HIS", ["HD1"], {}),
        ("HIS", ["HE2"], {}),
        ("HIS", ["HD1", "HE2"], {"ND1": -1}),
        ("HID", [], {"ND1": 1}),  # the hydrogens decide, not the name
        ("LYS", ["HZ3"], {}),
        ("LYN", [], {"NZ": 1}),
        ("ARG", [], {"NH2": 1}),
    ],
)
def test_protonation_states(kind, absent, expected):
    atoms = [a for a in full_atoms(kind) if a not in absent]
    b = Builder()
    b.residue(kind, atoms)
    out = b.trc(connectivity=[], formal_charges=[0] * len(atoms)).perceive_formal_charges()
    assert charges_by_label(out) == {a: expected.get(a, 0) for a in atoms}


@pytest.mark.parametrize(
    "kind, absent, message",
    [
        ("LYS", ["HZ1"], 'bad protonation state for LYS @ 1: ["H", "HA", "HB2", "HB3", "HD2", "HD3", "HE2", "HE3", '
                         '"HG2", "HG3", "HZ2", "HZ3"] doesn\'t match a known state'),
        ("ARG", ["HE", "HA", "HB2", "HB3", "HG2", "HG3", "HD2", "HD3", "HH11", "HH12", "HH21", "HH22"],
         'bad protonation state for ARG @ 1: ["H"] doesn\'t match a known state'),
        ("ALA", ["H", "HA", "HB1", "HB2", "HB3"],
         "amino acid ALA @ 1 is unprotonated, but protonation is required for this task"),
    ],
)
def test_unmatched_protonation_states(kind, absent, message):
    atoms = [a for a in full_atoms(kind) if a not in absent]
    trc = one_residue(kind, atoms)
    with pytest.raises(ValueError) as err:
        trc.perceive_formal_charges()
    assert str(err.value) == message
    with pytest.raises(ValueError) as err:
        trc.perceive_bonds(z.AtomCheckStrictness.All)
    assert str(err.value) == message
    trc.perceive_bonds(z.AtomCheckStrictness.Heavy)  # heavy atoms are complete


def test_digit_first_hydrogens_are_not_hydrogen_names_for_the_protonation_message():
    # NMA's hydrogens are written 1HA, 2HA, 3HA: without H none of its names begins with H.
    trc = one_residue("NMA", ["N", "CA", "1HA", "2HA", "3HA"])
    with pytest.raises(ValueError, match="^amino acid NMA @ 1 is unprotonated"):
        trc.perceive_formal_charges()


# (kind, canonical name, alias): the alias stands in for the canonical atom.
ALIASES = [
    ("ALA", "H", "H1"), ("ALA", "O", "OC1"), ("GLY", "HA3", "HA1"), ("LEU", "HB3", "HB1"),
    ("HIP", "HB3", "HB1"), ("ILE", "CD1", "CD"), ("ILE", "HG13", "HG11"), ("ILE", "HD11", "HD1"),
    ("ILE", "HD12", "HD2"), ("ILE", "HD13", "HD3"), ("PRO", "HB3", "HB1"), ("PRO", "HG3", "HG1"),
    ("PRO", "HD3", "HD1"), ("ARG", "HD3", "HD1"), ("LYN", "HE3", "HE1"), ("GLN", "HG3", "HG1"),
    ("CYX", "HB3", "HB1"), ("MET", "HG3", "HG1"), ("GLH", "HB3", "HB1"), ("HYP", "HD3", "HD1"),
    ("HYP", "HB3", "HB1"), ("ACE", "H1", "HH31"), ("ACE", "H2", "2H"), ("ACE", "H3", "HH33"),
    ("NME", "C", "CH3"), ("NME", "H1", "HH31"), ("NME", "H3", "HH33"),
]


@pytest.mark.parametrize("kind, canonical, alias", ALIASES)
def test_aliases_stand_for_their_canonical_atom(kind, canonical, alias):
    atoms = [alias if a == canonical else a for a in full_atoms(kind)]
    out = one_residue(kind, atoms).perceive_bonds(z.AtomCheckStrictness.All)
    assert named_bonds(out) == expected_bonds(kind, atoms, {alias: canonical})
    # The protonation state sees the alias as the canonical hydrogen, so the charges are those
    # of the fully protonated residue.
    b = Builder()
    b.residue(kind, atoms)
    charged = b.trc(connectivity=[], formal_charges=[9] * len(atoms)).perceive_formal_charges()
    expected = FULL_CHARGES.get(PARENT.get(kind, kind), {})
    assert charges_by_label(charged) == {a: expected.get(a, 0) for a in atoms}


# Names that a residue kind does not accept, aliases of other kinds included.
WRONG = [
    ("GLY", ["CB"]), ("ALA", ["HA1"]), ("VAL", ["HB1"]), ("ALA", ["HD1", "CG"]), ("ACE", ["OC1"]),
    ("NME", ["OC2"]), ("PRO", ["1H", "HE"]), ("NHH", ["CA"]),
]


@pytest.mark.parametrize("kind, extra", WRONG)
def test_wrong_atoms(kind, extra):
    trc = one_residue(kind, full_atoms(kind) + extra, seq_n=5)
    wrong = sorted(extra)
    listed = ", ".join(f'"{w}"' for w in wrong)
    with pytest.raises(ValueError) as err:
        trc.perceive_bonds()
    assert str(err.value) == f"wrong atoms in {kind} @ 5: [{listed}] should not be present"


def test_terminal_names_are_allowed_in_every_residue_kind():
    # H, OXT, HXT, H1, H2, H3 are accepted whatever the template; caps get no terminal bonds.
    atoms = ["N", "CA", "C", "O", "H", "H2", "H3", "OXT", "HXT", "HA2", "HA3"]
    one_residue("GLY", atoms).perceive_bonds()
    cap = ["C", "O", "HA", "OXT", "HXT", "H3"]
    out = one_residue("BNC", cap).perceive_bonds()
    assert named_bonds(out) == [("C", "O", "Double"), ("C", "HA", "Single")]
    # An OXT in a cap is no C-terminus: it keeps the neutral charge it starts from.
    b = Builder()
    b.residue("BNC", cap)
    charged = b.trc(connectivity=[], formal_charges=[4] * len(cap)).perceive_formal_charges()
    assert charges_by_label(charged) == {a: 0 for a in cap}


def test_equal_canonical_names_keep_the_last_atom():
    # GLY's HA1 and HA3 are the same atom to the template: the later one gets the bond.
    b = Builder()
    b.residue("GLY", ["N", "CA", "C", "O", "HA3", "HA1"])
    out = b.trc().perceive_bonds()
    assert ("CA", "HA1", "Single") in named_bonds(out)
    assert ("CA", "HA3", "Single") not in named_bonds(out)


# ---- termini ----

@pytest.mark.parametrize(
    "kind, atoms, extra_bonds",
    [
        ("ALA", ["N", "CA", "C", "O", "CB", "H1", "H2", "H3"], [("N", "H2"), ("N", "H3")]),
        ("ALA", ["N", "CA", "C", "O", "CB", "H", "H3"], [("N", "H3")]),
        ("PRO", ["N", "CA", "C", "O", "CB", "CG", "CD", "H1", "H2", "H3"], [("N", "H1"), ("N", "H2"), ("N", "H3")]),
        ("HYP", ["N", "CA", "C", "O", "CB", "CG", "CD", "OD", "H2", "H3"], [("N", "H2"), ("N", "H3")]),
        ("GLY", ["N", "CA", "C", "O", "OXT"], [("C", "OXT")]),
        ("GLY", ["N", "CA", "C", "O", "OXT", "HXT"], [("C", "OXT"), ("OXT", "HXT")]),
        ("GLY", ["N", "CA", "C", "OC1", "OC2"], [("C", "OC2")]),
        ("GLY", ["N", "CA", "C", "O", "H1", "H2", "H3", "OXT"], [("N", "H2"), ("N", "H3"), ("C", "OXT")]),
        ("NHH", ["N", "H1", "H2"], []),
        ("ACE", ["CH3", "C", "O", "H1", "H2", "H3"], []),
    ],
)
def test_terminal_bonds_follow_the_template_bonds(kind, atoms, extra_bonds):
    out = named_bonds(one_residue(kind, atoms).perceive_bonds())
    caps = ("ACE", "BNC", "NME", "NMA", "NHH")
    template = expected_bonds(kind, atoms, None if kind in caps else {"H1": "H", "OC1": "O", "OC2": "OXT"})
    assert out[:len(template)] == template
    assert out[len(template):] == [(a, b, "Single") for a, b in extra_bonds]


N_TERMINAL = ["N", "CA", "C", "O", "CB", "HA", "HB1", "HB2", "HB3"]


@pytest.mark.parametrize(
    "kind, atoms, expected",
    [
        ("ALA", N_TERMINAL + ["H1", "H2", "H3"], {"N": 1}),
        ("ALA", N_TERMINAL + ["H", "H2", "H3"], {"N": 1}),
        ("ALA", N_TERMINAL + ["H", "H2"], {"N": 0}),
        ("PRO", ["N", "CA", "C", "O", "CB", "CG", "CD", "HA", "HB2", "HB3", "HG2", "HG3", "HD2", "HD3", "H2", "H3"],
         {"N": 1}),
        ("GLY", ["N", "CA", "C", "O", "H", "HA2", "HA3", "OXT"], {"OXT": -1}),
        ("GLY", ["N", "CA", "C", "O", "H", "HA2", "HA3", "OXT", "HXT"], {"OXT": 0, "HXT": 0}),
        ("GLY", ["N", "CA", "C", "OC1", "OC2", "H", "HA2", "HA3"], {"OC2": -1}),
        ("GLY", ["N", "CA", "C", "O", "H1", "H2", "H3", "HA2", "HA3", "OXT"], {"N": 1, "OXT": -1}),
        # NHH has H1 and H2 but is a cap, never a terminus.
        ("NHH", ["N", "H1", "H2"], {"N": 0}),
    ],
)
def test_terminal_charges(kind, atoms, expected):
    b = Builder()
    b.residue(kind, atoms)
    out = b.trc(connectivity=[], formal_charges=[5] * len(atoms)).perceive_formal_charges()
    got = charges_by_label(out)
    assert {a: got[a] for a in expected} == expected
    assert all(q == 0 for a, q in got.items() if a not in expected)


@pytest.mark.parametrize(
    "kind, atoms, count, found",
    [
        ("ALA", N_TERMINAL + ["H", "H1", "H2", "H3"], "4",
         '["N", "CA", "C", "O", "CB", "H", "HA", "HB1", "HB2", "HB3", "H1", "H2", "H3"]'),
        ("PRO", ["N", "CA", "C", "O", "CB", "CG", "CD", "HA", "HB2", "HB3", "HG2", "HG3", "HD2", "HD3", "H1", "H2",
                 "H3"], "4",
         '["N", "CA", "C", "O", "CB", "CG", "CD", "HA", "HB2", "HB3", "HG2", "HG3", "HD2", "HD3", "H1", "H2", "H3"]'),
    ],
)
def test_bad_terminus_prints_the_count_and_fails(kind, atoms, count, found, capsys):
    b = Builder()
    b.residue(kind, atoms)
    trc = b.trc(connectivity=[])
    with pytest.raises(ValueError) as err:
        trc.perceive_formal_charges()
    assert str(err.value) == f"terminal residue has bad hydrogens, found '{found}'"
    assert capsys.readouterr().out == count
