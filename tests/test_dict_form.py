"""The dictionary form: what to_dict writes, what from_dict accepts, its messages, pickling."""

import copy
import math
import pickle
import pickletools
import types
from collections import OrderedDict

import pytest

import libzyk as z
from libzyk import TRC, Element

SYMBOLS = (
    "X H He Li Be B C N O F Ne Na Mg Al Si P S Cl Ar K Ca Sc Ti V Cr Mn Fe Co Ni Cu Zn Ga Ge As Se Br Kr "
    "Rb Sr Y Zr Nb Mo Tc Ru Rh Pd Ag Cd In Sn Sb Te I Xe Cs Ba La Ce Pr Nd Pm Sm Eu Gd Tb Dy Ho Er Tm Yb Lu "
    "Hf Ta W Re Os Ir Pt Au Hg Tl Pb Bi Po At Rn Fr Ra Ac Th Pa U Np Pu Am Cm Bk Cf Es Fm Md No Lr Rf Db Sg "
    "Bh Hs Mt Ds Rg Cn Nh Fl Mc Lv Ts Og"
).split()

HELIX_CLASSES = [
    "RightHandedAlpha", "RightHandedOmega", "RightHandedPi", "RightHandedGamma", "RightHanded",
    "LeftHandedAlpha", "LeftHandedOmega", "LeftHandedGamma", "Ribbon27", "Polyproline",
]


def rich_dict():
    """A TRC dict with every optional field present, None entries in the helix and strand
    tables, labels on residues and chains, and values that need the full float32 widening."""
    return {
        "topology": {
            "schema_version": "1.4.2-rc.1+build.7",
            "symbols": ["C", "O", "N", "H", "Fe"],
            "geometry": [0.1, 0.2, 0.3, 1.0, 2.0, 3.0, -1.5, 2.25, 1e-30, 3.4028234663852886e38, -0.0, 7.0,
                         0.0, 0.0, 0.0],
            "labels": ["CA", "O", "N", "", "FE1"],
            "partial_charges": [0.1, -0.4, 0.3, 0.0, 2.0],
            "formal_charges": [0, -1, 1, 0, 2],
            "connectivity": [(0, 1, 2), (0, 2, 254), (2, 3, 1), (3, 4, 255)],
            "stereochemistry": [0, 1, -1, 3],
            "velocities": [0.5] * 15,
            "fragments": [[0, 1, 2, 3], [4]],
            "fragment_formal_charges": [0, 2],
            "fragment_partial_charges": [0.0, 2.0],
            "fragment_multiplicities": [1, 5],
        },
        "residues": {
            "residues": [[0, 1], [2, 3], [4]],
            "seqs": ["ALA", "GLY", "HEM"],
            "seq_ns": [-3, 2, 2147483647],
            "insertion_codes": ["", "A", "~"],
            "labeled": [0, 2],
            "labels": [["a", "b"], []],
        },
        "chains": {
            "chains": [[0, 1], [2]],
            "alpha_helices": {
                "helix_ids": ["H1", "H2"],
                "chain_refs": [0, 0],
                "start_residues": [0, 1],
                "end_residues": [1, 1],
                "classes": ["Ribbon27", None],
                "lengths": [None, 4294967295],
            },
            "beta_sheets": {
                "sheet_ids": ["S1", "S1"],
                "strand_ids": ["1", "2"],
                "strand_ordinals": [1, None],
                "num_strands": [None, 2],
                "chain_refs": [0, 1],
                "start_residues": [0, 2],
                "end_residues": [1, 2],
                "senses": ["First", None],
            },
            "labeled": [1],
            "labels": [["ligand"]],
        },
    }


def widened(values):
    """Python floats as the 32-bit values they are stored as."""
    import numpy as np

    return [float(np.float32(v)) for v in values]


def test_minimal_trc_written_form():
    assert TRC([Element.H], [[1.0, 2.0, 3.0]]).to_dict() == {
        "topology": {"schema_version": "0.2.0", "symbols": ["H"], "geometry": [1.0, 2.0, 3.0]},
        "residues": {"residues": [[0]], "seqs": ["UNK"], "seq_ns": [1], "insertion_codes": ["~"]},
        "chains": {"chains": [[0]]},
    }


