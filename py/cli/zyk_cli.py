"""The `zyk` command: inspect, convert and check structure files.

    zyk info FILE_OR_DIR...          models, atoms, residues, chains, helices, sheets, bonds, charge
    zyk convert IN OUT               convert between PDB, mmCIF (read only), SDF and XYZ
    zyk convert IN_DIR OUT_DIR --to sdf
    zyk check FILE_OR_DIR...         validation, bond and formal-charge perception

Formats come from the file endings (.pdb/.ent, .cif/.mmcif, .sdf/.mol, .xyz, each optionally
.gz); "-" reads standard input or writes standard output (give --from/--to, or let the input be
recognised from its first lines). Directories are walked recursively; bad files are reported at
the end and make the exit status non-zero.
"""

from __future__ import annotations

import argparse
import gzip
import os
import sys
import time
from collections.abc import Iterable, Iterator
from dataclasses import dataclass
from pathlib import Path

import libzyk

READERS = {
    "pdb": libzyk.from_pdb,
    "mmcif": libzyk.from_mmcif,
    "sdf": libzyk.from_sdf,
    "xyz": lambda text: [libzyk.from_xyz(text)],
}
WRITERS = {"pdb": libzyk.to_pdb, "sdf": libzyk.to_sdf, "xyz": libzyk.to_xyz}
ENDINGS = {
    ".pdb": "pdb", ".ent": "pdb", ".cif": "mmcif", ".mmcif": "mmcif", ".sdf": "sdf", ".mol": "sdf",
    ".sd": "sdf", ".xyz": "xyz",
}
STRICTNESS = {
    "none": libzyk.AtomCheckStrictness.NONE,
    "heavy": libzyk.AtomCheckStrictness.Heavy,
    "all": libzyk.AtomCheckStrictness.All,
}


class CliError(Exception):
    """A failure reported as one line, without a traceback."""


def format_of(name: str) -> str | None:
    """The format named by a file's ending, ignoring a final .gz."""
    lower = name.lower()
    if lower.endswith(".gz"):
        lower = lower[:-3]
    return ENDINGS.get(os.path.splitext(lower)[1])


def sniff(text: str) -> str:
    """Recognise a format from the first lines of a text without a telling file name."""
    lines = text.splitlines()[:5]
    first = lines[0].strip() if lines else ""
    if first.startswith("data_") or any(line.startswith("_atom_site.") or line.startswith("loop_") for line in lines):
        return "mmcif"
    if len(lines) >= 4 and ("V2000" in lines[3] or "V3000" in lines[3]):
        return "sdf"
    if first.isdigit():
        return "xyz"
    return "pdb"


def read_text(path: str) -> str:
    """Whole text of a file or of standard input; gzip recognised by its magic bytes."""
    if path == "-":
        data = sys.stdin.buffer.read()
    else:
        try:
            with open(path, "rb") as f:
                data = f.read()
        except OSError as e:
            raise CliError(f"{path}: {e.strerror or e}") from None
    if data[:2] == b"\x1f\x8b":
        try:
            data = gzip.decompress(data)
        except (OSError, EOFError) as e:
            raise CliError(f"{path}: bad gzip data: {e}") from None
    # Files in the wild carry stray non-UTF-8 bytes in remarks; they must not stop a read.
    return data.decode("utf-8", errors="replace")


def read_structures(path: str, fmt: str | None) -> list[libzyk.TRC]:
    text = read_text(path)
    fmt = fmt or (format_of(path) if path != "-" else None) or sniff(text)
    try:
        return READERS[fmt](text)
    except ValueError as e:
        raise CliError(f"{path}: {e}") from None


def write_text(path: str, text: str) -> None:
    if path == "-":
        sys.stdout.write(text)
        sys.stdout.flush()
        return
    try:
        if path.lower().endswith(".gz"):
            with gzip.open(path, "wt", encoding="utf-8") as f:
                f.write(text)
        else:
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
    except OSError as e:
        raise CliError(f"{path}: {e.strerror or e}") from None


def expand(paths: Iterable[str]) -> list[str]:
    """Files named directly, plus the structure files found under named directories."""
    out: list[str] = []
    for p in paths:
        if p != "-" and os.path.isdir(p):
            for root, dirs, files in os.walk(p):
                dirs.sort()
                out.extend(os.path.join(root, f) for f in sorted(files) if format_of(f))
        else:
            out.append(p)
    return out


