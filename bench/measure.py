#!/usr/bin/env python3
"""Speed, idle and memory figures of torvane-update, each beside its target.

Drives the real program (offscreen, autostart, exit after the run) against
torvane-sim or against silent pseudo-terminals, and compares with lrzsz's
XMODEM-1K. Run it through bench/run, which builds in Release first.

    measure.py --bin build-bench/bin [--runs N] [--out docs/performance.md]
"""

import argparse
import datetime
import json
import os
import random
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import termios
import time
import tty

import station_bench
from stations import percentile

CLK_TCK = os.sysconf("SC_CLK_TCK")
MIB = 1024 * 1024
# The markers of bench/windows's section (bench/windows_bench.py).
WINDOWS_BEGIN, WINDOWS_END = "<!-- windows figures: bench/windows writes from here -->", "<!-- windows figures end -->"
BAUD = 38400
BITS_PER_BYTE = 10  # 8N1: start bit, 8 data bits, stop bit
MACHINE_TURNAROUND_S = 0.001
ACK, NAK, STX = b"\x06", b"\x15", b"\x02"
ADDRESS_FRAME, DATA_FRAME = 15, 514

# The update of item 2: several image files, 8 MiB in all, sizes that leave
# a padded last frame in three of them.
UNPACED_SIZES = [3_000_000, 2_500_000, 2_000_000, 8 * MIB - 7_500_000]


# ---------------------------------------------------------------- helpers

def cpu_seconds(pid):
    """utime + stime of a live process (all its threads), from /proc."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLK_TCK


def write_images(work, sizes, seed):
    """Image files img1.bin.. and program.txt naming them; returns the names."""
    rng = random.Random(seed)
    names, lines = [], []
    for i, size in enumerate(sizes, start=1):
        name = f"img{i}.bin"
        with open(os.path.join(work, name), "wb") as f:
            f.write(rng.randbytes(size))
        names.append(name)
        lines.append(f"{name}\t1\t0x{0x100000 * i:X}\r\n")
    with open(os.path.join(work, "program.txt"), "w", newline="") as f:
        f.writelines(lines)
    return names


def tool_env(work, com_paths):
    """Environment of one unattended run; COM ports without a path are absent."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("TORVANE_")}
    runtime = os.path.join(work, "xdg")
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    env.update(TORVANE_AUTOSTART="1", TORVANE_EXIT_AFTER_RUN="1", QT_QPA_PLATFORM="offscreen",
               XDG_RUNTIME_DIR=runtime)
    for n in range(1, 10):
        path = com_paths[n - 1] if n <= len(com_paths) else f"/nonexistent/torvane-bench/com{n}"
        env[f"TORVANE_COM{n}"] = path
    return env


def start_tool(bindir, work, com_paths):
    return subprocess.Popen([os.path.join(bindir, "torvane-update")], cwd=work, env=tool_env(work, com_paths),
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)


def peak_resident_kib(pid):
    """VmHWM: the most resident memory the process has had since its exec."""
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    raise RuntimeError("no VmHWM in /proc/<pid>/status")


def finish_tool(tool, timeout):
    """Waits for the tool; returns (stdout, cpu seconds, peak resident KiB).
    The peak is read when the tool prints its final status, just before it
    quits (wait4's ru_maxrss would also count the forked bench before exec)."""
    out, peak = "", 0
    deadline = time.monotonic() + timeout
    while True:
        ready, _, _ = select.select([tool.stdout], [], [], max(0.0, deadline - time.monotonic()))
        if not ready:
            tool.kill()
            raise RuntimeError("torvane-update did not finish in time; output so far: " + out)
        chunk = tool.stdout.readline()
        if not chunk:
            break
        if chunk.startswith("final status:"):
            peak = peak_resident_kib(tool.pid)
        out += chunk
    _, status, usage = os.wait4(tool.pid, 0)
    tool.returncode = os.waitstatus_to_exitcode(status)
    return out, usage.ru_utime + usage.ru_stime, peak


def require_complete(out, what):
    if "final status:  Status: UPDATE COMPLETE" not in out:
        raise RuntimeError(f"{what}: the update did not complete: {out.strip()}")


# ------------------------------------------------ updates against the sim

