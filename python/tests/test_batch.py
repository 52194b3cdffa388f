"""Batch runs: `meshprobe batch` and meshprobe.batch.run on Dask write the same records, each holding what
the single commands report, and under faults (interrupted and killed at random moments and resumed, parts
that hang or take too much memory, a Dask worker killed mid-batch) each batch ends with one record per part."""

import json
import logging
import os
import random
import shutil
import signal
import struct
import subprocess
import sys
import time

import pytest

import meshprobe
from conftest import EXAMPLE_PARTS, TETRA_TRIANGLES, TOOL
from meshprobe import batch

ANALYSES = ["--trapped", "-r", "48", "--up", "-z", "--thickness", "0.5", "1.5", "--samples", "7"]
PYTHON_ANALYSES = dict(trapped=True, resolution=48, up="-z", thickness=(0.5, 1.5), samples=7)


def without_seconds(records):
    return [{k: v for k, v in r.items() if k != "seconds"} for r in sorted(records, key=lambda r: r["index"])]


def binary_stl(triangles):
    """A binary STL of (a, b, c) corner triples."""
    body = b"".join(struct.pack("<12fH", 0, 0, 0, *a, *b, *c, 0) for a, b, c in triangles)
    return b"\0" * 80 + struct.pack("<I", len(triangles)) + body


def tetrahedron(size):
    corners = [(0, 0, 0), (size, 0, 0), (0, size, 0), (0, 0, size)]
    return binary_stl([tuple(corners[i] for i in face) for face in TETRA_TRIANGLES])


def hostile(kind):
    whole = tetrahedron(3.0)
    return {"truncated": whole[:120], "empty": b"", "garbage": bytes(range(256)) * 3,
            "nan": binary_stl([((0, 0, 0), (1, 0, 0), (float("nan"), 1, 0))]),
            "overcounted": whole[:80] + struct.pack("<I", 1000) + whole[84:]}[kind]


def run_tool_batch(*args, quiet=True):
    done = subprocess.run([str(TOOL), "batch", *map(str, args), *["--quiet"] * quiet], capture_output=True,
                          text=True, timeout=120)
    return done.returncode, [json.loads(line) for line in done.stdout.splitlines()], done.stderr


def records_of(output):
    """The complete records of an output file, and whether a last line was left unfinished."""
    lines = output.read_bytes().decode().split("\n")
    return [json.loads(line) for line in lines[:-1]], lines[-1] != ""


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


