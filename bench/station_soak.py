#!/usr/bin/env python3
"""The station's soak: many runs of torvane-station, each updating a rack of
fresh simulated machines at once, every machine with a random named fault or
none; then one run whose supervisor is killed mid-run.

Every machine must end as its fault dictates, every record of the update log
must match what its machine received, and neither the supervisor nor its
workers may hold more descriptors or memory in the last runs than in the
first. Exit status 0 when everything held, else one line per problem.

  bench/station_soak.py --bin build-rel/bin [--machines 9] [--runs 20] [--seed S]
                        [--faults none,nak,can,silent,unplug] [--keep]
"""

import argparse
import datetime
import os
import random
import re
import shutil
import signal
import sys
import tempfile
import time

import stations

FAULTS = ("none", "nak", "can", "silent", "unplug")
POLL = 0.01  # seconds between two looks at /proc
HWM_GROWTH_KIB = 2048
FREEZE_LIMIT = 3.0  # the machines are held at most this long; the tool waits 5 s for the load reply
RUN_LIMIT = 90.0
TRANSFER_FDS = 2  # the transfer list and the image being sent stay open while they are sent

COMPLETE = " Status: UPDATE COMPLETE"
REFUSED = " Error: "  # a refused frame (CAN) or a time-out: number 0, no text
UNPLUGGED = (" Error: The serial device behind {} went away (the device hung up). "
             "Check the cable and the adapter, then start again.")
WAITING_FOR_LOAD = " Status: Waiting for response to load command"
WALL_MINUS_MONOTONIC = time.time() - time.monotonic()
SLOW_READ = 0.05  # a slow reader of the station's output takes at most 4 KiB this often
KILLED_WORKER = "the worker for this port ended unexpectedly (signal 9)"


