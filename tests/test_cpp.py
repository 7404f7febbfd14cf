"""Builds and runs the C++ unit tests of the core (behaviour Python cannot reach)."""

import shutil
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build" / "cpp-tests"


def cmake() -> str:
    here = Path(sys.executable).parent / "cmake"
    found = str(here) if here.exists() else shutil.which("cmake")
    if not found:
        pytest.skip("cmake is not available")
    return found


@pytest.fixture(scope="module")
def test_binary() -> Path:
    exe = cmake()
    subprocess.run(
        [exe, "-S", str(ROOT), "-B", str(BUILD), "-DZYK_BUILD_MODULE=OFF", "-DZYK_BUILD_CPP_TESTS=ON",
         "-DCMAKE_BUILD_TYPE=Release"],
        check=True, capture_output=True, text=True,
    )
    build = subprocess.run([exe, "--build", str(BUILD), "--parallel", "2"], capture_output=True, text=True)
    assert build.returncode == 0, build.stdout + build.stderr
    return BUILD / "zyk_cpp_tests"


def test_core_unit_tests(test_binary: Path) -> None:
    run = subprocess.run([str(test_binary)], capture_output=True, text=True, timeout=600)
    assert run.returncode == 0, run.stdout + run.stderr