def run_update(bindir, work, sizes, sim_args, seed=1, timeout=600):
    """One whole update against torvane-sim. Returns the sim's report, the
    tool's CPU seconds and its peak resident memory (VmHWM, KiB)."""
    write_images(work, sizes, seed)
    report_path = os.path.join(work, "report.json")
    sim = subprocess.Popen([os.path.join(bindir, "torvane-sim"), "--exit-after-end", "--report", report_path,
                            *sim_args], stdout=subprocess.PIPE, text=True)
    try:
        pty = sim.stdout.readline().strip()
        tool = start_tool(bindir, work, [pty])
        out, cpu, rss_kib = finish_tool(tool, timeout)
        require_complete(out, "update")
        sim.wait(timeout=30)
        summary = sim.stdout.read().strip()
    finally:
        if sim.poll() is None:
            sim.terminate()
            sim.wait()
    with open(report_path) as f:
        report = json.load(f)
    if report["result"] != "OK":
        raise RuntimeError("the simulated machine did not receive the update intact: " + summary)
    return {"report": report, "cpu": cpu, "rss_kib": rss_kib}


def exchange_interval_s(frames):
    """From the first byte of the first address frame to the verdict of the end frame."""
    return (frames[-1]["verdict_us"] - frames[0]["first_us"]) / 1e6


def unpaced(bindir, work):
    r = run_update(bindir, work, UNPACED_SIZES, [])
    frames = r["report"]["frames"]
    interval = exchange_interval_s(frames)
    # Turnaround from one verdict to the next frame; the first frame follows the STX.
    turns = [f["host_turnaround_us"] / 1000 for f in frames[1:] if f["host_turnaround_us"] is not None]
    return {"frames_per_s": len(frames) / interval, "payload_Bps": sum(UNPACED_SIZES) / interval,
            "turn_median_ms": statistics.median(turns), "turn_p99_ms": percentile(turns, 99),
            "cpu_s": r["cpu"], "interval_s": interval, "frames": len(frames)}


def paced(bindir, work):
    r = run_update(bindir, work, [256 * 1024], ["--pace", "--turnaround-ms", "1"])
    frames = r["report"]["frames"]
    measured = exchange_interval_s(frames)
    ideal = sum((f["length"] + 1) * BITS_PER_BYTE / BAUD + MACHINE_TURNAROUND_S for f in frames)
    # Where the time above the ideal went: the tool (from a verdict to the
    # next frame) and the simulated machine (verdicts later than its pace).
    tool = sum(f["host_turnaround_us"] for f in frames[1:]) / 1e6
    return {"efficiency": ideal / measured, "ideal_s": ideal, "measured_s": measured, "frames": len(frames),
            "tool_s": tool, "sim_late_s": measured - ideal - tool,
            "tool_efficiency": ideal / (ideal + tool)}


def memory(bindir, work, size):
    return {"rss_mib": run_update(bindir, work, [size], [])["rss_kib"] / 1024}


# ------------------------------------------------------ XMODEM-1K by lrzsz

def raw_pty():
    master, slave = os.openpty()
    tty.setraw(slave)
    return master, slave


def process_state(pid):
    with open(f"/proc/{pid}/stat") as f:
        return f.read().rsplit(")", 1)[1].split()[0]


