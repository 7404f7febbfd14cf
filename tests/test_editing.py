"""Residue subsets, merging, the fragment-neighbourhood query, coordinate and fragment
replacement."""

import math

import numpy as np
import pytest

import libzyk as z
from libzyk import TRC, Element

C, N, O, H = Element.C, Element.N, Element.O, Element.H


def base(n_atoms=2):
    return {"schema_version": "0.2.0", "symbols": ["C"] * n_atoms, "geometry": [float(i) for i in range(3 * n_atoms)]}


def make(topology=None, residues=None, chains=None, **top_fields):
    """A TRC from its dict parts; the topology defaults to as many atoms as the residues hold."""
    if residues is None:
        residues = [[0]]
    if isinstance(residues, list):
        r = len(residues)
        residues = {"residues": residues, "seqs": [f"R{i}" for i in range(r)], "seq_ns": list(range(1, r + 1)),
                    "insertion_codes": [""] * r}
    n = sum(len(x) for x in residues["residues"])
    topology = topology or base(n)
    topology.update(top_fields)
    if chains is None:
        chains = [list(range(len(residues["residues"])))]
    if isinstance(chains, list):
        chains = {"chains": chains}
    return TRC.from_dict({"topology": topology, "residues": residues, "chains": chains})


def helices(rows):
    keys = ["helix_ids", "chain_refs", "start_residues", "end_residues", "classes", "lengths"]
    return {k: [row[i] for row in rows] for i, k in enumerate(keys)}


def sheets(rows):
    keys = ["sheet_ids", "strand_ids", "strand_ordinals", "num_strands", "chain_refs", "start_residues",
            "end_residues", "senses"]
    return {k: [row[i] for row in rows] for i, k in enumerate(keys)}


# ================================================================ subset_by_residues

def three_residues(**top_fields):
    """Residues 0: atoms 0-1, 1: atom 2, 2: atoms 3-4, one chain."""
    t = make(residues=[[0, 1], [2], [3, 4]], **top_fields)
    t.check()
    return t


def test_subset_empty_selection():
    t = make(residues={"residues": [[0], [1]], "seqs": ["A", "B"], "seq_ns": [1, 2], "insertion_codes": ["", ""],
                       "labeled": [0], "labels": [["x"]]},
             chains={"chains": [[0, 1]], "alpha_helices": helices([("H", 0, 0, 1, None, None)]),
                     "beta_sheets": sheets([("S", "1", None, None, 0, 0, 0, None)]), "labeled": [0],
                     "labels": [["c"]]},
             labels=["a", "b"], formal_charges=[0, 1], partial_charges=[0.5, 0.5], velocities=[0.0] * 6,
             connectivity=[(0, 1, 1)], stereochemistry=[1], fragments=[[0, 1]], fragment_formal_charges=[1],
             fragment_partial_charges=[1.0], fragment_multiplicities=[1])
    d = t.subset_by_residues([]).to_dict()
    assert d == {
        "topology": {"schema_version": "0.2.0", "symbols": [], "geometry": [], "labels": [], "partial_charges": [],
                     "formal_charges": [], "connectivity": [], "stereochemistry": [], "velocities": [],
                     "fragments": [], "fragment_formal_charges": [], "fragment_partial_charges": [],
                     "fragment_multiplicities": []},
        "residues": {"residues": [], "seqs": [], "seq_ns": [], "insertion_codes": []},
        "chains": {"chains": []},
    }


def test_subset_reorders_atoms_and_keeps_bond_direction():
    t = three_residues(connectivity=[(0, 3, 2), (2, 3, 1)], labels=list("abcde"),
                       velocities=[float(i) for i in range(15)])
    s = t.subset_by_residues([2, 0])
    d = s.to_dict()
    assert d["topology"]["labels"] == ["d", "e", "a", "b"]
    assert d["topology"]["geometry"] == [9.0, 10.0, 11.0, 12.0, 13.0, 14.0, 0.0, 1.0, 2.0, 3.0, 4.0, 5.0]
    assert d["topology"]["velocities"] == d["topology"]["geometry"]
    assert d["topology"]["connectivity"] == [(2, 0, 2)]
    assert d["residues"] == {"residues": [[0, 1], [2, 3]], "seqs": ["R2", "R0"], "seq_ns": [3, 1],
                             "insertion_codes": ["", ""]}
    assert d["chains"] == {"chains": [[0, 1]]}
    s.check()


def test_subset_drops_bonds_leaving_the_selection_with_their_stereochemistry():
    t = three_residues(connectivity=[(0, 1, 1), (1, 2, 1), (3, 4, 2)], stereochemistry=[1, -1, 3])
    d = t.subset_by_residues([0, 2]).to_dict()["topology"]
    assert d["connectivity"] == [(0, 1, 1), (2, 3, 2)]
    assert d["stereochemistry"] == [1, 3]


