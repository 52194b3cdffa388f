"""Batches under faults: interrupted and killed at random moments and resumed, parts that hang or take too
much memory, a Dask worker killed mid-batch. Each ends with exactly one record per part."""

import json
import logging
import os
import random
import signal
import struct
import subprocess
import sys
import time

import pytest

from conftest import _tool_path

TETRAHEDRON = [(0, 2, 1), (0, 1, 3), (1, 2, 3), (0, 3, 2)]


def binary_stl(triangles):
    """A binary STL of (a, b, c) corner triples."""
    body = b"".join(struct.pack("<12fH", 0, 0, 0, *a, *b, *c, 0) for a, b, c in triangles)
    return b"\0" * 80 + struct.pack("<I", len(triangles)) + body


def tetrahedron(size):
    corners = [(0, 0, 0), (size, 0, 0), (0, size, 0), (0, 0, size)]
    return binary_stl([tuple(corners[i] for i in face) for face in TETRAHEDRON])


def hostile(kind):
    whole = tetrahedron(3.0)
    nan = binary_stl([((0, 0, 0), (1, 0, 0), (float("nan"), 1, 0))])
    return {
        "truncated": whole[:120],
        "empty": b"",
        "garbage": bytes(range(256)) * 3,
        "nan": nan,
        "overcounted": whole[:80] + struct.pack("<I", 1000) + whole[84:],
    }[kind]


HOSTILE_KINDS = ["truncated", "empty", "garbage", "nan", "overcounted"]


