"""Small timing helpers shared by the benchmark scripts.

Times are the best of several runs (wall clock, one thread). Peak memory is measured in a fresh
subprocess so that one case's allocations do not hide another's.
"""

from __future__ import annotations

import gc
import json
import subprocess
import sys
import time
from dataclasses import dataclass, field
from typing import Callable


def best_time(fn: Callable[[], object], repeat: int = 5, min_total: float = 0.2) -> float:
    """Best wall time of `fn` in seconds, over at least `repeat` runs (more for fast calls)."""
    best = float("inf")
    runs = 0
    spent = 0.0
    while runs < repeat or (spent < min_total and runs < 1000):
        gc.collect()
        t0 = time.perf_counter()
        fn()
        dt = time.perf_counter() - t0
        best = min(best, dt)
        spent += dt
        runs += 1
    return best


def peak_rss_mb(setup: str, statement: str) -> float:
    """Peak resident memory (MB) of a fresh interpreter that runs `setup` then `statement`,
    minus the peak after `setup` alone."""
    code = f"""
import resource, json
{setup}
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
{statement}
after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
print(json.dumps([before, after]))
"""
    out = subprocess.run([sys.executable, "-c", code], check=True, capture_output=True, text=True).stdout
    before, after = json.loads(out.strip().splitlines()[-1])
    return max(after - before, 0) / 1024.0


@dataclass
class Row:
    case: str
    size_mb: float
    ours: float
    peers: dict[str, float] = field(default_factory=dict)
    peak_mb: float | None = None


def print_table(rows: list[Row]) -> None:
    peer_names = sorted({p for r in rows for p in r.peers})
    head = ["case", "MB", "ours s", "ours MB/s"] + [f"{p} s" for p in peer_names] + [f"x vs {p}" for p in peer_names] + ["peak MB"]
    lines = [head]
    for r in rows:
        cells = [r.case, f"{r.size_mb:.2f}", f"{r.ours:.4f}", f"{r.size_mb / r.ours:.1f}" if r.ours > 0 and r.size_mb else "-"]
        cells += [f"{r.peers[p]:.4f}" if p in r.peers else "-" for p in peer_names]
        cells += [f"{r.peers[p] / r.ours:.2f}" if p in r.peers and r.ours > 0 else "-" for p in peer_names]
        cells.append(f"{r.peak_mb:.0f}" if r.peak_mb is not None else "-")
        lines.append(cells)
    widths = [max(len(line[i]) for line in lines) for i in range(len(head))]
    for k, line in enumerate(lines):
        print("  ".join(c.rjust(w) if i else c.ljust(w) for i, (c, w) in enumerate(zip(line, widths))))
        if k == 0:
            print("  ".join("-" * w for w in widths))