def test_subset_without_connectivity_has_neither_list():
    t = make(residues=[[0, 1], [2], [3, 4]], stereochemistry=[])  # fails check, harmless here
    d = t.subset_by_residues([0]).to_dict()["topology"]
    assert "connectivity" not in d and "stereochemistry" not in d


@pytest.mark.parametrize("refs, fragments", [
    ([0, 1], [[0], [1, 2]]),      # whole fragments kept, the unselected one dropped
    ([2], [[0, 1]]),
    ([1, 0], [[1], [2, 0]]),      # atoms translated, fragment order kept
    ([0], None),                  # fragment [1, 2] spans residues 0 and 1: split
    ([1, 2], None),
])
def test_subset_fragments(refs, fragments):
    t = three_residues(fragments=[[0], [1, 2], [3, 4]], fragment_formal_charges=[1, 2, 3],
                       fragment_partial_charges=[0.5, 1.5, 2.5], fragment_multiplicities=[1, 2, 3])
    d = t.subset_by_residues(refs).to_dict()["topology"]
    if fragments is None:
        for key in ["fragments", "fragment_formal_charges", "fragment_partial_charges", "fragment_multiplicities"]:
            assert key not in d
    else:
        assert d["fragments"] == fragments


def test_subset_fragment_lists_follow_the_kept_fragments():
    t = three_residues(fragments=[[0, 1], [2], [3, 4]], fragment_formal_charges=[1, 2, 3],
                       fragment_partial_charges=[0.5, 1.5, 2.5], fragment_multiplicities=[1, 2, 3])
    d = t.subset_by_residues([2, 0]).to_dict()["topology"]
    assert d["fragments"] == [[2, 3], [0, 1]]  # old fragment order, translated
    assert d["fragment_formal_charges"] == [1, 3]
    assert d["fragment_partial_charges"] == [0.5, 2.5]
    assert d["fragment_multiplicities"] == [1, 3]


def test_subset_of_a_split_ligand_removes_every_fragment_field():
    t = three_residues(fragments=[[0, 1, 2], [3, 4]], fragment_formal_charges=[0, 1])
    d = t.subset_by_residues([1, 2]).to_dict()["topology"]
    assert "fragments" not in d and "fragment_formal_charges" not in d


def test_subset_duplicate_residue():
    t = three_residues(connectivity=[(0, 1, 1), (1, 2, 1)], fragments=[[0, 1], [2], [3, 4]])
    s = t.subset_by_residues([0, 0])
    d = s.to_dict()
    assert d["topology"]["symbols"] == ["C"] * 4
    assert d["topology"]["connectivity"] == [(0, 1, 1)]
    assert d["topology"]["fragments"] == [[0, 1]]
    assert d["residues"]["residues"] == [[0, 1], [2, 3]]
    assert d["chains"]["chains"] == [[0, 1]]


def two_chain_trc():
    """Chain A: residues 0-2 (helix 0..2, strand 1..1); chain B: residues 3-4 (helix 3..4)."""
    return make(
        residues={"residues": [[0], [1], [2], [3], [4]], "seqs": list("abcde"), "seq_ns": [1, 2, 3, 4, 5],
                  "insertion_codes": [""] * 5, "labeled": [4, 1], "labels": [["l4"], ["l1"]]},
        chains={"chains": [[0, 1, 2], [3, 4]],
                "alpha_helices": helices([("HA", 0, 0, 2, "RightHandedAlpha", 3), ("HB", 1, 3, 4, None, None)]),
                "beta_sheets": sheets([("S", "1", 1, 2, 0, 1, 1, "First"), ("S", "2", None, None, 1, 3, 4, None)]),
                "labeled": [1, 0], "labels": [["B"], ["A"]]})


def test_subset_chains_numbered_in_selection_order_with_labels():
    d = two_chain_trc().subset_by_residues([4, 3, 0, 2]).to_dict()
    assert d["chains"]["chains"] == [[0, 1], [2, 3]]
    assert d["chains"]["labeled"] == [0, 1] and d["chains"]["labels"] == [["B"], ["A"]]
    assert d["chains"]["alpha_helices"] == helices([("HA", 1, 2, 3, "RightHandedAlpha", 3),
                                                    ("HB", 0, 1, 0, None, None)])
    # strand 1..1 lost residue 1; strand 3..4 of chain B survives
    assert d["chains"]["beta_sheets"] == sheets([("S", "2", None, None, 0, 1, 0, None)])
    assert d["residues"]["labeled"] == [0] and d["residues"]["labels"] == [["l4"]]