def xmodem(work):
    """sx -k into rx -c, each on its own pseudo-terminal, joined by a relay
    here: the payload bytes per second of the same 8 MiB as item 2.

    rx discards its input queue right after each ACK (and at exit), which a
    real line's transit time makes harmless; over ptys and a relay the next
    block could arrive in between and be thrown away. So the relay hands the
    sender's bytes to rx only once rx sleeps in its read, and it keeps both
    slaves open so that nothing is lost when a program exits.

    Timed from the first byte of the first block to the sender's EOT, which
    leaves out program start-up and rx's one-second wait after the EOT."""
    source, target = "xmodem-in.bin", "xmodem-out.bin"
    with open(os.path.join(work, source), "wb") as f:
        for name in write_images(work, UNPACED_SIZES, 1):
            with open(os.path.join(work, name), "rb") as image:
                f.write(image.read())
    if os.path.exists(os.path.join(work, target)):
        os.unlink(os.path.join(work, target))
    (ma, sa), (mb, sb) = raw_pty(), raw_pty()
    quiet = {"stderr": subprocess.DEVNULL, "cwd": work}
    # Restricted mode (the default) wants plain names in the working folder.
    rx = subprocess.Popen(["rx", "-c", "-q", target], stdin=sb, stdout=sb, **quiet)
    sx = subprocess.Popen(["sx", "-k", "-q", source], stdin=sa, stdout=sa, **quiet)
    first_block = eot = None
    deadline = time.monotonic() + 300
    try:
        while rx.poll() is None and time.monotonic() < deadline:
            ready, _, _ = select.select([ma, mb], [], [], 0.05)
            if mb in ready:
                os.write(ma, os.read(mb, 65536))
            if ma in ready:
                data = os.read(ma, 65536)
                while rx.poll() is None and process_state(rx.pid) != "S":
                    time.sleep(0.00002)
                now = time.monotonic()
                if first_block is None:
                    first_block = now
                if data.endswith(b"\x04"):
                    eot = now
                os.write(mb, data)
    finally:
        for program in (rx, sx):
            if program.poll() is None:
                program.kill()
            program.wait()
        for fd in (ma, sa, mb, sb):
            os.close(fd)
    with open(os.path.join(work, source), "rb") as a, open(os.path.join(work, target), "rb") as b:
        if eot is None or a.read() != b.read():
            raise RuntimeError("lrzsz: the file did not arrive intact")
    elapsed = eot - first_block
    return {"payload_Bps": os.path.getsize(os.path.join(work, source)) / elapsed, "elapsed_s": elapsed}


# ------------------------------------------- silent ports: idle and latency

class SilentLine:
    """A pseudo-terminal that sends nothing unless told to. The bench holds
    both ends, so the tool may open and close it at will."""

    def __init__(self):
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        attrs = termios.tcgetattr(self.slave)
        attrs[4] = attrs[5] = termios.B9600  # neither 4800 nor 38400: opening is visible
        termios.tcsetattr(self.slave, termios.TCSANOW, attrs)
        os.set_blocking(self.master, False)
        self.path = os.ttyname(self.slave)

    def speed(self):
        """The speed the tool has set (the master shares the slave's settings)."""
        return termios.tcgetattr(self.master)[5]

    def drain(self):
        try:
            while os.read(self.master, 4096):
                pass
        except (BlockingIOError, OSError):
            pass

    def read_frame(self, length, timeout=5.0):
        """Reads one frame; returns the time its first byte was seen."""
        data, first = b"", None
        deadline = time.monotonic() + timeout
        while len(data) < length:
            ready, _, _ = select.select([self.master], [], [], max(0.0, deadline - time.monotonic()))
            if not ready:
                raise RuntimeError(f"no frame of {length} bytes from the tool (got {len(data)})")
            try:
                chunk = os.read(self.master, length - len(data))
            except BlockingIOError:
                continue
            if first is None:
                first = time.perf_counter()
            data += chunk
        return first

    def close(self):
        os.close(self.master)
        os.close(self.slave)


def wait_for(condition, lines, timeout, what):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise RuntimeError("timed out waiting for " + what)
        for line in lines:
            line.drain()
        time.sleep(0.002)
    return time.monotonic()


def sleep_until(t):
    time.sleep(max(0.0, t - time.monotonic()))