class Progress:
    """A one-line progress bar on standard error, shown for long runs on a terminal."""

    def __init__(self, total: int, enabled: bool | None = None) -> None:
        self.total = total
        self.done = 0
        self.start = time.monotonic()
        self.enabled = (sys.stderr.isatty() and total > 1) if enabled is None else enabled
        self.last = 0.0

    def step(self) -> None:
        self.done += 1
        if not self.enabled:
            return
        now = time.monotonic()
        if now - self.last < 0.1 and self.done < self.total:
            return
        self.last = now
        width = 30
        filled = width * self.done // max(self.total, 1)
        rate = self.done / max(now - self.start, 1e-9)
        sys.stderr.write(f"\r[{'#' * filled}{'.' * (width - filled)}] {self.done}/{self.total} files, {rate:.1f}/s")
        sys.stderr.flush()

    def close(self) -> None:
        if self.enabled:
            sys.stderr.write("\n")
            sys.stderr.flush()


@dataclass
class Summary:
    models: int
    atoms: int
    residues: int
    chains: int
    helices: int
    sheets: int
    bonds: int
    charge: int


def summarize(trc: libzyk.TRC) -> Summary:
    topo, chains = trc.topology, trc.chains
    helices = len(chains.alpha_helices.helix_ids) if chains.alpha_helices is not None else 0
    sheets = len(set(chains.beta_sheets.sheet_ids)) if chains.beta_sheets is not None else 0
    bonds = len(topo.connectivity) if topo.connectivity is not None else 0
    charge = int(topo.formal_charges.sum()) if topo.formal_charges is not None else 0
    return Summary(1, trc.num_atoms, trc.num_residues, trc.num_chains, helices, sheets, bonds, charge)


def for_each_file(paths: list[str], progress_flag: bool | None, work) -> list[tuple[str, str]]:
    """Runs `work(path)` on every file, collecting (path, message) for the ones that fail."""
    failures: list[tuple[str, str]] = []
    progress = Progress(len(paths), progress_flag)
    try:
        for path in paths:
            try:
                work(path)
            except CliError as e:
                failures.append((path, str(e)))
            progress.step()
    finally:
        progress.close()
    return failures


def report_failures(failures: list[tuple[str, str]], what: str) -> int:
    if not failures:
        return 0
    print(f"zyk: {len(failures)} file(s) could not be {what}:", file=sys.stderr)
    for _, message in failures:
        print(f"  {message}", file=sys.stderr)
    return 1


def cmd_info(args: argparse.Namespace) -> int:
    paths = expand(args.paths)
    header = "file\tmodel\tatoms\tresidues\tchains\thelices\tsheets\tbonds\tcharge"
    print(header)

    def work(path: str) -> None:
        structures = read_structures(path, args.format)
        for i, trc in enumerate(structures, 1):
            s = summarize(trc)
            print(f"{path}\t{i}/{len(structures)}\t{s.atoms}\t{s.residues}\t{s.chains}\t{s.helices}\t{s.sheets}\t"
                  f"{s.bonds}\t{s.charge}")
        if not structures:
            print(f"{path}\t0/0\t0\t0\t0\t0\t0\t0\t0")

    return report_failures(for_each_file(paths, args.progress, work), "read")


def select_models(structures: list[libzyk.TRC], model: int | None, out_fmt: str, name: str) -> list[libzyk.TRC]:
    if model is not None:
        if not 1 <= model <= len(structures):
            raise CliError(f"{name}: model {model} does not exist (the input has {len(structures)})")
        return [structures[model - 1]]
    if out_fmt == "pdb" and len(structures) > 1:
        raise CliError(f"{name}: the input has {len(structures)} models; choose one with --model")
    return structures


def render(structures: list[libzyk.TRC], fmt: str) -> str:
    """The text of one or more structures: SDF records follow each other; XYZ frames (which end
    without a line feed) are joined by one."""
    write = WRITERS[fmt]
    if fmt == "sdf":
        return "".join(write(t) for t in structures)
    return "\n".join(write(t) for t in structures)


def convert_one(src: str, dst: str, args: argparse.Namespace) -> None:
    out_fmt = args.to or (format_of(dst) if dst != "-" else None)
    if out_fmt is None:
        raise CliError(f"{dst}: cannot tell the output format; give --to")
    if out_fmt not in WRITERS:
        raise CliError(f"{dst}: cannot write {out_fmt} (writable: {', '.join(sorted(WRITERS))})")
    structures = select_models(read_structures(src, args.source_format), args.model, out_fmt, src)
    if not structures:
        raise CliError(f"{src}: no structure to write")
    try:
        text = render(structures, out_fmt)
    except ValueError as e:
        raise CliError(f"{src}: {e}") from None
    write_text(dst, text)