def test_subset_helix_survives_without_its_middle_residue():
    t = make(residues=[[i] for i in range(9)],
             chains={"chains": [list(range(9))], "alpha_helices": helices([("H", 0, 3, 7, None, 5)])})
    kept = t.subset_by_residues([3, 7]).to_dict()["chains"]
    assert kept["alpha_helices"] == helices([("H", 0, 0, 1, None, 5)])
    assert "alpha_helices" not in t.subset_by_residues([3, 5]).to_dict()["chains"]


def test_subset_strands_kept_when_both_ends_survive():
    d = two_chain_trc().subset_by_residues([3, 4, 1]).to_dict()["chains"]
    assert d["beta_sheets"] == sheets([("S", "1", 1, 2, 1, 2, 2, "First"), ("S", "2", None, None, 0, 0, 1, None)])


def test_subset_residue_in_no_chain_belongs_to_no_new_chain():
    t = make(residues=[[0], [1]], chains=[[1]])
    d = t.subset_by_residues([0, 1]).to_dict()
    assert d["chains"]["chains"] == [[1]]


def test_subset_residue_in_two_chains_joins_both():
    t = make(residues=[[0], [1]], chains=[[0, 1], [1, 1]])
    assert t.subset_by_residues([1, 0]).to_dict()["chains"]["chains"] == [[0, 1], [0]]


@pytest.mark.parametrize("refs, error, text", [
    ([3], ValueError, "refs contains residue 3, but there are only 3 residues"),
    ([0, 1, 4294967295], ValueError, "refs contains residue 4294967295, but there are only 3 residues"),
    ([-1], OverflowError, None),
    ([2**32], OverflowError, None),
    ("012", TypeError, "argument 'refs': Can't extract `str` to `Vec`"),
    (None, TypeError, "argument 'refs': "),
    ([0.0], TypeError, "argument 'refs': "),
])
def test_subset_bad_refs(refs, error, text):
    t = three_residues()
    with pytest.raises(error) as info:
        t.subset_by_residues(refs)
    if text:
        assert str(info.value).startswith(text)


def test_subset_leaves_the_original_alone():
    t = two_chain_trc()
    before = t.to_dict()
    t.subset_by_residues([1])
    assert t.to_dict() == before


# ================================================================ extend

def test_extend_example():
    a = make(residues=[[0, 1, 2]], connectivity=[(0, 1, 1)])
    b = make(residues=[[0, 1]], connectivity=[(0, 1, 2)],
             chains={"chains": [[0]], "alpha_helices": helices([("H1", 0, 0, 0, "RightHandedPi", 1)])})
    m = a.extend(b)
    d = m.to_dict()
    assert m.num_atoms == 5
    assert d["topology"]["connectivity"] == [(0, 1, 1), (3, 4, 2)]
    assert d["residues"]["residues"] == [[0, 1, 2], [3, 4]]
    assert d["chains"]["chains"] == [[0], [1]]
    assert d["chains"]["alpha_helices"] == helices([("H1", 1, 1, 1, "RightHandedPi", 1)])
    m.check()
    assert a.num_atoms == 3 and b.num_atoms == 2  # neither argument changed


# (field, self value for 3 atoms, other value for 2 atoms, merged when only self has it)
PER_ATOM = [
    ("labels", ["a", "b", "c"], ["d", "e"], ["a", "b", "c", "", ""]),
    ("formal_charges", [1, 0, -1], [2, 2], [1, 0, -1, 0, 0]),
    ("partial_charges", [0.5, 0.25, 1.0], [2.0, 4.0], [0.5, 0.25, 1.0, 0.0, 0.0]),
    ("velocities", [1.0] * 9, [2.0] * 6, [1.0] * 9 + [0.0] * 6),
]


@pytest.mark.parametrize("field, mine, theirs, padded", PER_ATOM)
@pytest.mark.parametrize("self_has, other_has", [(True, True), (True, False), (False, True), (False, False)])
def test_extend_per_atom_fields(field, mine, theirs, padded, self_has, other_has):
    a = make(residues=[[0, 1, 2]], **({field: mine} if self_has else {}))
    b = make(residues=[[0, 1]], **({field: theirs} if other_has else {}))
    d = a.extend(b).to_dict()["topology"]
    if not self_has:
        assert field not in d
    elif other_has:
        assert d[field] == mine + theirs
    else:
        assert d[field] == padded


@pytest.mark.parametrize("self_bonds, other_bonds, merged", [
    ([(0, 1, 1)], [(0, 1, 2)], [(0, 1, 1), (3, 4, 2)]),
    ([(0, 1, 1)], None, [(0, 1, 1)]),
    (None, [(0, 1, 2)], None),
    ([], [], []),
])
def test_extend_connectivity(self_bonds, other_bonds, merged):
    a = make(residues=[[0, 1, 2]], **({"connectivity": self_bonds} if self_bonds is not None else {}))
    b = make(residues=[[0, 1]], **({"connectivity": other_bonds} if other_bonds is not None else {}))
    assert a.extend(b).to_dict()["topology"].get("connectivity") == merged


