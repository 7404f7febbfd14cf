"""Random valid records: the editing operations keep them valid, and they agree with each other
(a subset of a merge is the merge's part; the dict form and pickling give the same record)."""

import pickle
import random

import pytest

from libzyk import TRC

SEEDS = range(40)


def random_record(rng: random.Random) -> dict:
    n = rng.randint(0, 14)
    atoms = list(range(n))
    rng.shuffle(atoms)
    cuts = sorted(rng.sample(range(1, n), rng.randint(0, max(0, n - 1)))) if n > 1 else []
    residues = [atoms[a:b] for a, b in zip([0] + cuts, cuts + [n])] if n else [[]]
    r = len(residues)
    order = list(range(r))
    rng.shuffle(order)
    k = rng.randint(1, r)
    chain_cuts = sorted(rng.sample(range(1, r), k - 1)) if k > 1 else []
    chains = [order[a:b] for a, b in zip([0] + chain_cuts, chain_cuts + [r])]
    top = {"schema_version": "0.2.0", "symbols": [rng.choice(["C", "N", "O", "H", "Fe"]) for _ in range(n)],
           "geometry": [rng.uniform(-5, 5) for _ in range(3 * n)]}
    maybe = lambda: rng.random() < 0.6  # noqa: E731
    if maybe():
        top["labels"] = [rng.choice(["CA", "N", ""]) for _ in range(n)]
    if maybe():
        top["partial_charges"] = [rng.uniform(-1, 1) for _ in range(n)]
    if maybe():
        top["formal_charges"] = [rng.randint(-2, 2) for _ in range(n)]
    if maybe() and n > 1:
        bonds = [tuple(rng.sample(range(n), 2)) + (rng.choice([0, 1, 2, 254, 255]),) for _ in range(rng.randint(0, 2 * n))]
        top["connectivity"] = bonds
        if maybe():
            top["stereochemistry"] = [rng.choice([0, 1, -1, 2, 3]) for _ in bonds]
    if maybe():
        top["velocities"] = [rng.uniform(-1, 1) for _ in range(3 * n)]
    if maybe():
        # fragments: often whole residues (so subsets keep them), sometimes across residues
        if maybe():
            frags = [list(res) for res in residues]
        else:
            shuffled = list(range(n))
            rng.shuffle(shuffled)
            fc = sorted(rng.sample(range(1, n), rng.randint(0, max(0, n - 1)))) if n > 1 else []
            frags = [shuffled[a:b] for a, b in zip([0] + fc, fc + [n])] if n else []
        top["fragments"] = frags
        for key, make in [("fragment_formal_charges", lambda: rng.randint(-3, 3)),
                          ("fragment_partial_charges", lambda: rng.uniform(-1, 1)),
                          ("fragment_multiplicities", lambda: rng.randint(0, 4))]:
            if maybe():
                top[key] = [make() for _ in frags]
    res = {"residues": residues, "seqs": [rng.choice(["ALA", "GLY", "HOH"]) for _ in range(r)],
           "seq_ns": [rng.randint(-5, 500) for _ in range(r)], "insertion_codes": [rng.choice(["", "A"]) for _ in range(r)]}
    if maybe():
        labeled = rng.sample(range(r), rng.randint(0, r))
        res["labeled"] = labeled
        res["labels"] = [[rng.choice("xyz") for _ in range(rng.randint(0, 2))] for _ in labeled]
    ch = {"chains": chains}
    chain_of = {res_i: c for c, members in enumerate(chains) for res_i in members}
    if maybe():
        rows = []
        for _ in range(rng.randint(0, 3)):
            s, e = rng.randrange(r), rng.randrange(r)
            rows.append((f"H{len(rows)}", chain_of[s], s, e, rng.choice([None, "RightHandedAlpha", "Polyproline"]),
                         rng.choice([None, 5])))
        ch["alpha_helices"] = {k: [row[i] for row in rows] for i, k in enumerate(
            ["helix_ids", "chain_refs", "start_residues", "end_residues", "classes", "lengths"])}
    if maybe():
        rows = []
        for _ in range(rng.randint(0, 3)):
            s, e = rng.randrange(r), rng.randrange(r)
            rows.append(("S", str(len(rows)), rng.choice([None, 1]), rng.choice([None, 2]), chain_of[s], s, e,
                         rng.choice([None, "First", "AntiParallel"])))
        ch["beta_sheets"] = {k: [row[i] for row in rows] for i, k in enumerate(
            ["sheet_ids", "strand_ids", "strand_ordinals", "num_strands", "chain_refs", "start_residues",
             "end_residues", "senses"])}
    if maybe():
        labeled = rng.sample(range(len(chains)), rng.randint(0, len(chains)))
        ch["labeled"] = labeled
        ch["labels"] = [["L"] for _ in labeled]
    return {"topology": top, "residues": res, "chains": ch}


@pytest.mark.parametrize("seed", SEEDS)
def test_random_records_stay_valid(seed):
    rng = random.Random(seed)
    a = TRC.from_dict(random_record(rng))
    b = TRC.from_dict(random_record(rng))
    a.check()
    b.check()

    merged = a.extend(b)
    merged.check()
    assert merged.num_atoms == a.num_atoms + b.num_atoms
    assert merged.num_residues == a.num_residues + b.num_residues

    refs = rng.sample(range(a.num_residues), rng.randint(0, a.num_residues))
    sub = a.subset_by_residues(refs)
    sub.check()
    assert sub.num_residues == len(refs)

    # the first part of a merge, cut out again, is the first record's own subset
    again = merged.subset_by_residues(refs)
    assert again.residues.to_dict() == sub.residues.to_dict()
    t_again, t_sub = again.topology.to_dict(), sub.topology.to_dict()
    for key in ["symbols", "geometry", "labels", "formal_charges", "partial_charges", "velocities", "connectivity"]:
        assert t_again.get(key) == t_sub.get(key), key

    # selecting every residue in order keeps every atom in place
    whole = a.subset_by_residues(range(a.num_residues))
    whole.check()
    assert whole.num_atoms == a.num_atoms

    if a.topology.fragments is not None and a.topology.fragments:
        for f in range(len(a.topology.fragments)):
            near = a.topology.get_fragments_near_fragment(f, 3.0)
            assert f not in near and near == sorted(near)

    partition = [[i] for i in range(a.num_atoms)]
    a.with_fragments(partition).check()
    for obj in (a, merged, sub):
        assert pickle.loads(pickle.dumps(obj)).to_dict() == obj.to_dict()
        assert TRC.from_dict(obj.to_dict()).to_dict() == obj.to_dict()