def cmd_convert(args: argparse.Namespace) -> int:
    if os.path.isdir(args.input):
        if not args.to:
            raise CliError("converting a directory needs --to")
        out_dir = Path(args.output)
        out_dir.mkdir(parents=True, exist_ok=True)
        sources = expand([args.input])

        def work(path: str) -> None:
            rel = Path(path).relative_to(args.input)
            stem = rel.name[:-3] if rel.name.lower().endswith(".gz") else rel.name
            target = out_dir / rel.parent / (os.path.splitext(stem)[0] + "." + args.to)
            target.parent.mkdir(parents=True, exist_ok=True)
            convert_one(path, str(target), args)

        return report_failures(for_each_file(sources, args.progress, work), "converted")
    convert_one(args.input, args.output, args)
    return 0


def cmd_check(args: argparse.Namespace) -> int:
    strictness = STRICTNESS[args.strictness]
    paths = expand(args.paths)
    problems = 0

    def work(path: str) -> None:
        nonlocal problems
        structures = read_structures(path, args.format)
        found = []
        for i, trc in enumerate(structures, 1):
            where = f"{path} model {i}" if len(structures) > 1 else path
            for step, run in (("check", trc.check),
                              ("bonds", lambda: trc.perceive_bonds(strictness)),
                              ("charges", trc.perceive_formal_charges)):
                try:
                    run()
                except ValueError as e:
                    found.append(f"{where}: {step}: {e}")
        problems += len(found)
        for line in found:
            print(line)
        if not found:
            print(f"{path}: ok")

    failures = for_each_file(paths, args.progress, work)
    status = report_failures(failures, "read")
    return 1 if problems or status else 0


def parser() -> argparse.ArgumentParser:
    p = argparse.ArgumentParser(prog="zyk", description="Inspect, convert and check molecular structure files.")
    p.add_argument("--version", action="version", version=f"zyk (libzyk) {_version()}")
    sub = p.add_subparsers(dest="command", required=True, metavar="COMMAND")
    fmt_choices = sorted(READERS)

    def progress_flags(sp: argparse.ArgumentParser) -> None:
        g = sp.add_mutually_exclusive_group()
        g.add_argument("--progress", dest="progress", action="store_true", default=None,
                       help="always show the progress bar")
        g.add_argument("--no-progress", dest="progress", action="store_false", help="never show the progress bar")

    info = sub.add_parser("info", help="summarise structure files", description="Print, per model: atoms, residues, "
                          "chains, helices, sheets, bonds and the formal charge total.")
    info.add_argument("paths", nargs="+", metavar="FILE", help="files or directories ('-' for standard input)")
    info.add_argument("--format", choices=fmt_choices, help="input format (default: from the file ending)")
    progress_flags(info)
    info.set_defaults(run=cmd_info)

    conv = sub.add_parser("convert", help="convert between formats", description="Convert a structure file (or a "
                          "directory of them) to PDB, SDF or XYZ.")
    conv.add_argument("input", metavar="IN", help="input file, directory, or '-' for standard input")
    conv.add_argument("output", metavar="OUT", help="output file, directory, or '-' for standard output")
    conv.add_argument("--from", dest="source_format", choices=fmt_choices, help="input format")
    conv.add_argument("--to", choices=sorted(WRITERS), help="output format (default: from the ending of OUT)")
    conv.add_argument("--model", type=int, help="the model to write (1-based) for multi-model input")
    progress_flags(conv)
    conv.set_defaults(run=cmd_convert)

    chk = sub.add_parser("check", help="validate and run perception", description="Run validation, bond perception "
                         "and formal-charge perception on every structure and report each problem.")
    chk.add_argument("paths", nargs="+", metavar="FILE", help="files or directories ('-' for standard input)")
    chk.add_argument("--format", choices=fmt_choices, help="input format (default: from the file ending)")
    chk.add_argument("--strictness", choices=sorted(STRICTNESS), default="heavy",
                     help="how strictly amino-acid atoms are checked (default: heavy)")
    progress_flags(chk)
    chk.set_defaults(run=cmd_check)
    return p


def _version() -> str:
    try:
        from importlib.metadata import version
        return version("libzyk")
    except Exception:
        return "unknown"


def main(argv: list[str] | None = None) -> int:
    args = parser().parse_args(argv)
    try:
        return args.run(args)
    except CliError as e:
        print(f"zyk: error: {e}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        print("zyk: interrupted", file=sys.stderr)
        return 130
    except BrokenPipeError:
        # The reader of our output went away (zyk info ... | head): not an error of ours.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return 0


if __name__ == "__main__":
    sys.exit(main())