@pytest.mark.parametrize("self_stereo, other_stereo, merged", [
    ([1, -1], [3], [1, -1, 3]),
    ([1, -1], None, [1, -1, 0]),          # other's bond gets NONE
    (None, [3], [0, 0, 3]),               # self's bonds get NONE
    (None, None, None),
])
def test_extend_stereochemistry_stays_one_per_bond(self_stereo, other_stereo, merged):
    a = make(residues=[[0, 1, 2]], connectivity=[(0, 1, 1), (1, 2, 1)],
             **({"stereochemistry": self_stereo} if self_stereo is not None else {}))
    b = make(residues=[[0, 1]], connectivity=[(0, 1, 1)],
             **({"stereochemistry": other_stereo} if other_stereo is not None else {}))
    m = a.extend(b)
    assert m.to_dict()["topology"].get("stereochemistry") == merged
    m.check()


def test_extend_stereochemistry_without_bonds_on_other_side():
    a = make(residues=[[0, 1, 2]], connectivity=[(0, 1, 1)], stereochemistry=[1])
    b = make(residues=[[0, 1]])
    m = a.extend(b)
    assert m.to_dict()["topology"]["stereochemistry"] == [1]
    m.check()


def test_extend_fragments_of_a_side_without_them():
    a = make(residues=[[0, 1, 2]], fragments=[[0, 1, 2]], formal_charges=[0, 0, 0], fragment_formal_charges=[0],
             fragment_partial_charges=[0.0], fragment_multiplicities=[1])
    b = make(residues=[[0, 1]], formal_charges=[2, -3], partial_charges=[0.25, 0.5])
    m = a.extend(b)
    d = m.to_dict()["topology"]
    assert d["fragments"] == [[0, 1, 2], [3, 4]]
    assert d["fragment_formal_charges"] == [0, -1]
    assert d["fragment_partial_charges"] == [0.0, 0.75]
    assert d["fragment_multiplicities"] == [1, 0]
    m.check()


def test_extend_fragment_padding_without_per_atom_charges():
    a = make(residues=[[0]], fragments=[[0]], fragment_formal_charges=[4], fragment_partial_charges=[1.0])
    b = make(residues=[[0, 1]])
    d = a.extend(b).to_dict()["topology"]
    assert d["fragment_formal_charges"] == [4, 0]
    assert d["fragment_partial_charges"] == [1.0, 0.0]


def test_extend_formal_charge_sum_wraps():
    a = make(residues=[[0]], fragments=[[0]], fragment_formal_charges=[0])
    b = make(residues=[[0, 1]], formal_charges=[2**31 - 1, 1])
    assert a.extend(b).to_dict()["topology"]["fragment_formal_charges"] == [0, -2**31]


def test_extend_partial_charge_sum_of_no_atoms_is_negative_zero():
    a = make(residues=[[0]], fragments=[[0]], fragment_partial_charges=[0.0])
    b = make(residues=[[]], partial_charges=[])
    d = a.extend(b).to_dict()["topology"]
    assert d["fragments"] == [[0], []]
    assert math.copysign(1.0, d["fragment_partial_charges"][1]) == -1.0


def test_extend_other_with_fragments_but_without_their_charges_gets_one_entry_per_fragment():
    a = make(residues=[[0]], fragments=[[0]], formal_charges=[1], fragment_formal_charges=[1],
             fragment_multiplicities=[2])
    b = make(residues=[[0, 1, 2]], fragments=[[0], [1, 2]], formal_charges=[1, -1, -1])
    m = a.extend(b)
    d = m.to_dict()["topology"]
    assert d["fragments"] == [[0], [1], [2, 3]]
    assert d["fragment_formal_charges"] == [1, 1, -2]
    assert d["fragment_multiplicities"] == [2, 0, 0]
    m.check()


def test_extend_fragment_lists_when_both_have_them():
    a = make(residues=[[0]], fragments=[[0]], fragment_formal_charges=[1])
    b = make(residues=[[0, 1]], fragments=[[1], [0]], fragment_formal_charges=[2, 3])
    d = a.extend(b).to_dict()["topology"]
    assert d["fragments"] == [[0], [2], [1]]
    assert d["fragment_formal_charges"] == [1, 2, 3]
    c = make(residues=[[0]])
    assert "fragments" not in c.extend(b).to_dict()["topology"]


