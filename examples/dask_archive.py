"""Process a whole archive of structure files with Dask.

Each task reads one file on a worker and returns a small summary (or a converted file); only
the summaries travel back. The same code runs on a laptop (`LocalCluster`) and on a
multi-machine cluster: pass the scheduler address instead of starting a local cluster.

    python examples/dask_archive.py DIR [--scheduler tcp://host:8786] [--convert-to sdf --out OUT]

`TRC` objects pickle (through their dict form), so tasks may also return whole structures;
summaries are cheaper to move.
"""

from __future__ import annotations

import argparse
import os
from pathlib import Path

from dask.distributed import Client, LocalCluster, as_completed

import libzyk
import zyk_cli


def summarize_file(path: str) -> dict:
    """Read one file and summarise every structure in it; failures become a record, not a crash."""
    try:
        structures = zyk_cli.read_structures(path, None)
    except zyk_cli.CliError as e:
        return {"path": path, "error": str(e)}
    return {
        "path": path,
        "models": len(structures),
        "atoms": sum(t.num_atoms for t in structures),
        "residues": sum(t.num_residues for t in structures),
        "chains": sum(t.num_chains for t in structures),
        "bonds": sum(len(t.topology.connectivity or ()) for t in structures),
    }


def convert_file(path: str, out_dir: str, fmt: str) -> dict:
    """Convert one file into `out_dir`, keeping its name with the new ending."""
    target = Path(out_dir) / (Path(path).name.split(".")[0] + "." + fmt)
    try:
        structures = zyk_cli.read_structures(path, None)
        if fmt == "pdb":
            structures = structures[:1]  # one model per PDB file written
        text = zyk_cli.render(structures, fmt)
    except (zyk_cli.CliError, ValueError) as e:
        return {"path": path, "error": str(e)}
    target.write_text(text)
    return {"path": path, "output": str(target)}


def first_structure(path: str) -> libzyk.TRC:
    """A task that returns a structure itself (it is pickled back to the client)."""
    return zyk_cli.read_structures(path, None)[0]


def run(client: Client, paths: list[str], convert_to: str | None = None, out_dir: str | None = None) -> list[dict]:
    if convert_to:
        futures = client.map(convert_file, paths, out_dir=out_dir, fmt=convert_to)
    else:
        futures = client.map(summarize_file, paths)
    results = [f.result() for f in as_completed(futures)]
    return sorted(results, key=lambda r: r["path"])


def main(argv: list[str] | None = None) -> int:
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("directory")
    p.add_argument("--scheduler", help="address of a running Dask scheduler (default: a local cluster)")
    p.add_argument("--workers", type=int, default=2, help="worker processes of the local cluster")
    p.add_argument("--convert-to", choices=sorted(zyk_cli.WRITERS))
    p.add_argument("--out", help="output directory for --convert-to")
    args = p.parse_args(argv)
    paths = zyk_cli.expand([args.directory])
    if args.convert_to:
        if not args.out:
            p.error("--convert-to needs --out")
        os.makedirs(args.out, exist_ok=True)
    if args.scheduler:
        client = Client(args.scheduler)
        cluster = None
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True, dashboard_address=None)
        client = Client(cluster)
    try:
        results = run(client, paths, args.convert_to, args.out)
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    bad = [r for r in results if "error" in r]
    for r in results:
        print(r)
    print(f"{len(results) - len(bad)} ok, {len(bad)} failed")
    return 1 if bad else 0


if __name__ == "__main__":
    raise SystemExit(main())
