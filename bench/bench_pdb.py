"""PDB reading and writing: libzyk against gemmi, on 1tii.pdb and a ~100 MB multi-model file.

Rows (best wall time of several runs, one thread):
  from_pdb         libzyk.from_pdb (reader, bond perception, Python objects) vs gemmi.read_pdb_string
  from_pdb core    the library reader alone (C++ driver, no Python) vs gemmi.read_pdb_string
  to_pdb           libzyk.to_pdb over every model vs gemmi Structure.make_pdb_string
  to_pdb core      the library writer alone (C++ driver) vs the same gemmi call

The core rows come from bench/pdb_core_driver.cpp, built against the core library (CMake build
under build/bench-core). Peak memory of the 100 MB read is measured in fresh interpreters.
Run: tools/dev bench bench/bench_pdb.py   (QUICK=1 for fewer repetitions)
"""

from __future__ import annotations

import gc
import json
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
sys.path.insert(0, str(HERE))

from harness import Row, print_table  # noqa: E402

import gemmi  # noqa: E402
import libzyk  # noqa: E402

# Beside the checkout (a git worktree finds it beside a parent further up).
CORPUS = next((d / "shared" / "corpus" / "pdb" for d in ROOT.parents if (d / "shared" / "corpus").is_dir()),
              ROOT.parent / "shared" / "corpus" / "pdb")
DATA = ROOT / "build" / "bench-data"
CORE_BUILD = ROOT / "build" / "bench-core"
QUICK = os.environ.get("QUICK") == "1"


def multi_model_file(source: Path, target_mb: float = 100.0, conect_per_model: bool = False) -> Path:
    """Header once, then the coordinate records of `source` as MODEL sections until the text
    reaches `target_mb`, then its CONECT records (which apply to every model) and END. With
    `conect_per_model`, the CONECT records go inside every model instead (where a serial
    that no atom has is skipped rather than an error)."""
    out = DATA / f"{source.stem}_models_{target_mb:.0f}mb.pdb"
    if out.exists():
        return out
    lines = source.read_text().splitlines()
    first = next(i for i, line in enumerate(lines) if line[:6] in ("ATOM  ", "HETATM"))
    body = [line for line in lines[first:] if line[:6] in ("ATOM  ", "HETATM", "TER   ")]
    conect = [line for line in lines[first:] if line.startswith("CONECT")]
    per_model = sum(len(line) + 1 for line in body + (conect if conect_per_model else []))
    models = max(1, round(target_mb * 1e6 / per_model))
    DATA.mkdir(parents=True, exist_ok=True)
    with out.open("w") as f:
        f.write("\n".join(lines[:first]) + "\n")
        for m in range(1, models + 1):
            f.write(f"MODEL     {m:>4}\n")
            f.write("\n".join(body) + "\n")
            if conect_per_model:
                f.write("\n".join(conect) + "\n")
            f.write("ENDMDL\n")
        f.write(("" if conect_per_model else "\n".join(conect) + "\n") + "END\n")
    return out


def core_driver() -> Path | None:
    """Builds the core library and the timing driver; None when no compiler is at hand."""
    cmake = shutil.which("cmake") or str(Path(sys.executable).parent / "cmake")
    cxx = shutil.which("g++") or shutil.which("c++")
    if not cxx or not Path(cmake).exists():
        return None
    subprocess.run([cmake, "-S", str(ROOT), "-B", str(CORE_BUILD), "-DZYK_BUILD_MODULE=OFF", "-DCMAKE_BUILD_TYPE=Release"],
                   check=True, capture_output=True)
    subprocess.run([cmake, "--build", str(CORE_BUILD), "--target", "zyk_core", "--parallel", "2"], check=True,
                   capture_output=True)
    exe = CORE_BUILD / "pdb_core_driver"
    subprocess.run([cxx, "-O3", "-DNDEBUG", "-std=c++23", f"-I{ROOT / 'src'}", str(HERE / "pdb_core_driver.cpp"),
                    str(CORE_BUILD / "libzyk_core.a"), "-o", str(exe)], check=True)
    return exe