def test_extend_with_itself_doubles_every_list_and_stays_valid():
    t = two_chain_trc()
    t = make(topology=t.topology.to_dict(), residues=t.residues.to_dict(), chains=t.chains.to_dict(),
             labels=list("abcde"), connectivity=[(0, 1, 1), (3, 4, 1)], formal_charges=[0, 1, 0, 0, -1],
             fragments=[[0, 1, 2], [3, 4]], fragment_formal_charges=[1, -1])
    t.check()
    m = t.extend(t)
    m.check()
    d, one = m.to_dict(), t.to_dict()
    for key in ["symbols", "geometry", "labels", "formal_charges"]:
        assert d["topology"][key] == one["topology"][key] * 2
    assert d["topology"]["connectivity"] == [(0, 1, 1), (3, 4, 1), (5, 6, 1), (8, 9, 1)]
    assert d["topology"]["fragments"] == [[0, 1, 2], [3, 4], [5, 6, 7], [8, 9]]
    assert d["residues"]["residues"] == [[i] for i in range(10)]
    assert d["residues"]["labeled"] == [4, 1, 9, 6]
    assert d["chains"]["chains"] == [[0, 1, 2], [3, 4], [5, 6, 7], [8, 9]]
    assert d["chains"]["labeled"] == [1, 0, 3, 2]
    assert d["chains"]["alpha_helices"]["chain_refs"] == [0, 1, 2, 3]
    assert d["chains"]["alpha_helices"]["start_residues"] == [0, 3, 5, 8]
    assert d["chains"]["beta_sheets"]["end_residues"] == [1, 4, 6, 9]
    assert d["chains"]["beta_sheets"]["senses"] == ["First", None, "First", None]


def residue_table(r, labeled=None, labels=None):
    d = {"residues": [[i] for i in range(r)], "seqs": ["X"] * r, "seq_ns": list(range(r)), "insertion_codes": [""] * r}
    if labeled is not None:
        d["labeled"] = labeled
    if labels is not None:
        d["labels"] = labels
    return d


@pytest.mark.parametrize("mine, theirs, merged", [
    ((None, None), ([0], [["x"]]), ([1], [["x"]])),                    # self takes other's
    ((None, [["old"]]), ([0], [["x"]]), ([1], [["x"]])),                # replacing self's stray labels
    (([0], [["a"]]), (None, [["x"]]), ([0], [["a"]])),                  # other's labels dropped
    (([0], None), ([0], [["x"]]), ([0], None)),                         # self without labels: nothing more
    (([0], [["a"]]), ([0, 0], [["x"], ["y"]]), ([0, 1], [["a"], ["x", "y"]])),  # repeated index merges
    (([0], [["a"]]), ([0], [["x"]]), ([0, 1], [["a"], ["x"]])),
])
def test_extend_residue_labels(mine, theirs, merged):
    a = make(residues=residue_table(1, *mine))
    b = make(residues=residue_table(1, *theirs))
    d = a.extend(b).to_dict()["residues"]
    assert (d.get("labeled"), d.get("labels")) == merged


@pytest.mark.parametrize("mine, theirs, merged", [
    ((None, None), ([0], [["x"]]), ([1], [["x"]])),
    (([0], [["a"]]), ([0], [["x"]]), ([0, 1], [["a"], ["x"]])),
    (([0], [["a"]]), ([0, 0], [["x"], ["y"]]), ([0, 1], [["a"], ["x", "y"]])),
])
def test_extend_chain_labels(mine, theirs, merged):
    def chains(labeled, labels):
        d = {"chains": [[0]]}
        if labeled is not None:
            d["labeled"] = labeled
        if labels is not None:
            d["labels"] = labels
        return d

    a = make(chains=chains(*mine))
    b = make(chains=chains(*theirs))
    d = a.extend(b).to_dict()["chains"]
    assert (d.get("labeled"), d.get("labels")) == merged


def test_extend_labels_are_missing():
    a = make(residues=residue_table(1, [0], [["a"]]))
    b = make(residues=residue_table(1, [0], None))
    with pytest.raises(ValueError) as info:
        a.extend(b)
    assert str(info.value) == "labels are missing"
    a = make(chains={"chains": [[0]], "labeled": [0], "labels": [["A"]]})
    b = make(chains={"chains": [[0]], "labeled": [0]})
    with pytest.raises(ValueError) as info:
        a.extend(b)
    assert str(info.value) == "labels are missing"


def test_extend_helices_and_sheets_taken_over_or_appended():
    plain = make(residues=[[0], [1]])
    with_tables = make(residues=[[0], [1]],
                       chains={"chains": [[0, 1]], "alpha_helices": helices([("H", 0, 0, 1, "Polyproline", None)]),
                               "beta_sheets": sheets([("S", "A", None, 3, 0, 1, 1, "AntiParallel")])})
    d = plain.extend(with_tables).to_dict()["chains"]
    assert d["alpha_helices"] == helices([("H", 1, 2, 3, "Polyproline", None)])
    assert d["beta_sheets"] == sheets([("S", "A", None, 3, 1, 3, 3, "AntiParallel")])
    d = with_tables.extend(plain).to_dict()["chains"]
    assert d["alpha_helices"] == helices([("H", 0, 0, 1, "Polyproline", None)])


