import os
import sys

import pytest

import sarfan
from conftest import FI, KITAB

distributed = pytest.importorskip("dask.distributed")
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "examples"))
import dask_tokenize  # noqa: E402


def test_dask_recipe_matches_one_process(tmp_path, default_tokenizer):
    # A local cluster of two worker processes, each loading its own tokenizer.
    paths = []
    for k in range(6):
        path = tmp_path / f"part{k}.txt"
        path.write_text("".join(f"{FI} {KITAB} {k} {n} 😀\n" for n in range(500)), encoding="utf-8")
        paths.append(str(path))
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        results = dask_tokenize.tokenize_files(client, paths)
        pids = client.run(os.getpid)
    assert len(set(pids.values())) == 2 and os.getpid() not in pids.values()
    for path, ids in zip(paths, results):
        with open(path, encoding="utf-8") as f:
            assert ids == default_tokenizer.encode_batch_ids(f.read().splitlines())
