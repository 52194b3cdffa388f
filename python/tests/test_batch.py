"""Batch runs: `meshprobe batch` and meshprobe.batch.run on a two-worker Dask cluster write the same records,
and each record holds what the single commands report."""

import json
import shutil
import signal
import subprocess
import time

import pytest

import meshprobe
from meshprobe import batch
from conftest import EXAMPLE_PARTS

ANALYSES = ["--trapped", "-r", "48", "--up", "-z", "--thickness", "0.5", "1.5", "--samples", "7"]
PYTHON_ANALYSES = dict(trapped=True, resolution=48, up="-z", thickness=(0.5, 1.5), samples=7)


def without_seconds(record):
    return {k: v for k, v in record.items() if k != "seconds"}


def by_index(records):
    return sorted(records, key=lambda r: r["index"])


@pytest.fixture(scope="module")
def parts(tmp_path_factory):
    """The examples in a folder tree, with an unreadable part and a file the walk must skip."""
    root = tmp_path_factory.mktemp("parts")
    (root / "sub").mkdir()
    for part in EXAMPLE_PARTS:
        shutil.copy(part, root / part.name)
    shutil.copy(EXAMPLE_PARTS[0], root / "sub" / "again.stl")
    (root / "broken.stl").write_bytes(b"\0" * 40)
    (root / "notes.txt").write_text("not a mesh")
    return root


def run_tool_batch(tool, *args):
    done = tool("batch", *args, "--quiet", check=False)
    return done.returncode, [json.loads(line) for line in done.stdout.splitlines()], done.stderr


@pytest.mark.parametrize("ordered", [True, False], ids=["ordered", "as-finished"])
def test_the_tool_writes_one_record_per_part_and_keeps_going_after_a_bad_part(tool, parts, ordered):
    missing = parts / "missing.stl"
    extra = ["--ordered"] if ordered else []
    code, records, _ = run_tool_batch(tool, parts, missing, *ANALYSES, "--jobs", "2", *extra)
    expected_order = sorted(str(p) for p in parts.rglob("*.stl")) + [str(missing)]
    if ordered:
        assert [r["index"] for r in records] == list(range(len(expected_order)))
    assert [r["mesh"] for r in by_index(records)] == expected_order
    assert [r["index"] for r in by_index(records)] == list(range(len(expected_order)))
    failed = {r["mesh"]: (r["error"], r["reason"]) for r in records if not r["ok"]}
    assert set(failed) == {str(parts / "broken.stl"), str(missing)}
    assert all(path in error and reason == "error" for path, (error, reason) in failed.items())
    assert code == 1  # some part failed; the others are all there
    assert all({"info", "trapped", "thickness"} <= r.keys() for r in records if r["ok"])
    options = {"trapped": {"resolution": 48, "up": "-z"}, "thickness": {"min": 0.5, "max": 1.5, "samples": 7}}
    assert all(r["options"] == options for r in records)
    stamps = {r["mesh"]: r["file"] for r in records}
    assert stamps[str(missing)] is None
    cup = parts / "cup.stl"
    assert stamps[str(cup)] == {"size": cup.stat().st_size, "modified_ns": cup.stat().st_mtime_ns}


def test_a_record_holds_what_the_single_commands_report(tool, tool_json, parts):
    path = parts / "bracket.stl"
    _, (record,), _ = run_tool_batch(tool, path, *ANALYSES)
    singles = {
        "info": tool_json("info", path),
        "trapped": tool_json("trapped", path, "-r", "48", "--up", "-z"),
        "thickness": tool_json("thickness", path, "--min", "0.5", "--max", "1.5", "--samples", "7"),
    }
    # A record carries each command's figures (the cavities by name, volume and voxels; no locations).
    for name, report in singles.items():
        for key, value in record[name].items():
            if key == "cavities":
                cavity_keys = ("name", "volume", "voxels")
                assert value == [{k: c[k] for k in cavity_keys} for c in report[key]], name
            else:
                assert value == report[key], (name, key)
        assert (record["triangles"], record["vertices"]) == (report["triangles"], report["vertices"])


