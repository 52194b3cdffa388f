#!/usr/bin/python3
"""What a Python call costs over the C++ call: meshprobe.thickness and meshprobe.trapped against the toolkit
calls they wrap, timed by Google Benchmark in toolkit_bench (ThicknessToolkit/threads:2, TrappedToolkit/256/2), on the
same mesh file. Both wall-clock and CPU time of the calling thread are compared: on a machine shared with
other work, wall-clock times swing with the load, while the calling thread's CPU time (Google Benchmark's
cpu_time, Python's time.thread_time; the C++ call runs on the calling thread, which also joins the
trapped-volume call's OpenMP team) does not.

    bench/python_call_cost.py --bench build/bench/toolkit_bench [--mesh FILE] [--repeats N]

Run with PYTHONPATH pointing at the build tree's package (build/python) or after the install. Without
--mesh, a closed sphere shell with a sealed void, like the benchmark's own mesh (about 100k triangles),
is written to a temporary STL.
"""

import argparse
import json
import math
import os
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

import meshprobe


def sphere(center, radius, rings, segments, inward=False):
    """Latitude-longitude sphere as triangle soup, counter-clockwise seen from outside (or from inside)."""
    theta = np.linspace(0, math.pi, rings + 1)
    phi = np.linspace(0, 2 * math.pi, segments + 1)
    t, p = np.meshgrid(theta, phi, indexing="ij")
    points = np.stack([np.sin(t) * np.cos(p), np.sin(t) * np.sin(p), np.cos(t)], axis=-1) * radius + center
    a, b = points[:-1, :-1], points[1:, :-1]
    c, d = points[1:, 1:], points[:-1, 1:]
    first = np.stack([a, b, c], axis=-2).reshape(-1, 3, 3)
    second = np.stack([a, c, d], axis=-2).reshape(-1, 3, 3)
    triangles = np.concatenate([first, second])
    area = np.linalg.norm(np.cross(triangles[:, 1] - triangles[:, 0], triangles[:, 2] - triangles[:, 0]), axis=1)
    triangles = triangles[area > 1e-12]  # the poles' degenerate triangles
    return triangles[:, ::-1] if inward else triangles


def write_binary_stl(path, triangles):
    # numpy is all this script has for writing meshes (the toolkit's writers are not bound to Python), and
    # binary STL is a fixed 50-byte record per triangle.
    records = np.zeros(len(triangles), dtype=[("normal", "<f4", 3), ("corners", "<f4", (3, 3)), ("attr", "<u2")])
    records["corners"] = triangles
    with open(path, "wb") as out:
        out.write(b"meshprobe benchmark part".ljust(80, b" "))
        out.write(np.uint32(len(triangles)).tobytes())
        out.write(records.tobytes())


def cpp_times(bench, mesh_path):
    done = subprocess.run(
        [bench, "--mesh", mesh_path, "--benchmark_filter=^(ThicknessToolkit/threads:2|TrappedToolkit/256/2)/real_time$",
         "--benchmark_format=json", "--benchmark_repetitions=5", "--benchmark_report_aggregates_only=true"],
        check=True, capture_output=True, text=True)
    times = {}
    for entry in json.loads(done.stdout)["benchmarks"]:
        if entry.get("aggregate_name") == "median":
            scale = {"ms": 1e-3, "us": 1e-6, "ns": 1e-9, "s": 1.0}[entry["time_unit"]]
            times[entry["run_name"].removesuffix("/real_time")] = (entry["real_time"] * scale, entry["cpu_time"] * scale)
    return times


def python_time(call, repeats):
    call()  # warm-up, as Google Benchmark does
    wall, cpu = [], []
    for _ in range(repeats):
        began, began_cpu = time.perf_counter(), time.thread_time()
        call()
        wall.append(time.perf_counter() - began)
        cpu.append(time.thread_time() - began_cpu)
    return statistics.median(wall), statistics.median(cpu)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bench", required=True, help="the toolkit_bench executable")
    parser.add_argument("--mesh", help="mesh file (default: a generated sphere shell)")
    parser.add_argument("--repeats", type=int, default=7)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as scratch:
        mesh_path = args.mesh
        if mesh_path is None:
            mesh_path = os.path.join(scratch, "shell.stl")
            shell = np.concatenate([sphere((0, 0, 0), 10, 160, 310), sphere((1, 0.5, -0.5), 5, 40, 80, inward=True)])
            write_binary_stl(mesh_path, shell)
        cpp = cpp_times(args.bench, mesh_path)
        mesh = meshprobe.load(mesh_path)
        calls = {
            "ThicknessToolkit/threads:2": lambda: meshprobe.thickness(mesh, 0, 2),  # all cores: 2 here
            "TrappedToolkit/256/2": lambda: meshprobe.trapped(mesh, resolution=256, threads=2),
        }
        print(f"mesh: {mesh_path} ({mesh.triangle_count} triangles), median of {args.repeats} (Python) and 5 (C++)")
        for name, call in calls.items():
            (py_wall, py_cpu), (cpp_wall, cpp_cpu) = python_time(call, args.repeats), cpp[name]
            print(f"{name:22s} wall: C++ {cpp_wall * 1e3:8.1f} ms, Python {py_wall * 1e3:8.1f} ms, "
                  f"Python/C++ {py_wall / cpp_wall:5.3f}   CPU: C++ {cpp_cpu * 1e3:8.1f} ms, "
                  f"Python {py_cpu * 1e3:8.1f} ms, Python/C++ {py_cpu / cpp_cpu:5.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
