"""Records that fail check (built with from_dict) handed to every editing operation: each one
either works or raises ValueError, and never reads outside the record."""

import copy

import libzyk
import pickle

import pytest

from libzyk import TRC


def valid():
    return {
        "topology": {
            "schema_version": "0.2.0",
            "symbols": ["C", "C", "O", "N", "H"],
            "geometry": [0.0, 0.0, 0.0, 1.5, 0.0, 0.0, 3.0, 0.0, 0.0, 4.5, 0.0, 0.0, 9.0, 0.0, 0.0],
            "labels": ["C1", "C2", "O", "N", "H"],
            "partial_charges": [0.1, 0.2, -0.3, 0.0, 0.0],
            "formal_charges": [0, 0, -1, 1, 0],
            "connectivity": [(0, 1, 1), (1, 2, 2), (2, 3, 1)],
            "stereochemistry": [0, 1, -1],
            "velocities": [0.0] * 15,
            "fragments": [[0, 1, 2], [3], [4]],
            "fragment_formal_charges": [-1, 1, 0],
            "fragment_partial_charges": [0.0, 0.0, 0.0],
            "fragment_multiplicities": [1, 1, 2],
        },
        "residues": {
            "residues": [[0, 1], [2, 3], [4]],
            "seqs": ["ALA", "GLY", "HOH"],
            "seq_ns": [1, 2, 3],
            "insertion_codes": ["", "", ""],
            "labeled": [0, 2],
            "labels": [["x"], ["y"]],
        },
        "chains": {
            "chains": [[0, 1], [2]],
            "alpha_helices": {"helix_ids": ["H"], "chain_refs": [0], "start_residues": [0], "end_residues": [1],
                              "classes": [None], "lengths": [2]},
            "beta_sheets": {"sheet_ids": ["S"], "strand_ids": ["1"], "strand_ordinals": [None], "num_strands": [1],
                            "chain_refs": [1], "start_residues": [2], "end_residues": [2], "senses": ["First"]},
            "labeled": [1],
            "labels": [["W"]],
        },
    }


def mutate(path, value):
    def apply(d):
        target = d
        for key in path[:-1]:
            target = target[key]
        if value is DELETE:
            del target[path[-1]]
        else:
            target[path[-1]] = value
    return apply


DELETE = object()
T, R, CH = "topology", "residues", "chains"
HELIX = (CH, "alpha_helices")
SHEET = (CH, "beta_sheets")

HOSTILE = {
    "residue atom out of range": mutate((R, "residues"), [[0, 1], [2, 99], [4]]),
    "residue atom at 2**32-1": mutate((R, "residues"), [[0, 1], [2, 3], [4294967295]]),
    "residue atoms repeated": mutate((R, "residues"), [[0, 1], [1, 2, 3], [4, 4]]),
    "no residues": mutate((R, "residues"), []),
    "chain residue out of range": mutate((CH, "chains"), [[0, 1, 77], [2]]),
    "no chains": mutate((CH, "chains"), []),
    "residue in two chains": mutate((CH, "chains"), [[0, 1, 2], [2, 2]]),
    "fragment atom out of range": mutate((T, "fragments"), [[0, 1, 2], [3, 99], [4]]),
    "query fragment atom out of range": mutate((T, "fragments"), [[99, 0], [1, 2, 3], [4]]),
    "fragments overlap": mutate((T, "fragments"), [[0, 1, 2], [2, 3], [4, 0]]),
    "fragments empty": mutate((T, "fragments"), []),
    "fragment charges short": mutate((T, "fragment_formal_charges"), [1]),
    "fragment partial charges long": mutate((T, "fragment_partial_charges"), [0.0] * 7),
    "fragment multiplicities short": mutate((T, "fragment_multiplicities"), []),
    "fragment lists without fragments": mutate((T, "fragments"), DELETE),
    "bond out of range": mutate((T, "connectivity"), [(0, 1, 1), (1, 99, 2), (4294967295, 3, 1)]),
    "bond to itself": mutate((T, "connectivity"), [(0, 0, 1), (1, 2, 2), (2, 3, 1)]),
    "stereochemistry short": mutate((T, "stereochemistry"), [1]),
    "stereochemistry long": mutate((T, "stereochemistry"), [1, 1, 1, 1, 1, 1]),
    "stereochemistry without bonds": mutate((T, "connectivity"), DELETE),
    "labels short": mutate((T, "labels"), ["a"]),
    "labels long": mutate((T, "labels"), ["a"] * 9),
    "formal charges short": mutate((T, "formal_charges"), [1]),
    "formal charges long": mutate((T, "formal_charges"), [1] * 9),
    "partial charges short": mutate((T, "partial_charges"), []),
    "velocities short": mutate((T, "velocities"), [1.0, 2.0]),
    "velocities long": mutate((T, "velocities"), [1.0] * 40),
    "seqs short": mutate((R, "seqs"), ["ALA"]),
    "seq_ns short": mutate((R, "seq_ns"), []),
    "insertion codes short": mutate((R, "insertion_codes"), [""]),
    "residue labeled without labels": mutate((R, "labels"), DELETE),
    "residue labels without labeled": mutate((R, "labeled"), DELETE),
    "residue labels short": mutate((R, "labels"), [["x"]]),
    "residue labeled out of range": mutate((R, "labeled"), [0, 4294967295]),
    "chain labeled without labels": mutate((CH, "labels"), DELETE),
    "chain labels without labeled": mutate((CH, "labeled"), DELETE),
    "chain labels short": mutate((CH, "labels"), []),
    "chain labeled out of range": mutate((CH, "labeled"), [99]),
    "helix lists of different lengths": mutate(HELIX + ("lengths",), [2, 3, 4]),
    "helix lists empty but one": mutate(HELIX + ("helix_ids",), []),
    "helix chain out of range": mutate(HELIX + ("chain_refs",), [99]),
    "helix residues out of range": mutate(HELIX + ("end_residues",), [4294967295]),
    "strand lists of different lengths": mutate(SHEET + ("senses",), []),
    "strand chain out of range": mutate(SHEET + ("chain_refs",), [4294967295]),
    "nan coordinates": mutate((T, "geometry"), [float("nan")] * 15),
    "infinite coordinates": mutate((T, "geometry"), [float("inf"), 0.0, 0.0] * 5),
}