def test_extend_other_must_be_a_trc():
    with pytest.raises(TypeError, match="^argument 'other': "):
        make().extend(make().topology)
    with pytest.raises(TypeError, match="^argument 'other': "):
        make().extend(None)


# ================================================================ get_fragments_near_fragment

def fragments_trc(points, fragments):
    return TRC([C] * len(points), points, fragments=fragments)


def test_near_without_fragments_is_empty_even_for_index_zero():
    t = TRC([C, C], [[0, 0, 0], [1, 0, 0]])
    assert t.topology.get_fragments_near_fragment(0, 5.0) == []
    assert t.topology.get_fragments_near_fragment(7, 5.0) == []


@pytest.mark.parametrize("threshold, near", [(9.9, []), (10.0, [1]), (10.5, [1]), (0.0, []), (-1.0, []),
                                             (float("nan"), []), (float("inf"), [1])])
def test_near_threshold_is_inclusive(threshold, near):
    t = fragments_trc([[0, 0, 0], [10, 0, 0]], [[0], [1]])
    assert t.topology.get_fragments_near_fragment(0, threshold) == near


def test_near_is_ascending_and_excludes_the_query():
    pts = [[0, 0, 0], [1, 0, 0], [50, 0, 0], [0, 1, 0], [0, 0, 1], [-1, 0, 0]]
    t = fragments_trc(pts, [[3], [2], [0, 1], [5], [4]])
    assert t.topology.get_fragments_near_fragment(2, 1.0) == [0, 3, 4]
    assert t.topology.get_fragments_near_fragment(1, 100.0) == [0, 2, 3, 4]


def test_near_coincident_atoms_at_zero_threshold():
    t = fragments_trc([[1, 2, 3], [1, 2, 3], [1, 2, 3.0001]], [[0], [1], [2]])
    assert t.topology.get_fragments_near_fragment(0, 0.0) == [1]
    assert t.topology.get_fragments_near_fragment(0, -0.0) == [1]


def test_near_empty_query_fragment():
    t = fragments_trc([[0, 0, 0]], [[], [0]])
    assert t.topology.get_fragments_near_fragment(0, 100.0) == []


@pytest.mark.parametrize("idx, text", [(2, "invalid fragment reference: 2"), (4294967295,
                                                                             "invalid fragment reference: 4294967295")])
def test_near_invalid_fragment_ref(idx, text):
    t = fragments_trc([[0, 0, 0], [1, 0, 0]], [[0], [1]])
    with pytest.raises(ValueError) as info:
        t.topology.get_fragments_near_fragment(idx, 1.0)
    assert str(info.value) == text


@pytest.mark.parametrize("args, error, start", [
    ((-1, 1.0), OverflowError, None),
    ((2**32, 1.0), OverflowError, None),
    (("0", 1.0), TypeError, "argument 'frag_idx': "),
    ((0.0, 1.0), TypeError, "argument 'frag_idx': "),
    ((0, "1"), TypeError, "argument 'threshold': "),
    ((0, None), TypeError, "argument 'threshold': "),
])
def test_near_argument_conversion(args, error, start):
    t = fragments_trc([[0, 0, 0], [1, 0, 0]], [[0], [1]])
    with pytest.raises(error) as info:
        t.topology.get_fragments_near_fragment(*args)
    if start:
        assert str(info.value).startswith(start)


def brute_force_near(points, fragments, idx, threshold):
    p = np.asarray(points, dtype=np.float32)
    q = p[fragments[idx]]
    out = []
    with np.errstate(over="ignore"):
        thr = np.float32(threshold)
    for f, atoms in enumerate(fragments):
        if f == idx or not atoms or len(q) == 0:
            continue
        with np.errstate(over="ignore", invalid="ignore"):
            d = q[:, None, :] - p[atoms][None, :, :]  # float32 differences
            dist = np.sqrt(d[..., 0] * d[..., 0] + d[..., 1] * d[..., 1] + d[..., 2] * d[..., 2])
            if np.any(thr >= dist):
                out.append(f)
    return out


@pytest.mark.parametrize("seed", range(6))
def test_near_matches_brute_force(seed):
    rng = np.random.default_rng(seed)
    n = 400
    scale = [1e-3, 1.0, 30.0, 1e4, 1e-20, 3e37][seed]
    points = (rng.standard_normal((n, 3)) * scale).astype(np.float32)
    points[::7] = points[3]  # coincident atoms
    perm = rng.permutation(n)
    cuts = np.sort(rng.choice(np.arange(1, n), size=60, replace=False))
    fragments = [list(map(int, part)) for part in np.split(perm, cuts)]
    fragments.insert(5, [])
    t = fragments_trc(points.tolist(), fragments)
    for idx in [0, 3, 17]:
        for threshold in [0.0, scale * 1e-3, scale * 0.1, scale * 0.5, scale * 2, scale * 100, float("inf")]:
            got = t.topology.get_fragments_near_fragment(idx, threshold)
            assert got == brute_force_near(points, fragments, idx, threshold), (idx, threshold)


