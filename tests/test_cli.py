"""The `zyk` command line, end to end on the corpus."""

import gzip
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import libzyk

ZYK = Path(sys.executable).parent / "zyk"


def zyk(*args, stdin=None, check=None):
    run = subprocess.run([str(ZYK), *map(str, args)], input=stdin, capture_output=True, text=True, timeout=300)
    if check is not None:
        assert run.returncode == check, run.stdout + run.stderr
    assert "Traceback" not in run.stderr, run.stderr
    return run


def rows(stdout):
    lines = stdout.strip().splitlines()
    assert lines[0].split("\t")[0] == "file"
    return [line.split("\t") for line in lines[1:]]


@pytest.mark.parametrize("args", [["--help"], ["info", "--help"], ["convert", "--help"], ["check", "--help"]])
def test_help_everywhere(args):
    run = zyk(*args, check=0)
    assert "usage: zyk" in run.stdout


def test_no_command_is_a_usage_error():
    run = zyk()
    assert run.returncode == 2 and "usage: zyk" in run.stderr


@pytest.mark.parametrize("name", ["pdb/1tii.pdb", "pdb/2beg.pdb", "cif/1a8o.cif", "cif/2beg.cif", "sdf/cdk2.sdf"])
def test_info_matches_the_library(corpus, name):
    path = corpus / name
    table = rows(zyk("info", path, check=0).stdout)
    text = path.read_text()
    reader = {"pdb": libzyk.from_pdb, "cif": libzyk.from_mmcif, "sdf": libzyk.from_sdf}[path.suffix[1:]]
    structures = reader(text)
    assert len(table) == len(structures)
    for row, trc in zip(table, structures):
        assert int(row[2]) == trc.num_atoms
        assert int(row[3]) == trc.num_residues
        assert int(row[4]) == trc.num_chains
        assert int(row[7]) == len(trc.topology.connectivity or [])


def test_info_walks_directories_and_reads_gzip(corpus, tmp_path):
    shutil.copy(corpus / "pdb" / "1a8o.pdb", tmp_path / "a.pdb")
    (tmp_path / "sub").mkdir()
    (tmp_path / "sub" / "b.cif.gz").write_bytes(gzip.compress((corpus / "cif" / "1a8o.cif").read_bytes()))
    (tmp_path / "notes.txt").write_text("not a structure")
    table = rows(zyk("info", tmp_path, check=0).stdout)
    assert [Path(r[0]).name for r in table] == ["a.pdb", "b.cif.gz"]
    assert table[0][2] == table[1][2]  # same entry, same atoms


def test_info_from_standard_input(corpus):
    text = (corpus / "pdb" / "1a8o.pdb").read_text()
    table = rows(zyk("info", "-", stdin=text, check=0).stdout)
    assert int(table[0][2]) == libzyk.from_pdb(text)[0].num_atoms


def test_convert_pdb_to_xyz_and_back_through_stdout(corpus, tmp_path):
    out = tmp_path / "x.xyz"
    zyk("convert", corpus / "pdb" / "1a8o.pdb", out, check=0)
    trc = libzyk.from_xyz(out.read_text())
    assert trc.num_atoms == libzyk.from_pdb((corpus / "pdb" / "1a8o.pdb").read_text())[0].num_atoms
    run = zyk("convert", corpus / "pdb" / "1a8o.pdb", "-", "--to", "pdb", check=0)
    again = libzyk.from_pdb(run.stdout)[0]
    assert again.num_atoms == trc.num_atoms


def test_convert_mmcif_to_gzipped_pdb(corpus, tmp_path):
    out = tmp_path / "y.pdb.gz"
    zyk("convert", corpus / "cif" / "1a8o.cif", out, check=0)
    text = gzip.decompress(out.read_bytes()).decode()
    assert libzyk.from_pdb(text)[0].num_atoms == libzyk.from_mmcif((corpus / "cif" / "1a8o.cif").read_text())[0].num_atoms


