"""Editing operations and the dict form at 100k and 1M atoms.

Structures are protein-like: atoms on a jittered 1.5 Å lattice (the density of real structures),
residues of 10 atoms with 9 bonds each plus a bond to the next residue, chains of 500 residues,
one fragment per residue and a 40-atom ligand fragment in the middle. Each figure is the best of
a few runs; the last column is the 1M time divided by the 100k time (10 means linear growth).

Run: tools/dev bench bench/bench_editing.py
"""

from __future__ import annotations

import sys
import time
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).resolve().parent))
from harness import best_time  # noqa: E402

import libzyk as z  # noqa: E402

RESIDUE = 10
CHAIN = 500
LIGAND = 40


def build(n_atoms: int, seed: int = 1) -> tuple[z.TRC, int]:
    rng = np.random.default_rng(seed)
    side = int(np.ceil(n_atoms ** (1 / 3)))
    idx = np.arange(n_atoms)
    lattice = np.stack([idx % side, (idx // side) % side, idx // (side * side)], axis=1).astype(np.float32)
    xyz = lattice * 1.5 + rng.uniform(-0.2, 0.2, (n_atoms, 3)).astype(np.float32)
    # the ligand: the atoms nearest the centre, so that it has neighbours all round
    centre = xyz.mean(axis=0)
    ligand = np.argsort(((xyz - centre) ** 2).sum(axis=1))[:LIGAND]
    is_ligand = np.zeros(n_atoms, bool)
    is_ligand[ligand] = True
    polymer = idx[~is_ligand]
    residues = [polymer[i:i + RESIDUE].tolist() for i in range(0, len(polymer), RESIDUE)]
    residues.append(sorted(ligand.tolist()))
    bonds = []
    for r, atoms in enumerate(residues[:-1]):
        bonds += [(atoms[k], atoms[k + 1], 1) for k in range(len(atoms) - 1)]
        if (r + 1) % CHAIN and r + 1 < len(residues) - 1:
            bonds.append((atoms[-1], residues[r + 1][0], 1))
    r_count = len(residues)
    chains = [list(range(i, min(i + CHAIN, r_count - 1))) for i in range(0, r_count - 1, CHAIN)] + [[r_count - 1]]
    trc = z.TRC(
        [z.Element.C] * n_atoms,
        xyz.tolist(),
        labels=["CA"] * n_atoms,
        formal_charges=[0] * n_atoms,
        partial_charges=[0.0] * n_atoms,
        connectivity=bonds,
        fragments=residues,
        residues=residues,
        residue_seqs=["ALA"] * (r_count - 1) + ["LIG"],
        chains=chains,
    )
    return trc, r_count - 1  # the ligand is the last fragment


def main() -> None:
    sizes = [100_000, 1_000_000]
    results: dict[str, list[float]] = {}
    build_times = []
    for n in sizes:
        t0 = time.perf_counter()
        trc, ligand = build(n)
        build_times.append(time.perf_counter() - t0)
        trc.check()
        r = trc.num_residues
        half = list(range(0, r, 2))
        everything = list(range(r))
        few = list(range(0, r, max(1, r // 10)))[:10]
        top = trc.topology
        big = ligand // 2  # a polymer residue fragment as the query, for comparison
        cases = {
            "subset_by_residues (every other residue)": lambda: trc.subset_by_residues(half),
            "subset_by_residues (all residues)": lambda: trc.subset_by_residues(everything),
            "subset_by_residues (10 residues)": lambda: trc.subset_by_residues(few),
            "extend (with itself)": lambda: trc.extend(trc),
            "get_fragments_near_fragment (ligand, 5 Å)": lambda: top.get_fragments_near_fragment(ligand, 5.0),
            "get_fragments_near_fragment (ligand, 12 Å)": lambda: top.get_fragments_near_fragment(ligand, 12.0),
            "get_fragments_near_fragment (residue, 5 Å)": lambda: top.get_fragments_near_fragment(big, 5.0),
            "with_fragments (residue partition)": lambda: trc.with_fragments(top.fragments),
            "to_dict": lambda: trc.to_dict(),
        }
        for name, fn in cases.items():
            results.setdefault(name, []).append(best_time(fn, repeat=3, min_total=0.0))
        d = trc.to_dict()
        results.setdefault("TRC.from_dict", []).append(best_time(lambda: z.TRC.from_dict(d), repeat=3, min_total=0.0))
        near = top.get_fragments_near_fragment(ligand, 5.0)
        print(f"# {n} atoms, {r} residues, {trc.num_chains} chains; ligand has {len(near)} fragments within 5 Å;"
              f" built with TRC(...) in {build_times[-1]:.2f} s", flush=True)
        del d, trc, top

    width = max(len(k) for k in results)
    print(f"{'case'.ljust(width)}  {'100k s':>9}  {'1M s':>9}  {'1M/100k':>7}")
    print(f"{'-' * width}  {'-' * 9}  {'-' * 9}  {'-' * 7}")
    for name, (small, large) in results.items():
        print(f"{name.ljust(width)}  {small:9.4f}  {large:9.4f}  {large / small:7.1f}")


if __name__ == "__main__":
    main()