def test_written_form_of_every_field_with_key_order():
    d = TRC.from_dict(rich_dict()).to_dict()
    assert list(d) == ["topology", "residues", "chains"]
    assert list(d["topology"]) == [
        "schema_version", "symbols", "geometry", "labels", "partial_charges", "formal_charges", "connectivity",
        "stereochemistry", "velocities", "fragments", "fragment_formal_charges", "fragment_partial_charges",
        "fragment_multiplicities",
    ]
    assert list(d["residues"]) == ["residues", "seqs", "seq_ns", "insertion_codes", "labeled", "labels"]
    assert list(d["chains"]) == ["chains", "alpha_helices", "beta_sheets", "labeled", "labels"]
    assert list(d["chains"]["alpha_helices"]) == [
        "helix_ids", "chain_refs", "start_residues", "end_residues", "classes", "lengths"]
    assert list(d["chains"]["beta_sheets"]) == [
        "sheet_ids", "strand_ids", "strand_ordinals", "num_strands", "chain_refs", "start_residues", "end_residues",
        "senses"]

    src = rich_dict()
    top = d["topology"]
    assert top["schema_version"] == "1.4.2-rc.1+build.7"
    assert top["symbols"] == ["C", "O", "N", "H", "Fe"]
    assert top["geometry"] == widened(src["topology"]["geometry"])
    assert math.copysign(1.0, top["geometry"][10]) == -1.0
    assert top["connectivity"] == [(0, 1, 2), (0, 2, 254), (2, 3, 1), (3, 4, 255)]
    assert all(type(b) is tuple for b in top["connectivity"])
    assert top["stereochemistry"] == [0, 1, -1, 3]
    assert top["partial_charges"] == widened(src["topology"]["partial_charges"])
    assert top["fragments"] == [[0, 1, 2, 3], [4]]
    assert top["fragment_multiplicities"] == [1, 5]
    assert d["residues"]["labels"] == [["a", "b"], []]
    assert d["chains"]["alpha_helices"]["classes"] == ["Ribbon27", None]
    assert d["chains"]["alpha_helices"]["lengths"] == [None, 4294967295]
    assert d["chains"]["beta_sheets"]["senses"] == ["First", None]
    assert d["chains"]["beta_sheets"]["strand_ordinals"] == [1, None]


def test_float32_value_is_widened_exactly():
    d = TRC([Element.H], [[0.1, 0.0, 0.0]]).to_dict()
    assert d["topology"]["geometry"][0] == 0.10000000149011612


@pytest.mark.parametrize("cls, part", [(TRC, None), (z.Topology, "topology"), (z.Residues, "residues"),
                                       (z.Chains, "chains")])
def test_round_trip_of_a_rich_record(cls, part):
    data = rich_dict() if part is None else rich_dict()[part]
    first = cls.from_dict(data).to_dict()
    again = cls.from_dict(first).to_dict()
    assert again == first
    # and the written form equals the input, up to float32 widening and tuple bonds
    if part == "residues":
        assert first == data
    if part == "chains":
        assert first == data


def test_present_but_empty_lists_stay_distinct_from_absent():
    d = {
        "topology": {"schema_version": "0.2.0", "symbols": [], "geometry": [], "labels": [], "partial_charges": [],
                     "formal_charges": [], "connectivity": [], "stereochemistry": [], "velocities": [],
                     "fragments": [], "fragment_formal_charges": [], "fragment_partial_charges": [],
                     "fragment_multiplicities": []},
        "residues": {"residues": [], "seqs": [], "seq_ns": [], "insertion_codes": [], "labeled": [], "labels": []},
        "chains": {"chains": [], "alpha_helices": {k: [] for k in ["helix_ids", "chain_refs", "start_residues",
                                                                    "end_residues", "classes", "lengths"]},
                   "labeled": [], "labels": []},
    }
    assert TRC.from_dict(d).to_dict() == d
    bare = TRC.from_dict({"topology": {"schema_version": "0.2.0", "symbols": [], "geometry": []},
                          "residues": {"residues": [], "seqs": [], "seq_ns": [], "insertion_codes": []},
                          "chains": {"chains": []}}).to_dict()
    assert list(bare["topology"]) == ["schema_version", "symbols", "geometry"]
    assert list(bare["residues"]) == ["residues", "seqs", "seq_ns", "insertion_codes"]
    assert list(bare["chains"]) == ["chains"]


