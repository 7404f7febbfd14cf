"""The TRC class: construction from Python values, the views, validation."""

import numpy as np
import pytest

from libzyk import BondOrder, Element, Stereochemistry, TRC

C, H, O, N = Element.C, Element.H, Element.O, Element.N


@pytest.fixture
def water():
    return TRC([O, H, H], [[0, 0, 0], [0.9572, 0, 0], [-0.24, 0.9266, 0]], labels=["O", "H1", "H2"],
               connectivity=[(0, 1, 1), (0, 2, 1)], formal_charges=[0, 0, 0], partial_charges=[-0.8, 0.4, 0.4],
               residue_seqs=["HOH"])


def test_defaults_of_a_bare_structure():
    t = TRC([H, H], [[0, 0, 0], [0, 0, 0.74]])
    assert t.residues.residues == [[0, 1]]
    assert t.residues.seqs == ["UNK"]
    assert t.residues.seq_ns == [1]
    assert t.residues.insertion_codes == ["~"]
    assert t.chains.chains == [[0]]
    assert t.chains.alpha_helices is None and t.chains.beta_sheets is None
    topo = t.topology
    assert topo.schema_version == "0.2.0"
    for absent in ("labels", "formal_charges", "partial_charges", "connectivity", "stereochemistry", "velocities",
                   "fragments", "fragment_formal_charges", "fragment_partial_charges", "fragment_multiplicities"):
        assert getattr(topo, absent) is None, absent
    assert t.check() is None


def test_empty_structure():
    t = TRC([], [])
    assert repr(t) == "TRC(atoms=0, residues=1, chains=1)"
    assert t.residues.residues == [[]]
    assert t.chains.chains == [[0]]
    assert t.topology.geometry.shape == (0, 3)
    t.check()


def test_empty_residue_list_gives_one_empty_chain():
    t = TRC([], [], residues=[])
    assert t.chains.chains == [[]]
    assert t.num_residues == 0 and t.num_chains == 1


def test_explicit_residues_get_independent_defaults():
    t = TRC([H, H], [[0, 0, 0], [1, 0, 0]], residues=[[0], [1]], residue_seqs=["ALA", "GLY"])
    assert t.residues.seqs == ["ALA", "GLY"]
    assert t.residues.seq_ns == [1, 2]
    assert t.residues.insertion_codes == ["~", "~"]
    assert t.chains.chains == [[0, 1]]


def test_all_arguments_are_taken_over(water):
    t = TRC([C, O], [[0, 0, 0], [1.2, 0, 0]], labels=["C1", "O1"], formal_charges=[1, -1],
            partial_charges=[0.25, -0.25], connectivity=[(0, 1, 2)], fragments=[[0, 1]], residues=[[0, 1]],
            residue_seqs=["LIG"], residue_seq_ns=[7], residue_insertion_codes=["A"], chains=[[0]])
    topo = t.topology
    assert topo.labels == ["C1", "O1"]
    assert topo.formal_charges.tolist() == [1, -1] and topo.formal_charges.dtype == np.int32
    assert topo.partial_charges.tolist() == [0.25, -0.25] and topo.partial_charges.dtype == np.float32
    assert [repr(b) for b in topo.connectivity] == ["Bond((0, 1), Double)"]
    assert topo.fragments == [[0, 1]]
    assert t.residues.seq_ns == [7] and t.residues.insertion_codes == ["A"] and t.residues.seqs == ["LIG"]
    t.check()


def test_geometry_is_float32_n_by_3():
    t = TRC([C, O], [[0.1, 2, 3], [4, 5, 6]])
    g = t.topology.geometry
    assert g.shape == (2, 3) and g.dtype == np.float32
    assert g[0, 0] == np.float32(0.1)


def test_sequences_of_any_kind_are_accepted():
    t = TRC((C, O), ((0, 0, 0), np.array([1.0, 0, 0])), labels=("A", "B"), formal_charges=np.array([1, 2]))
    assert t.topology.labels == ["A", "B"]
    assert t.topology.formal_charges.tolist() == [1, 2]


def test_views_are_stored_and_properties_are_cached(water):
    assert water.topology is water.topology
    assert water.residues is water.residues and water.chains is water.chains
    topo = water.topology
    for name in ("geometry", "symbols", "labels", "formal_charges", "partial_charges", "connectivity",
                 "schema_version"):
        assert getattr(topo, name) is getattr(topo, name), name
    assert water.residues.residues is water.residues.residues
    assert water.chains.chains is water.chains.chains


def test_mutating_a_returned_value_never_reaches_the_record(water):
    water.topology.geometry[0, 0] = 99.0
    water.topology.labels.append("X")
    water.residues.residues[0].append(5)
    # The record behind the views is unchanged: a structure derived from it is still valid.
    water.check()
    assert water.num_atoms == 3