def frame_count(images):
    """An address frame and the data frames of each image, then the end frame."""
    return sum(1 + -(-len(data) // 512) for data in images.values()) + 1


def draw_fault(kind, rng, frames):
    """(kind, frame number, sim arguments)."""
    n = rng.randint(1, frames)
    if kind == "nak":
        times = rng.choice((rng.randint(2, 9), rng.randint(10, 99), rng.randint(100, 400)))
        return kind, n, ["--nak-times", f"{n}:{times}"], times
    args = {"none": [], "can": ["--can-at", str(n)], "silent": ["--silent-at", str(n)],
            "unplug": ["--unplug-at", str(n)]}[kind]
    return kind, n, args, 0


def proc_read(pid, name):
    with open(f"/proc/{pid}/{name}", "rb") as f:
        return f.read()


def alive(pid):
    """A process that exists and is not a zombie."""
    try:
        return proc_read(pid, "stat").rsplit(b")", 1)[1].split()[0] != b"Z"
    except OSError:
        return False


class Watch:
    """The descriptors and VmHWM of a station's supervisor and its workers.
    A peak is the highest count held over two consecutive looks: a leaked
    descriptor stays open, while QProcess's start-up pipes or a file reopened
    between two steps of the run are gone within a millisecond."""

    def __init__(self, pid):
        self.pid = pid
        self.devices = {}  # worker pid: its device
        self.count, self.peak, self.hwm = {}, {}, {}
        self.at = 0.0

    def look(self, force=False):
        if not force and time.monotonic() - self.at < POLL:
            return
        self.at = time.monotonic()
        try:
            children = [int(c) for c in proc_read(self.pid, f"task/{self.pid}/children").split()]
        except OSError:
            return
        for child in set(children) - set(self.devices):
            try:
                args = proc_read(child, "cmdline").split(b"\0")
            except OSError:
                continue
            if b"--worker" in args:  # a child forked but not yet exec'd is still the supervisor
                self.devices[child] = bytes.fromhex(args[args.index(b"--worker") + 1].decode()).decode()
        for pid in [self.pid] + [p for p in self.devices if alive(p)]:
            try:
                count = len(os.listdir(f"/proc/{pid}/fd"))
                hwm = int(re.search(rb"VmHWM:\s+(\d+)", proc_read(pid, "status")).group(1))
            except (OSError, AttributeError):
                continue
            if pid in self.count:
                self.peak[pid] = max(self.peak.get(pid, 0), min(count, self.count[pid]))
            self.count[pid] = count
            self.hwm[pid] = hwm


def event_wall_time(event):
    """The wall-clock time an event was made (its "time", UTC), in seconds."""
    return datetime.datetime.fromisoformat(event["time"].replace("Z", "+00:00")).timestamp()


def check_machine(where, fault, images, end, record, report, events, began):
    """Problems of one machine: its end, its record, what it received."""
    kind, n, _, times = fault
    problems = []
    if report is None:
        return [f"{where}: the machine wrote no report"]
    if end is None:
        problems.append(f"{where}: no end event")
    if record is None:
        return problems + [f"{where}: no record in the update log"]
    device = record["port"]["device"]
    complete = kind in ("none", "nak")
    want = {"outcome": "complete" if complete else "failed",
            "status": {"unplug": UNPLUGGED.format(device)}.get(kind, COMPLETE if complete else REFUSED),
            "fault": {"unplug": 8020, "can": 0, "silent": 0}.get(kind)}
    if end is not None:
        got = {"outcome": end["outcome"], "status": end["status"], "fault": (end.get("fault") or {}).get("number")}
        if got != want:
            problems.append(f"{where}: ended {got}, expected {want}")
        for field in ("outcome", "status", "frames", "resends"):
            if record[field] != end[field]:
                problems.append(f"{where}: record {field} {record[field]!r}, end event {end[field]!r}")
    if record["tool"]["name"] != "torvane-station":
        problems.append(f"{where}: record of tool {record['tool']['name']}")
    verdicts = report["verdicts"]
    for verdict in ("ACK", "NAK", "CAN", "STX", "ETX"):
        if record["verdicts"][verdict] != verdicts.get(verdict, 0):
            problems.append(f"{where}: record counts {record['verdicts'][verdict]} {verdict}, "
                            f"the machine sent {verdicts.get(verdict, 0)}")
    sent = [{"memory_type": 1, "address": 0x100000 * i, "size": len(data), "sha256": stations.sha256(data)}
            for i, data in enumerate(images.values(), start=1)]
    if complete:
        received = [{k: image[k] for k in ("memory_type", "address", "size", "sha256")} for image in report["images"]
                    if image["complete"] and image["received"] == image["size"]]
        entries = [{k: entry[k] for k in ("memory_type", "address", "size", "sha256")} for entry in record["entries"]]
        if received != sent:
            problems.append(f"{where}: the machine received {received}, expected {sent}")
        if entries != sent or not all(entry["sent"] for entry in record["entries"]):
            problems.append(f"{where}: record entries {record['entries']}, expected {sent}")
        if report["result"] != "OK" or not report["end_frame"]:
            problems.append(f"{where}: the machine says {report['summary']}")
        if verdicts.get("NAK", 0) != times:
            problems.append(f"{where}: the machine sent {verdicts.get('NAK', 0)} NAK, not {times}")
        return problems
    if report["result"] != "INCOMPLETE" or report["end_frame"]:
        problems.append(f"{where}: the machine says {report['summary']}")
    after = [f["number"] for f in report["frames"] if f["number"] > n]
    if after:
        problems.append(f"{where}: frames {after[:3]}... were sent after the fault at frame {n}")
    what, count = {"can": ("CAN", verdicts.get("CAN", 0)), "silent": ("time-outs", record["verdicts"]["timeout"]),
                   "unplug": ("unplugs", report["unplugged"])}[kind]
    if count != 1:
        problems.append(f"{where}: {count} {what}, expected 1")
    # How long after frame n reached the machine the run ended: at once on an unplug, after the 20-s wait on
    # silence. The machine's times count from a reading of the same monotonic clock as ours; the end event
    # carries the wall-clock time it was made, whenever a slow reader takes it.
    sent_at = [(report["monotonic_start_us"] + f["last_us"]) / 1e6 + WALL_MINUS_MONOTONIC
               for f in report["frames"] if f["number"] == n]
    if not sent_at:
        problems.append(f"{where}: frame {n} was never sent")
    elif end is not None:
        waited = event_wall_time(end) - sent_at[0]
        # The end event's time has milliseconds: a few of them either side are the clocks, not the run.
        limits = {"unplug": (-0.005, 1), "silent": (19, 22), "can": (-0.005, 1)}[kind]
        if not limits[0] <= waited <= limits[1]:
            problems.append(f"{where}: ended {waited:.2f} s after frame {n} was sent, expected {limits}")
    return problems


def fds_of_self():
    return len(os.listdir("/proc/self/fd"))


class Soak:
    def __init__(self, args):
        self.args = args
        self.rng = random.Random(args.seed)
        self.work = tempfile.mkdtemp(prefix="station-soak-")
        self.log = os.path.join(self.work, "updates.jsonl")
        self.problems = []
        self.runs = []  # per normal run: faults, figures
        self.own_fds = None

    def problem(self, text):
        self.problems.append(text)
        print("  PROBLEM " + text, flush=True)

    def new_folder(self, name):
        folder = os.path.join(self.work, name)
        os.makedirs(folder)
        return folder

    def records(self):
        records, broken = stations.read_log(self.log)
        for line in broken:
            self.problem(f"update log: a line that is not a whole record: {line[:80]!r}")
        return records

    def normal_run(self, number):
        folder = self.new_folder(f"run{number:03}")
        images = stations.write_images(folder, [self.rng.randint(1024, 20480) for _ in range(self.rng.randint(1, 3))],
                                       self.rng.getrandbits(32))
        faults = [draw_fault(self.rng.choice(self.args.faults), self.rng, frame_count(images))
                  for _ in range(self.args.machines)]
        before = len(self.records())
        sims = stations.start_sims(self.args.bin, folder, [f[2] for f in faults])
        for sim in sims:  # held until every worker waits for its machine's load reply
            sim.process.send_signal(signal.SIGSTOP)
        # The first machine goes by an alias of its device (as /dev/serial/by-id/ names do), and every other
        # run's output is taken by a slow reader.
        alias = os.path.join(folder, "alias-of-m1")
        os.symlink(sims[0].path, alias)
        names = {sims[0].path: alias}
        run = stations.StationRun(self.args.bin, folder, [names.get(s.path, s.path) for s in sims], self.log,
                                  slow=SLOW_READ if number % 2 == 0 else 0)
        watch = Watch(run.process.pid)
        held = self.hold(run, watch, sims)
        deadline = time.monotonic() + RUN_LIMIT
        while run.read(POLL) and time.monotonic() < deadline:
            watch.look()
        code, wall, _ = run.finish(max(1.0, deadline - time.monotonic()))
        reports = [sim.stop() for sim in sims]
        where = f"run {number}"
        left = [pid for pid in watch.devices if alive(pid)]
        if left:
            self.problem(f"{where}: workers {left} still run after the station ended")
        if held is None:
            self.problem(f"{where}: not every worker waited for its machine's load reply")
        records = self.records()[before:]
        if len(records) != len(sims):
            self.problem(f"{where}: the log gained {len(records)} records for {len(sims)} machines")
        by_device = {r["port"]["device"]: r for r in records}
        if len(by_device) != len(records):
            self.problem(f"{where}: more than one record for a device")
        ends = run.ends()
        for sim, fault, report in zip(sims, faults, reports):
            named = names.get(sim.path, sim.path)
            mark = f"{where} {named} ({' '.join(fault[2]) or 'no fault'})"
            end = ends.get(named, (None, None))[1]
            for text in check_machine(mark, fault, images, end, by_device.get(named), report, run.events,
                                      run.began):
                self.problem(text)
        want_code = 0 if all(f[0] in ("none", "nak") for f in faults) else 1
        if code != want_code:
            self.problem(f"{where}: torvane-station exited {code}, expected {want_code}: {run.stderr[-300:]!r}")
        workers = [p for p in watch.devices]
        kinds = {p: next(f[0] for s, f in zip(sims, faults) if names.get(s.path, s.path) == watch.devices[p])
                 for p in workers}
        figures = {"faults": [f[0] for f in faults], "wall": wall, "held": held,
                   "sup_peak": watch.peak.get(watch.pid, 0), "sup_hwm": watch.hwm.get(watch.pid, 0),
                   "worker_peak": {p: watch.peak.get(p, 0) for p in workers}, "kinds": kinds,
                   "worker_hwm": max((watch.hwm.get(p, 0) for p in workers), default=0)}
        self.runs.append(figures)
        if not self.args.keep:
            shutil.rmtree(folder)
        self.check_own_fds(where)
        mix = " ".join(f"{k}x{figures['faults'].count(k)}" for k in FAULTS if k in figures["faults"])
        print(f"run {number}: {mix}; exit {code}, {wall:.1f} s; supervisor {figures['sup_peak']} fds "
              f"{figures['sup_hwm']} KiB, workers {max(figures['worker_peak'].values(), default=0)} fds "
              f"{figures['worker_hwm']} KiB", flush=True)

    def hold(self, run, watch, sims):
        """Lets the machines go once every worker waits for its load reply,
        after three looks at that state (a peak is held over two): every
        worker runs then, so every run reaches the supervisor's peak. Returns (supervisor, worker) descriptor
        counts of that state, or None if it was not reached."""
        held, looks, began = None, 0, time.monotonic()
        try:
            while time.monotonic() - began < FREEZE_LIMIT and looks < 3:
                if not run.read(POLL):
                    break
                waiting = {e["device"] for _, e in run.events
                           if e.get("event") == "status" and e["text"].startswith(WAITING_FOR_LOAD)}
                if len(waiting) < len(sims):
                    watch.look()
                    continue
                watch.look(force=True)
                looks += 1
                time.sleep(POLL)
            if looks == 3:
                held = (watch.count.get(watch.pid), tuple(sorted({watch.count.get(p) for p in watch.devices})))
        finally:
            for sim in sims:
                sim.process.send_signal(signal.SIGCONT)
        return held

    def check_own_fds(self, where):
        if self.own_fds is None:
            self.own_fds = fds_of_self()
        elif fds_of_self() != self.own_fds:
            self.problem(f"{where}: the soak holds {fds_of_self()} descriptors, {self.own_fds} after the first run")

    def killed_worker_run(self):
        """A worker killed mid-transfer: its machine's run is recorded by the
        supervisor from what the worker told (the entries, the frames so far),
        and the other machine completes."""
        folder = self.new_folder("killed-worker")
        images = stations.write_images(folder, [24 * 1024], self.rng.getrandbits(32))  # about 7 s when paced
        before = len(self.records())
        sims = stations.start_sims(self.args.bin, folder, [["--pace"], []])
        run = stations.StationRun(self.args.bin, folder, [s.path for s in sims], self.log)
        watch = Watch(run.process.pid)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline and run.read(POLL):
            watch.look()
            if any(e.get("event") == "progress" and e["device"] == sims[0].path and e.get("frames", 0) >= 3
                   for _, e in run.events):
                break
        victim = [pid for pid, device in watch.devices.items() if device == sims[0].path and alive(pid)]
        if not victim:
            self.problem("killed worker: the paced machine's worker was not found mid-transfer")
        for pid in victim:
            os.kill(pid, signal.SIGKILL)
        code, _, _ = run.finish(30)
        reports = [sim.stop() for sim in sims]
        by_device = {r["port"]["device"]: r for r in self.records()[before:]}
        killed = by_device.get(sims[0].path)
        if code != 1:
            self.problem(f"killed worker: torvane-station exited {code}, expected 1")
        if killed is None or killed["outcome"] != "failed" or killed["status"] != KILLED_WORKER:
            self.problem(f"killed worker: its machine's record is {killed}")
        elif killed["frames"] < 3 or not killed["entries"] or killed["entries"][0]["name"] != "img1.bin":
            self.problem(f"killed worker: the record knows {killed['frames']} frames, entries {killed['entries']}")
        elif killed["frames"] > len(reports[0]["frames"]) + 1:
            self.problem(f"killed worker: the record counts {killed['frames']} frames, the machine saw "
                         f"{len(reports[0]['frames'])}")
        if by_device.get(sims[1].path, {}).get("outcome") != "complete":
            self.problem("killed worker: the other machine did not complete")
        if not self.args.keep:
            shutil.rmtree(folder)
        print(f"killed worker: recorded {killed['frames'] if killed else 0} frames of the killed run", flush=True)

    def killed_run(self):
        """Three quick machines end, three paced ones are mid-transfer when the
        supervisor is killed; the orphaned workers must see their input close,
        end their runs with a record, and leave every earlier line intact."""
        folder = self.new_folder("killed")
        images = stations.write_images(folder, [24 * 1024], self.rng.getrandbits(32))  # about 7 s when paced
        with open(self.log, "ab"):
            pass
        with open(self.log, "rb") as f:
            before = f.read()
        earlier = len(self.records())
        sims = stations.start_sims(self.args.bin, folder, [[]] * 3 + [["--pace"]] * 3)
        quick = {s.path for s in sims[:3]}
        run = stations.StationRun(self.args.bin, folder, [s.path for s in sims], self.log)
        watch = Watch(run.process.pid)
        deadline = time.monotonic() + 20
        while not quick <= set(run.ends()) and time.monotonic() < deadline and run.read(POLL):
            watch.look()
        watch.look(force=True)
        orphans = [pid for pid, device in watch.devices.items() if alive(pid) and device not in quick]
        if set(run.ends()) != quick or len(orphans) != 3:
            self.problem(f"killed run: at the kill {sorted(run.ends())} had ended, workers {orphans} ran")
        run.process.kill()
        killed_at = time.monotonic()
        while any(alive(p) for p in orphans) and time.monotonic() < killed_at + 5:
            time.sleep(POLL)
        orphans_took = time.monotonic() - killed_at
        for pid in orphans:
            if alive(pid):
                self.problem(f"killed run: worker {pid} still runs 5 s after its supervisor was killed")
                os.kill(pid, signal.SIGKILL)
        run.finish(10)  # the orphans held its standard error
        reports = {s.path: s.stop() for s in sims}
        with open(self.log, "rb") as f:
            if not f.read().startswith(before):
                self.problem("killed run: the records written before the kill changed")
        records = self.records()[earlier:]
        by_device = {r["port"]["device"]: r for r in records}
        ends = run.ends()
        for sim in sims:
            record = by_device.get(sim.path)
            where = f"killed run {sim.path}"
            if sim.path in quick:
                for text in check_machine(where, ("none", 0, [], 0), images, ends[sim.path][1], record,
                                          reports[sim.path], run.events, run.began):
                    self.problem(text)
            elif record is None or record["outcome"] != "closed":
                self.problem(f"{where}: the orphaned worker left {record['outcome'] if record else 'no record'}, "
                             "expected a closed run")
        if len(records) != len(sims):
            self.problem(f"killed run: the log gained {len(records)} records for {len(sims)} machines")
        if not self.args.keep:
            shutil.rmtree(folder)
        print(f"killed run: supervisor killed after {len(quick)} machines ended, "
              f"{len(orphans)} orphaned workers ended within {orphans_took:.2f} s, {len(records)} records", flush=True)

    def check_growth(self):
        """The first runs against the last: the same descriptors, VmHWM
        within HWM_GROWTH_KIB."""
        held = {r["held"] for r in self.runs if r["held"]}
        if len({h[0] for h in held}) > 1 or len({c for h in held for c in h[1]}) > 1:
            self.problem(f"descriptors while every worker waited differ between runs: {sorted(held)}")
        for number, r in enumerate(self.runs, start=1):
            if r["held"] and r["sup_peak"] != r["held"][0]:
                self.problem(f"run {number}: supervisor peak {r['sup_peak']} fds, "
                             f"{r['held'][0]} with every worker running")
            for pid, peak in r["worker_peak"].items():
                if r["held"] and peak > r["held"][1][-1] + TRANSFER_FDS:
                    self.problem(f"run {number}: a {r['kinds'][pid]} worker held {peak} fds, "
                                 f"{r['held'][1][-1]} before its transfer")
        k = max(1, len(self.runs) // 4)
        first, last = self.runs[:k], self.runs[-k:]
        for name in ("sup_hwm", "worker_hwm"):
            a, b = max(r[name] for r in first), max(r[name] for r in last)
            if b - a > HWM_GROWTH_KIB:
                self.problem(f"{name}: {a} KiB in the first {k} runs, {b} KiB in the last {k}")

    def summary(self, seconds):
        k = max(1, len(self.runs) // 4)
        first, last = self.runs[:k], self.runs[-k:]
        counts = {kind: sum(r["faults"].count(kind) for r in self.runs) for kind in FAULTS}
        print(f"{len(self.runs)} runs x {self.args.machines} machines + 1 killed run in {seconds:.0f} s; "
              "machines per fault: " + ", ".join(f"{k} {n}" for k, n in counts.items() if n))
        for label, runs in ((f"first {k}", first), (f"last {k}", last)):
            peaks = {}
            for r in runs:
                for pid, peak in r["worker_peak"].items():
                    peaks[r["kinds"][pid]] = max(peaks.get(r["kinds"][pid], 0), peak)
            print(f"  {label}: supervisor {max(r['sup_peak'] for r in runs)} fds "
                  f"(all workers waiting: {sorted({r['held'] for r in runs if r['held']})}), "
                  f"VmHWM {max(r['sup_hwm'] for r in runs)} KiB; workers "
                  + ", ".join(f"{kind} {peak}" for kind, peak in sorted(peaks.items()))
                  + f" fds, VmHWM {max(r['worker_hwm'] for r in runs)} KiB")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bin", required=True, help="the folder of torvane-station and torvane-sim")
    parser.add_argument("--machines", type=int, default=9)
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--seed", type=int)
    parser.add_argument("--faults", default=",".join(FAULTS), help="comma-separated, of " + ", ".join(FAULTS))
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()
    args.bin = os.path.abspath(args.bin)
    args.faults = args.faults.split(",")
    if not set(args.faults) <= set(FAULTS) or args.machines < 1 or args.runs < 1:
        parser.error("--faults takes " + ", ".join(FAULTS) + "; --machines and --runs at least 1")
    if args.seed is None:
        args.seed = int(time.time())
        print(f"seed {args.seed}")
    began = time.monotonic()
    soak = Soak(args)
    try:
        for number in range(1, args.runs + 1):
            if number == args.runs // 2 + 1:  # normal runs follow them
                soak.killed_run()
                soak.killed_worker_run()
            soak.normal_run(number)
        soak.check_growth()
        soak.summary(time.monotonic() - began)
    finally:
        if args.keep:
            print(f"work folder {soak.work}")
        else:
            shutil.rmtree(soak.work, ignore_errors=True)
    for text in soak.problems:
        print(text)
    return 1 if soak.problems else 0


if __name__ == "__main__":
    sys.exit(main())
