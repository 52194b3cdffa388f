"""meshprobe.batch: the tool's records from Dask, one per part whatever dies, resumable; part_record's limits."""

import json, logging, os, random, signal, subprocess, sys

import numpy as np
import pytest

import meshprobe
from conftest import CUP, EXAMPLE_PARTS, EXAMPLES, TETRA_TRIANGLES, TETRA_VERTICES, TOOL, same
from meshprobe import batch

ANALYSES = dict(trapped=True, resolution=48, up="-z", thickness=(0.5, 1.5), samples=7)


def without_seconds(records):
    return [{k: v for k, v in r.items() if k != "seconds"} for r in sorted(records, key=lambda r: r["index"])]


def records_of(output):
    return [json.loads(line) for line in output.read_text().splitlines()]


@pytest.fixture(scope="module")
def many_parts(tmp_path_factory):
    """60 small parts; every tenth is truncated."""
    root, rng = tmp_path_factory.mktemp("many"), random.Random(24)
    for i in range(60):
        path = root / f"part-{i:03d}.stl"
        meshprobe.save(meshprobe.Mesh(np.multiply(TETRA_VERTICES, rng.uniform(1, 20)), TETRA_TRIANGLES), path)
        path.write_bytes(path.read_bytes()[:120 if i % 10 == 7 else None])
    return sorted(map(str, root.iterdir())), {str(root / f"part-{i:03d}.stl") for i in range(7, 60, 10)}


@pytest.fixture(scope="module")
def cluster():
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as local, distributed.Client(local) as client:
        yield client


@pytest.mark.parametrize("ordered", [True, False], ids=["ordered", "as-finished"])
def test_dask_yields_the_tools_records_one_per_part_and_keeps_going_after_a_bad_part(cluster, ordered, tool_json,
                                                                                   tmp_path):
    # The examples' folder (its .cpp files are no meshes), an unreadable part and a missing one.
    (tmp_path / "broken.stl").write_bytes(b"\0" * 40)
    paths = [EXAMPLES, tmp_path / "broken.stl", tmp_path / "missing.stl"]
    done = subprocess.run([str(TOOL), "batch", *map(str, paths), "--trapped", "-r", "48", "--up", "-z", "--thickness",
                           "0.5", "1.5", "--samples", "7", "--quiet"], capture_output=True, text=True)
    got = list(batch.run(paths, client=cluster, raw=ordered, ordered=ordered, **ANALYSES))
    # raw=True yields the tool's very lines; the caller's client stays open.
    assert all(isinstance(r, str) == ordered for r in got) and cluster.status != "closed"
    got = [json.loads(r) if ordered else r for r in got]
    assert [r["index"] for r in got] == list(range(5)) or not ordered
    assert without_seconds(got) == without_seconds(map(json.loads, done.stdout.splitlines())) and done.returncode == 1
    assert [r["mesh"] for r in without_seconds(got)] == list(map(str, EXAMPLE_PARTS + paths[1:]))
    assert [(r["ok"], r.get("reason")) for r in without_seconds(got)] == [(True, None)] * 3 + [(False, "error")] * 2
    # A record carries each command's figures (the cavities by name, volume and voxels).
    record = without_seconds(got)[1]
    assert same(record["trapped"], tool_json("trapped", CUP, "-r", 48, "--up", "-z")) and same(
        record["thickness"], tool_json("thickness", CUP, "--min", 0.5, "--max", 1.5, "--samples", 7))


def test_part_record_applies_the_limits(tmp_path):
    os.mkfifo(tmp_path / "stalled.stl")  # nobody writes to it: its reader waits for ever
    corners = np.random.default_rng(1).random((300002, 3))
    meshprobe.save(meshprobe.Mesh(corners, np.arange(300000)[:, None] + [0, 1, 2]), tmp_path / "heavy.stl")
    stalled = json.loads(batch.part_record(tmp_path / "stalled.stl", part_timeout=0.5))
    # In a fresh interpreter: memory this long-lived test process has mapped and freed would be free for
    # the part on top of its limit. Reading the 300,000 triangles needs more than 16 MB, less than 256.
    heavy = [json.loads(subprocess.run(
        [sys.executable, "-c", "import sys; from meshprobe import batch; "
         "print(batch.part_record(sys.argv[1], part_memory=float(sys.argv[2])))", tmp_path / "heavy.stl", megabytes],
        capture_output=True, text=True, check=True).stdout) for megabytes in ("16", "256")]
    assert (stalled["reason"], "within the 0.5 s a part may take" in stalled["error"]) == ("timeout", True)
    assert (heavy[0]["reason"], "than the 16 MB a part may use" in heavy[0]["error"]) == ("memory", True)
    assert heavy[1]["ok"] and heavy[1]["triangles"] == 300000


