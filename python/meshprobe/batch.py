"""Batch runs of whole parts on a Dask cluster, with the records of ``meshprobe batch``.

Every part is one task: a worker loads it, runs the chosen analyses and returns the part's JSON record,
the same line the command-line tool writes (both call the toolkit's one per-part job). One bad part
gives a record with ``"ok": false``, its ``"error"`` and its ``"reason"``; it never stops the batch.

On this machine::

    from meshprobe import batch
    if __name__ == "__main__":          # Dask starts worker processes that import the main module
        for record in batch.run(["examples/"], trapped=True, resolution=128, output="records.jsonl"):
            print(record["mesh"], record["ok"])

On a real cluster, start a scheduler and workers on machines where meshprobe is installed for the workers'
interpreter, then pass the scheduler's address (or a ``distributed.Client`` you made yourself, left open)::

    batch.run(paths, client="tcp://HOST:8786", thickness=(0.5, 2.0), send_bytes=True)

With ``send_bytes=True`` the workers need no access to the part files; without it they must see them
under the same paths (a shared file system).
"""

import collections
import itertools
import json
import logging
import os
import tempfile
import time

from . import _meshprobe

__all__ = ["run", "part_record", "DEFAULT_MAX_SEND_BYTES"]

_log = logging.getLogger(__name__)

#: Largest part file ``send_bytes=True`` sends with a task (bytes): a task's data passes through the
#: scheduler's and a worker's memory, and larger messages slow the whole cluster.
DEFAULT_MAX_SEND_BYTES = 64 << 20


def part_record(path, trapped=False, resolution=256, up="+z", threads=1, thickness=None, samples=31,
                printer=None, profile_text=None, profile_source="profile", fix_winding=False,
                part_timeout=None, part_memory=None, isolate=False):
    """The JSON record of one part as a str, exactly the line ``meshprobe batch`` writes for it (without
    the label the output file adds: "index", "file", "options").

    This is the job every worker runs, isolated in a child process; it is also handy on its own, in this
    process unless `isolate` or a limit is given. Other parameters are those of :func:`run`.
    """
    return _meshprobe.batch_record(
        os.fspath(path),
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
        part_timeout=part_timeout,
        part_memory=part_memory,
        isolate=isolate,
    )


def _profile_text(profile):
    """A profile (path or dict) as JSON text and the name errors give it, read here once for all workers."""
    if profile is None:
        return None, "profile"
    if isinstance(profile, dict):
        return json.dumps(profile), "profile"
    with open(os.fspath(profile), encoding="utf-8") as file:
        return file.read(), os.fspath(profile)


def _labelled_task(label, data, analyses):
    """Runs on a worker: the part's record with its label. `data` is the file's content when it was sent
    with the task; it is read from a copy in a temporary folder named like the part (its extension picks
    the reader)."""
    index, path, stamp, options = label
    if data is None:
        return _meshprobe.labelled_record(part_record(path, **analyses), index, path, stamp, options)
    with tempfile.TemporaryDirectory(prefix="meshprobe-part-") as folder:
        copy = os.path.join(folder, os.path.basename(path) or "part")
        with open(copy, "wb") as file:
            file.write(data)
        line = part_record(copy, **analyses)
    return _meshprobe.labelled_record(line, index, path, stamp, options, read_from=copy)


def _failed_record(label, error, reason):
    # A task that died with its workers (crash, killed for memory) still gives the part its line.
    index, path, stamp, options = label
    line = json.dumps({"mesh": path, "ok": False, "error": f"{path}: {error}", "reason": reason, "seconds": None})
    return _meshprobe.labelled_record(line, index, path, stamp, options)


def _summary(outcomes, skipped, seconds):
    """The closing line of the tool's batch, for the log: "12 parts done, 2 failed (1 timeout, 1 worker),
    30 skipped (already in the output), 4.2 s"."""
    failures = {reason: count for reason, count in sorted(outcomes.items()) if reason != "ok"}
    done = sum(outcomes.values())
    text = f"{done} part{'' if done == 1 else 's'} done, {sum(failures.values())} failed"
    if failures:
        text += " (" + ", ".join(f"{count} {reason}" for reason, count in failures.items()) + ")"
    if skipped:
        text += f", {skipped} skipped (already in the output)"
    return text + f", {seconds:.1f} s"


def _own_client(client, allowed_failures):
    """The client to use and what to close afterwards: a LocalCluster of two single-threaded worker
    processes when none is given, a new client for a scheduler address, or the caller's client as is."""
    import dask
    from distributed import Client, LocalCluster

    if client is None:
        # The scheduler of a LocalCluster runs here and reads its configuration when it starts. A worker
        # holds only the part it runs (saturation 1): when it dies, no part queued behind it is counted as
        # a suspect.
        with dask.config.set({"distributed.scheduler.allowed-failures": allowed_failures,
                              "distributed.scheduler.worker-saturation": 1.0}):
            cluster = LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None)
        own = Client(cluster)
        return own, [own, cluster]
    if isinstance(client, str):
        own = Client(client)
        return own, [own]
    return client, []