def core_times(exe: Path | None, path: Path, repeat: int) -> dict | None:
    if exe is None:
        return None
    out = subprocess.run([str(exe), str(path), str(repeat)], check=True, capture_output=True, text=True).stdout
    return json.loads(out)


def peak_above_text_mb(path: Path, statement: str) -> float:
    """Peak resident memory of a fresh interpreter running `statement`, above what it holds
    once the text is read. Reading the text peaks higher than it settles (decoding), so the
    kernel's peak counter is reset (clear_refs 5) after reading, before the statement."""
    code = f"""
import gc, json
import libzyk, gemmi
text = open({str(path)!r}).read()
gc.collect()
def status(key):
    with open("/proc/self/status") as f:
        return next(int(line.split()[1]) for line in f if line.startswith(key))
with open("/proc/self/clear_refs", "w") as f:
    f.write("5")
before = status("VmRSS:")
{statement}
print(json.dumps([before, status("VmHWM:")]))
"""
    out = subprocess.run([sys.executable, "-c", code], check=True, capture_output=True, text=True).stdout
    before, peak = json.loads(out.strip().splitlines()[-1])
    return (peak - before) / 1024.0


def timed(fn) -> float:
    gc.collect()
    t0 = time.perf_counter()
    fn()
    return time.perf_counter() - t0


def main() -> None:
    small = CORPUS / "1tii.pdb"
    big = multi_model_file(small)
    # Bond perception gives up at once on 1tii (SEQRES residues without atoms fail its
    # completeness check); on 1a8o it runs to the end, so this file shows its cost.
    perceived = multi_model_file(CORPUS / "1a8o.pdb", 25.0, conect_per_model=True)
    exe = core_driver()
    rows: list[Row] = []
    # The machine may be shared: the cases are interleaved round by round and each keeps its
    # best time, so that a busy moment does not favour one side.
    for path, rounds in ((small, 10 if QUICK else 40), (big, 3 if QUICK else 7), (perceived, 3 if QUICK else 7)):
        text = path.read_text()
        mb = len(text.encode()) / 1e6
        models = libzyk.from_pdb(text)
        structure = gemmi.read_pdb_string(text)
        best = {k: float("inf") for k in ("read", "gemmi_read", "write", "gemmi_write", "core_read", "core_write")}
        for _ in range(rounds):
            best["gemmi_read"] = min(best["gemmi_read"], timed(lambda: gemmi.read_pdb_string(text)))
            best["read"] = min(best["read"], timed(lambda: libzyk.from_pdb(text)))
            best["gemmi_write"] = min(best["gemmi_write"], timed(lambda: structure.make_pdb_string()))
            best["write"] = min(best["write"], timed(lambda: [libzyk.to_pdb(m) for m in models]))
            core = core_times(exe, path, 5 if path is small else 2)
            if core:
                best["core_read"] = min(best["core_read"], core["read_s"])
                best["core_write"] = min(best["core_write"], core["write_s"])
        name = path.name
        rows.append(Row(f"from_pdb {name}", mb, best["read"], {"gemmi": best["gemmi_read"]}))
        if exe:
            rows.append(Row(f"from_pdb core {name}", mb, best["core_read"], {"gemmi": best["gemmi_read"]}))
        rows.append(Row(f"to_pdb {name}", mb, best["write"], {"gemmi": best["gemmi_write"]}))
        if exe:
            rows.append(Row(f"to_pdb core {name}", mb, best["core_write"], {"gemmi": best["gemmi_write"]}))
        del models, structure

    ours_peak = peak_above_text_mb(big, "models = libzyk.from_pdb(text)")
    gemmi_peak = peak_above_text_mb(big, "st = gemmi.read_pdb_string(text)")
    for row in rows:
        if row.case == f"from_pdb {big.name}":
            row.peak_mb = ours_peak
    print_table(rows)
    print(f"peak memory reading {big.name} ({big.stat().st_size / 1e6:.0f} MB), above the text: "
          f"libzyk {ours_peak:.0f} MB, gemmi {gemmi_peak:.0f} MB")


if __name__ == "__main__":
    main()
