"""The installed stubs describe the API well enough for a strict type checker."""

import shutil
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parent.parent


def site_file(name: str) -> Path:
    import libzyk
    return Path(libzyk.__file__).parent / name


def test_stubs_are_installed():
    assert site_file("libzyk.pyi").is_file()
    assert site_file("libzyk-stubs/__init__.pyi").is_file()
    stub = site_file("libzyk.pyi").read_text()
    for name in ("class TRC", "class Topology", "def from_pdb(contents: str) -> list[TRC]", "def geometry(self)"):
        assert name in stub


def test_mypy_accepts_the_typed_example():
    pytest.importorskip("mypy")
    run = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--no-incremental", str(ROOT / "examples" / "typed_usage.py")],
                         capture_output=True, text=True, cwd=ROOT, timeout=600)
    assert run.returncode == 0, run.stdout + run.stderr


def test_mypy_rejects_misuse(tmp_path):
    pytest.importorskip("mypy")
    bad = tmp_path / "bad.py"
    bad.write_text("import libzyk\nn: str = libzyk.TRC([libzyk.Element.H], [[0.0, 0.0, 0.0]]).num_atoms\n"
                   "libzyk.from_pdb(3)\n")
    run = subprocess.run([sys.executable, "-m", "mypy", "--no-incremental", str(bad)], capture_output=True, text=True,
                         timeout=600)
    assert run.returncode == 1
    assert "bad.py:2" in run.stdout and "bad.py:3" in run.stdout