def test_none_is_the_same_as_absent():
    d = rich_dict()
    for key in list(d["topology"])[3:]:
        d["topology"][key] = None
    d["residues"]["labeled"] = None
    d["residues"]["labels"] = None
    d["chains"].update(alpha_helices=None, beta_sheets=None, labeled=None, labels=None)
    out = TRC.from_dict(d).to_dict()
    assert list(out["topology"]) == ["schema_version", "symbols", "geometry"]
    assert list(out["residues"]) == ["residues", "seqs", "seq_ns", "insertion_codes"]
    assert list(out["chains"]) == ["chains"]
    assert TRC.from_dict(d).topology.formal_charges is None


def test_views_show_what_was_read():
    t = TRC.from_dict(rich_dict())
    assert t.topology.symbols == [Element.C, Element.O, Element.N, Element.H, Element.Fe]
    assert t.topology.stereochemistry == [z.Stereochemistry.NONE, z.Stereochemistry.Up, z.Stereochemistry.Down,
                                          z.Stereochemistry.CisOrTrans]
    assert [b.order for b in t.topology.connectivity] == [z.BondOrder.Double, z.BondOrder.OneAndAHalf,
                                                         z.BondOrder.Single, z.BondOrder.Ring]
    assert t.chains.alpha_helices.classes == [z.HelixClass.Ribbon27, None]
    assert t.chains.beta_sheets.senses == [z.StrandSense.First, None]
    assert t.topology.schema_version == "1.4.2-rc.1+build.7"


def test_other_sequences_sets_and_mappings_are_accepted():
    d = rich_dict()
    d["topology"]["symbols"] = tuple(d["topology"]["symbols"])
    d["topology"]["fragments"] = [{0, 1, 2, 3}, (4,)]
    d["topology"]["connectivity"] = [[0, 1, 2], (0, 2, 254), [2, 3, 1], (3, 4, 255)]
    d["residues"]["seqs"] = range_like = ("ALA", "GLY", "HEM")
    d["chains"] = types.MappingProxyType(d["chains"])
    d["residues"] = OrderedDict(d["residues"])
    out = TRC.from_dict(d).to_dict()
    assert out["topology"]["fragments"] == [[0, 1, 2, 3], [4]]
    assert out["residues"]["seqs"] == list(range_like)
    assert out == TRC.from_dict(rich_dict()).to_dict()


def test_unknown_keys_are_ignored_and_ints_are_accepted_for_floats():
    d = rich_dict()
    d["comment"] = "x"
    d["topology"]["comment"] = {"anything": object()}
    d["topology"]["geometry"] = [0] * 15
    assert TRC.from_dict(d).to_dict()["topology"]["geometry"] == [0.0] * 15


@pytest.mark.parametrize("text, element", [
    ("He", Element.He), ("HE", Element.He), ("he", Element.He), ("H", Element.H), ("h", Element.H),
    ("x", Element.X), ("X", Element.X), ("og", Element.Og), ({"Cl": None}, Element.Cl), ({"cl": 5}, Element.Cl),
])
def test_element_spellings_accepted(text, element):
    d = {"schema_version": "0.2.0", "symbols": [text], "geometry": [0, 0, 0]}
    assert z.Topology.from_dict(d).symbols == [element]


def element_forms():
    forms = []
    for s in SYMBOLS:
        forms += [s, s.lower()] if len(s) == 1 else [s.upper(), s, s.lower()]
    return forms


@pytest.mark.parametrize("text", ["hE", "D", "Xx", "", "Hee", "CA ", "Zz"])
def test_element_unknown_variant_lists_all_342_forms(text):
    forms = element_forms()
    assert len(forms) == 342
    expected = f"failed to deserialize Topology: unknown variant `{text}`, expected one of " + ", ".join(
        f"`{f}`" for f in forms)
    with pytest.raises(ValueError) as info:
        z.Topology.from_dict({"schema_version": "0.2.0", "symbols": [text], "geometry": [0, 0, 0]})
    assert str(info.value) == expected


def chains_with(helices=None, sheets=None):
    d = rich_dict()["chains"]
    if helices:
        d["alpha_helices"].update(helices)
    if sheets:
        d["beta_sheets"].update(sheets)
    return d