def operations(t, good):
    n, r = t.num_atoms, t.num_residues
    return {
        "check": lambda: t.check(),
        "subset all": lambda: t.subset_by_residues(list(range(r))),
        "subset first": lambda: t.subset_by_residues([0] if r else []),
        "subset repeated": lambda: t.subset_by_residues([r - 1, 0, r - 1] if r else []),
        "subset none": lambda: t.subset_by_residues([]),
        "extend self": lambda: t.extend(t),
        "extend good": lambda: t.extend(good),
        "good extend": lambda: good.extend(t),
        "with_geometry": lambda: t.with_geometry(t.topology.geometry),
        "with_fragments": lambda: t.with_fragments([list(range(n))]),
        "near 0": lambda: t.topology.get_fragments_near_fragment(0, 5.0),
        "near 1 far": lambda: t.topology.get_fragments_near_fragment(1, 1e9),
        "near last inf": lambda: t.topology.get_fragments_near_fragment(2, float("inf")),
        "round trip": lambda: TRC.from_dict(t.to_dict()),
        "pickle": lambda: pickle.loads(pickle.dumps(t)),
        "deepcopy": lambda: copy.deepcopy(t),
    }


OPERATION_NAMES = [
    "check", "subset all", "subset first", "subset repeated", "subset none", "extend self", "extend good",
    "good extend", "with_geometry", "with_fragments", "near 0", "near 1 far", "near last inf", "round trip",
    "pickle", "deepcopy"]


def test_the_base_record_is_valid():
    TRC.from_dict(valid()).check()


@pytest.mark.parametrize("case", list(HOSTILE))
def test_hostile_record_every_operation(case):
    d = valid()
    HOSTILE[case](d)
    t = TRC.from_dict(d)
    good = TRC.from_dict(valid())
    ops = operations(t, good)
    assert list(ops) == OPERATION_NAMES
    outcomes = {}
    for name, op in ops.items():
        try:
            result = op()
        except ValueError as e:
            outcomes[name] = str(e)
            assert str(e), (case, name)
            continue
        outcomes[name] = "ok"
        if isinstance(result, TRC):
            result.to_dict()  # the result is a readable record
    if case in {"fragment atom out of range", "query fragment atom out of range"}:
        assert outcomes["check"] == "invalid fragments"
    # the round trip of the dict form is exact whatever the record (repr: NaN != NaN)
    assert repr(TRC.from_dict(t.to_dict()).to_dict()) == repr(t.to_dict())


@pytest.mark.parametrize("case, op, message", [
    ("residue atom out of range", "subset all", "residue 1 contains atom 99, but there are only 5 atoms"),
    ("residue atom out of range", "subset first", "ok"),
    ("labels short", "subset first", "labels length does not match symbols length: 1 != 5"),
    ("velocities short", "subset first", "velocities length does not match symbols length: 2 != 5"),
    ("stereochemistry short", "subset first", "stereochemistry length does not match connectivity length: 1 != 3"),
    ("fragment charges short", "subset first",
     "fragment formal charges length does not match fragment length: 1 != 3"),
    ("seqs short", "subset first", "seqs and residues have different lengths (1 != 3)"),
    ("residue labeled without labels", "subset first", "labels are missing"),
    ("residue labels short", "subset first", "labeled and labels have different lengths (2 != 1)"),
    ("chain labeled without labels", "subset first", "labels are missing"),
    ("chain labels short", "subset first", "labeled and labels have different lengths"),
    ("residue labels short", "extend good", "labeled and labels have different lengths (2 != 1)"),
    ("chain labels short", "good extend", "labeled and labels have different lengths"),
    ("query fragment atom out of range", "near 0", "invalid fragments"),
    ("fragment atom out of range", "near 0", "ok"),
    ("formal charges short", "with_fragments", "formal charges length does not match symbols length: 1 != 5"),
    ("partial charges short", "with_fragments", "partial charges length does not match symbols length: 0 != 5"),
    ("chain residue out of range", "subset all", "ok"),
    ("helix lists of different lengths", "subset all", "ok"),
    ("no chains", "subset all", "ok"),
])
def test_hostile_outcomes(case, op, message):
    d = valid()
    HOSTILE[case](d)
    t = TRC.from_dict(d)
    try:
        operations(t, TRC.from_dict(valid()))[op]()
        outcome = "ok"
    except ValueError as e:
        outcome = str(e)
    assert outcome == message


def test_hostile_subset_results_are_well_formed():
    d = valid()
    HOSTILE["chain residue out of range"](d)
    assert TRC.from_dict(d).subset_by_residues([2, 0]).to_dict()["chains"]["chains"] == [[0], [1]]
    d = valid()
    HOSTILE["helix lists of different lengths"](d)
    out = TRC.from_dict(d).subset_by_residues([0, 1, 2]).to_dict()["chains"]["alpha_helices"]
    assert out["lengths"] == [2] and out["helix_ids"] == ["H"]


def test_fragment_query_on_an_uninitialised_topology_raises():
    blank = libzyk.Topology.__new__(libzyk.Topology)
    with pytest.raises(TypeError, match="not initialised"):
        blank.get_fragments_near_fragment(0, 1.0)
