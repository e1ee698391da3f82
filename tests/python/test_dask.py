"""torvo.dask on the calling process and on a LocalCluster of two worker processes."""
import io
import logging
import os
import signal
import time

import pytest

distributed = pytest.importorskip("distributed")
import dask  # noqa: E402
from dask.diagnostics import ProgressBar  # noqa: E402

import torvo  # noqa: E402
import torvo.dask  # noqa: E402
from conftest import comparable  # noqa: E402


@pytest.fixture(scope="module")
def client():
    # Worker processes as on a real cluster; localhost only, no dashboard.
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                                       host="127.0.0.1", silence_logs=logging.ERROR)
    with distributed.Client(cluster) as c:
        yield c
    cluster.close()


@pytest.fixture(scope="module")
def names(samples, tmp_path_factory):
    # A missing file and a folder without media among the samples: each one
    # error row, where it was named.
    folder = tmp_path_factory.mktemp("dask")
    return samples + [str(folder / "missing.avi"), str(folder)]


@pytest.fixture(scope="module")
def in_process(names):
    return [comparable(r) for r in torvo.analyse_many(names, workers=1)]


def test_the_bag_in_process_is_analyse_many(names, in_process):
    bag = torvo.dask.analyse_bag(names, partition_size=16)
    assert bag.npartitions == -(-len(names) // 16)
    reports = [comparable(r) for r in bag.compute(scheduler="sync")]
    assert reports == in_process


def test_the_cluster_gives_the_records_of_one_process(client, names, in_process):
    bag = torvo.dask.analyse_bag(names, partition_size=8)
    reports = [comparable(r) for r in client.compute(bag).result(timeout=120)]
    assert reports == in_process
    assert len(client.scheduler_info()["workers"]) == 2

    frame = torvo.dask.streams_frame(bag).compute()
    assert list(frame.columns) == list(torvo.dask.STREAM_COLUMNS)
    errors = frame[frame.error_code.notna()]
    assert sorted(errors.error_code) == ["no_media_files", "not_found"]
    # One row per stream, one for a file with none: no file is left out.
    expected = sum(max(1, len(r.get("streams", []))) for r in in_process)
    assert len(frame) == expected
    assert set(frame.file) == {r["file"] for r in in_process}
    # The same table from the reports in hand.
    assert frame.reset_index(drop=True).equals(torvo.dask.streams_frame(in_process))


def test_a_worker_killed_mid_run_loses_no_file(client, names, in_process):
    repeat = 4
    bag = torvo.dask.analyse_bag(names * repeat, partition_size=4)
    future = client.compute(bag)
    pids = client.run(os.getpid)
    victim = next(iter(pids))
    # Kill the worker as soon as it holds a finished part and works on another.
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        holding = any(victim in w for w in client.who_has().values())
        if holding and client.processing().get(victim):
            break
        time.sleep(0.02)
    else:
        pytest.fail("the worker never held a finished part")
    os.kill(pids[victim], signal.SIGKILL)
    reports = [comparable(r) for r in future.result(timeout=120)]
    assert reports == in_process * repeat
    assert victim not in client.scheduler_info()["workers"]  # it died during the run, not after
    # What the dead worker held or was working on was given up (and so computed again).
    lost = client.run_on_scheduler(lambda dask_scheduler: {
        t[1] for t in dask_scheduler.transition_log if str(t[4]).startswith("handle-worker-cleanup")})
    assert {"memory", "processing"} <= lost


def test_the_frame_is_categorical_and_dask_progress_follows_the_bag(names, in_process):
    bag = torvo.dask.analyse_bag(names, partition_size=16)
    out = io.StringIO()
    with ProgressBar(out=out, dt=0.01):
        frame = torvo.dask.streams_frame(bag).compute(scheduler="sync")
    assert "100% Completed" in out.getvalue()
    kinds = {c: str(frame[c].dtype) for c in ("container_type", "stream_type", "codec", "decoder", "width", "duration")}
    assert kinds == {"container_type": "category", "stream_type": "category", "codec": "category",
                     "decoder": "category", "width": "Int64", "duration": "float64"}
    assert list(frame.decoder.cat.categories) == ["installed", "not_installed", "not_needed", "undetermined",
                                                  "disabled"]
    streams = [s for r in in_process for s in r.get("streams", [])]
    assert frame.codec.value_counts().to_dict() == {c: sum(s["codec"] == c for s in streams)
                                                    for c in {s["codec"] for s in streams} if c is not None}


def test_misuse_raises_torvo_error():
    for call in (lambda: torvo.dask.analyse_bag("one.avi"), lambda: torvo.dask.analyse_bag(["a"], partition_size=0)):
        with pytest.raises(torvo.TorvoError):
            call()
    assert dask.compute(torvo.dask.analyse_bag([]))[0] == []