def test_helix_class_and_strand_sense_names():
    c = z.Chains.from_dict(chains_with({"classes": [{"Polyproline": 1}, "RightHanded"]}))
    assert c.alpha_helices.classes == [z.HelixClass.Polyproline, z.HelixClass.RightHanded]
    listed = ", ".join(f"`{n}`" for n in HELIX_CLASSES)
    with pytest.raises(ValueError) as info:
        z.Chains.from_dict(chains_with({"classes": ["righthandedalpha", None]}))
    assert str(info.value) == ("failed to deserialize Chains: unknown variant `righthandedalpha`, expected one of "
                               + listed)
    with pytest.raises(ValueError) as info:
        z.Chains.from_dict(chains_with(sheets={"senses": ["Anti", None]}))
    assert str(info.value) == ("failed to deserialize Chains: unknown variant `Anti`, expected one of "
                               "`First`, `Parallel`, `AntiParallel`")


def topo(**fields):
    d = {"schema_version": "0.2.0", "symbols": ["C", "C"], "geometry": [0.0] * 6}
    d.update(fields)
    return d


@pytest.mark.parametrize("fields, reason", [
    ({"connectivity": [[0, 1]]}, "invalid length 2, expected tuple struct Bond with 3 elements"),
    ({"connectivity": [(0, 1, 1, 1)]}, "invalid length 4, expected tuple struct Bond with 3 elements"),
    ({"connectivity": [()]}, "invalid length 0, expected tuple struct Bond with 3 elements"),
    ({"connectivity": [(0, 1, 7)]},
     "invalid value: 7, expected one of: 0, 1, 2, 3, 4, 5, 6, 250, 251, 252, 253, 254, 255"),
    ({"connectivity": [(0, 1, 249)]},
     "invalid value: 249, expected one of: 0, 1, 2, 3, 4, 5, 6, 250, 251, 252, 253, 254, 255"),
    ({"connectivity": [(0, 1, -1)]}, "out of range integral type conversion attempted"),
    ({"connectivity": [(0, 1, 256)]}, "out of range integral type conversion attempted"),
    ({"connectivity": [(-1, 1, 1)]}, "out of range integral type conversion attempted"),
    ({"connectivity": [(0, 1, 1)], "stereochemistry": [4]}, "invalid value: 4, expected one of: 0, 1, -1, 2, 3"),
    ({"connectivity": [(0, 1, 1)], "stereochemistry": [-2]}, "invalid value: -2, expected one of: 0, 1, -1, 2, 3"),
    ({"connectivity": [(0, 1, 1)], "stereochemistry": [255]}, "out of range integral type conversion attempted"),
    ({"formal_charges": [2**31, 0]}, "out of range integral type conversion attempted"),
    ({"fragment_multiplicities": [256]}, "out of range integral type conversion attempted"),
    ({"fragments": [[4294967296]]}, "out of range integral type conversion attempted"),
    ({"schema_version": "0.2"}, None),
    ({"schema_version": "01.2.0"}, None),
])
def test_value_failures(fields, reason):
    with pytest.raises(ValueError) as info:
        z.Topology.from_dict(topo(**fields))
    text = str(info.value)
    assert text.startswith("failed to deserialize Topology: ")
    if reason is not None:
        assert text == "failed to deserialize Topology: " + reason
    else:
        assert len(text) > len("failed to deserialize Topology: ")


def test_bond_order_and_stereochemistry_extremes_are_accepted():
    t = z.Topology.from_dict(topo(connectivity=[(0, 1, 255), (1, 0, 0)], stereochemistry=[-1, 2]))
    assert t.connectivity[0].order == z.BondOrder.Ring
    assert t.stereochemistry == [z.Stereochemistry.Down, z.Stereochemistry.Either]


@pytest.mark.parametrize("fields", [
    {"formal_charges": [1.5, 0]},
    {"geometry": ["0"] * 6},
    {"symbols": [6, 6]},
    {"labels": [1, 2]},
    {"labels": "ab"},
    {"geometry": None},
    {"connectivity": [5]},
    {"fragments": 3},
])
def test_wrong_python_types_are_value_errors_with_the_prefix(fields):
    with pytest.raises(ValueError, match="^failed to deserialize Topology: "):
        z.Topology.from_dict(topo(**fields))


