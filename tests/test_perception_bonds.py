"""TRC.perceive_bonds: what is kept, what the templates and distances add, the order of the
resulting list, the restored bonds with their warnings, water bonds, errors and copy semantics."""

import numpy as np
import pytest

import libzyk as z
from perception_kit import Builder, bonds, full_atoms, named_bonds, one_residue

S = z.AtomCheckStrictness
B = z.BondOrder
RESTORED = "WARNING: didn't add previously-existing bond during perception: {}. Adding it now.\n"
BELOW_2 = float(np.nextafter(np.float32(2.0), np.float32(0.0)))


def test_resulting_bond_list_order(capsys):
    b = Builder()
    ala = b.residue("ALA", ["N", "CA", "C", "O", "CB", "H1", "H2", "H3"], positions={"C": (0.0, 0.0, 0.0)})
    gly = b.residue("GLY", ["N", "CA", "C", "O", "OXT"], positions={"N": (1.33, 0.0, 0.0)})
    lig = b.residue("LIG", ["C1", "C2"])
    hoh = b.residue("HOH", ["O", "H1", "H2"])
    cys1 = b.residue("CYS", ["N", "CA", "C", "O", "CB", "SG"])
    cys2 = b.residue("CYS", ["N", "CA", "C", "O", "CB", "SG"])
    old = [
        (lig[0], lig[1], 2),       # ligand: kept
        (ala[4], ala[1], 1),       # CB-CA: rebuilt from the template, no warning
        (cys2[5], cys1[5], 1),     # disulfide: kept
        (ala[0], ala[4], 1),       # N-CB: not rebuilt, restored with a warning
        (gly[1], lig[0], 1),       # protein-ligand: kept
        (hoh[0], hoh[1], 1),       # water: kept
        (gly[1], ala[1], 3),       # CA-CA across residues: restored
    ]
    out = b.trc(connectivity=old).perceive_bonds()
    o = {1: B.Single, 2: B.Double, 3: B.Triple}
    single, double = B.Single, B.Double
    expected = [
        (lig[0], lig[1], double), (cys2[5], cys1[5], single), (gly[1], lig[0], single), (hoh[0], hoh[1], single),
        # ALA: template bonds (H1 is its H), then the N-terminal bonds
        (ala[0], ala[1], single), (ala[2], ala[3], double), (ala[1], ala[2], single), (ala[1], ala[4], single),
        (ala[0], ala[5], single), (ala[0], ala[6], single), (ala[0], ala[7], single),
        # GLY: peptide bond, template bonds, C-OXT
        (ala[2], gly[0], single), (gly[0], gly[1], single), (gly[2], gly[3], double), (gly[1], gly[2], single),
        (gly[2], gly[4], single),
    ]
    # the two cysteines: no peptide bond (far apart, and a water before the first)
    for c in (cys1, cys2):
        expected += [(c[0], c[1], single), (c[2], c[3], double), (c[1], c[2], single), (c[1], c[4], single),
                     (c[4], c[5], single)]
    expected += [(ala[0], ala[4], single), (gly[1], ala[1], o[3])]  # restored, in their old order
    expected += [(hoh[0], hoh[2], single)]                          # the missing water bond
    assert bonds(out) == expected
    assert capsys.readouterr().err == (
        RESTORED.format('N (N) CB (C) - [single bond] @ 1 ("ALA")')
        + RESTORED.format('CA (C) CA (C) ≡ [triple bond] @ 2 ("GLY") & 1 ("ALA")')
    )