def test_jobs_and_the_output_file_do_not_change_the_records(tool, parts, tmp_path):
    _, serial, _ = run_tool_batch(tool, parts, *ANALYSES, "--jobs", "1")
    output = tmp_path / "records.jsonl"
    output.write_text("an earlier batch's records\n")
    code, printed, _ = run_tool_batch(tool, parts, *ANALYSES, "--jobs", "3", "-o", output)
    assert printed == [] and code == 1
    written = [json.loads(line) for line in output.read_text().splitlines()]
    assert [without_seconds(r) for r in by_index(written)] == [without_seconds(r) for r in by_index(serial)]
    assert [p.name for p in tmp_path.iterdir()] == ["records.jsonl"]  # no temporary file left behind


@pytest.mark.parametrize(
    "args, message",
    [
        (["--resolution", "64"], "--trapped"),
        (["--samples", "3"], "--thickness"),
        (["--thickness", "2", "1"], "greater than"),
        (["--trapped", "--up", "sideways"], "sideways"),
        (["--jobs", "0"], "--jobs"),
        (["--resume"], "--output"),
        (["--part-timeout", "0"], "--part-timeout"),
        (["--part-memory", "-5"], "--part-memory"),
    ],
)
def test_the_tool_rejects_bad_usage_before_any_part(tool, args, message):
    code, records, stderr = run_tool_batch(tool, EXAMPLE_PARTS[0], *args)
    assert code == 2 and records == [] and message in stderr


def test_a_folder_without_mesh_files_is_bad_usage(tool, tmp_path):
    code, records, stderr = run_tool_batch(tool, tmp_path)
    assert code == 2 and records == [] and "no mesh files" in stderr


def test_ctrl_c_stops_the_tool_and_keeps_the_records_written(tool, parts, tmp_path):
    from conftest import _tool_path

    slow = tmp_path / "slow"
    slow.mkdir()
    for i in range(40):
        shutil.copy(parts / "bracket.stl", slow / f"part-{i:02d}.stl")
    output = tmp_path / "records.jsonl"
    began = time.monotonic()
    process = subprocess.Popen([str(_tool_path()), "batch", slow, "--trapped", "-r", "400", "--jobs", "1",
                                "-o", output], stderr=subprocess.PIPE, text=True)
    time.sleep(0.5)
    process.send_signal(signal.SIGINT)
    _, stderr = process.communicate(timeout=60)
    assert process.returncode == 130, stderr
    assert "interrupted" in stderr
    assert time.monotonic() - began < 10  # the part in flight was cancelled, the others never started
    assert sorted(p.name for p in tmp_path.iterdir()) == ["records.jsonl", "slow"]
    assert all(json.loads(line)["ok"] for line in output.read_text().splitlines())


@pytest.fixture(scope="module")
def cluster():
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as local:
        yield local


def test_dask_runner_yields_the_tools_records(tool, parts, cluster):
    _, expected, _ = run_tool_batch(tool, parts, *ANALYSES)
    from distributed import Client

    with Client(cluster) as client:
        records = list(batch.run([parts], client=client, **PYTHON_ANALYSES))
        lines = list(batch.run([str(parts)], client=client, raw=True, ordered=True, **PYTHON_ANALYSES))
        assert not client.status == "closed"  # the caller's client is left open
    expected = [without_seconds(r) for r in by_index(expected)]
    assert [without_seconds(r) for r in by_index(records)] == expected
    assert [without_seconds(json.loads(line)) for line in lines] == expected
    # Both workers took parts.
    assert len({r["mesh"] for r in records}) == len(records)


def test_dask_runner_takes_a_scheduler_address(parts, cluster):
    cup = str(parts / "cup.stl")
    records = list(batch.run([cup, parts / "broken.stl"], client=cluster.scheduler_address, ordered=True))
    assert [r["ok"] for r in records] == [True, False]
    alone = json.loads(meshprobe._meshprobe.batch_record(cup))
    assert without_seconds(records[0]) == {"index": 0, **without_seconds(alone),
                                           "file": records[0]["file"], "options": records[0]["options"]}


def test_dask_runner_starts_its_own_local_cluster_by_default(parts):
    pytest.importorskip("distributed")
    (record,) = batch.run([parts / "cup.stl"], thickness=(0, 1))
    assert record["ok"] and record["thickness"]["faces_at_max"] == record["triangles"]
