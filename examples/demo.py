"""Builds a small structure, validates it and prints what the library holds."""

import libzyk
from libzyk import TRC, Element

water = TRC(
    [Element.O, Element.H, Element.H],
    [[0.0, 0.0, 0.0], [0.9572, 0.0, 0.0], [-0.2400, 0.9266, 0.0]],
    labels=["O", "H1", "H2"],
    connectivity=[(0, 1, 1), (0, 2, 1)],
    residue_seqs=["HOH"],
)
water.check()
print(water)
print("symbols:", water.topology.symbols)
print("geometry:\n", water.topology.geometry)
print("bonds:", water.topology.connectivity)
print("residues:", water.residues.residues, water.residues.seqs)
print("chains:", water.chains.chains)