@pytest.mark.parametrize(
    "order, symbol, word",
    [
        (B.Single, "-", "single bond"),
        (B.Double, "=", "double bond"),
        (B.Triple, "≡", "triple bond"),
        (B.OneAndAHalf, "∹", "1.5 bond"),
        (B.Ring, "⏣", "aromatic bond"),
        (B.Unspecified, "?", "unknown bond"),
        (B.Quadruple, "?", "unknown bond"),
        (B.TwoAndAHalf, "?", "unknown bond"),
    ],
)
def test_warning_names_the_bond_order(order, symbol, word, capsys):
    b = Builder()
    b.residue("ALA", ["N", "CA", "C", "O", "CB"])
    out = b.trc(connectivity=[(4, 0, int(order))]).perceive_bonds()
    assert bonds(out)[-1] == (4, 0, order)  # restored unchanged, atoms in their old order
    assert capsys.readouterr().err == RESTORED.format(f'CB (C) N (N) {symbol} [{word}] @ 1 ("ALA")')


def test_without_labels_every_amino_acid_bond_is_restored_and_waters_still_bonded(capsys):
    b = Builder()
    b.residue("ALA", ["N", "CA", "C", "O", "CB"])
    b.residue("gly", ["N", "CA", "C", "O"])
    b.residue("HOH", ["O", "H1", "H2"])
    old = [(0, 1, 1), (3, 2, 2), (2, 5, 1), (9, 10, 1)]
    out = b.trc(labels=False, connectivity=old).perceive_bonds(S.All)
    assert bonds(out) == [(9, 10, B.Single), (0, 1, B.Single), (3, 2, B.Double), (2, 5, B.Single), (9, 11, B.Single)]
    assert capsys.readouterr().err == "".join(
        RESTORED.format(text)
        for text in ['N C - [single bond] @ 1 ("ALA")', 'O C = [double bond] @ 1 ("ALA")',
                     'C N - [single bond] @ 1 ("ALA") & 2 ("gly")'])


def test_residue_part_compares_sequence_numbers_only(capsys):
    b = Builder()
    b.residue("ALA", ["N", "CA", "C", "O", "CB"], seq_n=4)
    b.residue("SER", ["N", "CA", "C", "O", "CB", "OG"], seq_n=4)
    out = b.trc(connectivity=[(1, 6, 1)], chains=[[0], [1]]).perceive_bonds()
    assert bonds(out)[-1] == (1, 6, B.Single)
    assert capsys.readouterr().err == RESTORED.format('CA (C) CA (C) - [single bond] @ 4 ("ALA")')


def test_bond_between_atoms_in_no_residue_is_restored_without_residue_part(capsys):
    symbols = [z.Element.N, z.Element.C, z.Element.C, z.Element.O, z.Element.C, z.Element.C, z.Element.Cl]
    trc = z.TRC(symbols, [[10.0 * i, 0, 0] for i in range(7)], labels=["N", "CA", "C", "O", "CB", "X1", "X2"],
                residues=[[0, 1, 2, 3, 4]], residue_seqs=["ALA"], connectivity=[(5, 6, 1), (0, 1, 1)])
    out = trc.perceive_bonds()
    assert bonds(out)[0] == (0, 1, B.Single) and bonds(out)[-1] == (5, 6, B.Single)
    assert capsys.readouterr().err == RESTORED.format("X1 (C) X2 (Cl) - [single bond]")


@pytest.mark.parametrize("distance, bonded", [(1.33, True), (BELOW_2, True), (2.0, False), (2.5, False)])
def test_peptide_bond_is_strictly_below_two_angstrom(distance, bonded, capsys):
    b = Builder()
    b.residue("GLY", ["N", "CA", "C", "O"], positions={"C": (0.0, 0.0, 0.0)})
    b.residue("GLY", ["N", "CA", "C", "O"], positions={"N": (0.0, distance, 0.0)})
    out = b.trc().perceive_bonds()
    assert ((2, 4, B.Single) in bonds(out)) is bonded
    assert capsys.readouterr().err == ""