@pytest.fixture(scope="module")
def many_parts(tmp_path_factory):
    """500 small parts, one in twenty of them hostile (every fifth kind of damage in turn)."""
    root = tmp_path_factory.mktemp("many")
    rng = random.Random(24)
    hostile_names = set()
    for i in range(500):
        path = root / f"part-{i:03d}.stl"
        if i % 20 == 7:
            path.write_bytes(hostile(HOSTILE_KINDS[(i // 20) % len(HOSTILE_KINDS)]))
            hostile_names.add(str(path))
        else:
            path.write_bytes(tetrahedron(rng.uniform(1.0, 20.0)))
    return root, hostile_names


def records_of(output):
    """The complete records of an output file, and whether a last line was left unfinished."""
    text = output.read_bytes().decode()
    lines = text.split("\n")
    return [json.loads(line) for line in lines[:-1]], lines[-1] != ""


def start_batch(folder, output, *extra):
    return subprocess.Popen([str(_tool_path()), "batch", str(folder), "-o", str(output), "--jobs", "2", "--quiet",
                             *extra], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)


def test_a_batch_interrupted_and_killed_at_random_moments_ends_with_one_record_per_part(many_parts, tmp_path):
    folder, hostile_names = many_parts
    output = tmp_path / "records.jsonl"
    seed = random.randrange(1 << 30)
    rng = random.Random(seed)
    stops = [signal.SIGINT, signal.SIGKILL, signal.SIGINT, signal.SIGKILL]
    kept = []  # the complete records after each stop: a resume must never lose or rewrite one
    for number, stop in enumerate(stops):
        process = start_batch(folder, output, *(["--resume"] if number else []))
        time.sleep(rng.uniform(0.02, 0.6))
        process.send_signal(stop)
        _, stderr = process.communicate(timeout=30)
        assert process.returncode in (130, -signal.SIGKILL, 0, 1), (seed, stderr)
        if stop == signal.SIGINT and process.returncode not in (0, 1):
            assert process.returncode == 130 and "interrupted" in stderr, (seed, stderr)
        records, _ = records_of(output)
        assert records[: len(kept)] == kept, seed
        kept = records
    finish = start_batch(folder, output, "--resume")
    _, stderr = finish.communicate(timeout=60)
    assert finish.returncode in (0, 1), (seed, stderr)  # 0 when an earlier run had done every part
    records, unfinished = records_of(output)
    assert not unfinished
    meshes = [r["mesh"] for r in records]
    assert len(meshes) == len(set(meshes)) == 500, seed  # one record per part, none twice
    assert {m for m, r in zip(meshes, records) if not r["ok"]} == hostile_names, seed
    assert all(r["reason"] == "error" and r["mesh"] in r["error"] for r in records if not r["ok"])
    assert sorted(r["index"] for r in records) == list(range(500))


def test_resume_redoes_the_parts_whose_file_or_options_changed(many_parts, tmp_path):
    folder, _ = many_parts
    parts = folder / "few"
    parts.mkdir(exist_ok=True)
    for i in range(4):
        (parts / f"p{i}.stl").write_bytes(tetrahedron(2.0 + i))
    output = tmp_path / "records.jsonl"
    tool = str(_tool_path())
    subprocess.run([tool, "batch", parts, "-o", output, "-q"], check=True)
    (parts / "p1.stl").write_bytes(tetrahedron(9.0))  # a new size
    stamp = (parts / "p2.stl").stat()
    os.utime(parts / "p2.stl", ns=(stamp.st_atime_ns, stamp.st_mtime_ns + 1))  # touched only
    done = subprocess.run([tool, "batch", parts, "-o", output, "--resume"], capture_output=True, text=True)
    assert done.returncode == 0 and "2 parts done, 0 failed, 2 skipped" in done.stderr
    records, _ = records_of(output)
    redone = {os.path.basename(r["mesh"]): r for r in records[4:]}
    assert sorted(redone) == ["p1.stl", "p2.stl"]
    assert redone["p1.stl"]["info"]["volume"] == pytest.approx(9.0 ** 3 / 6)
    # Other options: every part again.
    done = subprocess.run([tool, "batch", parts, "-o", output, "--resume", "--trapped", "-r", "8"],
                          capture_output=True, text=True)
    assert "4 parts done" in done.stderr and len(records_of(output)[0]) == 10


def test_a_second_batch_on_the_same_output_is_refused(many_parts, tmp_path):
    folder, _ = many_parts
    output = tmp_path / "records.jsonl"
    first = start_batch(folder, output, "--trapped", "-r", "64")
    time.sleep(0.3)
    second = subprocess.run([str(_tool_path()), "batch", str(folder), "-o", str(output), "--resume"],
                            capture_output=True, text=True)
    first.kill()
    first.wait()
    assert second.returncode == 2 and "another batch is writing" in second.stderr


@pytest.fixture(scope="module")
def limit_parts(tmp_path_factory):
    """Ordinary parts, a named pipe nobody writes to (the reader waits on it for ever), and a 300,000-triangle
    part whose reading needs more than 16 MB."""
    root = tmp_path_factory.mktemp("limits")
    for i in range(6):
        (root / f"small-{i}.stl").write_bytes(tetrahedron(1.0 + i))
    os.mkfifo(root / "stalled.stl")
    (root / "heavy.stl").write_bytes(binary_stl([((x, y, 0), (x + 1, y, 0), (x, y + 1, 1))
                                                for y in range(300) for x in range(1000)]))
    return root


@pytest.mark.parametrize("limit, culprit, reason, message", [
    (["--part-timeout", "1"], "stalled.stl", "timeout", "within the 1 s a part may take"),
    (["--part-memory", "16"], "heavy.stl", "memory", "more memory than the 16 MB a part may use"),
])
def test_a_part_over_its_limit_gets_a_failure_record_and_the_rest_complete(limit_parts, limit, culprit, reason,
                                                                           message):
    files = sorted(str(p) for p in limit_parts.iterdir() if p.name != ("heavy.stl" if reason == "timeout"
                                                                       else "stalled.stl"))
    began = time.monotonic()
    done = subprocess.run([str(_tool_path()), "batch", *files, *limit, "--jobs", "2"], capture_output=True,
                          text=True, timeout=60)
    records = [json.loads(line) for line in done.stdout.splitlines()]
    assert done.returncode == 1, done.stderr
    assert sorted(r["mesh"] for r in records) == files
    failed = [r for r in records if not r["ok"]]
    assert [(os.path.basename(r["mesh"]), r["reason"]) for r in failed] == [(culprit, reason)]
    assert message in failed[0]["error"]
    assert f"1 failed (1 {reason})" in done.stderr
    assert time.monotonic() - began < 20


def test_the_memory_limit_does_not_stop_parts_within_it(limit_parts):
    heavy = str(limit_parts / "heavy.stl")
    done = subprocess.run([str(_tool_path()), "batch", heavy, "--part-memory", "256"], capture_output=True,
                          text=True, timeout=60)
    (record,) = [json.loads(line) for line in done.stdout.splitlines()]
    assert done.returncode == 0 and record["ok"] and record["triangles"] == 300000


@pytest.fixture()
def two_workers():
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        yield client


def test_a_dask_worker_killed_mid_batch_costs_no_record(two_workers, many_parts, tmp_path):
    from meshprobe import batch

    folder, _ = many_parts
    files = sorted(folder.glob("part-*.stl"))[:60]
    output = tmp_path / "records.jsonl"
    victims = list(two_workers.run(os.getpid).values())
    seen = []
    for record in batch.run(files, client=two_workers, output=output, trapped=True, resolution=48):
        seen.append(record)
        if len(seen) == 8:
            os.kill(victims[0], signal.SIGKILL)  # its nanny starts a new worker; its task goes elsewhere
    written, _ = records_of(output)
    assert written == seen
    assert sorted(r["mesh"] for r in seen) == sorted(map(str, files))
    assert sum(not r["ok"] for r in seen) == sum(r["mesh"] in many_parts[1] for r in seen)
    assert set(two_workers.run(os.getpid).values()) != set(victims)  # a worker really died


def test_dask_sends_the_bytes_and_resumes_like_the_tool(two_workers, many_parts, tmp_path, caplog):
    from meshprobe import batch

    folder, hostile_names = many_parts
    files = sorted(map(str, folder.glob("part-*.stl")))[:30]
    output = tmp_path / "records.jsonl"
    with caplog.at_level(logging.INFO, logger="meshprobe.batch"):
        first = list(batch.run(files[:20], client=two_workers, output=output, send_bytes=True))
    failed = sum(path in hostile_names for path in files[:20])
    assert caplog.messages[-1].startswith(f"20 parts done, {failed} failed ({failed} error), ")
    # The tool resumes the cluster's output and adds only the ten parts it lacks.
    done = subprocess.run([str(_tool_path()), "batch", *files, "-o", output, "--resume"], capture_output=True,
                          text=True)
    assert "10 parts done" in done.stderr and "20 skipped" in done.stderr
    records, _ = records_of(output)
    assert sorted(r["mesh"] for r in records) == files
    assert [r for r in records if not r["ok"]] == [r for r in records if r["mesh"] in hostile_names]
    # Errors name the part, not the worker's copy of it.
    assert all(r["error"].startswith(r["mesh"] + ":") for r in first if not r["ok"])
    with caplog.at_level(logging.INFO, logger="meshprobe.batch"):
        assert list(batch.run(files, client=two_workers, output=output, resume=True)) == []
    assert caplog.messages[-1].startswith("0 parts done, 0 failed, 30 skipped (already in the output), ")
    with pytest.raises(ValueError, match="at most 100 bytes"):
        next(batch.run(files, client=two_workers, send_bytes=True, max_send_bytes=100))


def test_a_part_that_kills_every_worker_gets_a_failure_record_after_the_allowed_tries(many_parts, monkeypatch,
                                                                                     tmp_path):
    pytest.importorskip("distributed")
    from meshprobe import batch

    folder, _ = many_parts
    files = sorted(map(str, folder.glob("part-*.stl")))[:6]
    culprit = files[2]
    real_task = batch._labelled_task
    tries = tmp_path / "tries"
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
    records = list(batch.run(files, allowed_failures=1))
    assert sorted(r["mesh"] for r in records) == files
    (failed,) = [r for r in records if not r["ok"]]
    assert failed["mesh"] == culprit and failed["reason"] == "worker" and culprit in failed["error"]
    assert failed["index"] == 2 and failed["options"] == records[0]["options"]
    assert tries.read_text().count("try") == 2  # the first try and the one failure allowed
    assert time.monotonic() - began < 40


def test_part_record_applies_the_limits_in_python_too(limit_parts):
    from meshprobe import batch

    stalled = json.loads(batch.part_record(limit_parts / "stalled.stl", part_timeout=0.5))
    # In a fresh interpreter: memory this long-lived test process has mapped and freed would be free for
    # the part on top of its limit.
    heavy = json.loads(subprocess.run(
        [sys.executable, "-c", "import sys; from meshprobe import batch; "
         "print(batch.part_record(sys.argv[1], part_memory=16))", str(limit_parts / "heavy.stl")],
        capture_output=True, text=True, check=True).stdout)
    small = json.loads(batch.part_record(limit_parts / "small-0.stl", part_timeout=30, part_memory=256))
    assert (stalled.get("reason"), heavy.get("reason"), small["ok"]) == ("timeout", "memory", True), (stalled, heavy)
    with pytest.raises(ValueError, match="positive"):
        batch.part_record(limit_parts / "small-0.stl", part_timeout=0)
