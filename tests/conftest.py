from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parent.parent
# Beside the checkout; a git worktree one level further down finds it beside its parent.
CORPUS = next((d / "shared" / "corpus" for d in ROOT.parents if (d / "shared" / "corpus").is_dir()),
              ROOT.parent / "shared" / "corpus")


@pytest.fixture(scope="session")
def corpus() -> Path:
    if not CORPUS.is_dir():
        pytest.skip("the shared corpus is not beside the checkout")
    return CORPUS