def test_existing_long_peptide_bond_is_reported_once_and_kept(capsys):
    b = Builder()
    b.residue("GLY", ["N", "CA", "C", "O"], positions={"C": (0.0, 0.0, 0.0)})
    b.residue("GLY", ["N", "CA", "C", "O"], positions={"N": (0.0, 2.5, 0.0)})
    out = b.trc(connectivity=[(2, 4, 1), (0, 1, 1)]).perceive_bonds()
    assert bonds(out).count((2, 4, B.Single)) == 1
    assert bonds(out)[-1] == (2, 4, B.Single)
    assert capsys.readouterr().err == RESTORED.format('C (C) N (N) - [single bond] @ 1 ("GLY") & 2 ("GLY")')


def test_peptide_partner_may_be_any_previous_residue():
    # The previous residue's name does not matter, nor does a chain boundary.
    b = Builder()
    b.residue("LIG", ["O1", "C"], positions={"C": (0.0, 0.0, 0.0)})
    b.residue("ALA", ["N", "CA", "C", "O", "CB"], positions={"N": (1.4, 0.0, 0.0)})
    out = b.trc(chains=[[0], [1]]).perceive_bonds()
    assert bonds(out)[0] == (1, 2, B.Single)


@pytest.mark.parametrize("ch3_near, bonded", [(True, True), (False, False)])
def test_peptide_partner_is_named_under_the_current_residue_kind(ch3_near, bonded):
    # Under NME, CH3 is another name for C: the first atom of ACE that counts as C is its CH3.
    near, far = (0.0, 1.4, 0.0), (0.0, 6.0, 0.0)
    b = Builder()
    b.residue("ACE", ["CH3", "C", "O"], positions={"CH3": near if ch3_near else far, "C": far if ch3_near else near})
    b.residue("NME", ["N", "CH3"], positions={"N": (0.0, 0.0, 0.0)})
    out = b.trc().perceive_bonds()
    assert ((0, 3, B.Single) in bonds(out)) is bonded
    assert (1, 3, B.Single) not in bonds(out)


def test_peptide_search_stops_at_the_first_nitrogen():
    b = Builder()
    b.residue("GLY", ["N", "CA", "C", "O"], positions={"C": (0.0, 0.0, 0.0)})
    b.residue("GLY", ["N", "CA", "C", "O", "N"])
    b.geometry[8] = [1.3, 0.0, 0.0]  # the second N is close, the first is not
    out = b.trc().perceive_bonds(S.NONE)
    assert (2, 8, B.Single) not in bonds(out) and (2, 4, B.Single) not in bonds(out)
    b.geometry[4] = [1.3, 0.0, 0.0]
    assert (2, 4, B.Single) in bonds(b.trc().perceive_bonds(S.NONE))


def test_sulfur_sulfur_bonds_stay_without_warning(capsys):
    b = Builder()
    b.residue("CYS", ["N", "CA", "C", "O", "CB", "SG"])
    b.residue("MET", ["N", "CA", "C", "O", "CB", "CG", "SD", "CE"])
    b.residue("MET", ["N", "CA", "C", "O", "CB", "CG", "SD", "CE"])
    out = b.trc(connectivity=[(5, 12, 1), (12, 20, 1), (0, 4, 1)]).perceive_bonds()
    assert bonds(out)[:2] == [(5, 12, B.Single), (12, 20, B.Single)]
    assert capsys.readouterr().err == RESTORED.format('N (N) CB (C) - [single bond] @ 1 ("CYS")')


@pytest.mark.parametrize(
    "name, atoms, elements, expected",
    [
        ("HOH", ["H1", "O", "H2"], None, [(1, 0), (1, 2)]),
        ("WAT", ["O", "H1", "H2"], None, [(0, 1), (0, 2)]),
        ("XYZ", ["HA", "HB", "OW"], None, [(2, 0), (2, 1)]),  # the name is not looked at
        ("HOH", ["O", "H1", "C1"], None, []),
        ("HOH", ["O", "O2", "H1"], None, []),
        ("HOH", ["O", "H1", "H2", "H3"], None, []),
        ("HOH", ["O", "H1"], None, []),
    ],
)
def test_water_bonds(name, atoms, elements, expected):
    b = Builder()
    b.residue(name, atoms, elements=elements)
    out = b.trc().perceive_bonds()
    assert bonds(out) == [(o, h, B.Single) for o, h in expected]
    # A second run finds them present and adds no copies.
    assert bonds(out.perceive_bonds()) == bonds(out)


