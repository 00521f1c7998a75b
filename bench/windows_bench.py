#!/usr/bin/env python3
"""Speed and idle figures of torvane-update.exe under Wine, beside the Linux ones.

    windows_bench.py --bin build-mingw/bench/bin --sim build-bench/bin/torvane-sim [--runs N] [--out docs/performance.md]

Run it through bench/windows, which builds both first. Two measurements, each
in a fresh Wine prefix with the simulated machine on COM3 and the window under
the caller's X display (bench/windows runs it under xvfb-run):
  - host turnaround per frame on a 4 MiB unpaced transfer, from the machine's
    report (from its verdict to the first byte of the next frame);
  - the program's CPU while it waits 20 s for an STX that never comes (a
    silent line), from /proc over 10 s of that wait.
Timings under Wine are optimistic: Wine has no 15.6 ms system tick.
"""
import argparse
import os
import pty
import random
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "win32" / "e2e"))
import wine_e2e  # noqa: E402  (the prefixes and the simulated machine of the Wine tests)
from stations import percentile  # noqa: E402
from measure import cpu_seconds  # noqa: E402
from station_bench import write_section  # noqa: E402

from measure import WINDOWS_BEGIN as BEGIN, WINDOWS_END as END  # noqa: E402
MIB = 1024 * 1024


def turnaround(bench, root):
    folder = root / f"turn-{time.monotonic_ns()}"
    folder.mkdir()
    (folder / "big.bin").write_bytes(random.Random(7).randbytes(4 * MIB))
    (folder / "program.txt").write_bytes(b"big.bin\t1\t0x100000\r\n")
    with wine_e2e.Prefix(bench.template, root) as prefix:
        sim = wine_e2e.Sim(bench.sim_path, folder)
        try:
            prefix.map_com(3, sim.pty)
            lines, _ = bench.window(prefix, folder, "program", timeout=600)
            report = sim.stop()
        finally:
            sim.stop()
    wine_e2e.check(wine_e2e.final_status(lines) == wine_e2e.COMPLETE, f"the update failed: {lines}")
    turns = [f["host_turnaround_us"] / 1000 for f in report["frames"][1:] if f["host_turnaround_us"] is not None]
    return statistics.median(turns), percentile(turns, 99)


def idle_cpu(bench, root):
    """CPU share of a core over 10 s of the STX wait on a line nobody answers."""
    folder = root / f"idle-{time.monotonic_ns()}"
    folder.mkdir()
    wine_e2e.make_folder(folder)
    master, slave = pty.openpty()
    try:
        with wine_e2e.Prefix(bench.template, root) as prefix:
            prefix.map_com(3, os.ttyname(slave))
            env = dict(prefix.env, TORVANE_AUTOSTART="1", TORVANE_EXIT_AFTER_RUN="1", TORVANE_SOURCE="erestore",
                       TORVANE_COM1="COM3")
            window = subprocess.Popen([wine_e2e.WINE, str(bench.exe), wine_e2e.windows_path(folder)], env=env,
                                      stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
            try:
                found = prefix.run(bench.probe, "wait-status", "Waiting for STX", "60", timeout=120)
                wine_e2e.check(found.returncode == 0, f"no STX wait: {found.stdout}")
                time.sleep(1)
                before, started = cpu_seconds(window.pid), time.monotonic()
                time.sleep(10)
                share = (cpu_seconds(window.pid) - before) / (time.monotonic() - started)
                window.communicate(timeout=60)
            finally:
                if window.poll() is None:
                    window.kill()
    finally:
        os.close(master)
        os.close(slave)
    return share


def section(rows, runs):
    lines = [BEGIN, "", "## Windows, under Wine", "",
             f"`bench/windows` ({runs} runs, median): `torvane-update.exe` (MinGW-w64 Release build) under "
             "Debian's wine64, the simulated machine on a pseudo-terminal mapped as COM3. Timings under Wine are "
             "optimistic: Wine has no 15.6 ms system tick, so a wait wakes as soon as its input arrives; on a "
             "Windows PC the same loop may wake up to a tick later.", "",
             "| Measurement | Value | Target | |", "|---|---|---|---|"]
    for name, value, target, met in rows:
        lines.append(f"| {name} | {value} | {target} | {'met' if met else 'NOT met'} |")
    return "\n".join(lines + ["", END])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--out")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="torvane-wine-bench-") as tmp:
        root = Path(tmp)
        bench = wine_e2e.Bench(args, root)
        turns = [turnaround(bench, root) for _ in range(args.runs)]
        idles = [idle_cpu(bench, root) for _ in range(args.runs)]
    median = statistics.median(t[0] for t in turns)
    p99 = statistics.median(t[1] for t in turns)
    idle = statistics.median(idles)
    rows = [("Unpaced 4 MiB: host turnaround per frame, median", f"{median:.3f} ms", "< 0.5 ms", median < 0.5),
            ("Unpaced 4 MiB: host turnaround per frame, 99th percentile", f"{p99:.3f} ms", "< 2 ms", p99 < 2),
            ("Idle CPU during the 20-s STX wait", f"{idle * 100:.2f} % of a core", "< 2 %", idle < 0.02)]
    for row in rows:
        print(f"{row[0]}: {row[1]} (target {row[2]}) {'met' if row[3] else 'NOT met'}")
    if args.out:
        write_section(args.out, section(rows, args.runs), BEGIN, END)
        print(f"written to {args.out}")
    return 0 if all(r[3] for r in rows) else 1


if __name__ == "__main__":
    sys.exit(main())
