"""A small typed program over the library's API; `mypy --strict` checks it against the stubs."""

from __future__ import annotations

import numpy as np
import numpy.typing as npt

import libzyk
from libzyk import TRC, AtomCheckStrictness, Element


def centre(trc: TRC) -> npt.NDArray[np.float32]:
    geometry: npt.NDArray[np.float32] = trc.topology.geometry
    return geometry.mean(axis=0).astype(np.float32)


def heavy_atoms(trc: TRC) -> list[int]:
    return [i for i, e in enumerate(trc.topology.symbols) if e != Element.H]


def describe(text: str) -> list[str]:
    lines: list[str] = []
    for model in libzyk.from_pdb(text):
        perceived: TRC = model.perceive_bonds(AtomCheckStrictness.Heavy)
        bonds = perceived.topology.connectivity or []
        helices = perceived.chains.alpha_helices
        count = len(helices.helix_ids) if helices is not None else 0
        lines.append(f"{model.num_atoms} atoms, {len(bonds)} bonds, {count} helices, centre {centre(model)}")
    return lines


def water() -> TRC:
    trc = TRC([Element.O, Element.H, Element.H], [[0.0, 0.0, 0.0], [0.96, 0.0, 0.0], [-0.24, 0.93, 0.0]],
              labels=["O", "H1", "H2"], connectivity=[(0, 1, 1), (0, 2, 1)])
    trc.check()
    data: dict[str, object] = trc.to_dict()
    return TRC.from_dict(data)


if __name__ == "__main__":
    print(heavy_atoms(water()), libzyk.to_xyz(water()))
