"""The main job on a bundled example: read a PDB entry, summarise it, write it back as PDB and XYZ.

    python examples/demo.py [FILE] [--out DIR]
"""

from __future__ import annotations

import argparse
import sys
from pathlib import Path

import libzyk
import libzyk_examples


def summary(trc: libzyk.TRC) -> dict[str, int]:
    chains = trc.chains
    return {
        "atoms": trc.num_atoms,
        "residues": trc.num_residues,
        "chains": trc.num_chains,
        "helices": len(chains.alpha_helices.helix_ids) if chains.alpha_helices is not None else 0,
        "sheets": len(set(chains.beta_sheets.sheet_ids)) if chains.beta_sheets is not None else 0,
        "strands": len(chains.beta_sheets.strand_ids) if chains.beta_sheets is not None else 0,
        "bonds": len(trc.topology.connectivity or ()),
    }


def main(argv: list[str] | None = None) -> int:
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("file", nargs="?", help="a PDB file (default: the bundled 5dpv.pdb)")
    p.add_argument("--out", default="build/demo", help="where the PDB and XYZ copies go (default: build/demo)")
    args = p.parse_args(argv)
    source = Path(args.file) if args.file else libzyk_examples.path()

    models = libzyk.from_pdb(source.read_text())
    print(f"{source.name}: {len(models)} model(s)")
    for i, trc in enumerate(models, 1):
        fields = ", ".join(f"{k} {v}" for k, v in summary(trc).items())
        print(f"  model {i}: {fields}")

    first = models[0]
    names = first.residues.seqs
    waters = sum(1 for n in names if n == "HOH")
    ligands = sorted({n for n in names if not libzyk.AminoAcidSeq.is_amino_acid(n) and n != "HOH"})
    print(f"  waters {waters}, other residues {', '.join(ligands) or 'none'}")

    out = Path(args.out)
    out.mkdir(parents=True, exist_ok=True)
    stem = source.name.split(".")[0]
    pdb_path, xyz_path = out / f"{stem}.pdb", out / f"{stem}.xyz"
    pdb_path.write_text(libzyk.to_pdb(first))
    xyz_path.write_text(libzyk.to_xyz(first))
    again = libzyk.from_pdb(pdb_path.read_text())[0]
    print(f"wrote {pdb_path} ({pdb_path.stat().st_size} bytes) and {xyz_path} ({xyz_path.stat().st_size} bytes)")
    print(f"read back: {summary(again)['atoms']} atoms, {summary(again)['residues']} residues, "
          f"{summary(again)['bonds']} bonds")
    return 0


if __name__ == "__main__":
    sys.exit(main())