def test_near_on_a_boundary_distance_agrees_with_float32_arithmetic():
    # distances that sit exactly on or a rounding step around the threshold
    rng = np.random.default_rng(7)
    base_pt = np.float32([1.25, -3.5, 7.0])
    pts = [base_pt]
    for _ in range(200):
        direction = rng.standard_normal(3)
        direction /= np.linalg.norm(direction)
        pts.append((base_pt + direction * 4.0).astype(np.float32))
    pts = np.asarray(pts, dtype=np.float32)
    fragments = [[i] for i in range(len(pts))]
    t = fragments_trc(pts.tolist(), fragments)
    for threshold in [np.nextafter(np.float32(4.0), np.float32(0)), np.float32(4.0),
                      np.nextafter(np.float32(4.0), np.float32(10))]:
        assert t.topology.get_fragments_near_fragment(0, float(threshold)) == brute_force_near(
            pts, fragments, 0, threshold)


def test_near_with_infinite_and_nan_coordinates():
    inf, nan = float("inf"), float("nan")
    pts = [[0, 0, 0], [inf, 0, 0], [nan, 0, 0], [1, 0, 0], [inf, 0, 0]]
    t = fragments_trc(pts, [[0], [1], [2], [3], [4]])
    assert t.topology.get_fragments_near_fragment(0, 2.0) == [3]
    assert t.topology.get_fragments_near_fragment(0, inf) == [1, 3, 4]
    assert t.topology.get_fragments_near_fragment(1, inf) == [0, 3]  # inf - inf is NaN
    assert t.topology.get_fragments_near_fragment(2, inf) == []


# ================================================================ with_geometry

def test_with_geometry_replaces_only_coordinates():
    t = make(residues=[[0, 1]], labels=["a", "b"], connectivity=[(0, 1, 1)])
    g = t.with_geometry([[1, 2, 3], (4.5, 5.5, 6.5)])
    d, before = g.to_dict(), t.to_dict()
    assert d["topology"]["geometry"] == [1.0, 2.0, 3.0, 4.5, 5.5, 6.5]
    d["topology"]["geometry"] = before["topology"]["geometry"]
    assert d == before
    assert t.to_dict() == before


@pytest.mark.parametrize("dtype", [np.float32, np.float64])
def test_with_geometry_from_numpy(dtype):
    t = make(residues=[[0, 1, 2]])
    arr = (np.arange(9, dtype=dtype).reshape(3, 3) + 0.1).astype(dtype)
    g = t.with_geometry(arr)
    assert g.topology.geometry.tolist() == arr.astype(np.float32).tolist()
    assert t.with_geometry(arr[::-1]).topology.geometry.tolist() == arr[::-1].astype(np.float32).tolist()
    assert t.with_geometry(np.asfortranarray(arr)).topology.geometry.tolist() == arr.astype(np.float32).tolist()
    assert t.with_geometry(t.topology.geometry + 1).to_dict()["topology"]["geometry"] == [
        v + 1 for v in t.to_dict()["topology"]["geometry"]]


@pytest.mark.parametrize("geometry, error, text", [
    ([[0, 0, 0]], ValueError, "geometry has 1 positions but TRC has 2 atoms"),
    ([[0, 0, 0]] * 3, ValueError, "geometry has 3 positions but TRC has 2 atoms"),
    ([[0, 0], [0, 0]], ValueError, "expected a sequence of length 3 (got 2)"),
    (np.zeros((2, 2), np.float32), ValueError, "expected a sequence of length 3 (got 2)"),
    (np.zeros((3, 3), np.float32), ValueError, "geometry has 3 positions but TRC has 2 atoms"),
    ("abc", TypeError, "argument 'geometry': Can't extract `str` to `Vec`"),
    ([[0, 0, 0], "abc"], TypeError, "argument 'geometry': "),
    ([[0, 0, 0], [0, 0, "x"]], TypeError, "argument 'geometry': "),
    (None, TypeError, "argument 'geometry': "),
])
def test_with_geometry_failures(geometry, error, text):
    t = make(residues=[[0, 1]])
    with pytest.raises(error) as info:
        t.with_geometry(geometry)
    assert str(info.value).startswith(text)


# ================================================================ with_fragments

def test_with_fragments_sums_charges():
    t = make(residues=[[0, 1, 2]], formal_charges=[1, 0, -1], partial_charges=[0.5, 0.25, -1.0],
             fragments=[[0, 1, 2]], fragment_multiplicities=[3], fragment_formal_charges=[0])
    w = t.with_fragments([[0, 1], [2]])
    d = w.to_dict()["topology"]
    assert d["fragments"] == [[0, 1], [2]]
    assert d["fragment_formal_charges"] == [1, -1]
    assert d["fragment_partial_charges"] == [0.75, -1.0]
    assert "fragment_multiplicities" not in d
    w.check()


