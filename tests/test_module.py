"""The module frame: the exported clock, and concurrent first reads of cached values."""

import ctypes
import threading
import time

import libzyk
from libzyk import Element, TRC


def test_now_is_exported_with_c_linkage():
    lib = ctypes.CDLL(libzyk.__file__)
    lib.now.restype = ctypes.c_int64
    lib.now.argtypes = []
    first = lib.now()
    second = lib.now()
    assert first <= second
    assert abs(first - time.time_ns()) < 5 * 10**9


def test_concurrent_first_reads_see_one_object():
    t = TRC([Element.C] * 1000, [[float(i), 0.0, 0.0] for i in range(1000)], labels=["C"] * 1000)
    seen = {name: [] for name in ("geometry", "symbols", "labels")}
    barrier = threading.Barrier(8)

    def read():
        barrier.wait()
        topo = t.topology
        for name in seen:
            seen[name].append(getattr(topo, name))

    threads = [threading.Thread(target=read) for _ in range(8)]
    for th in threads:
        th.start()
    for th in threads:
        th.join()
    for name, values in seen.items():
        assert all(v is values[0] for v in values), name


def test_unfinished_functions_are_registered_with_their_names():
    for name in ("from_pdb", "to_pdb", "from_mmcif", "from_sdf", "to_sdf", "from_xyz", "to_xyz"):
        assert callable(getattr(libzyk, name))
