#!/usr/bin/python3
"""Times the Python module against torvo-cli over a folder of media files (not run by CI).

    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py CLI FOLDER many [ROUNDS]
    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py CLI FOLDER dask [ROUNDS]
    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py CLI FOLDER rss [ANALYSES]

many: `torvo-cli --json` over every file of FOLDER (as many workers as it
takes by itself: one per core, at most four) against a fresh python3 that
imports torvo and takes analyse_many(paths, workers=the same) over them; the
tools take turns, median wall time. dask: the same files through
torvo.dask.analyse_bag on a LocalCluster of two one-thread worker processes
(started and warmed before the timing) against torvo-cli. rss: one worker
process of a LocalCluster analyses the files over and over (1,000 analyses a
task) and its resident size is read after each thousand.

Make FOLDER with bench/make_corpus.sh and copies of it; the run's settings
come from a private HOME, so set up nothing.
"""
import logging
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def files_in(folder):
    return sorted(os.path.join(d, f) for d, _, names in os.walk(folder) for f in names)


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed(command, cpu=None, **kwargs):
    """Wall seconds of a command; its CPU seconds (user + system) appended to `cpu`."""
    before = children_cpu()
    start = time.perf_counter()
    subprocess.run(command, check=False, stdout=subprocess.DEVNULL, **kwargs)
    wall = time.perf_counter() - start
    if cpu is not None:
        cpu.append(children_cpu() - before)
    return wall


def workers_of_cli():
    return max(1, min(os.cpu_count() or 1, 4))


def many(cli, paths, rounds, scan=True):
    with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as listing:
        listing.write("\n".join(paths) + "\n")
    workers = workers_of_cli()
    cli_command = [cli, "--json", "-f", listing.name] + ([] if scan else ["--no-scan"])
    # A whole process: start, import, database and inventory, the run.
    script = (
        "import sys, time, torvo\n"
        f"paths = open({listing.name!r}).read().splitlines()\n"
        "start = time.perf_counter()\n"
        f"n = sum(1 for _ in torvo.analyse_many(paths, workers={workers}, scan={scan}))\n"
        "assert n == len(paths)\n"
        "print(time.perf_counter() - start)\n"
    )
    # Warm: the page cache, and each tool's inventory cache in the private home.
    timed(cli_command)
    subprocess.run([sys.executable, "-c", script], check=True, capture_output=True)
    cli_times, py_times, in_process, cli_cpu, py_cpu = [], [], [], [], []
    for _ in range(rounds):
        cli_times.append(timed(cli_command, cli_cpu))
        before = children_cpu()
        start = time.perf_counter()
        out = subprocess.run([sys.executable, "-c", script], check=True, capture_output=True, text=True).stdout
        py_times.append(time.perf_counter() - start)
        py_cpu.append(children_cpu() - before)
        in_process.append(float(out))  # from the first call on: what a long-lived process sees
    c, p, i = statistics.median(cli_times), statistics.median(py_times), statistics.median(in_process)
    print(f"{len(paths)} files, scan {'on' if scan else 'off'}, {workers} workers each, median of {rounds}")
    cc, pc = statistics.median(cli_cpu), statistics.median(py_cpu)
    print(f"torvo-cli --json                  {c:7.3f} s  {len(paths) / c:6.0f} files/s  CPU {cc:6.3f} s")
    print(f"python3 process with analyse_many {p:7.3f} s  {len(paths) / p:6.0f} files/s  CPU {pc:6.3f} s"
          f"  ({c / p:.2f}x torvo-cli's speed, {cc / pc:.2f}x by CPU time)")
    print(f"  analyse_many itself             {i:7.3f} s  {len(paths) / i:6.0f} files/s  ({c / i:.2f}x)")


def local_cluster(n):
    from dask.distributed import Client, LocalCluster

    cluster = LocalCluster(n_workers=n, threads_per_worker=1, processes=True, dashboard_address=None,
                           host="127.0.0.1", silence_logs=logging.ERROR)
    return cluster, Client(cluster)


def dask_run(cli, paths, rounds):
    import torvo.dask

    with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as listing:
        listing.write("\n".join(paths) + "\n")
    start = time.perf_counter()
    cluster, client = local_cluster(2)
    client.compute(torvo.dask.analyse_bag(paths[:20], partition_size=10)).result()  # each worker loads torvo
    started = time.perf_counter() - start
    partition = max(1, len(paths) // 8)
    cli_times, dask_times = [], []
    timed([cli, "--json", "-f", listing.name])
    for _ in range(rounds):
        cli_times.append(timed([cli, "--json", "-f", listing.name]))
        t = time.perf_counter()
        reports = client.compute(torvo.dask.analyse_bag(paths, partition_size=partition, workers=2)).result()
        dask_times.append(time.perf_counter() - t)
        assert len(reports) == len(paths)
    client.close()
    cluster.close()
    c, d = statistics.median(cli_times), statistics.median(dask_times)
    print(f"{len(paths)} files, median of {rounds}; cluster start and warm-up {started:.1f} s (not counted)")
    print(f"torvo-cli --json ({workers_of_cli()} workers)        {c:7.2f} s  {len(paths) / c:8.0f} files/s")
    print(f"dask, 2 worker processes, {partition} files a task, 2 at once  {d:7.2f} s  {len(paths) / d:8.0f} files/s"
          f"  ({c / d:.2f}x torvo-cli's files/s)")


def resident_kib():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def analyse_chunk(paths):
    import torvo

    return sum(1 for _ in torvo.analyse_many(paths, workers=1))


def rss(paths, analyses):
    cluster, client = local_cluster(1)
    step = 1000
    cycle = (paths * (step // len(paths) + 1))[:step]
    print("analyses  worker RSS (MiB)")
    print(f"{0:8d}  {client.run(resident_kib).popitem()[1] / 1024:7.1f}  (before the first analysis)")
    for done in range(step, analyses + 1, step):
        assert client.submit(analyse_chunk, cycle, pure=False).result() == step
        print(f"{done:8d}  {client.run(resident_kib).popitem()[1] / 1024:7.1f}", flush=True)
    client.close()
    cluster.close()


def main():
    cli, folder, mode = sys.argv[1:4]
    count = int(sys.argv[4]) if len(sys.argv) > 4 else None
    home = tempfile.mkdtemp(prefix="torvo-bench-home-")
    os.environ.update(HOME=home, XDG_CONFIG_HOME=home + "/.config", XDG_CACHE_HOME=home + "/.cache")
    paths = files_in(folder)
    if mode == "many":
        many(cli, paths, count or 3)
        many(cli, paths, count or 3, scan=False)
    elif mode == "dask":
        dask_run(cli, paths, count or 3)
    elif mode == "rss":
        rss(paths, count or 20000)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