@pytest.fixture(scope="module")
def many_parts(tmp_path_factory):
    """500 small parts, one in twenty of them hostile (every fifth kind of damage in turn)."""
    root, rng, hostile_names = tmp_path_factory.mktemp("many"), random.Random(24), set()
    kinds = ["truncated", "empty", "garbage", "nan", "overcounted"]
    for i in range(500):
        path = root / f"part-{i:03d}.stl"
        if i % 20 == 7:
            path.write_bytes(hostile(kinds[(i // 20) % len(kinds)]))
            hostile_names.add(str(path))
        else:
            path.write_bytes(tetrahedron(rng.uniform(1.0, 20.0)))
    return root, hostile_names


@pytest.fixture(scope="module")
def limit_parts(tmp_path_factory):
    """Small parts, a named pipe nobody writes to (its reader waits for ever), and a 300,000-triangle part
    whose reading needs more than 16 MB."""
    root = tmp_path_factory.mktemp("limits")
    for i in range(6):
        (root / f"small-{i}.stl").write_bytes(tetrahedron(1.0 + i))
    os.mkfifo(root / "stalled.stl")
    (root / "heavy.stl").write_bytes(binary_stl([((x, y, 0), (x + 1, y, 0), (x, y + 1, 1))
                                                for y in range(300) for x in range(1000)]))
    return root


@pytest.fixture(scope="module")
def cluster():
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as local, distributed.Client(local) as client:
        yield client


@pytest.mark.parametrize("ordered", [True, False], ids=["ordered", "as-finished"])
def test_the_tool_writes_one_record_per_part_and_keeps_going_after_a_bad_part(parts, ordered):
    missing = parts / "missing.stl"
    code, records, _ = run_tool_batch(parts, missing, *ANALYSES, "--jobs", "2", *(["--ordered"] * ordered))
    expected_order = sorted(str(p) for p in parts.rglob("*.stl")) + [str(missing)]
    if ordered:
        assert [r["index"] for r in records] == list(range(len(expected_order)))
    assert [(r["index"], r["mesh"]) for r in without_seconds(records)] == list(enumerate(expected_order))
    failed = {r["mesh"]: (r["error"], r["reason"]) for r in records if not r["ok"]}
    assert set(failed) == {str(parts / "broken.stl"), str(missing)}
    assert all(path in error and reason == "error" for path, (error, reason) in failed.items())
    assert code == 1  # some part failed; the others are all there
    assert all({"info", "trapped", "thickness"} <= r.keys() for r in records if r["ok"])
    options = {"trapped": {"resolution": 48, "up": "-z"}, "thickness": {"min": 0.5, "max": 1.5, "samples": 7}}
    assert all(r["options"] == options for r in records)
    stamps, cup = {r["mesh"]: r["file"] for r in records}, parts / "cup.stl"
    assert stamps[str(missing)] is None
    assert stamps[str(cup)] == {"size": cup.stat().st_size, "modified_ns": cup.stat().st_mtime_ns}


def test_a_record_holds_what_the_single_commands_report_whatever_the_jobs_and_output(tool_json, parts, tmp_path):
    path = parts / "bracket.stl"
    _, (record,), _ = run_tool_batch(path, *ANALYSES)
    singles = {"info": tool_json("info", path), "trapped": tool_json("trapped", path, "-r", "48", "--up", "-z"),
               "thickness": tool_json("thickness", path, "--min", "0.5", "--max", "1.5", "--samples", "7")}
    # A record carries each command's figures (the cavities by name, volume and voxels; no locations).
    for name, report in singles.items():
        for key, value in record[name].items():
            cavities = [{k: c[k] for k in ("name", "volume", "voxels")} for c in report.get("cavities", [])]
            assert value == (cavities if key == "cavities" else report[key]), (name, key)
        assert (record["triangles"], record["vertices"]) == (report["triangles"], report["vertices"])
    _, serial, _ = run_tool_batch(parts, *ANALYSES, "--jobs", "1")
    output = tmp_path / "records.jsonl"
    output.write_text("an earlier batch's records\n")
    code, printed, _ = run_tool_batch(parts, *ANALYSES, "--jobs", "3", "-o", output)
    assert printed == [] and code == 1
    assert without_seconds(records_of(output)[0]) == without_seconds(serial)
    assert [p.name for p in tmp_path.iterdir()] == ["records.jsonl"]  # no temporary file left behind


@pytest.mark.parametrize("args, message", [
    (["--resolution", "64"], "--trapped"), (["--samples", "3"], "--thickness"),
    (["--thickness", "2", "1"], "greater than"), (["--trapped", "--up", "sideways"], "sideways"),
    (["--jobs", "0"], "--jobs"), (["--resume"], "--output"), (["--part-timeout", "0"], "--part-timeout"),
    (["--part-timeout", "nan"], "--part-timeout"), (["--part-timeout", "1e10"], "above 0 to 1000000000 s"),
    (["--part-memory", "-5"], "--part-memory"), (["--part-memory", "nan"], "--part-memory"),
    (["EMPTY"], "no mesh files")])
def test_the_tool_rejects_bad_usage_before_any_part(args, message, tmp_path):
    args = [tmp_path if a == "EMPTY" else a for a in args]
    code, records, stderr = run_tool_batch(*([] if args[0] == tmp_path else [EXAMPLE_PARTS[0]]), *args)
    assert code == 2 and records == [] and message in stderr


def test_a_batch_interrupted_and_killed_at_random_moments_ends_with_one_record_per_part(many_parts, tmp_path):
    folder, hostile_names = many_parts
    output = tmp_path / "records.jsonl"
    seed = random.randrange(1 << 30)
    rng = random.Random(seed)
    kept = []  # the complete records after each stop: a resume must never lose or rewrite one
    began = time.monotonic()
    subprocess.run([str(TOOL), "--version"], capture_output=True, check=True)
    start_up = time.monotonic() - began  # on a busy machine, a signal this early may beat the tool's handlers
    for number, stop in enumerate([signal.SIGINT, signal.SIGKILL, signal.SIGINT, signal.SIGKILL, None]):
        process = subprocess.Popen([str(TOOL), "batch", folder, "-o", output, "--jobs", "2", "--quiet",
                                    *(["--resume"] if number else [])], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE, text=True)
        delay = rng.uniform(0.02, 0.6)
        if stop:
            time.sleep(delay)
            process.send_signal(stop)
        _, stderr = process.communicate(timeout=60)
        # 0 or 1 when the run had done every part before the signal came
        code = process.returncode
        assert code in (0, 1) or (stop == signal.SIGINT and code == 130 and "interrupted" in stderr) or (
            code == -stop and (stop == signal.SIGKILL or delay < 3 * start_up)), (seed, code, stderr)
        records, unfinished = records_of(output)
        assert records[: len(kept)] == kept, seed
        kept = records
    assert not unfinished
    meshes = [r["mesh"] for r in records]
    assert len(meshes) == len(set(meshes)) == 500, seed  # one record per part, none twice
    assert {m for m, r in zip(meshes, records) if not r["ok"]} == hostile_names, seed
    assert all(r["reason"] == "error" and r["mesh"] in r["error"] for r in records if not r["ok"])
    assert sorted(r["index"] for r in records) == list(range(500))


@pytest.mark.parametrize("limit, culprit, reason, message", [
    (["--part-timeout", "5"], "stalled.stl", "timeout", "within the 5 s a part may take"),
    (["--part-memory", "16"], "heavy.stl", "memory", "more memory than the 16 MB a part may use"),
    (["--part-memory", "256"], "heavy.stl", None, None)])
def test_a_part_over_its_limit_gets_a_failure_record_and_the_rest_complete(limit_parts, limit, culprit, reason,
                                                                           message):
    files = sorted(str(p) for p in limit_parts.iterdir() if p.name in (culprit, "small-0.stl", "small-1.stl"))
    began = time.monotonic()
    code, records, stderr = run_tool_batch(*files, *limit, "--jobs", "2", quiet=False)
    assert sorted(r["mesh"] for r in records) == files and time.monotonic() - began < 60
    failed = [r for r in records if not r["ok"]]
    if reason is None:
        assert code == 0 and failed == [] and max(r["triangles"] for r in records) == 300000
        return
    assert code == 1, stderr
    assert [(os.path.basename(r["mesh"]), r["reason"]) for r in failed] == [(culprit, reason)]
    assert message in failed[0]["error"] and f"1 failed (1 {reason})" in stderr


def test_part_record_applies_the_limits_in_python_too(limit_parts):
    stalled = json.loads(batch.part_record(limit_parts / "stalled.stl", part_timeout=0.5))
    # In a fresh interpreter: memory this long-lived test process has mapped and freed would be free for
    # the part on top of its limit.
    heavy = json.loads(subprocess.run(
        [sys.executable, "-c", "import sys; from meshprobe import batch; "
         "print(batch.part_record(sys.argv[1], part_memory=16))", str(limit_parts / "heavy.stl")],
        capture_output=True, text=True, check=True).stdout)
    small = json.loads(batch.part_record(limit_parts / "small-0.stl", part_timeout=30, part_memory=256))
    assert (stalled.get("reason"), heavy.get("reason"), small["ok"]) == ("timeout", "memory", True), (stalled, heavy)
    for limit in (dict(part_timeout=0), dict(part_timeout=-1), dict(part_timeout=float("nan")), dict(part_memory=0),
                  dict(part_memory=float("inf")), dict(part_memory=1.0000001e9)):
        with pytest.raises(ValueError, match="positive"):
            batch.part_record(limit_parts / "small-0.stl", **limit)


def test_dask_runner_yields_the_tools_records(parts, cluster):
    _, expected, _ = run_tool_batch(parts, *ANALYSES)
    records = list(batch.run([parts], client=cluster, **PYTHON_ANALYSES))
    lines = list(batch.run([str(parts)], client=cluster, raw=True, ordered=True, **PYTHON_ANALYSES))
    assert cluster.status != "closed"  # the caller's client is left open
    assert without_seconds(records) == without_seconds(map(json.loads, lines)) == without_seconds(expected)
    cup = str(parts / "cup.stl")
    by_address = list(batch.run([cup, parts / "broken.stl"], client=cluster.scheduler_info()["address"], ordered=True))
    assert [r["ok"] for r in by_address] == [True, False]
    alone = json.loads(meshprobe._meshprobe.batch_record(cup))
    assert without_seconds(by_address[:1]) == without_seconds([{**alone, "index": 0, "file": by_address[0]["file"],
                                                                "options": by_address[0]["options"]}])


def test_a_dask_worker_killed_mid_batch_costs_no_record(cluster, many_parts, tmp_path):
    files = sorted(many_parts[0].glob("part-*.stl"))[:60]
    output = tmp_path / "records.jsonl"
    victims = list(cluster.run(os.getpid).values())
    seen = []
    for record in batch.run(files, client=cluster, output=output, trapped=True, resolution=48):
        seen.append(record)
        if len(seen) == 8:
            os.kill(victims[0], signal.SIGKILL)  # its nanny starts a new worker; its task goes elsewhere
    assert records_of(output)[0] == seen
    assert sorted(r["mesh"] for r in seen) == sorted(map(str, files))
    assert sum(not r["ok"] for r in seen) == sum(r["mesh"] in many_parts[1] for r in seen)
    assert set(cluster.run(os.getpid).values()) != set(victims)  # a worker really died


def test_dask_sends_the_bytes_and_resumes_like_the_tool(cluster, many_parts, tmp_path, caplog):
    folder, hostile_names = many_parts
    files = sorted(map(str, folder.glob("part-*.stl")))[:30]
    output = tmp_path / "records.jsonl"
    with caplog.at_level(logging.INFO, logger="meshprobe.batch"):
        first = list(batch.run(files[:20], client=cluster, output=output, send_bytes=True))
    failed = sum(path in hostile_names for path in files[:20])
    assert caplog.messages[-1].startswith(f"20 parts done, {failed} failed ({failed} error), ")
    # The tool resumes the cluster's output and adds only the ten parts it lacks.
    done = subprocess.run([str(TOOL), "batch", *files, "-o", output, "--resume"], capture_output=True, text=True)
    assert "10 parts done" in done.stderr and "20 skipped" in done.stderr
    records, _ = records_of(output)
    assert sorted(r["mesh"] for r in records) == files
    assert [r for r in records if not r["ok"]] == [r for r in records if r["mesh"] in hostile_names]
    # Errors name the part, not the worker's copy of it.
    assert all(r["error"].startswith(r["mesh"] + ":") for r in first if not r["ok"])
    with caplog.at_level(logging.INFO, logger="meshprobe.batch"):
        assert list(batch.run(files, client=cluster, output=output, resume=True)) == []
    assert caplog.messages[-1].startswith("0 parts done, 0 failed, 30 skipped (already in the output), ")
    with pytest.raises(ValueError, match="at most 100 bytes"):
        next(batch.run(files, client=cluster, send_bytes=True, max_send_bytes=100))
    size = os.path.getsize(files[0])  # a part of exactly the largest size is sent
    assert [r["mesh"] for r in batch.run(files[:1], client=cluster, send_bytes=True, max_send_bytes=size)] == files[:1]
    with pytest.raises(ValueError, match="resume=True needs output"):
        next(batch.run(files, client=cluster, resume=True))


def test_a_part_that_kills_every_worker_gets_a_failure_record_after_the_allowed_tries(many_parts, monkeypatch,
                                                                                     tmp_path):
    pytest.importorskip("distributed")
    files = sorted(map(str, many_parts[0].glob("part-*.stl")))[:6]
    culprit, real_task, tries = files[2], batch._labelled_task, tmp_path / "tries"

    # Defined here, so that it travels to the workers by value: a stand-in for a part whose reading takes its
    # worker process down (a crash outside the analyses, the kernel's OOM killer).
    def deadly_task(label, data, analyses):
        if label[1] == culprit:
            with open(tries, "a") as log:
                log.write("try\n")
            os._exit(1)
        return real_task(label, data, analyses)

    monkeypatch.setattr(batch, "_labelled_task", deadly_task)
    began = time.monotonic()
    records = list(batch.run(files, allowed_failures=1))  # on a local cluster of its own
    assert sorted(r["mesh"] for r in records) == files
    (failed,) = [r for r in records if not r["ok"]]
    assert (failed["mesh"], failed["reason"], failed["index"]) == (culprit, "worker", 2) and culprit in failed["error"]
    assert failed["options"] == records[0]["options"]
    assert tries.read_text().count("try") == 2  # the first try and the one failure allowed
    assert time.monotonic() - began < 40
