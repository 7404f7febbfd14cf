"""SDF reading and writing: libzyk against RDKit (SDMolSupplier without sanitising).

Inputs: the corpus file cdk2.sdf and a ~100 MB file made of its records repeated, written once
under build/bench-data/. Reading starts from the text in memory on both sides; RDKit iterates
every molecule of an SDMolSupplier fed with SetData(text, sanitize=False, removeHs=False).
Writing turns every structure into its SDF text (libzyk.to_sdf per TRC, RDKit MolToMolBlock
per molecule). Peak memory is the extra resident memory of one read of the big file.

Run: tools/dev bench bench/bench_sdf.py
"""

from __future__ import annotations

import json
import subprocess
import sys
from pathlib import Path

from harness import Row, best_time, peak_rss_mb, print_table

import libzyk

ROOT = Path(__file__).resolve().parent.parent
DATA = ROOT / "build" / "bench-data"
CORPUS = next((d / "shared" / "corpus" for d in ROOT.parents if (d / "shared" / "corpus").is_dir()), ROOT.parent / "shared" / "corpus")
SOURCE = CORPUS / "sdf" / "cdk2.sdf"
BIG_MB = 100


def big_file() -> Path:
    path = DATA / f"cdk2_{BIG_MB}mb.sdf"
    if not path.exists():
        DATA.mkdir(parents=True, exist_ok=True)
        text = SOURCE.read_text()
        copies = max(1, (BIG_MB * 1_000_000) // len(text.encode()))
        path.write_text(text * copies)
    return path


def extra_peak_mb(setup: str, statement: str) -> float:
    """Peak resident memory (MB) of `statement` above what a fresh interpreter holds after
    `setup`. Reading the text has a transient peak of its own (bytes plus str), so the peak
    counter is reset after setup where Linux allows it; otherwise the harness measure is used."""
    code = f"""
import json
{setup}
def status(key):
    return next(int(l.split()[1]) for l in open('/proc/self/status') if l.startswith(key))
open('/proc/self/clear_refs', 'w').write('5')
before = status('VmRSS:')
{statement}
print(json.dumps([before, status('VmHWM:')]))
"""
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    if run.returncode != 0:
        return peak_rss_mb(setup, statement)
    before, after = json.loads(run.stdout.strip().splitlines()[-1])
    return max(after - before, 0) / 1024.0


def rdkit_reader():
    try:
        from rdkit import Chem, RDLogger
    except ImportError:
        return None, None
    RDLogger.DisableLog("rdApp.*")

    def read(text: str):
        supplier = Chem.SDMolSupplier()
        supplier.SetData(text, sanitize=False, removeHs=False)
        return [m for m in supplier]

    def write(mols):
        return "".join(Chem.MolToMolBlock(m, kekulize=False) + "$$$$\n" for m in mols)

    return read, write


def main() -> None:
    repeat = 3
    rd_read, rd_write = rdkit_reader()
    rows: list[Row] = []
    inputs = [("cdk2.sdf", SOURCE), (f"cdk2 x{BIG_MB} MB", big_file())]
    for label, path in inputs:
        text = path.read_text()
        size_mb = len(text.encode()) / 1e6
        trcs = libzyk.from_sdf(text)
        big = size_mb > 10
        reps = repeat if big else 5

        ours = best_time(lambda: libzyk.from_sdf(text), repeat=reps)
        row = Row(f"read {label} ({len(trcs)} mols)", size_mb, ours)
        if rd_read:
            row.peers["rdkit"] = best_time(lambda: rd_read(text), repeat=reps)
            assert len(rd_read(text)) == len(trcs)
        if big:
            setup = f"import libzyk\ntext = open({str(path)!r}).read()"
            row.peak_mb = extra_peak_mb(setup, "r = libzyk.from_sdf(text)")
        rows.append(row)
        if big and rd_read:
            setup = (f"from rdkit import Chem, RDLogger\nRDLogger.DisableLog('rdApp.*')\ntext = open({str(path)!r}).read()\n"
                     "s = Chem.SDMolSupplier()\ns.SetData(text, sanitize=False, removeHs=False)")
            rows.append(Row("  rdkit peak for the same read", size_mb, float("nan"), peak_mb=extra_peak_mb(setup, "r = [m for m in s]")))

        ours_w = best_time(lambda: "".join(libzyk.to_sdf(t) for t in trcs), repeat=reps)
        written_mb = len("".join(libzyk.to_sdf(t) for t in trcs).encode()) / 1e6
        wrow = Row(f"write {label}", written_mb, ours_w)
        if rd_read:
            mols = rd_read(text)
            wrow.peers["rdkit"] = best_time(lambda: rd_write(mols), repeat=reps)
        rows.append(wrow)
        del trcs
    print_table(rows)


if __name__ == "__main__":
    main()