def test_water_bond_present_in_either_direction_is_not_added_again():
    b = Builder()
    b.residue("HOH", ["H1", "O", "H2"])
    out = b.trc(labels=False, connectivity=[(2, 1, 1)]).perceive_bonds()
    assert bonds(out) == [(2, 1, B.Single), (1, 0, B.Single)]


def test_no_connectivity_becomes_an_empty_list():
    b = Builder()
    b.residue("LIG", ["C1"])
    out = b.trc().perceive_bonds()
    assert out.topology.connectivity == []


# ---- errors ----

@pytest.mark.parametrize("strictness", [S.NONE, S.Heavy, S.All])
def test_unknown_residue_fails_at_every_strictness(strictness):
    with pytest.raises(ValueError) as err:
        one_residue("UNK", ["N", "CA"]).perceive_bonds(strictness)
    assert str(err.value) == "missing template for UNK"


@pytest.mark.parametrize(
    "label, message",
    [("HN", 'bad atom label: "HN"'), ("", 'bad atom label: ""'), ("ca", 'bad atom label: "ca"'),
     (" CA", 'bad atom label: " CA"'), ('H"\\', 'bad atom label: "H\\"\\\\"')],
)
@pytest.mark.parametrize("strictness", [S.NONE, S.Heavy])
def test_bad_atom_label(label, message, strictness):
    with pytest.raises(ValueError) as err:
        one_residue("ALA", ["N", "CA", "C", "O", "CB", label]).perceive_bonds(strictness)
    assert str(err.value) == message


@pytest.mark.parametrize(
    "kind, atoms, seq_n, message",
    [
        ("ALA", ["N", "CA", "C", "O", "CB", "CA"], 7, 'duplicate atoms in ALA @ 7: ["CA"] appear more than once'),
        ("ALA", ["N", "C", "O"], 12, 'missing heavy atoms in ALA @ 12: ["CA", "CB"] are missing'),
        ("TRP", ["N", "CA", "C", "O", "CB", "CG", "CD1", "CD2", "NE1", "CE2"], -3,
         'missing heavy atoms in TRP @ -3: ["CE3", "CH2", "CZ2", "CZ3"] are missing'),
        ("ILE", ["N", "CA", "C", "O", "CB", "CG1", "CG2"], 1, 'missing heavy atoms in ILE @ 1: ["CD1"] are missing'),
    ],
)
def test_completeness_errors_are_heavy_level(kind, atoms, seq_n, message):
    trc = one_residue(kind, atoms, seq_n=seq_n)
    for strictness in (S.Heavy, S.All):
        with pytest.raises(ValueError) as err:
            trc.perceive_bonds(strictness)
        assert str(err.value) == message
    trc.perceive_bonds(S.NONE)  # not checked at all


def test_aliases_are_not_duplicates_but_cover_heavy_atoms():
    # H and H1 are different names as written; ILE's CD counts as CD1.
    one_residue("ALA", ["N", "CA", "C", "O", "CB", "H", "H1"]).perceive_bonds()
    one_residue("ILE", ["N", "CA", "C", "O", "CB", "CG1", "CG2", "CD"]).perceive_bonds()


def test_first_failing_residue_decides():
    b = Builder()
    b.residue("ALA", ["N", "CA", "C", "O"], seq_n=3)
    b.residue("UNK", ["N"])
    with pytest.raises(ValueError, match=r'^missing heavy atoms in ALA @ 3: \["CB"\] are missing$'):
        b.trc().perceive_bonds()
    b = Builder()
    b.residue("UNK", ["N"])
    b.residue("ALA", ["N", "CA", "C", "O"])
    with pytest.raises(ValueError, match="^missing template for UNK$"):
        b.trc().perceive_bonds()


