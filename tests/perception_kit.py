"""Small builders for the perception tests: structures assembled residue by residue, with atom
elements taken from the atom names and, unless given, positions far enough apart that no
distance rule fires."""

from __future__ import annotations

import libzyk as z

FULL = {
    # heavy atoms, hydrogens of the fully protonated residue
    "GLY": ("N CA C O", "H HA2 HA3"),
    "ALA": ("N CA C O CB", "H HA HB1 HB2 HB3"),
    "VAL": ("N CA C O CB CG1 CG2", "H HA HB HG11 HG12 HG13 HG21 HG22 HG23"),
    "LEU": ("N CA C O CB CG CD1 CD2", "H HA HB2 HB3 HG HD11 HD12 HD13 HD21 HD22 HD23"),
    "ILE": ("N CA C O CB CG1 CG2 CD1", "H HA HB HG12 HG13 HG21 HG22 HG23 HD11 HD12 HD13"),
    "PRO": ("N CA C O CB CG CD", "HA HB2 HB3 HG2 HG3 HD2 HD3"),
    "SER": ("N CA C O CB OG", "H HA HB2 HB3 HG"),
    "THR": ("N CA C O CB OG1 CG2", "H HA HB HG1 HG21 HG22 HG23"),
    "ASN": ("N CA C O CB CG OD1 ND2", "H HA HB2 HB3 HD21 HD22"),
    "GLN": ("N CA C O CB CG CD OE1 NE2", "H HA HB2 HB3 HG2 HG3 HE21 HE22"),
    "CYS": ("N CA C O CB SG", "H HA HB2 HB3 HG"),
    "MET": ("N CA C O CB CG SD CE", "H HA HB2 HB3 HG2 HG3 HE1 HE2 HE3"),
    "PHE": ("N CA C O CB CG CD1 CD2 CE1 CE2 CZ", "H HA HB2 HB3 HD1 HD2 HE1 HE2 HZ"),
    "TYR": ("N CA C O CB CG CD1 CD2 CE1 CE2 CZ OH", "H HA HB2 HB3 HD1 HD2 HE1 HE2 HH"),
    "TRP": ("N CA C O CB CG CD1 CD2 NE1 CE2 CE3 CZ2 CZ3 CH2", "H HA HB2 HB3 HD1 HE1 HE3 HZ2 HZ3 HH2"),
    "ASP": ("N CA C O CB CG OD1 OD2", "H HA HB2 HB3 HD2"),
    "GLU": ("N CA C O CB CG CD OE1 OE2", "H HA HB2 HB3 HG2 HG3 HE2"),
    "HIS": ("N CA C O CB CG ND1 CD2 CE1 NE2", "H HA HB2 HB3 HD1 HD2 HE1 HE2"),
    "LYS": ("N CA C O CB CG CD CE NZ", "H HA HB2 HB3 HG2 HG3 HD2 HD3 HE2 HE3 HZ1 HZ2 HZ3"),
    "ARG": ("N CA C O CB CG CD NE CZ NH1 NH2", "H HA HB2 HB3 HG2 HG3 HD2 HD3 HE HH11 HH12 HH21 HH22"),
    "HYP": ("N CA C O CB CG CD OD", "HA HB2 HB3 HG HD2 HD3 HD"),
    "ACE": ("CH3 C O", "H1 H2 H3"),
    "BNC": ("C O", "HA"),
    "NME": ("N C", "H H1 H2 H3"),
    "NMA": ("N CA", "H 1HA 2HA 3HA"),
    "NHH": ("N", "H1 H2"),
}

# The residue kinds that share a template with another.
PARENT = {
    "CYD": "CYS", "CYX": "CYS", "TYD": "TYR", "ASH": "ASP", "GLH": "GLU", "HIN": "HIS", "HID": "HIS",
    "HIE": "HIS", "HIP": "HIS", "LYD": "LYS", "LYN": "LYS",
}


def full_atoms(kind: str) -> list[str]:
    heavy, hydrogens = FULL[PARENT.get(kind, kind)]
    return heavy.split() + hydrogens.split()


def element_of(label: str) -> z.Element:
    for ch in label:
        if ch.isalpha():
            return getattr(z.Element, ch.upper())
    return z.Element.X


class Builder:
    def __init__(self) -> None:
        self.symbols: list[z.Element] = []
        self.geometry: list[list[float]] = []
        self.labels: list[str] = []
        self.residues: list[list[int]] = []
        self.seqs: list[str] = []
        self.seq_ns: list[int] = []

    def residue(self, name: str, atoms: list[str], *, seq_n: int | None = None,
                positions: dict[str, tuple[float, float, float]] | None = None,
                elements: dict[str, z.Element] | None = None) -> list[int]:
        """Adds a residue; returns its atom indices. Atoms not in `positions` sit 10 Å apart
        along x, far from everything else."""
        indices = []
        for label in atoms:
            i = len(self.symbols)
            indices.append(i)
            self.symbols.append((elements or {}).get(label, element_of(label)))
            pos = (positions or {}).get(label, (1000.0 + 10.0 * i, 0.0, 0.0))
            self.geometry.append(list(pos))
            self.labels.append(label)
        self.residues.append(indices)
        self.seqs.append(name)
        self.seq_ns.append(seq_n if seq_n is not None else len(self.residues))
        return indices

    def trc(self, *, labels: bool = True, **kw) -> z.TRC:
        return z.TRC(self.symbols, self.geometry, labels=self.labels if labels else None, residues=self.residues,
                     residue_seqs=self.seqs, residue_seq_ns=self.seq_ns, **kw)


def one_residue(kind: str, atoms: list[str] | None = None, **kw) -> z.TRC:
    b = Builder()
    b.residue(kind, atoms if atoms is not None else full_atoms(kind), **kw)
    return b.trc()


def bonds(trc: z.TRC) -> list[tuple[int, int, z.BondOrder]]:
    return [(*b.atoms, b.order) for b in trc.topology.connectivity]


def named_bonds(trc: z.TRC) -> list[tuple[str, str, str]]:
    labels = trc.topology.labels
    return [(labels[b.atoms[0]], labels[b.atoms[1]], str(b.order).split(".")[-1]) for b in trc.topology.connectivity]


def charges_by_label(trc: z.TRC) -> dict[str, int]:
    return {label: int(q) for label, q in zip(trc.topology.labels, trc.topology.formal_charges)}