def silent_ports(bindir, work, probes=20):
    """Nine silent ports: the start-up scan (item 5), then the run's STX wait
    on COM1 (item 1, idle), then STX and a series of NAKs (item 1, latency)."""
    write_images(work, [500], 2)  # address frame, one data frame, end frame
    lines = [SilentLine() for _ in range(9)]
    tool = start_tool(bindir, work, [line.path for line in lines])
    try:
        com1, com9 = lines[0], lines[8]
        # The scan: from COM1's open to the end of COM9's 2-s listening window.
        t0 = wait_for(lambda: com1.speed() == termios.B4800, lines, 30, "the scan to open COM1")
        c0 = cpu_seconds(tool.pid)
        t9 = wait_for(lambda: com9.speed() == termios.B4800, lines, 60, "the scan to open COM9")
        sleep_until(t9 + 1.9)
        scan_share = (cpu_seconds(tool.pid) - c0) / (time.monotonic() - t0)
        scan_seconds = t9 + 2 - t0
        # The run: load command unanswered (5 s), then 38400 baud and the STX wait.
        ts = wait_for(lambda: com1.speed() == termios.B38400, lines, 30, "the STX wait")
        sleep_until(ts + 0.5)
        c1, t1 = cpu_seconds(tool.pid), time.monotonic()
        sleep_until(ts + 18.5)
        idle_share = (cpu_seconds(tool.pid) - c1) / (time.monotonic() - t1)
        # Latency: each NAK comes after 0.2 s of quiet, when the tool sleeps.
        com1.drain()
        os.write(com1.master, STX)
        com1.read_frame(ADDRESS_FRAME)
        latencies = []
        for _ in range(probes):
            time.sleep(0.2)
            sent = time.perf_counter()
            os.write(com1.master, NAK)
            latencies.append((com1.read_frame(ADDRESS_FRAME) - sent) * 1000)
        for length in (DATA_FRAME, ADDRESS_FRAME):  # the data frame, then the end frame
            os.write(com1.master, ACK)
            com1.read_frame(length)
        os.write(com1.master, ACK)
        out, _, _ = finish_tool(tool, 30)
        require_complete(out, "silent-port run")
    finally:
        if tool.poll() is None:
            tool.kill()
            tool.wait()
        for line in lines:
            line.close()
    return {"scan_share": scan_share, "scan_s": scan_seconds, "idle_share": idle_share,
            "latency_ms": statistics.median(latencies), "latency_max_ms": max(latencies)}


# ----------------------------------------------------------------- report

def median_of(runs, key):
    return statistics.median(r[key] for r in runs)


def machine_text():
    model = "unknown CPU"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    load = os.getloadavg()[0]
    return f"{os.cpu_count()} cores (nproc {len(os.sched_getaffinity(0))}), {model}; load average {load:.2f} at start"


def build_rows(results):
    s, u, p, x = results["silent"], results["unpaced"], results["paced"], results["xmodem"]
    small, large = results["mem_small"], results["mem_large"]
    m = median_of
    rss_small, rss_large = m(small, "rss_mib"), m(large, "rss_mib")
    # Each round's ratio compares two runs made one after the other.
    ratio = statistics.median(ours["payload_Bps"] / theirs["payload_Bps"] for ours, theirs in zip(u, x))
    return [
        ("1", "CPU share during the 20-s STX wait", f"{m(s, 'idle_share') * 100:.2f} % of one core", "< 2 %",
         m(s, "idle_share") < 0.02),
        ("1", "Reply byte acted on (NAK to first byte of the resend), median", f"{m(s, 'latency_ms'):.3f} ms",
         "< 1 ms", m(s, "latency_ms") < 1.0),
        ("2", "Unpaced 8 MiB in 4 files: frames per second", f"{m(u, 'frames_per_s'):.0f} frames/s", "-", None),
        ("2", "Unpaced: payload throughput", f"{m(u, 'payload_Bps') / MIB:.2f} MiB/s", "-", None),
        ("2", "Unpaced: tool turnaround per frame, median", f"{m(u, 'turn_median_ms'):.3f} ms", "< 0.5 ms",
         m(u, "turn_median_ms") < 0.5),
        ("2", "Unpaced: tool turnaround per frame, 99th percentile", f"{m(u, 'turn_p99_ms'):.3f} ms", "< 2 ms",
         m(u, "turn_p99_ms") < 2.0),
        ("2", "Unpaced: tool CPU time for the whole update", f"{m(u, 'cpu_s'):.2f} s", "-", None),
        ("3", "Payload throughput, ours / lrzsz XMODEM-1K (same 8 MiB, pty), median of the rounds' ratios",
         f"{ratio:.2f} ({m(u, 'payload_Bps') / MIB:.2f} / {m(x, 'payload_Bps') / MIB:.2f} MiB/s)", ">= 1.0",
         ratio >= 1.0),
        ("4", "Paced 256 KiB at 38400 baud: efficiency ideal / measured",
         f"{m(p, 'efficiency') * 100:.2f} % ({m(p, 'ideal_s'):.2f} s / {m(p, 'measured_s'):.2f} s)", ">= 99 %",
         m(p, "efficiency") >= 0.99),
        ("4", "Paced: of the time above the ideal, the tool's turnarounds / the sim's late verdicts",
         f"{m(p, 'tool_s'):.3f} s / {m(p, 'sim_late_s'):.3f} s", "-", None),
        ("4", "Paced: efficiency counting the tool's turnarounds only, ideal / (ideal + tool)",
         f"{m(p, 'tool_efficiency') * 100:.2f} %", "(diagnostic)", None),
        ("5", "CPU share of the nine-port scan with no machine",
         f"{m(s, 'scan_share') * 100:.2f} % of one core ({m(s, 'scan_s'):.1f} s)", "< 2 %",
         m(s, "scan_share") < 0.02),
        ("6", "Peak resident memory, 64 KiB update", f"{rss_small:.1f} MiB", "-", None),
        ("6", "Peak resident memory, 15 MiB update (30722 frames)", f"{rss_large:.1f} MiB",
         f"within 1 MiB of 64 KiB ({rss_large - rss_small:+.2f} MiB)", abs(rss_large - rss_small) <= 1.0),
    ]


