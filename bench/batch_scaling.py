#!/usr/bin/python3
"""Batch throughput: `meshprobe batch` over many small parts with --jobs 1 against --jobs N.

    bench/batch_scaling.py --tool build/cli/meshprobe [--parts 200] [--jobs 2] [--rounds 3] [-- ANALYSES...]

The parts are copies of the bundled examples (cycled) in a temporary folder; the analyses default to
`--trapped -r 64 --thickness 0 2`. Each setting runs `rounds` times; the fastest run counts (the machine
is shared, and the fastest run is the one least disturbed).
"""

import argparse
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

EXAMPLES = pathlib.Path(__file__).resolve().parents[1] / "examples"


def timed_batch(tool, folder, jobs, analyses):
    began = time.perf_counter()
    done = subprocess.run([tool, "batch", str(folder), "--jobs", str(jobs), "--quiet", *analyses],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    elapsed = time.perf_counter() - began
    if done.returncode != 0:
        raise SystemExit(f"meshprobe batch failed ({done.returncode}): {done.stderr}")
    return elapsed, len(done.stdout.splitlines())


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tool", required=True)
    parser.add_argument("--parts", type=int, default=200)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("analyses", nargs="*", default=["--trapped", "-r", "64", "--thickness", "0", "2"])
    args = parser.parse_args()

    examples = sorted(EXAMPLES.glob("*.stl"))
    with tempfile.TemporaryDirectory() as scratch:
        folder = pathlib.Path(scratch)
        for i in range(args.parts):
            source = examples[i % len(examples)]
            shutil.copy(source, folder / f"part-{i:04d}-{source.name}")
        best = {}
        for _ in range(args.rounds):
            for jobs in (1, args.jobs):
                elapsed, lines = timed_batch(args.tool, folder, jobs, args.analyses)
                assert lines == args.parts, f"{lines} records for {args.parts} parts"
                best[jobs] = min(best.get(jobs, elapsed), elapsed)
    print(f"{args.parts} parts, analyses: {' '.join(args.analyses)}; fastest of {args.rounds} rounds")
    for jobs, elapsed in best.items():
        print(f"--jobs {jobs}: {elapsed:7.3f} s  ({args.parts / elapsed:6.1f} parts/s)")
    print(f"speed-up --jobs {args.jobs} over --jobs 1: {best[1] / best[args.jobs]:.2f}x")
    return 0


if __name__ == "__main__":
    sys.exit(main())