def test_a_dask_worker_killed_mid_batch_costs_no_record(cluster, many_parts, tmp_path):
    (files, truncated), output = many_parts, tmp_path / "records.jsonl"
    victims, seen = list(cluster.run(os.getpid).values()), []
    for record in batch.run(files, client=cluster, output=output, trapped=True, resolution=48):
        seen.append(record)
        if len(seen) == 8:
            os.kill(victims[0], signal.SIGKILL)  # its nanny starts a new worker; its task goes elsewhere
    assert records_of(output) == seen and sorted(r["mesh"] for r in seen) == files
    assert {r["mesh"] for r in seen if not r["ok"]} == truncated
    assert set(cluster.run(os.getpid).values()) != set(victims)  # a worker really died


def test_dask_sends_the_bytes_and_resumes_like_the_tool(cluster, many_parts, tmp_path, caplog):
    (files, truncated), output = many_parts, tmp_path / "records.jsonl"
    files, summary = files[:30], lambda: [r.message for r in caplog.records if r.name == "meshprobe.batch"][-1]
    with caplog.at_level(logging.INFO, logger="meshprobe.batch"):
        first = list(batch.run(files[:20], client=cluster.scheduler_info()["address"], output=output,
                               send_bytes=True))
        assert summary().startswith("20 parts done, 2 failed (2 error), ")
        assert all(r["error"].startswith(r["mesh"] + ":") for r in first if not r["ok"])  # not the worker's copy
        # The tool resumes the cluster's output and adds only the ten parts it lacks.
        done = subprocess.run([str(TOOL), "batch", *files, "-o", output, "--resume"], capture_output=True, text=True)
        assert "10 parts done" in done.stderr and "20 skipped" in done.stderr
        assert sorted(r["mesh"] for r in records_of(output)) == files
        assert {r["mesh"] for r in records_of(output) if not r["ok"]} == truncated & set(files)
        assert list(batch.run(files, client=cluster, output=output, resume=True)) == []
        assert summary().startswith("0 parts done, 0 failed, 30 skipped (already in the output), ")
    with pytest.raises(ValueError, match="at most 100 bytes"):
        next(batch.run(files, client=cluster, send_bytes=True, max_send_bytes=100))
    size = os.path.getsize(files[0])  # a part of exactly the largest size is sent
    assert [r["mesh"] for r in batch.run(files[:1], client=cluster, send_bytes=True, max_send_bytes=size)] == files[:1]
    with pytest.raises(ValueError, match="resume=True needs output"):
        next(batch.run(files, client=cluster, resume=True))


def test_a_part_that_kills_every_worker_gets_a_failure_record_after_the_allowed_tries(many_parts, monkeypatch,
                                                                                     tmp_path):
    pytest.importorskip("distributed")
    files, real_task = many_parts[0][:6], batch._labelled_task

    # Defined here, so that it travels to the workers by value: a stand-in for a part whose reading takes its
    # worker process down (a crash outside the analyses, the kernel's OOM killer). Each try leaves a file.
    def deadly_task(label, data, analyses):
        if label[1] == files[2]:
            open(tmp_path / f"try-{os.getpid()}", "w").close()
            os._exit(1)
        return real_task(label, data, analyses)

    monkeypatch.setattr(batch, "_labelled_task", deadly_task)
    records = list(batch.run(files, allowed_failures=1))  # on a local cluster of its own
    (failed,) = [r for r in records if not r["ok"]]
    assert sorted(r["mesh"] for r in records) == files and failed["options"] == records[0]["options"]
    assert (failed["mesh"], failed["reason"], failed["index"]) == (files[2], "worker", 2) and files[2] in failed["error"]
    assert len(list(tmp_path.glob("try-*"))) == 2  # the first try and the one failure allowed