def test_with_fragments_without_per_atom_charges_and_with_empty_fragments():
    t = make(residues=[[0, 1, 2]], fragment_formal_charges=[5], fragments=[[0, 1, 2]])
    d = t.with_fragments([[2, 0], [], [1]]).to_dict()["topology"]
    assert d["fragments"] == [[2, 0], [], [1]]
    assert "fragment_formal_charges" not in d and "fragment_partial_charges" not in d
    t = make(residues=[[0, 1, 2]], partial_charges=[1.0, 2.0, 3.0])
    d = t.with_fragments([[], [0, 1, 2]]).to_dict()["topology"]
    assert d["fragment_partial_charges"] == [-0.0, 6.0]
    assert math.copysign(1.0, d["fragment_partial_charges"][0]) == -1.0


@pytest.mark.parametrize("fragments, error, text", [
    ([[0, 1]], ValueError, "atom 2 is not in any fragment"),
    ([[0, 1], [1, 2]], ValueError, "atom 1 appears in multiple fragments"),
    ([[0, 0, 1, 2]], ValueError, "atom 0 appears in multiple fragments"),
    ([[0, 5]], ValueError, "fragment 0 contains atom 5, but there are only 3 atoms"),
    ([[0, 1], [2, 9, 9]], ValueError, "fragment 1 contains atom 9, but there are only 3 atoms"),
    ([[1], [1, 7]], ValueError, "atom 1 appears in multiple fragments"),  # the first problem wins
    ([], ValueError, "atom 0 is not in any fragment"),
    ([[-1]], OverflowError, None),
    ("ab", TypeError, "argument 'fragments': "),
    ([["a"]], TypeError, "argument 'fragments': "),
])
def test_with_fragments_failures(fragments, error, text):
    t = make(residues=[[0, 1, 2]], formal_charges=[1, 0, -1])
    with pytest.raises(error) as info:
        t.with_fragments(fragments)
    if text:
        assert str(info.value) == text or str(info.value).startswith(text)


def test_with_fragments_sum_wraps():
    t = make(residues=[[0, 1]], formal_charges=[-2**31, -1])
    assert t.with_fragments([[0, 1]]).to_dict()["topology"]["fragment_formal_charges"] == [2**31 - 1]


def test_near_signature_and_keywords():
    f = z.Topology.get_fragments_near_fragment
    assert f.__text_signature__ == "($self, frag_idx, threshold)"
    t = fragments_trc([[0, 0, 0], [1, 0, 0]], [[0], [1]])
    assert t.topology.get_fragments_near_fragment(threshold=1.0, frag_idx=1) == [0]
    with pytest.raises(TypeError, match=r"missing 1 required positional argument: 'threshold'"):
        t.topology.get_fragments_near_fragment(0)
    with pytest.raises(TypeError):
        z.Topology.get_fragments_near_fragment(t, 0, 1.0)


@pytest.mark.parametrize("mine, theirs, expected", [
    # self without fragments: its (empty) per-fragment list gets nothing
    ({"fragment_formal_charges": []}, {"fragments": [[0, 1]], "fragment_formal_charges": [3]},
     {"fragment_formal_charges": []}),
    # other without fragments but with an empty list of its own: one entry for its one new fragment
    ({"fragments": [[0]], "fragment_formal_charges": [1]}, {"fragment_formal_charges": [], "formal_charges": [1, 1]},
     {"fragments": [[0], [1, 2]], "fragment_formal_charges": [1, 2]}),
    ({"fragments": [[0]], "fragment_partial_charges": [1.0], "fragment_multiplicities": [2]},
     {"fragments": [[1], [0]], "partial_charges": [0.5, 0.25]},
     {"fragments": [[0], [2], [1]], "fragment_partial_charges": [1.0, 0.25, 0.5],
      "fragment_multiplicities": [2, 0, 0]}),
])
def test_extend_per_fragment_lists_follow_the_appended_fragments(mine, theirs, expected):
    a = make(residues=[[0]], **mine)
    b = make(residues=[[0, 1]], **theirs)
    a.check()
    b.check()
    m = a.extend(b)
    d = m.to_dict()["topology"]
    for key, value in expected.items():
        assert d[key] == value
    m.check()


def test_near_has_a_typed_stub_entry():
    from pathlib import Path

    stub = Path(z.__file__).with_name("libzyk.pyi")
    if not stub.exists():
        pytest.skip("built without stubs")
    assert "def get_fragments_near_fragment(self, frag_idx: int, threshold: float) -> list[int]:" in stub.read_text()