def test_convert_from_stdin_to_stdout(corpus):
    text = (corpus / "sdf" / "ligs3d.sdf").read_text()
    run = zyk("convert", "-", "-", "--from", "sdf", "--to", "sdf", stdin=text, check=0)
    assert len(libzyk.from_sdf(run.stdout)) == len(libzyk.from_sdf(text))


def test_model_selection(corpus, tmp_path):
    source = corpus / "cif" / "2beg.cif"
    models = libzyk.from_mmcif(source.read_text())
    assert len(models) > 1
    run = zyk("convert", source, tmp_path / "m.pdb")
    assert run.returncode == 1 and "--model" in run.stderr
    zyk("convert", source, tmp_path / "m.pdb", "--model", 2, check=0)
    second = libzyk.from_pdb((tmp_path / "m.pdb").read_text())[0]
    assert second.topology.geometry.tolist() == models[1].topology.geometry.tolist()
    run = zyk("convert", source, tmp_path / "m.pdb", "--model", 999)
    assert run.returncode == 1 and "model 999 does not exist" in run.stderr


@pytest.mark.parametrize("args,message", [
    (["info", "/nonexistent/file.pdb"], "No such file or directory"),
    (["convert", "/nonexistent/file.pdb", "out.pdb"], "No such file or directory"),
    (["convert", "{corpus}/pdb/1a8o.pdb", "out.unknown"], "give --to"),
    (["convert", "{corpus}/pdb/1a8o.pdb", "out.cif"], "cannot write mmcif"),
    (["convert", "{corpus}/pdb/1a8o.pdb", "{tmp}/out.sdf"], "SDF write error"),
])
def test_errors_are_one_line(corpus, tmp_path, args, message):
    args = [a.format(corpus=corpus, tmp=tmp_path) for a in args]
    run = zyk(*args)
    assert run.returncode != 0
    assert message in run.stderr
    assert all(line.startswith(("zyk:", "  ")) for line in run.stderr.strip().splitlines())


def test_batch_keeps_going_past_bad_files(corpus, tmp_path):
    src = tmp_path / "in"
    src.mkdir()
    shutil.copy(corpus / "pdb" / "1a8o.pdb", src / "good.pdb")
    (src / "bad.pdb").write_text("ATOM      1  N   ALA A   1      xx.xxx  11.000  12.000  1.00  0.00           N\n")
    (src / "bad.xyz").write_text("3\ncomment\nC 0 0 0\n")
    out = tmp_path / "out"
    run = zyk("convert", src, out, "--to", "xyz")
    assert run.returncode == 1
    assert (out / "good.xyz").exists()
    assert "2 file(s) could not be converted" in run.stderr
    assert "bad.pdb" in run.stderr and "bad.xyz" in run.stderr


def test_progress_bar_on_request(corpus, tmp_path):
    run = zyk("info", corpus / "pdb", "--progress", check=0)
    assert "files" in run.stderr and "[" in run.stderr


@pytest.mark.parametrize("strictness", ["none", "heavy", "all"])
def test_check_reports_per_file(corpus, strictness):
    run = zyk("check", corpus / "pdb" / "1a8o.pdb", corpus / "sdf" / "ligs3d.sdf", "--strictness", strictness)
    assert run.returncode in (0, 1)
    assert "ligs3d.sdf: ok" in run.stdout
    lines = [line for line in run.stdout.splitlines() if "1a8o.pdb" in line]
    assert lines and all(": ok" in line or ": check: " in line or ": bonds: " in line or ": charges: " in line
                         for line in lines)


def test_check_finds_problems(tmp_path):
    # An alanine without its side chain: heavy atoms missing.
    pdb = tmp_path / "ala.pdb"
    pdb.write_text(
        "ATOM      1  N   ALA A   1      11.104   6.134  -6.504  1.00  0.00           N\n"
        "ATOM      2  CA  ALA A   1      11.639   6.071  -5.147  1.00  0.00           C\n"
        "END\n")
    run = zyk("check", pdb, "--strictness", "heavy")
    assert run.returncode == 1
    assert "missing heavy atoms in ALA @ 1" in run.stdout
