"""The Dask example converts and summarises a folder with two worker processes."""

import shutil
import sys
from pathlib import Path

import pytest

distributed = pytest.importorskip("dask.distributed")

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "examples"))
import dask_archive  # noqa: E402

import libzyk  # noqa: E402


@pytest.fixture(scope="module")
def client():
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None)
    with distributed.Client(cluster) as c:
        yield c
    cluster.close()


@pytest.fixture
def folder(corpus, tmp_path):
    for name in ("pdb/1a8o.pdb", "cif/1a8o.cif", "sdf/ligs3d.sdf"):
        shutil.copy(corpus / name, tmp_path / Path(name).name)
    (tmp_path / "broken.xyz").write_text("2\nonly one atom\nC 0 0 0\n")
    return tmp_path


def test_summaries_come_back_for_every_file(client, folder):
    paths = [str(p) for p in sorted(folder.iterdir())]
    results = dask_archive.run(client, paths)
    by_name = {Path(r["path"]).name: r for r in results}
    assert set(by_name) == {"1a8o.pdb", "1a8o.cif", "ligs3d.sdf", "broken.xyz"}
    assert "error" in by_name["broken.xyz"]
    assert by_name["ligs3d.sdf"]["models"] == 10
    assert by_name["1a8o.pdb"]["atoms"] == libzyk.from_pdb((folder / "1a8o.pdb").read_text())[0].num_atoms


def test_conversion_on_workers(client, folder, tmp_path_factory):
    out = tmp_path_factory.mktemp("out")
    paths = [str(folder / "ligs3d.sdf"), str(folder / "1a8o.cif")]
    results = dask_archive.run(client, paths, convert_to="xyz", out_dir=str(out))
    assert all("output" in r for r in results), results
    assert libzyk.from_xyz((out / "1a8o.xyz").read_text()).num_atoms > 0


def test_structures_travel_between_processes(client, folder):
    path = str(folder / "ligs3d.sdf")
    remote = client.submit(dask_archive.first_structure, path).result()
    local = libzyk.from_sdf((folder / "ligs3d.sdf").read_text())[0]
    assert isinstance(remote, libzyk.TRC)
    assert remote.to_dict() == local.to_dict()
