"""Figures of the host checks, through the startup_driver's check and watch modes:
  - one run of 86 echo rows, half of them silent, with fping and with the ping it falls back to;
  - keep checking those 86 rows (the 5 s pause) for a minute: CPU of norvex and its programs as a
    share of one core, processes started per run; and with fping once more, the history board open;
  - one run of 1,000 rows.
With --netns (bench/run.sh passes it as root, inside `unshare --net`) the real fping and ping run
in a network namespace of their own: every host is a loopback address, the silent ones routed to
a device of the namespace's own that nothing answers on. Nothing leaves the machine.
Without it, stand-ins for fping and ping answer instead, and nothing is sent at all.
Usage (through run.py): run.py --checks [--netns] BUILD_DIR [RUNS]"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

WATCH_SECONDS = int(os.environ.get("NORVEX_BENCH_WATCH_SECONDS", "60"))

# The stand-ins: hosts in 127.77.0.0/16 stay silent for the second a real reply is waited for,
# every other host answers at once. They wait without a process of their own.
STANDIN_FPING = """#!/bin/bash
mapfile -t hosts
for h in "${hosts[@]}"; do
  [[ $h == 127.77.* ]] && { exec 3<> <(:); read -r -t 1 <&3; break; }
done
for h in "${hosts[@]}"; do
  if [[ $h == 127.77.* ]]; then echo "$h is unreachable"; else echo "$h is alive (0.05 ms)"; fi
done
"""
STANDIN_PING = """#!/bin/bash
for host; do :; done
if [[ $host == 127.77.* ]]; then
  exec 3<> <(:); read -r -t 1 <&3
  echo '1 packets transmitted, 0 received, 100% packet loss'; exit 1