def table(rows):
    lines = ["| # | Figure | Measured (median) | Target | |", "|---|---|---|---|---|"]
    for item, what, value, target, met in rows:
        verdict = "" if met is None else ("met" if met else "**missed**")
        lines.append(f"| {item} | {what} | {value} | {target} | {verdict} |")
    return "\n".join(lines)


def write_document(path, rows, runs, machine, seconds, log):
    template_path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "performance.md.in")
    with open(template_path) as f:
        template = f.read()
    text = (template.replace("@DATE@", datetime.datetime.now().strftime("%Y-%m-%d %H:%M"))
            .replace("@MACHINE@", machine).replace("@RUNS@", str(runs))
            .replace("@SECONDS@", f"{seconds / 60:.1f}").replace("@TABLE@", table(rows))
            .replace("@RUNLOG@", "\n".join(log)))
    # bench/station and bench/windows write sections of their own; they are carried over.
    if os.path.exists(path):
        with open(path) as f:
            old = f.read()
        for begin_mark, end_mark in ((station_bench.BEGIN, station_bench.END), (WINDOWS_BEGIN, WINDOWS_END)):
            begin, end = old.find(begin_mark), old.find(end_mark)
            if 0 <= begin < end:
                text = text.rstrip("\n") + "\n\n" + old[begin:end + len(end_mark)] + "\n"
    with open(path, "w") as f:
        f.write(text)


MEASUREMENTS = {
    "silent": lambda b, w: silent_ports(b, w),
    "unpaced": lambda b, w: unpaced(b, w),
    "xmodem": lambda b, w: xmodem(w),
    "paced": lambda b, w: paced(b, w),
    "mem_small": lambda b, w: memory(b, w, 64 * 1024),
    "mem_large": lambda b, w: memory(b, w, 15 * MIB),
}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin", required=True, help="folder with torvane-update and torvane-sim")
    parser.add_argument("--runs", type=int, default=3, help="runs per measurement (median taken)")
    parser.add_argument("--out", help="Markdown file to write the table into")
    parser.add_argument("--only", nargs="*", choices=sorted(MEASUREMENTS), help="run only these (no document)")
    args = parser.parse_args()
    bindir = os.path.abspath(args.bin)
    for program in ("rx", "sx"):
        if shutil.which(program) is None:
            sys.exit(f"measure: {program} (package lrzsz) is missing; run scripts/setup")
    machine = machine_text()
    began = time.monotonic()
    results = {}
    names = args.only or list(MEASUREMENTS)
    log = []
    # Rounds of every measurement in turn, so that the ratios compare runs made
    # under the same conditions (the machine may be shared).
    with tempfile.TemporaryDirectory(prefix="torvane-bench-") as work:
        for run in range(1, args.runs + 1):
            for name in names:
                result = MEASUREMENTS[name](bindir, work)
                line = f"round {run} {name}: " + ", ".join(f"{k} {v:.4g}" for k, v in result.items())
                print(line, flush=True)
                log.append(line)
                results.setdefault(name, []).append(result)
    if args.only:
        return
    machine += f"; {os.getloadavg()[0]:.2f} at the end"
    rows = build_rows(results)
    print()
    print(table(rows))
    if args.out:
        write_document(args.out, rows, args.runs, machine, time.monotonic() - began, log)
        print(f"\nwritten to {args.out}")


if __name__ == "__main__":
    main()
