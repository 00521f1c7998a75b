#!/usr/bin/env python3
"""Figures of torvane-station updating many machines at once, each beside its
target, written into docs/performance.md (its station section).

Every machine is a torvane-sim paced to 38400 baud 8N1 with a 1-ms turnaround
of its own; every run sends the same 64 KiB image. Run it through
bench/station, which builds in Release first.

    station_bench.py --bin build-bench/bin [--runs N] [--size BYTES] [--out docs/performance.md]
"""

import argparse
import datetime
import os
import statistics
import sys
import tempfile
import time

import stations

# The machines stay until the station has ended (stations.Sim.stop). A machine
# that left right after its end frame's verdict could hang up the line before
# its worker has closed the port, and the run would count as failed.
PACED = ["--pace", "--turnaround-ms", "1"]
BEGIN, END = "<!-- station figures: bench/station writes from here -->", "<!-- station figures end -->"


def update(bindir, work, args_each, size, timeout=600):
    """One station run against one machine per argument list. Returns the
    station's wall and CPU seconds, each machine's end time and p99
    turnaround, and whether it completed byte-exact."""
    folder = tempfile.mkdtemp(dir=work)
    images = stations.write_images(folder, [size], 3)
    sims = stations.start_sims(bindir, folder, args_each)
    try:
        run = stations.StationRun(bindir, folder, [s.path for s in sims], os.path.join(folder, "log.jsonl"))
        code, wall, cpu = run.finish(timeout)
    finally:
        reports = [s.stop() for s in sims]
    ends = run.ends()
    machines = []
    for sim, report in zip(sims, reports):
        at, end = ends.get(sim.path, (None, {}))
        exact = (report is not None and report["result"] == "OK"
                 and [i["sha256"] for i in report["images"]] == [stations.sha256(b) for b in images.values()])
        turns = stations.turnarounds_ms(report) if report else []
        machines.append({"end_s": at, "complete": end.get("outcome") == "complete" and exact,
                         "turns_ms": turns, "turn_p99_ms": stations.percentile(turns, 99) if turns else None})
    return {"code": code, "wall_s": wall, "cpu_s": cpu, "machines": machines}


def parallel(bindir, work, count, size):
    r = update(bindir, work, [PACED] * count, size)
    if r["code"] != 0 or not all(m["complete"] for m in r["machines"]):
        raise RuntimeError(f"{count} machines: not every update completed byte-exact (exit code {r['code']})")
    every = [t for m in r["machines"] for t in m["turns_ms"]]
    return {"wall_s": r["wall_s"], "cpu_share": r["cpu_s"] / r["wall_s"],
            "turn_p99_ms": max(m["turn_p99_ms"] for m in r["machines"]),
            "all_p50_ms": stations.percentile(every, 50), "all_p99_ms": stations.percentile(every, 99),
            "last_end_s": max(m["end_s"] for m in r["machines"])}


def troubled(bindir, work, size):
    """Seven healthy machines beside one that goes silent at its second frame
    and one that takes 30 ms over each verdict: when the healthy seven end."""
    slow = ["--pace", "--turnaround-ms", "30"]
    r = update(bindir, work, [PACED] * 7 + [["--silent-at", "2"], slow], size)
    healthy = r["machines"][:7]
    if not all(m["complete"] for m in healthy):
        raise RuntimeError("a healthy machine beside the troubled ones did not complete")
    if r["machines"][7]["complete"] or r["code"] != 1:
        raise RuntimeError("the silent machine was reported complete")
    return {"healthy_last_end_s": max(m["end_s"] for m in healthy), "slow_end_s": r["machines"][8]["end_s"],
            "silent_end_s": r["machines"][7]["end_s"], "wall_s": r["wall_s"]}


MEASUREMENTS = {
    "alone": lambda b, w, s: parallel(b, w, 1, s),
    "nine": lambda b, w, s: parallel(b, w, 9, s),
    "thirty_two": lambda b, w, s: parallel(b, w, 32, s),
    "troubled": troubled,
}


