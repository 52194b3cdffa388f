"""Batch runs of whole parts on a Dask cluster, with the records of ``meshprobe batch``.

Every part is one task: a worker loads it, runs the chosen analyses and returns the part's JSON record,
the same line the command-line tool writes (both call the toolkit's one per-part job). One bad part
gives a record with ``"ok": false`` and its ``"error"``; it never stops the batch.

On this machine::

    from meshprobe import batch
    if __name__ == "__main__":          # Dask starts worker processes that import the main module
        for record in batch.run(["examples/"], trapped=True, resolution=128):
            print(record["mesh"], record["ok"])

On a real cluster, start a scheduler (``dask-scheduler``) and workers (``dask-worker tcp://HOST:8786``) on
machines where meshprobe is installed for the workers' interpreter and the part files are reachable under
the same paths (a shared file system), then pass the scheduler's address::

    batch.run(paths, client="tcp://HOST:8786", thickness=(0.5, 2.0))

or a ``distributed.Client`` you made yourself (it is left open).
"""

import json
import os

from . import _meshprobe

__all__ = ["run", "part_record"]


def part_record(path, trapped=False, resolution=256, up="+z", threads=1, thickness=None, samples=31,
                printer=None, profile_text=None, profile_source="profile", fix_winding=False):
    """The JSON record of one part as a str, exactly the line ``meshprobe batch`` writes for it.

    This is the task every worker runs; it is also handy on its own. Parameters are those of :func:`run`.
    """
    return _meshprobe.batch_record(
        path,
        trapped=trapped,
        resolution=resolution,
        up=up,
        threads=threads,
        thickness=None if thickness is None else (float(thickness[0]), float(thickness[1])),
        samples=samples,
        printer=printer,
        profile_text=profile_text,
        profile_source=profile_source,
        fix_winding=fix_winding,
    )


def _profile_text(profile):
    """A profile (path or dict) as JSON text and the name errors give it, read here once for all workers."""
    if profile is None:
        return None, "profile"
    if isinstance(profile, dict):
        return json.dumps(profile), "profile"
    with open(os.fspath(profile), encoding="utf-8") as file:
        return file.read(), os.fspath(profile)


def _failed_record(path, error):
    # A task that died with its worker (crash, killed for memory) still gives the part its line.
    return json.dumps({"mesh": path, "ok": False, "error": f"{path}: the worker failed: {error}", "seconds": None})


def _own_client(client):
    """The client to use and what to close afterwards: a LocalCluster of two single-threaded worker
    processes when none is given, a new client for a scheduler address, or the caller's client as is."""
    from distributed import Client, LocalCluster

    if client is None:
        cluster = LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None)
        own = Client(cluster)
        return own, [own, cluster]
    if isinstance(client, str):
        own = Client(client)
        return own, [own]
    return client, []


def run(
    paths,
    client=None,
    *,
    trapped=False,
    resolution=256,
    up="+z",
    threads=1,
    thickness=None,
    samples=31,
    printer=None,
    profile=None,
    fix_winding=False,
    raw=False,
):
    """Runs the per-part job of ``meshprobe batch`` on every part, on a Dask cluster, and yields the records.

    paths       files and folders (str or os.PathLike); folders are walked for mesh files here, on the
                calling machine, as ``meshprobe batch`` does. Workers must see the files under the same paths.
    client      None: a LocalCluster(n_workers=2, threads_per_worker=1, processes=True) started for the
                run and closed after it; a scheduler address ("tcp://host:8786"); or a distributed.Client.
    trapped     also find trapped volumes, with `resolution` (1..1290), `up` ('+z', '-z', '+x', '-x',
                '+y', '-y') and `threads` per part.
    thickness   None, or (min, max) in mm: also measure wall thickness with `samples` rays per face.
    printer     also check every part for a printer kind ('bottom-up-resin', 'top-down-resin', 'powder',
                'fdm'), or profile: a profile file's path or a dict of its keys; records then carry "verdict",
                "findings" and the other keys of ``meshprobe check --json``.
    fix_winding repair each part's winding before its analyses.
    raw         yield each record as its JSON line (str, identical to the tool's) instead of a dict.

    Records come in the order of the parts; each holds "mesh", "ok", and either "triangles", "vertices",
    "info", "trapped", "thickness" and "seconds", or "error". Closing the generator early cancels the parts
    not yet run.
    """
    files = _meshprobe.collect_mesh_files([os.fspath(p) for p in paths])
    profile_text, profile_source = _profile_text(profile)
    options = dict(trapped=trapped, resolution=resolution, up=up, threads=threads, thickness=thickness,
                   samples=samples, printer=printer, profile_text=profile_text, profile_source=profile_source,
                   fix_winding=fix_winding)
    client, to_close = _own_client(client)
    futures = []
    try:
        futures = client.map(part_record, files, pure=False, **options)
        for path, future in zip(files, futures):
            try:
                line = future.result()
            except Exception as error:  # noqa: BLE001 - the part's failure becomes its record
                line = _failed_record(path, error)
            yield line if raw else json.loads(line)
    finally:
        if futures:
            client.cancel(futures)
        for resource in to_close:
            resource.close()