@pytest.mark.parametrize("cls, data, missing", [
    (z.Topology, {"schema_version": "0.2.0", "symbols": []}, "geometry"),
    (z.Topology, {}, "schema_version"),
    (z.Topology, {"geometry": [], "symbols": []}, "schema_version"),
    (z.Residues, {"residues": [], "seqs": [], "insertion_codes": []}, "seq_ns"),
    (z.Chains, {"labeled": None}, "chains"),
    (TRC, {"topology": {"schema_version": "0.2.0", "symbols": [], "geometry": []}, "chains": {"chains": []}},
     "residues"),
    (TRC, {"topology": {"symbols": [], "geometry": []}}, "schema_version"),
    (z.Chains, {"chains": [], "alpha_helices": {"helix_ids": [], "chain_refs": [], "start_residues": [],
                                                 "end_residues": [], "classes": []}}, "lengths"),
    (z.Chains, {"chains": [], "beta_sheets": {"sheet_ids": []}}, "strand_ids"),
])
def test_missing_fields(cls, data, missing):
    with pytest.raises(ValueError) as info:
        cls.from_dict(data)
    assert str(info.value) == f"failed to deserialize {cls.__name__}: missing field `{missing}`"


def test_the_geometry_message_of_the_spec_example():
    with pytest.raises(ValueError) as info:
        z.Topology.from_dict({"schema_version": "0.2.0", "symbols": []})
    assert str(info.value) == "failed to deserialize Topology: missing field `geometry`"


@pytest.mark.parametrize("data", [[], "x", 3, None, [("schema_version", "0.2.0")]])
def test_a_record_must_be_a_mapping(data):
    with pytest.raises(ValueError, match="^failed to deserialize TRC: "):
        TRC.from_dict(data)


def test_keys_must_be_str():
    with pytest.raises(ValueError, match="^failed to deserialize Residues: "):
        z.Residues.from_dict({"residues": [], "seqs": [], "seq_ns": [], "insertion_codes": [], 1: 2})


def test_geometry_shape_failure_comes_from_the_view_without_prefix():
    d = rich_dict()
    d["topology"]["symbols"] = ["C", "C"]
    d["topology"]["geometry"] = [0.0, 1.0, 2.0]
    with pytest.raises(ValueError) as info:
        TRC.from_dict(d)
    assert str(info.value).startswith("bad geometry shape: ")
    with pytest.raises(ValueError, match="^bad geometry shape: "):
        z.Topology.from_dict(d["topology"])


def test_from_dict_does_not_validate():
    d = rich_dict()
    d["residues"]["residues"] = [[0, 1]]
    t = TRC.from_dict(d)
    with pytest.raises(ValueError):
        t.check()


def test_strings_that_are_not_utf8_survive_the_round_trip():
    # "\udcc3" is how a lone byte 0xC3 (half a UTF-8 character) is written
    d = rich_dict()
    d["topology"]["labels"] = ["\udcc3", "é", "\udcff\udc80", "", "x"]
    assert TRC.from_dict(d).to_dict()["topology"]["labels"] == ["\udcc3", "é", "\udcff\udc80", "", "x"]
    d["topology"]["labels"][0] = "\ud800"  # a surrogate that stands for no byte
    with pytest.raises(ValueError, match="^failed to deserialize TRC: "):
        TRC.from_dict(d)


# ---------------------------------------------------------------- pickling and copying

def objects():
    t = TRC.from_dict(rich_dict())
    return [t, t.topology, t.residues, t.chains, TRC([], [])]


@pytest.mark.parametrize("index", range(5))
def test_pickle_round_trip(index):
    obj = objects()[index]
    for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
        back = pickle.loads(pickle.dumps(obj, protocol))
        assert type(back) is type(obj)
        assert back.to_dict() == obj.to_dict()


@pytest.mark.parametrize("index", range(5))
def test_deepcopy_and_copy(index):
    obj = objects()[index]
    for clone in (copy.deepcopy(obj), copy.copy(obj)):
        assert type(clone) is type(obj)
        assert clone is not obj
        assert clone.to_dict() == obj.to_dict()


@pytest.mark.parametrize("index", range(4))
def test_pickled_payload_is_plain_python_values(index):
    obj = objects()[index]
    fn, args = obj.__reduce__()
    assert fn.__self__ is type(obj) and fn.__name__ == "from_dict"
    assert args == (obj.to_dict(),)
    assert fn(*args).to_dict() == obj.to_dict()
    ops = list(pickletools.genops(pickle.dumps(obj, 4)))
    strings = [arg for op, arg, _ in ops if op.name in ("SHORT_BINUNICODE", "BINUNICODE")]
    # exactly two globals, builtins.getattr and the class; everything else is plain data
    assert sum(1 for op, _, _ in ops if op.name in ("STACK_GLOBAL", "GLOBAL")) == 2
    assert {"builtins", "getattr", "libzyk", type(obj).__name__, "from_dict"} <= set(strings)
