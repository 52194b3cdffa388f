#!/usr/bin/python3
"""Soak test of `meshprobe batch`: thousands of small parts (one in twenty hostile), stopped again and again
by SIGINT and SIGKILL at random moments and resumed, then checked: exactly one record per part, every
hostile part failed, no line lost or doubled. With --dask, the same parts also go through
meshprobe.batch.run on a LocalCluster whose workers are killed at random while it runs.

    scripts/batch-soak.py [--tool build/cli/meshprobe] [--parts 3000] [--stops 12] [--jobs 2]
                          [--dask [--dask-parts 1000]]

Prints the figures and exits 1 when a check fails. The fault tests in python/tests/test_batch.py are
the short version of this run.
"""

import argparse
import json
import os
import pathlib
import random
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time

TETRAHEDRON = [(0, 2, 1), (0, 1, 3), (1, 2, 3), (0, 3, 2)]


def binary_stl(triangles):
    body = b"".join(struct.pack("<12fH", 0, 0, 0, *a, *b, *c, 0) for a, b, c in triangles)
    return b"\0" * 80 + struct.pack("<I", len(triangles)) + body


def tetrahedron(size):
    corners = [(0, 0, 0), (size, 0, 0), (0, size, 0), (0, 0, size)]
    return binary_stl([tuple(corners[i] for i in face) for face in TETRAHEDRON])


def hostile(kind):
    whole = tetrahedron(3.0)
    return {
        0: whole[:120],
        1: b"",
        2: bytes(range(256)) * 3,
        3: binary_stl([((0, 0, 0), (1, 0, 0), (float("nan"), 1, 0))]),
        4: whole[:80] + struct.pack("<I", 1000) + whole[84:],
    }[kind % 5]


def make_parts(folder, count, rng):
    hostile_parts = set()
    for i in range(count):
        path = folder / f"part-{i:05d}.stl"
        if i % 20 == 7:
            path.write_bytes(hostile(i // 20))
            hostile_parts.add(str(path))
        else:
            path.write_bytes(tetrahedron(rng.uniform(1.0, 20.0)))
    return hostile_parts


def check(records, count, hostile_parts):
    meshes = [r["mesh"] for r in records]
    problems = []
    if len(meshes) != count:
        problems.append(f"{len(meshes)} records for {count} parts")
    if len(set(meshes)) != len(meshes):
        problems.append(f"{len(meshes) - len(set(meshes))} parts have more than one record")
    failed = {r["mesh"] for r in records if not r["ok"]}
    if failed != hostile_parts:
        problems.append(f"failed parts differ from the hostile ones: {sorted(failed ^ hostile_parts)[:5]}")
    return problems


def read_records(path):
    text = path.read_text()
    lines = text.split("\n")
    return [json.loads(line) for line in lines[:-1]], len(lines[-1])


def soak_tool(args, folder, hostile_parts, rng):
    output = folder.parent / "records.jsonl"
    started = time.monotonic()
    stops = {"SIGINT": 0, "SIGKILL": 0, "finished before the stop": 0}
    torn = 0
    for number in range(args.stops):
        stop = rng.choice([signal.SIGINT, signal.SIGKILL])
        process = subprocess.Popen([args.tool, "batch", str(folder), "-o", str(output), "--jobs", str(args.jobs),
                                    "--quiet", *(["--resume"] if number else [])],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(rng.uniform(0.05, 2.0))
        process.send_signal(stop)
        code = process.wait()
        stops[stop.name if code not in (0, 1) else "finished before the stop"] += 1
        torn += read_records(output)[1] > 0
    process = subprocess.run([args.tool, "batch", str(folder), "-o", str(output), "--jobs", str(args.jobs),
                              "--resume"], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    records, unfinished = read_records(output)
    elapsed = time.monotonic() - started
    print(f"tool: {args.parts} parts, stops {stops}, unfinished last lines seen after a stop: {torn}")
    print(f"tool: final resume: {process.stderr.strip()}")
    print(f"tool: {len(records)} records in {elapsed:.1f} s in all ({args.parts / elapsed:.0f} parts/s with the "
          f"stops and restarts)")
    problems = check(records, args.parts, hostile_parts) + (["an unfinished last line"] if unfinished else [])
    # One uninterrupted run, for the rate without stops.
    begun = time.monotonic()
    subprocess.run([args.tool, "batch", str(folder), "-o", str(output), "--jobs", str(args.jobs), "--quiet"])
    print(f"tool: uninterrupted run: {args.parts / (time.monotonic() - begun):.0f} parts/s")
    return problems


def soak_dask(args, folder, hostile_parts, rng):
    import psutil
    from distributed import Client, LocalCluster

    sys.path.insert(0, str(pathlib.Path(args.tool).resolve().parents[1] / "python"))
    from meshprobe import batch

    output = folder.parent / "dask-records.jsonl"
    parts = sorted(str(p) for p in folder.iterdir())[: args.dask_parts]
    hostile_parts = hostile_parts & set(parts)
    kills = 0
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        done = threading.Event()

        def killer():
            nonlocal kills
            while not done.wait(rng.uniform(2.0, 6.0)):
                # The LocalCluster's nannies run in this process and start the workers as its children. Only
                # while both workers are up: a worker killed while its nanny still starts it can take the
                # nanny down with it, and a cluster without workers waits for ever.
                pids = [child.pid for child in psutil.Process().children()
                        if "resource_tracker" not in " ".join(child.cmdline())]
                if len(pids) == 2 and len(client.scheduler_info()["workers"]) == 2:
                    try:
                        os.kill(rng.choice(pids), signal.SIGKILL)
                        kills += 1
                        print(f"killed a worker ({kills})", file=sys.stderr)
                    except ProcessLookupError:
                        pass  # died meanwhile

        thread = threading.Thread(target=killer, daemon=True)
        started = time.monotonic()
        thread.start()
        try:
            records = list(batch.run(parts, client=client, output=output))
        finally:
            done.set()
            thread.join()
        elapsed = time.monotonic() - started
    written, _ = read_records(output)
    died = [r for r in records if not r["ok"] and r.get("reason") == "worker"]
    print(f"dask: {len(records)} records in {elapsed:.1f} s ({len(parts) / elapsed:.0f} parts/s), "
          f"{kills} workers killed, {len(died)} parts failed for their workers")
    problems = [] if written == records else ["the output file differs from the records yielded"]
    return problems + check([r for r in records if r not in died], len(parts) - len(died),
                            hostile_parts - {r["mesh"] for r in died})


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tool", default="build/cli/meshprobe")
    parser.add_argument("--parts", type=int, default=3000)
    parser.add_argument("--stops", type=int, default=12)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--dask", action="store_true")
    parser.add_argument("--dask-parts", type=int, default=1000, help="the first N parts go through Dask")
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    rng = random.Random(seed)
    print(f"seed {seed}")
    with tempfile.TemporaryDirectory(prefix="meshprobe-soak-") as work:
        folder = pathlib.Path(work) / "parts"
        folder.mkdir()
        hostile_parts = make_parts(folder, args.parts, rng)
        problems = soak_tool(args, folder, hostile_parts, rng)
        if args.dask:
            problems += soak_dask(args, folder, hostile_parts, rng)
    for problem in problems:
        print(f"FAILED: {problem}")
    print("all checks passed" if not problems else f"{len(problems)} checks failed")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