def test_strictness_argument():
    trc = one_residue("ALA", ["N", "CA", "C", "O", "CB"])
    assert bonds(trc.perceive_bonds()) == bonds(trc.perceive_bonds(S.Heavy))
    assert bonds(trc.perceive_bonds(strictness=S.NONE)) == bonds(trc.perceive_bonds(S.Heavy))
    with pytest.raises(ValueError, match="^amino acid ALA @ 1 is unprotonated"):
        trc.perceive_bonds(strictness=S.All)
    with pytest.raises(TypeError) as err:
        trc.perceive_bonds("Heavy")
    assert str(err.value) == "argument 'strictness': 'str' object cannot be converted to 'AtomCheckStrictness'"
    with pytest.raises(TypeError):
        trc.perceive_bonds(1)
    with pytest.raises(TypeError):
        trc.perceive_bonds(S.Heavy, S.Heavy)


# ---- records the perception cannot trust ----

@pytest.mark.parametrize(
    "change, message",
    [
        ({"residues": [[0, 1, 2, 3, 4, 9]]}, "atom does not exist or is in more than one residue: AtomRef(9)"),
        ({"labels": ["N", "CA"]}, "labels length does not match symbols length: 2 != 5"),
        ({"connectivity": [(0, 1, 1), (4, 5, 1)]}, "invalid connectivity between: AtomRef(4) and AtomRef(5)"),
        ({"residues": [[0, 1, 2], [3, 4]]}, "seqs and residues have different lengths (1 != 2)"),
        ({"residue_seq_ns": [1, 2]}, "seq_ns and residues have different lengths (2 != 1)"),
    ],
)
def test_unchecked_records_are_refused(change, message):
    args = dict(labels=["N", "CA", "C", "O", "CB"], residues=[[0, 1, 2, 3, 4]], residue_seqs=["ALA"],
                residue_seq_ns=[1])
    args.update(change)
    symbols = [z.Element.N, z.Element.C, z.Element.C, z.Element.O, z.Element.C]
    trc = z.TRC(symbols, [[10.0 * i, 0, 0] for i in range(5)], **args)
    for method in (trc.perceive_bonds, trc.perceive_formal_charges):
        with pytest.raises(ValueError) as err:
            method()
        assert str(err.value) == message


def test_formal_charge_length_matters_only_for_charges():
    trc = z.TRC([z.Element.O], [[0, 0, 0]], labels=["O"], residue_seqs=["HOH"], formal_charges=[0, 0])
    trc.perceive_bonds()
    with pytest.raises(ValueError, match="^formal charges length does not match symbols length: 2 != 1$"):
        trc.perceive_formal_charges()


# ---- copies ----

def test_perceive_bonds_works_on_a_copy():
    b = Builder()
    b.residue("ALA", ["N", "CA", "C", "O", "CB"])
    trc = b.trc(connectivity=[(0, 4, 2)])
    before = bonds(trc)
    out = trc.perceive_bonds()
    assert out is not trc
    assert bonds(trc) == before == [(0, 4, B.Double)]
    assert bonds(out) != before
    assert out.topology.labels == trc.topology.labels
    assert out.residues.residues == trc.residues.residues
    np.testing.assert_array_equal(out.topology.geometry, trc.topology.geometry)


def test_failed_perception_leaves_the_object_unchanged():
    b = Builder()
    b.residue("ALA", ["N", "CA", "C", "O", "CB"])
    b.residue("UNK", ["X"])
    trc = b.trc(connectivity=[(0, 4, 2)])
    with pytest.raises(ValueError):
        trc.perceive_bonds(S.NONE)
    assert bonds(trc) == [(0, 4, B.Double)]
