"""Bond and formal-charge perception on synthetic proteins of 10k, 100k and 1M atoms.

The protein is a repeated, correctly named and placed residue pattern: chains of fully
protonated residues (N-terminal H1/H2/H3, C-terminal OXT), peptide C-N at 1.33 Å, one water per
three residues, and per chain one serine whose OG sits 2.3 Å from a ligand carbon (so its HG is
substituted by the covalent binder). Times are the best of several runs; the throughput should
stay flat across sizes if every step is linear.

    tools/dev bench bench/bench_perception.py
"""

from __future__ import annotations

import io
import math
import sys
from contextlib import redirect_stderr, redirect_stdout
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import libzyk as z  # noqa: E402
from harness import best_time  # noqa: E402

E = z.Element

# Residue kind -> atom names (heavy atoms then hydrogens) in a state the templates accept.
PATTERN = [
    ("GLY", "N CA C O H HA2 HA3"),
    ("ALA", "N CA C O CB H HA HB1 HB2 HB3"),
    ("SER", "N CA C O CB OG H HA HB2 HB3 HG"),
    ("LYS", "N CA C O CB CG CD CE NZ H HA HB2 HB3 HG2 HG3 HD2 HD3 HE2 HE3 HZ1 HZ2 HZ3"),
    ("ASP", "N CA C O CB CG OD1 OD2 H HA HB2 HB3"),
    ("PHE", "N CA C O CB CG CD1 CD2 CE1 CE2 CZ H HA HB2 HB3 HD1 HD2 HE1 HE2 HZ"),
    ("GLU", "N CA C O CB CG CD OE1 OE2 H HA HB2 HB3 HG2 HG3"),
    ("HIE", "N CA C O CB CG ND1 CD2 CE1 NE2 H HA HB2 HB3 HD2 HE1 HE2"),
    ("LEU", "N CA C O CB CG CD1 CD2 H HA HB2 HB3 HG HD11 HD12 HD13 HD21 HD22 HD23"),
    ("PRO", "N CA C O CB CG CD HA HB2 HB3 HG2 HG3 HD2 HD3"),
    ("ARG", "N CA C O CB CG CD NE CZ NH1 NH2 H HA HB2 HB3 HG2 HG3 HD2 HD3 HE HH11 HH12 HH21 HH22"),
    ("CYS", "N CA C O CB SG H HA HB2 HB3 HG"),
    ("THR", "N CA C O CB OG1 CG2 H HA HB HG1 HG21 HG22 HG23"),
    ("TRP", "N CA C O CB CG CD1 CD2 NE1 CE2 CE3 CZ2 CZ3 CH2 H HA HB2 HB3 HD1 HE1 HE3 HZ2 HZ3 HH2"),
]
CHAIN_LENGTH = 60   # residues per chain
RISE = 3.8          # Å between consecutive N atoms; C sits 1.33 Å before the next N


def element(label: str) -> z.Element:
    return getattr(E, next(ch for ch in label if ch.isalpha()))


