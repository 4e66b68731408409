#!/usr/bin/env python3
"""Runs every norvex benchmark and prints each figure as median and spread over repeated runs,
with its ratio to a baseline measured in the same run. Usage: run.py BUILD_DIR [RUNS]
run.py --checks [--netns] BUILD_DIR [RUNS] measures the host checks alone (see checks.py)."""
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

if sys.argv[1] == "--checks":
    import checks
    checks.main(sys.argv[2:])
    sys.exit(0)

build = os.path.abspath(sys.argv[1])
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 20
source = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
driver = os.path.join(build, "bench", "startup_driver")
load_bench = os.path.join(build, "bench", "load_bench")
work = tempfile.mkdtemp(prefix="norvex-bench-")


def write_list(name, lines, final_crlf=True):
    path = os.path.join(work, name)
    with open(path, "wb") as f:
        f.write(b"\r\n".join(lines) + (b"\r\n" if final_crlf else b""))
    return path


entries = [b"[LIST]"] + [b"host%d=127.0.%d.%d" % (i, i // 250, i % 250) for i in range(1, 87)]
lists = {
    "example": os.path.join(source, "examples", "norvex.nvx"),
    # 32,000 note lines, the marker and 86 hosts: 32,088 pieces with the final CR LF.
    "worst": write_list("worst.nvx", [b"  a note line of the kind people keep above their hosts  "] * 32000 + entries),
    "86 rows": write_list("rows86.nvx", entries),
}


def spread(values):
    q = statistics.quantiles(values, n=4)
    return q[0], q[2]


def run_once(args, env):
    start = time.perf_counter()
    proc = subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    if status != 0:
        raise SystemExit("%s failed with status %d" % (" ".join(args), status))
    return elapsed * 1000, usage.ru_maxrss / 1024  # ms, MiB


def measure(platform_env):
    cases = [("baseline", [driver, "baseline"])] + [
        (name, [driver, "norvex", path]) for name, path in lists.items()]
    times = {name: [] for name, _ in cases}
    memory = {name: [] for name, _ in cases}
    for _ in range(runs):  # interleaved, so drift on the machine hits every case alike
        for name, args in cases:
            ms, mib = run_once(args, platform_env)
            times[name].append(ms)
            memory[name].append(mib)
    return times, memory


def report(title, values, unit, base="baseline"):
    print("\n" + title)
    base_median = statistics.median(values[base])
    for name, vs in values.items():
        median = statistics.median(vs)
        low, high = spread(vs)
        print("  %-10s median %8.2f %s   quartiles %8.2f .. %8.2f   ratio %.3f" %
              (name, median, unit, low, high, median / base_median))


env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
print("norvex benchmarks: %d runs each, on %s (%d cores)" % (runs, os.uname().machine, os.cpu_count()))
times, memory = measure(env)
report("Start-up to first paint, offscreen", times, "ms")
report("Peak resident memory, offscreen", memory, "MiB")

display = os.environ.get("NORVEX_BENCH_DISPLAY")  # an X server bench/run.sh started
if display:
    times, memory = measure(dict(os.environ, QT_QPA_PLATFORM="xcb", DISPLAY=display))
    report("Start-up to first paint, Xvfb", times, "ms")
    report("Peak resident memory, Xvfb", memory, "MiB")
else:
    print("\n(no X display: no X11 figures)")

out = subprocess.run([load_bench, "--benchmark_repetitions=%d" % max(5, runs // 2),
                      "--benchmark_report_aggregates_only=true", "--benchmark_format=json"],
                     check=True, capture_output=True, text=True)
results = {}
for b in json.loads(out.stdout)["benchmarks"]:
    if b.get("aggregate_name") in ("median", "stddev"):
        results.setdefault(b["run_name"], {})[b["aggregate_name"]] = b["real_time"]
print("\nLoading a worst-case list (32,767 pieces), in process")
for size in ("1048576", "16777216"):
    base = results["readAndCount/" + size]["median"]
    total = results["loadList/" + size]["median"]
    print("  %5d MiB: read + count CR LF %7.3f ms; load %7.3f ms (sd %.3f); ratio %.2f" %
          (int(size) >> 20, base, total, results["loadList/" + size]["stddev"], total / base))
    steps = ["stepRead", "stepDecode", "stepSplit", "stepMarker"]
    shares = ", ".join("%s %.0f%%" % (s[4:].lower(), 100 * results[s + "/" + size]["median"] / total)
                       for s in steps)
    print("             share of the load: " + shares + " (the rest: trimming)")

clicks = subprocess.run([driver, "clicks", lists["example"], "50"], env=env, check=True,
                        capture_output=True, text=True).stdout.split()
values = dict(zip(clicks[0::2], clicks[1::2]))
print("\nClick to start (fake terminal), 50 clicks: median %s ms, slowest %s ms, all %s ms" %
      (values["median_ms"], values["max_ms"], values["total_ms"]))
def history_figures(platform_env, where):
    out = subprocess.run([os.path.join(build, "bench", "history_bench"), str(max(10, runs))],
                         env=platform_env, check=True, capture_output=True, text=True).stdout.split()
    v = dict(zip(out[0::2], out[1::2]))
    print("\nHistory board, 86 rows, %s: opening over an hour each %s ms (slowest %s), over a day "
          "each %s ms (slowest %s); one run's 86 results shown %s ms (slowest %s; processor time "
          "%s ms)" %
          (where, v["open_1h_ms_median"], v["open_1h_ms_max"], v["open_24h_ms_median"],
           v["open_24h_ms_max"], v["update_ms_median"], v["update_ms_max"],
           v["update_cpu_ms_median"]))
    return v


v = history_figures(env, "offscreen")
print("History of 86 hosts after a day at 5 s: %.2f MiB counted from capacities, %.2f MiB handed "
      "out by the C library" % (int(v["memory_bytes"]) / 2**20, int(v["heap_bytes"]) / 2**20))
if display:
    history_figures(dict(os.environ, QT_QPA_PLATFORM="xcb", DISPLAY=display), "Xvfb")
shutil.rmtree(work)