fi
echo "64 bytes from $host: icmp_seq=1 ttl=64 time=0.05 ms"
"""


def run(args, **kwargs):
    return subprocess.run(args, check=True, capture_output=True, text=True, **kwargs)


def make_namespace():
    """Sets up the network namespace this runs in; refuses one that has more than loopback."""
    listed = run(["ip", "-o", "link"]).stdout.splitlines()
    links = [line.split(":")[1].strip().split("@")[0] for line in listed]
    if links != ["lo"]:
        raise SystemExit("--netns: this is not a network namespace of its own (links: %s)" % links)
    run(["ip", "link", "set", "lo", "up"])
    # Silent hosts are loopback addresses too: 127.77.0.0/16 is taken off lo and routed to a
    # device nothing answers on (a dummy one, or a tun device nobody reads where the kernel has
    # no dummy devices), which must be allowed to carry loopback addresses.
    dummy = subprocess.run(["ip", "link", "add", "d0", "type", "dummy"], capture_output=True)
    if dummy.returncode != 0:
        run(["ip", "tuntap", "add", "dev", "d0", "mode", "tun"])
    run(["ip", "link", "set", "d0", "up"])
    run(["ip", "route", "del", "table", "local", "local", "127.0.0.0/8", "dev", "lo"])
    run(["ip", "route", "add", "table", "local", "local", "127.0.0.0/10", "dev", "lo"])
    run(["sysctl", "-qw", "net.ipv4.conf.d0.route_localnet=1"])
    run(["ip", "route", "add", "127.77.0.0/16", "dev", "d0"])


def hosts(count, silent):
    """count hosts, every other one silent: hosts of 127.0.0.0/16 answer, hosts of the silent
    pattern ("127.77.%d.%d") stay silent."""
    return [("127.0.%d.%d" if i % 2 == 0 else silent) % (i // 2 // 250, i // 2 % 250 + 2)
            for i in range(count)]


def write(path, lines, sep=b"\r\n"):
    with open(path, "wb") as f:
        f.write(sep.join(line.encode() for line in lines) + sep)
    return path


def figures(out):
    words = out.split()
    return {k: float(v) for k, v in zip(words[0::2], words[1::2])}


def main(argv):
    netns = argv[0] == "--netns"
    if netns:
        argv = argv[1:]
    build = os.path.abspath(argv[0])
    runs = max(3, int(argv[1]) // 4) if len(argv) > 1 else 5
    driver = os.path.join(build, "bench", "startup_driver")
    work = tempfile.mkdtemp(prefix="norvex-checks-")
    fping_dir, ping_dir = os.path.join(work, "fping"), os.path.join(work, "ping")
    os.mkdir(fping_dir)
    os.mkdir(ping_dir)
    if netns:
        make_namespace()
        ping = shutil.which("ping", path="/usr/bin:/bin")
        fping = shutil.which("fping", path="/usr/sbin:/usr/bin:/sbin:/bin")
        if not fping:
            raise SystemExit("fping is not installed (apt install fping)")
        for d in (fping_dir, ping_dir):
            os.symlink(ping, os.path.join(d, "ping"))
        os.symlink(fping, os.path.join(fping_dir, "fping"))
        kind = "the real fping and ping, in a network namespace of their own"
    else:
        for d, name, body in ((fping_dir, "fping", STANDIN_FPING),
                              (fping_dir, "ping", STANDIN_PING), (ping_dir, "ping", STANDIN_PING)):
            with open(os.path.join(d, name), "w") as f:
                f.write(body)
            os.chmod(os.path.join(d, name), 0o755)
        kind = "stand-ins for fping and ping (no network namespace: run bench/run.sh as root)"
    silent = "127.77.%d.%d"
    # The driver as the first process of a PID namespace of its own counts what it starts.
    unshare = shutil.which("unshare") or "unshare"
    wrap = [unshare, "--pid", "--fork", "--"]
    if subprocess.run(wrap + ["/bin/true"], capture_output=True).returncode != 0:
        wrap = [unshare, "--user", "--map-root-user", "--pid", "--fork", "--"]
        if subprocess.run(wrap + ["/bin/true"], capture_output=True).returncode != 0:
            wrap = []
    rows86 = write(os.path.join(work, "rows86.nvx"),
                   ["[LIST]"] + ["host%d=%s" % (i + 1, h) for i, h in enumerate(hosts(86, silent))])
    hosts1000 = write(os.path.join(work, "hosts1000"), hosts(1000, silent), b"\n")
    driver_args = lambda *args: wrap + [driver] + list(args)
    ways = (("fping", fping_dir), ("ping", ping_dir))
    env = lambda d: dict(os.environ, QT_QPA_PLATFORM="offscreen", PATH=d)
    started = lambda v: "n/a" if v < 0 else "%.0f" % v

    print("\nHost checks: %s" % kind)
    print("One run of 86 echo rows, half of them silent, %d runs each:" % runs)
    for name, d in ways:
        got = [figures(run(driver_args("check", rows86), env=env(d)).stdout)
               for _ in range(runs)]
        took = [g["check_ms"] for g in got]
        print("  %-5s median %5.0f ms, slowest %5.0f ms; CPU %5.1f ms; processes started %s; "
              "event loop's longest pause %.0f ms; answered %s" %
              (name, statistics.median(took), max(took), statistics.median(g["cpu_ms"] for g in got),
               started(statistics.median(g["started"] for g in got)),
               max(g["max_stall_ms"] for g in got), sorted({int(g["answered"]) for g in got})))

    print("Keep checking 86 rows (5 s pause) for %d s:" % WATCH_SECONDS)
    for name, d, board in [w + (False,) for w in ways] + [("fping", fping_dir, True)]:
        g = figures(run(driver_args("watch", rows86, str(WATCH_SECONDS), *(["board"] * board)),
                        env=env(d)).stdout)
        per_run = g["started"] / g["runs"] if g["started"] >= 0 and g["runs"] else -1
        print("  %-17s %2.0f runs; CPU %6.1f ms = %.2f %% of one core; processes started per run %s" %
              (name + (", board open" if board else ""), g["runs"], g["cpu_ms"],
               g["cpu_share_pct"], started(per_run)))

    # The window shows 88 rows at most: a longer list is one sweep of the checker itself.
    print("One sweep of 1,000 hosts, half of them silent (the checker alone):")
    for name, d in ways:
        g = figures(run(driver_args("sweep", hosts1000), env=env(d)).stdout)
        print("  %-5s %6.0f ms; CPU %6.1f ms; processes started %s; answered %.0f, no answer %.0f, "
              "could not check %.0f" % (name, g["sweep_ms"], g["cpu_ms"], started(g["started"]),
                                        g["answered"], g["no_answer"], g["could_not"]))
    shutil.rmtree(work)
