"""from_mmcif against gemmi (cif.read_string + make_structure_from_block), end to end from text
to structures, on a corpus entry and on a ~100 MB single-model file built from it.

Run with `tools/dev bench bench/bench_mmcif.py`; the big file is generated once under
build/bench-data/.
"""

from __future__ import annotations

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import json  # noqa: E402
import subprocess  # noqa: E402

from harness import Row, best_time, print_table  # noqa: E402

import libzyk  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
CORPUS = ROOT.parent / "shared" / "corpus"
DATA = ROOT / "build" / "bench-data"
SOURCE = CORPUS / "cif" / "4zhl.cif"
TARGET_MB = 100


def big_file() -> Path:
    """4zhl with its atom sites repeated, each copy in chains of its own, to about 100 MB."""
    path = DATA / f"4zhl-x-{TARGET_MB}mb.cif"
    if path.exists():
        return path
    lines = SOURCE.read_text().splitlines()
    start = next(i for i, line in enumerate(lines) if line.startswith("_atom_site."))
    end = start
    while lines[end].startswith("_atom_site."):
        end += 1
    columns = [line.strip() for line in lines[start:end]]
    first_row = end
    while lines[end].startswith(("ATOM", "HETATM")):
        end += 1
    rows = [line.split() for line in lines[first_row:end]]
    label_chain = columns.index("_atom_site.label_asym_id")
    auth_chain = columns.index("_atom_site.auth_asym_id")
    serial = columns.index("_atom_site.id")
    head = "\n".join(lines[:first_row]) + "\n"
    tail = "\n".join(lines[end:]) + "\n"
    copy_bytes = sum(len(" ".join(r)) + 1 for r in rows)
    copies = max(1, (TARGET_MB * 1_000_000 - len(head) - len(tail)) // copy_bytes)
    out = [head]
    n = 0
    for copy in range(copies):
        chunk = []
        for r in rows:
            n += 1
            v = list(r)
            v[serial] = str(n)
            if copy:
                v[label_chain] = f"{r[label_chain]}{copy}"
                v[auth_chain] = f"{r[auth_chain]}{copy}"
            chunk.append(" ".join(v))
        out.append("\n".join(chunk) + "\n")
    out.append(tail)
    DATA.mkdir(parents=True, exist_ok=True)
    path.write_text("".join(out))
    return path


def peak_mb(setup: str, statement: str) -> float:
    """Peak resident memory (MB) that `statement` adds to a fresh interpreter after `setup`: the
    high-water mark is reset after setup (so that the setup's own transient peak, such as the
    bytes of reading the file, does not hide it) and compared with the resident size then."""
    code = f"""
import json
{setup}
def status_kb(key):
    with open("/proc/self/status") as f:
        return next(int(line.split()[1]) for line in f if line.startswith(key))
with open("/proc/self/clear_refs", "w") as f:
    f.write("5")
before = status_kb("VmRSS:")
{statement}
print(json.dumps([before, status_kb("VmHWM:")]))
"""
    out = subprocess.run([sys.executable, "-c", code], check=True, capture_output=True, text=True).stdout
    before, after = json.loads(out.strip().splitlines()[-1])
    return max(after - before, 0) / 1024.0


def main() -> None:
    try:
        import gemmi
    except ImportError:
        gemmi = None
    cases = [("4zhl.cif", SOURCE), ("4zhl x copies (~100 MB)", big_file())]
    rows = []
    for name, path in cases:
        text = path.read_text()
        size_mb = len(text.encode()) / 1e6
        big = size_mb > 10
        repeat = 3 if big else 20
        ours = best_time(lambda: libzyk.from_mmcif(text), repeat=repeat)
        peers = {}
        if gemmi is not None:
            peers["gemmi"] = best_time(lambda: gemmi.make_structure_from_block(gemmi.cif.read_string(text)[0]),
                                       repeat=repeat)
        setup = f"import libzyk, gemmi\ntext = open({str(path)!r}).read()"
        peak = peak_mb(setup, "r = libzyk.from_mmcif(text)")
        rows.append(Row(name, size_mb, ours, peers, peak))
        if gemmi is not None:
            gemmi_peak = peak_mb(setup, "r = gemmi.make_structure_from_block(gemmi.cif.read_string(text)[0])")
            print(f"{name}: peak MB ours {peak:.0f}, gemmi {gemmi_peak:.0f}")
        atoms = sum(t.topology.num_atoms for t in libzyk.from_mmcif(text))
        print(f"{name}: {size_mb:.1f} MB, {atoms} atoms")
    print_table(rows)


if __name__ == "__main__":
    main()