class Protein:
    def __init__(self) -> None:
        self.symbols: list[z.Element] = []
        self.geometry: list[tuple[float, float, float]] = []
        self.labels: list[str] = []
        self.residues: list[list[int]] = []
        self.seqs: list[str] = []
        self.seq_ns: list[int] = []
        self.bonds: list[tuple[int, int, int]] = []
        self.chains: list[list[int]] = []

    def add(self, name: str, atoms: list[tuple[str, tuple[float, float, float]]]) -> list[int]:
        start = len(self.symbols)
        for label, pos in atoms:
            self.symbols.append(element(label))
            self.geometry.append(pos)
            self.labels.append(label)
        idx = list(range(start, len(self.symbols)))
        self.residues.append(idx)
        self.seqs.append(name)
        self.seq_ns.append(len(self.residues))
        return idx

    def chain(self, origin: tuple[float, float]) -> None:
        x0, y0 = origin
        first = len(self.residues)
        covalent_serine_done = False
        for i in range(CHAIN_LENGTH):
            kind, names = PATTERN[i % len(PATTERN)]
            names = names.split()
            if i == 0:  # N-terminus: H becomes H1, H2, H3 (PRO never starts a chain here)
                names = [n for n in names if n != "H"] + ["H1", "H2", "H3"]
            if i == CHAIN_LENGTH - 1:
                names.append("OXT")
            covalent = kind == "SER" and not covalent_serine_done
            if covalent:
                names.remove("HG")
                covalent_serine_done = True
            x = x0 + RISE * i
            atoms = []
            for k, label in enumerate(names):
                if label == "N":
                    pos = (x, y0, 0.0)
                elif label == "C":
                    pos = (x + RISE - 1.33, y0, 0.0)
                elif label == "OG":
                    pos = (x + 1.5, y0 + 2.0, 0.0)
                else:  # around the backbone, below the waters, away from the ligands
                    a = 0.9 * k
                    pos = (x + 1.2 + 0.8 * math.cos(a), y0 - 1.0 - 0.15 * k, 0.8 * math.sin(a))
                atoms.append((label, pos))
            self.add(kind, atoms)
            if covalent:
                c1 = self.add("LIG", [("C1", (x + 1.5, y0 + 4.3, 0.0)), ("O1", (x + 1.5, y0 + 5.5, 0.0)),
                                      ("C2", (x + 2.8, y0 + 4.9, 0.0))])
                self.bonds += [(c1[0], c1[1], 1), (c1[0], c1[2], 1)]
            if i % 3 == 0:
                o, h1, h2 = self.add("HOH", [("O", (x, y0, 12.0)), ("H1", (x + 0.96, y0, 12.0)),
                                             ("H2", (x - 0.24, y0 + 0.93, 12.0))])
                self.bonds.append((o, h1, 1))
        self.chains.append(list(range(first, len(self.residues))))

    def trc(self, connectivity) -> z.TRC:
        return z.TRC(self.symbols, self.geometry, labels=self.labels, formal_charges=[0] * len(self.symbols),
                     connectivity=connectivity, residues=self.residues, residue_seqs=self.seqs,
                     residue_seq_ns=self.seq_ns, chains=self.chains)


def build(target_atoms: int) -> Protein:
    p = Protein()
    side = 0
    while len(p.symbols) < target_atoms:
        row, col = divmod(side, 30)
        p.chain((col * (CHAIN_LENGTH * RISE + 20.0), row * 40.0))
        side += 1
    return p


def main() -> None:
    print(f"{'atoms':>9} {'residues':>9} {'bonds':>9} | {'bonds s':>8} {'atoms/s':>11} | "
          f"{'re-perceive s':>13} {'atoms/s':>11} | {'charges s':>9} {'atoms/s':>11}")
    for target in (10_000, 100_000, 1_000_000):
        p = build(target)
        trc = p.trc(p.bonds)
        n = trc.num_atoms
        sink = io.StringIO()
        with redirect_stderr(sink), redirect_stdout(sink):
            perceived = trc.perceive_bonds()
            repeat = 5 if n < 500_000 else 3
            t_bonds = best_time(lambda: trc.perceive_bonds(), repeat=repeat)
            t_again = best_time(lambda: perceived.perceive_bonds(), repeat=repeat)
            t_charges = best_time(lambda: perceived.perceive_formal_charges(), repeat=repeat)
            charged = perceived.perceive_formal_charges()
        assert len(perceived.topology.connectivity) > n * 0.9
        assert sum(int(q) for q in charged.topology.formal_charges) != 0
        assert "didn't add" not in sink.getvalue()
        print(f"{n:>9} {trc.num_residues:>9} {len(perceived.topology.connectivity):>9} | "
              f"{t_bonds:>8.4f} {n / t_bonds:>11,.0f} | {t_again:>13.4f} {n / t_again:>11,.0f} | "
              f"{t_charges:>9.4f} {n / t_charges:>11,.0f}")


if __name__ == "__main__":
    main()
