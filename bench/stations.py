"""What the station's benchmark and soak share: simulated machines, one run of
torvane-station with the time each of its JSON events arrived, the update log.

Every port is a pseudo-terminal of torvane-sim; the host's serial ports are
never touched (COM1..COM9 point at absent paths inside the work folder).
"""

import hashlib
import json
import os
import random
import select
import signal
import subprocess
import time


def write_images(folder, sizes, seed):
    """img1.bin.. of the given sizes and program.txt naming them; returns
    {name: bytes} of what a machine must receive."""
    rng = random.Random(seed)
    images, lines = {}, []
    for i, size in enumerate(sizes, start=1):
        name = f"img{i}.bin"
        images[name] = rng.randbytes(size)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(images[name])
        lines.append(f"{name}\t1\t0x{0x100000 * i:X}\r\n")
    with open(os.path.join(folder, "program.txt"), "w", newline="") as f:
        f.writelines(lines)
    return images


class Sim:
    """One torvane-sim on its own pseudo-terminal, with its report file."""

    def __init__(self, bindir, folder, name, args):
        self.report_path = os.path.join(folder, f"{name}.report.json")
        self.images_dir = os.path.join(folder, f"{name}.received")
        self.process = subprocess.Popen(
            [os.path.join(bindir, "torvane-sim"), "--report", self.report_path, "--save-images", self.images_dir,
             *args], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.path = self.process.stdout.readline().strip()
        if not self.path:
            raise RuntimeError(f"torvane-sim {' '.join(args)} did not start")

    def stop(self):
        """Ends the machine; returns its report (None if it wrote none)."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()
        if not os.path.exists(self.report_path):
            return None
        with open(self.report_path) as f:
            return json.load(f)


def start_sims(bindir, folder, args_each):
    sims = []
    try:
        for i, args in enumerate(args_each):
            sims.append(Sim(bindir, folder, f"m{i + 1}", args))
    except BaseException:
        for sim in sims:
            sim.stop()
        raise
    return sims


def station_env(folder, log_path):
    env = {k: v for k, v in os.environ.items() if not k.startswith("TORVANE_")}
    for n in range(1, 10):
        env[f"TORVANE_COM{n}"] = os.path.join(folder, f"absent-com{n}")
    env["TORVANE_LOG"] = log_path
    return env


class StationRun:
    """torvane-station --json with one --port per path, started at once.
    `events` are (seconds since the start, event object) in arrival order."""

    def __init__(self, bindir, folder, paths, log_path, extra=(), slow=0):
        args = [os.path.join(bindir, "torvane-station"), "--json", "--folder", folder, *extra]
        for path in paths:
            args += ["--port", path]
        self.began = time.monotonic()
        self.process = subprocess.Popen(args, cwd=folder, env=station_env(folder, log_path), stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.events = []
        self.stderr = b""
        self._partial = b""
        self.slow = slow  # a slow reader: at most 4 KiB this often

    def read(self, timeout):
        """Takes in what the station printed within `timeout` seconds; False
        once its output has ended."""
        if self.slow:
            time.sleep(self.slow)
        ready, _, _ = select.select([self.process.stdout], [], [], timeout)
        if not ready:
            return True
        chunk = os.read(self.process.stdout.fileno(), 4096 if self.slow else 65536)
        if not chunk:
            return False
        now = time.monotonic() - self.began
        lines = (self._partial + chunk).split(b"\n")
        self._partial = lines.pop()
        for line in lines:
            if line.strip():
                self.events.append((now, json.loads(line)))
        return True

    def finish(self, timeout):
        """Reads to the end and reaps the station. Returns (exit code, wall
        seconds, CPU seconds of the station and every worker it waited for)."""
        deadline = time.monotonic() + timeout
        while self.read(max(0.0, min(1.0, deadline - time.monotonic()))):
            if time.monotonic() > deadline:
                self.process.kill()
                raise RuntimeError("torvane-station did not finish in time")
        self.stderr = self.process.stderr.read()
        _, status, usage = os.wait4(self.process.pid, 0)
        self.process.returncode = os.waitstatus_to_exitcode(status)
        wall = time.monotonic() - self.began
        return self.process.returncode, wall, usage.ru_utime + usage.ru_stime

    def ends(self):
        """{device path: (seconds, end event)}."""
        return {e["device"]: (t, e) for t, e in self.events if e.get("event") == "end"}


def read_log(path):
    """The update log's lines: (records, lines that are not whole JSON objects)."""
    records, broken = [], []
    if not os.path.exists(path):
        return records, broken
    with open(path, "rb") as f:
        for line in f.read().split(b"\n"):
            if not line.strip():
                continue
            try:
                record = json.loads(line)
            except ValueError:
                broken.append(line)
                continue
            (records if isinstance(record, dict) else broken).append(record)
    return records, broken


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def percentile(values, p):
    ordered = sorted(values)
    index = min(len(ordered) - 1, max(0, round(p / 100 * (len(ordered) - 1))))
    return ordered[index]


def turnarounds_ms(report):
    """The host's turnaround of every frame but the first (which follows the STX)."""
    return [f["host_turnaround_us"] / 1000 for f in report["frames"][1:] if f["host_turnaround_us"] is not None]
