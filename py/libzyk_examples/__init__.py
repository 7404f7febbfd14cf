"""Example structures shipped with libzyk.

    >>> import libzyk, libzyk_examples
    >>> models = libzyk.from_pdb(libzyk_examples.path().read_text())

5dpv.pdb: Aurora A kinase with two inhibitors, waters, helices and sheets (a public Protein Data
Bank entry).
"""

from __future__ import annotations

from importlib import resources
from pathlib import Path

DEFAULT = "5dpv.pdb"


def names() -> list[str]:
    """The file names of the bundled structures."""
    return sorted(p.name for p in resources.files(__name__).iterdir() if p.name.endswith((".pdb", ".cif", ".sdf")))


def path(name: str = DEFAULT) -> Path:
    """The path of a bundled structure file."""
    if name not in names():
        raise ValueError(f"no bundled structure named {name!r} (have: {', '.join(names())})")
    return Path(str(resources.files(__name__) / name))