def _read_part(path):
    try:
        with open(path, "rb") as file:
            return file.read()
    except OSError:
        return None  # the worker tries the path itself, and its record says why it cannot be read


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
    ordered=False,
    output=None,
    resume=False,
    send_bytes=False,
    max_send_bytes=DEFAULT_MAX_SEND_BYTES,
    part_timeout=None,
    part_memory=None,
    retries=1,
    allowed_failures=2,
    in_flight=None,
):
    """Runs the per-part job of ``meshprobe batch`` on every part, on a Dask cluster, and yields the records
    as the tasks finish.

    paths       files and folders (str or os.PathLike); folders are walked for mesh files here, on the
                calling machine, as ``meshprobe batch`` does.
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
    ordered     yield (and write) the records in the order of the parts; by default as they finish, each
                with its "index" in the order of the parts.
    output      a path: append each record to it as soon as it arrives, exactly as ``meshprobe batch -o``
                does (the file is emptied first unless `resume`).
    resume      with `output`: skip the parts that already have a record there made with the same options
                from the same file (size and modification time), as ``meshprobe batch --resume`` does.
    send_bytes  send each file's content with its task, for workers that cannot see the files. A file
                larger than `max_send_bytes` raises ValueError before any part starts.
    part_timeout, part_memory
                seconds and MB: limits of each part. Every part runs in a child process of its worker, as
                in the tool: a crash, a timeout or running out of memory becomes the part's failure record
                and the worker lives on.
    retries     how often Dask runs a task again when it raised (a worker's disk full, ...).
    allowed_failures
                for the LocalCluster started here: how many workers may die running one part before the
                part gets a failure record ("reason": "worker"); Dask's ``KilledWorker`` ends its tries.
                With your own scheduler, its ``distributed.scheduler.allowed-failures`` setting decides.
    in_flight   tasks submitted at a time (default: twice the cluster's threads, at least 4), which
                bounds the memory of sent bytes and of waiting results.

    When every part is done, the tool's summary line ("N parts done, M failed (by reason), K skipped, T s")
    goes to the ``meshprobe.batch`` logger at INFO level.

    Each record holds "index", "mesh", "ok", and either "triangles", "vertices", "info", "trapped",
    "thickness" or "error" and "reason", then "seconds", "file" and "options". Closing the generator early
    cancels the parts not yet run; the records already yielded are in `output`.
    """
    from distributed import KilledWorker, as_completed

    # Every part in a child of its worker, as the tool runs them: a crash costs the part, not the worker,
    # and the worker itself never runs an analysis whose threads a later child could not use.
    profile_text, profile_source = _profile_text(profile)
    process = dict(printer=printer, profile_text=profile_text, profile_source=profile_source,
                   fix_winding=fix_winding)
    analyses = dict(trapped=trapped, resolution=resolution, up=up, threads=threads, thickness=thickness,
                    samples=samples, part_timeout=part_timeout, part_memory=part_memory, isolate=True, **process)
    options = _meshprobe.batch_options_json(
        trapped=trapped, resolution=resolution, up=up, threads=threads, samples=samples,
        thickness=None if thickness is None else (float(thickness[0]), float(thickness[1])), **process)
    files = _meshprobe.collect_mesh_files([os.fspath(p) for p in paths])
    labels = [(index, path, _meshprobe.file_stamp(path), options) for index, path in enumerate(files)]
    if send_bytes:
        too_large = [f"{path} ({stamp[0]} bytes)" for _, path, stamp, _ in labels
                     if stamp is not None and stamp[0] > max_send_bytes]
        if too_large:
            raise ValueError(f"send_bytes sends files of at most {max_send_bytes} bytes (max_send_bytes); larger: "
                             + ", ".join(too_large))

    began = time.monotonic()
    outcomes = collections.Counter()
    written = None
    if output is not None:
        written = _meshprobe.BatchOutput(os.fspath(output), resume=resume)
        labels = [label for label in labels if not (resume and written.has_record(label[1], label[2], options))]
    elif resume:
        raise ValueError("resume=True needs output=PATH: the records to resume are read from it")
    skipped = len(files) - len(labels)

    futures = {}
    to_close = []
    try:
        if not labels:
            _log.info("%s", _summary(outcomes, skipped, time.monotonic() - began))
            return
        client, to_close = _own_client(client, allowed_failures)
        if in_flight is None:
            in_flight = max(4, 2 * sum(client.nthreads().values()))
        pending = iter(labels)

        def submit(label):
            data = _read_part(label[1]) if send_bytes else None
            # pure=False: a part given twice is run twice, and a retried part is not taken from a cache.
            future = client.submit(_labelled_task, label, data, analyses, pure=False, retries=retries)
            futures[future] = label
            return future

        running = as_completed([submit(label) for label in itertools.islice(pending, in_flight)])
        waiting = {}  # with `ordered`: finished records of later parts
        next_index = 0
        order = [label[0] for label in labels]
        for future in running:
            label = futures.pop(future)
            try:
                line = future.result()
            except KilledWorker as error:
                line = _failed_record(label, f"the workers running it died ({error})", "worker")
            except Exception as error:  # noqa: BLE001 - the part's failure becomes its record
                line = _failed_record(label, f"the task failed: {error}", "error")
            following = next(pending, None)
            if following is not None:
                running.add(submit(following))
            ready = [line]
            if ordered:
                waiting[label[0]] = line
                ready = []
                while next_index < len(order) and order[next_index] in waiting:
                    ready.append(waiting.pop(order[next_index]))
                    next_index += 1
            for record in ready:
                if written is not None:
                    written.append(record)
                parsed = json.loads(record)
                outcomes[parsed.get("reason", "ok") if not parsed["ok"] else "ok"] += 1
                yield record if raw else parsed
        _log.info("%s", _summary(outcomes, skipped, time.monotonic() - began))
    finally:
        if futures:
            client.cancel(list(futures))
        if written is not None:
            written.close()
        for resource in to_close:
            resource.close()