def test_reprs(water):
    assert repr(water) == "TRC(atoms=3, residues=1, chains=1)"
    assert repr(water.topology) == "Topology(atoms=3)"
    assert repr(water.residues) == "Residues(count=1)"
    assert repr(water.chains) == "Chains(count=1)"


def test_counts(water):
    assert (water.num_atoms, water.num_residues, water.num_chains) == (3, 1, 1)
    assert water.topology.num_atoms == 3
    assert water.residues.num_residues == 1
    assert water.chains.num_chains == 1


def test_text_signature():
    assert TRC.__text_signature__ == (
        "(symbols, geometry, *, labels=None, formal_charges=None, partial_charges=None, connectivity=None, "
        "fragments=None, residues=None, residue_seqs=None, residue_seq_ns=None, residue_insertion_codes=None, "
        "chains=None)")


def test_geometry_and_symbols_by_keyword():
    t = TRC(geometry=[[0, 0, 0]], symbols=[H])
    assert t.num_atoms == 1


@pytest.mark.parametrize("kwargs,exc,message", [
    (dict(symbols=[C, O], geometry=[[0, 0, 0]]), ValueError, "geometry has 1 positions but there are 2 symbols"),
    (dict(symbols=["C"], geometry=[[0, 0, 0]]), TypeError, "argument 'symbols': "),
    (dict(symbols=[1], geometry=[[0, 0, 0]]), TypeError, "argument 'symbols': "),
    (dict(symbols="C", geometry=[[0, 0, 0]]), TypeError, "argument 'symbols': Can't extract `str` to `Vec`"),
    (dict(symbols=5, geometry=[[0, 0, 0]]), TypeError, "argument 'symbols': "),
    (dict(symbols=[C], geometry=[[0, 0]]), ValueError, "expected a sequence of length 3 (got 2)"),
    (dict(symbols=[C], geometry=[[0, 0, 0, 0]]), ValueError, "expected a sequence of length 3 (got 4)"),
    (dict(symbols=[C], geometry=[["a", 0, 0]]), TypeError, "argument 'geometry': "),
    (dict(symbols=[C], geometry=[[0, 0, 0]], labels="CA"), TypeError, "argument 'labels': Can't extract `str` to `Vec`"),
    (dict(symbols=[C], geometry=[[0, 0, 0]], labels=[1]), TypeError, "argument 'labels': "),
    (dict(symbols=[C], geometry=[[0, 0, 0]], formal_charges=[2**31]), OverflowError, ""),
    (dict(symbols=[C], geometry=[[0, 0, 0]], formal_charges=[1.5]), TypeError, "argument 'formal_charges': "),
    (dict(symbols=[C], geometry=[[0, 0, 0]], residue_seq_ns=[-2**31 - 1]), OverflowError, ""),
    (dict(symbols=[C], geometry=[[0, 0, 0]], residues=[[-1]]), OverflowError, ""),
    (dict(symbols=[C], geometry=[[0, 0, 0]], chains=[[2**32]]), OverflowError, ""),
    (dict(symbols=[C], geometry=[[0, 0, 0]], connectivity=[(0, 1)]), ValueError,
     "expected tuple of length 3, but got tuple of length 2"),
    (dict(symbols=[C], geometry=[[0, 0, 0]], connectivity=[[0, 1, 1]]), TypeError, "argument 'connectivity': "),
    (dict(symbols=[C], geometry=[[0, 0, 0]], connectivity=[(0, 1, 256)]), OverflowError, ""),
    (dict(symbols=[C], geometry=[[0, 0, 0]], connectivity=[(0, 1, 7)]), ValueError, "invalid bond order 7"),
    (dict(symbols=[C], geometry=[[0, 0, 0]], connectivity=[(0, 1, 249)]), ValueError, "invalid bond order 249"),
    (dict(symbols=[C], geometry=[[0, 0, 0]], fragments=[0]), TypeError, "argument 'fragments': "),
])
def test_argument_errors(kwargs, exc, message):
    with pytest.raises(exc) as e:
        TRC(**kwargs)
    assert str(e.value).startswith(message), str(e.value)
    assert type(e.value) is exc


@pytest.mark.parametrize("args,kwargs,message", [
    ((), {}, "TRC() missing 2 required positional arguments: 'symbols' and 'geometry'"),
    (([H],), {}, "TRC() missing 1 required positional argument: 'geometry'"),
    (([H], [[0, 0, 0]], None), {}, "TRC() takes 2 positional arguments but 3 were given"),
    (([H], [[0, 0, 0]]), {"symbols": [H]}, "TRC() got multiple values for argument 'symbols'"),
    (([H], [[0, 0, 0]]), {"label": ["H"]}, "TRC() got an unexpected keyword argument 'label'"),
])
def test_call_errors(args, kwargs, message):
    with pytest.raises(TypeError) as e:
        TRC(*args, **kwargs)
    assert str(e.value) == message


