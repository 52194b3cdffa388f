#!/usr/bin/python3
"""Batch throughput: `meshprobe batch` over many small parts with --jobs 1 against --jobs N.

    bench/batch_scaling.py --tool build/cli/meshprobe [--parts 200] [--jobs 2] [--rounds 3] [-- ANALYSES...]

The parts are copies of the bundled examples (cycled) in a temporary folder; the analyses default to
`--trapped -r 64 --thickness 0 2`. Each setting runs `rounds` times; the fastest run counts (the machine
is shared, and the fastest run is the one least disturbed). The CPU time the tool used (user + system) is
shown too: when other work holds the cores, wall-clock time cannot show the speed-up, but equal CPU time
per part with more jobs shows that the parallel runs add no work.
"""

import argparse
import pathlib
import resource
import shutil
import subprocess
import sys
import tempfile
import time

EXAMPLES = pathlib.Path(__file__).resolve().parents[1] / "examples"


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed_batch(tool, folder, jobs, analyses):
    began, began_cpu = time.perf_counter(), children_cpu()
    done = subprocess.run([tool, "batch", str(folder), "--jobs", str(jobs), "--quiet", *analyses],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    elapsed, cpu = time.perf_counter() - began, children_cpu() - began_cpu
    if done.returncode != 0:
        raise SystemExit(f"meshprobe batch failed ({done.returncode}): {done.stderr}")
    return elapsed, cpu, len(done.stdout.splitlines())


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
                elapsed, cpu, lines = timed_batch(args.tool, folder, jobs, args.analyses)
                assert lines == args.parts, f"{lines} records for {args.parts} parts"
                if jobs not in best or elapsed < best[jobs][0]:
                    best[jobs] = (elapsed, cpu)
    print(f"{args.parts} parts, analyses: {' '.join(args.analyses)}; fastest of {args.rounds} rounds")
    for jobs, (elapsed, cpu) in best.items():
        print(f"--jobs {jobs}: {elapsed:7.3f} s wall ({args.parts / elapsed:6.1f} parts/s), {cpu:7.3f} s CPU "
              f"({cpu / args.parts * 1e3:5.2f} ms per part, {cpu / elapsed:4.2f} cores busy)")
    print(f"speed-up --jobs {args.jobs} over --jobs 1: {best[1][0] / best[args.jobs][0]:.2f}x wall-clock; "
          f"CPU per part x{best[args.jobs][1] / best[1][1]:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