def build_rows(results, size):
    m = lambda name, key: statistics.median(r[key] for r in results[name])  # noqa: E731
    # Each round's ratio compares runs made one after the other.
    ratio = lambda name, key: statistics.median(  # noqa: E731
        r[key] / a["wall_s"] for r, a in zip(results[name], results["alone"]))
    alone = m("alone", "wall_s")
    return [
        (f"One machine alone, {size // 1024} KiB paced: station run from start to exit", f"{alone:.2f} s", "-",
         None),
        ("9 machines at once / one alone", f"{ratio('nine', 'wall_s'):.3f} ({m('nine', 'wall_s'):.2f} s)", "<= 1.05",
         ratio("nine", "wall_s") <= 1.05),
        ("32 machines at once / one alone",
         f"{ratio('thirty_two', 'wall_s'):.3f} ({m('thirty_two', 'wall_s'):.2f} s)", "<= 1.05",
         ratio("thirty_two", "wall_s") <= 1.05),
        ("Station CPU (supervisor and workers), 9 machines", f"{m('nine', 'cpu_share') * 100:.2f} % of one core",
         "< 5 %", m("nine", "cpu_share") < 0.05),
        ("Station CPU (supervisor and workers), 32 machines",
         f"{m('thirty_two', 'cpu_share') * 100:.2f} % of one core", "-", None),
        ("Per-frame turnaround, 99th percentile of the worst machine, 9 machines",
         f"{m('nine', 'turn_p99_ms'):.3f} ms", "< 2 ms", m("nine", "turn_p99_ms") < 2.0),
        ("Per-frame turnaround, 99th percentile of the worst machine, 32 machines",
         f"{m('thirty_two', 'turn_p99_ms'):.3f} ms", "< 2 ms", m("thirty_two", "turn_p99_ms") < 2.0),
        ("Per-frame turnaround over every frame of all 32 machines: median / 99th percentile",
         f"{m('thirty_two', 'all_p50_ms'):.3f} / {m('thirty_two', 'all_p99_ms'):.3f} ms", "-", None),
        ("7 healthy machines beside a silent and a slow one: last healthy end / one alone's end",
         f"{ratio('troubled', 'healthy_last_end_s'):.3f} (silent one failed at {m('troubled', 'silent_end_s'):.1f} s,"
         f" slow one ended at {m('troubled', 'slow_end_s'):.1f} s)", "<= 1.05",
         ratio("troubled", "healthy_last_end_s") <= 1.05),
    ]


def table(rows):
    lines = ["| Figure | Measured (median) | Target | |", "|---|---|---|---|"]
    for what, value, target, met in rows:
        verdict = "" if met is None else ("met" if met else "**missed**")
        lines.append(f"| {what} | {value} | {target} | {verdict} |")
    return "\n".join(lines)


def machine_text():
    model = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo") if line.startswith("model name")),
                 "unknown CPU")
    return f"{len(os.sched_getaffinity(0))} cores, {model}; load average {os.getloadavg()[0]:.2f} at start"


def section(rows, runs, machine, seconds, log):
    return "\n".join([
        BEGIN,
        "## torvane-station: many machines at once",
        "",
        f"Written by `bench/station` on {datetime.datetime.now():%Y-%m-%d %H:%M} (rounds: {runs}, total "
        f"{seconds / 60:.1f} min). Machine: {machine}.",
        "",
        table(rows),
        "",
        "Each round runs, one after the other: one machine alone, 9 machines, 32 machines, and 9 machines of which "
        "one goes silent at its second frame and one takes 30 ms over each verdict. Every machine is "
        "`torvane-sim --pace --turnaround-ms 1` on its own pseudo-terminal and receives the same image; a run is "
        "`build-bench/bin/torvane-station --json --port ...` (Release), timed from its start to its exit. CPU = "
        "user + system time of the station and the workers it waited for (wait4 rusage) over the wall time. "
        "Turnaround = the sim's `host_turnaround_us` of every frame but the first: from the machine's verdict to "
        "the first byte of the next frame. A machine's end time is when the station printed its `end` event. "
        "Ratios are taken within a round; their median is shown. The code is `bench/station_bench.py`.",
        "",
        "<details><summary>Rounds</summary>",
        "",
        "```",
        *log,
        "```",
        "",
        "</details>",
        END,
    ])


def write_section(path, text, begin=BEGIN, end=END):
    """Replaces the section between `begin` and `end` of the document (the
    station's unless told), or appends it."""
    old = open(path).read() if os.path.exists(path) else "# Performance\n"
    if begin in old and end in old:
        new = old[:old.index(begin)] + text + old[old.index(end) + len(end):]
    else:
        new = old.rstrip("\n") + "\n\n" + text + "\n"
    with open(path, "w") as f:
        f.write(new)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin", required=True, help="folder with torvane-station and torvane-sim")
    parser.add_argument("--runs", type=int, default=3, help="rounds (median taken)")
    parser.add_argument("--size", type=int, default=64 * 1024, help="image bytes per machine")
    parser.add_argument("--out", help="Markdown file whose station section is written")
    parser.add_argument("--only", nargs="*", choices=sorted(MEASUREMENTS), help="run only these (no document)")
    args = parser.parse_args()
    bindir = os.path.abspath(args.bin)
    machine, began, results, log = machine_text(), time.monotonic(), {}, []
    names = args.only or list(MEASUREMENTS)
    with tempfile.TemporaryDirectory(prefix="torvane-station-bench-") as work:
        for run in range(1, args.runs + 1):
            for name in names:
                result = MEASUREMENTS[name](bindir, work, args.size)
                line = f"round {run} {name}: " + ", ".join(f"{k} {v:.4g}" for k, v in result.items())
                print(line, flush=True)
                log.append(line)
                results.setdefault(name, []).append(result)
    if args.only:
        return 0
    rows = build_rows(results, args.size)
    print()
    print(table(rows))
    if args.out:
        machine += f"; {os.getloadavg()[0]:.2f} at the end"
        write_section(args.out, section(rows, args.runs, machine, time.monotonic() - began, log))
        print(f"\nwritten to {args.out}")
    return 0 if all(met is not False for *_, met in rows) else 1


if __name__ == "__main__":
    sys.exit(main())