@pytest.mark.parametrize("order", [0, 1, 2, 3, 4, 5, 6, 250, 251, 252, 253, 254, 255])
def test_every_bond_order_code_is_accepted(order):
    t = TRC([C, C], [[0, 0, 0], [1, 0, 0]], connectivity=[(0, 1, order)])
    assert int(t.topology.connectivity[0].order) == order


def two_atoms(**kwargs):
    return TRC([C, O], [[0, 0, 0], [1, 0, 0]], **kwargs)


@pytest.mark.parametrize("kwargs,message", [
    (dict(labels=["C"]), "labels length does not match symbols length: 1 != 2"),
    (dict(partial_charges=[0.0]), "partial charges length does not match symbols length: 1 != 2"),
    (dict(formal_charges=[1, 2, 3]), "formal charges length does not match symbols length: 3 != 2"),
    (dict(connectivity=[(0, 0, 1)]), "invalid connectivity between: AtomRef(0) and AtomRef(0)"),
    (dict(connectivity=[(0, 1, 1), (0, 2, 1)]), "invalid connectivity between: AtomRef(0) and AtomRef(2)"),
    (dict(connectivity=[(9, 1, 1)]), "invalid connectivity between: AtomRef(9) and AtomRef(1)"),
    (dict(fragments=[]), "invalid fragments"),
    (dict(fragments=[[0], [0, 1]]), "invalid fragments"),
    (dict(fragments=[[0]]), "invalid fragments"),
    (dict(fragments=[[0, 1, 5]]), "invalid fragments"),
    (dict(residues=[]), "atoms exist in the topology that are not in any residue"),
    (dict(residues=[[0]]), "atoms exist in the topology that are not in any residue"),
    (dict(residues=[[0], [0, 1]]), "AtomRef(0)"),
    (dict(residues=[[0, 1, 7]]), "AtomRef(7)"),
    (dict(residues=[[0], [1]], chains=[]), "residue not in any chain 'ResidueRef(0)'"),
    (dict(residues=[[0], [1]], chains=[[0]]), "residue not in any chain 'ResidueRef(1)'"),
    (dict(residues=[[0], [1]], chains=[[1], [0, 2]]), "referenced residue not in residues 'ResidueRef(2)'"),
    (dict(residue_seqs=[]), "seqs and residues have different lengths (0 != 1)"),
    (dict(residue_seq_ns=[1, 2]), "seq_ns and residues have different lengths (2 != 1)"),
    (dict(residue_insertion_codes=[]), "insertion_codes and residues have different lengths (0 != 1)"),
])
def test_check_reports_the_first_failure(kwargs, message):
    t = two_atoms(**kwargs)  # construction validates nothing beyond the geometry
    with pytest.raises(ValueError) as e:
        t.check()
    assert message in str(e.value)
    if "AtomRef(" not in message or "connectivity" in message:
        assert str(e.value) == message


def test_check_order_topology_before_residues():
    t = two_atoms(labels=["C"], residue_seqs=[])
    with pytest.raises(ValueError, match="^labels length"):
        t.check()


def test_residue_not_in_chain_is_found_before_out_of_range_chain_entries():
    # Residue 1 is listed nowhere; the out-of-range 5 comes first in the chain table.
    t = two_atoms(residues=[[0], [1]], chains=[[5, 0]])
    with pytest.raises(ValueError, match=r"^residue not in any chain 'ResidueRef\(1\)'$"):
        t.check()


def test_valid_multi_residue_structure():
    t = TRC([C, O, N], [[0, 0, 0]] * 3, residues=[[2], [0, 1]], chains=[[1], [0]], fragments=[[1, 2], [0]])
    assert t.check() is None


def test_construction_does_not_validate():
    t = TRC([H], [[0, 0, 0]], formal_charges=[1, 2])
    with pytest.raises(ValueError):
        t.check()


def test_stereochemistry_members_roundtrip_through_ints():
    assert int(Stereochemistry.Down) == -1
    assert int(BondOrder.OneAndAHalf) == 254


def test_keyword_names_with_lone_surrogates_are_reported_not_crashed():
    with pytest.raises(TypeError, match="unexpected keyword argument"):
        TRC([H], [[0, 0, 0]], **{"\udcff": 1})


def test_strings_with_lone_surrogates_are_rejected_cleanly():
    with pytest.raises(UnicodeError):
        TRC([H], [[0, 0, 0]], labels=["\udcff"])


def test_objects_cannot_be_reinitialised_or_used_uninitialised():
    t = TRC([H], [[0, 0, 0]])
    with pytest.warns(RuntimeWarning), pytest.raises(TypeError):
        t.__init__([H, H], [[0, 0, 0], [1, 1, 1]])
    assert t.num_atoms == 1
    blank = TRC.__new__(TRC)
    with pytest.warns(RuntimeWarning), pytest.raises(TypeError):
        blank.topology
