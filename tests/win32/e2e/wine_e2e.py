#!/usr/bin/env python3
"""End-to-end tests of torvane-update.exe under Wine.

Each case runs in a throw-away Wine prefix (a copy of one made at the start)
with the simulated machine (torvane-sim, a Linux program) on a
pseudo-terminal that the prefix maps as a COM port ($WINEPREFIX/dosdevices/
comN), and the window on the X display of the caller (run it under
xvfb-run). What the window did is read from its test hooks' lines
(TORVANE_EXIT_AFTER_RUN), from the machine's report and saved images, and
from outside the program by window-probe.exe.

    wine_e2e.py --bin BUILD/bin --sim build/bin/torvane-sim [--msi-test CMD] [-k NAME]

Exit code 0 when every case passed.
"""
import argparse
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

WINE = shutil.which("wine64") or "/usr/lib/wine/wine64"
WINESERVER = str(Path(os.path.realpath(WINE)).parent / "wineserver")
FOUND = " found on Com"  # after "TorVane®", which Wine's command line may not carry
COMPLETE = " Status: UPDATE COMPLETE"


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


class Prefix:
    """A Wine prefix of its own, copied from the template, removed afterwards."""

    def __init__(self, template, root):
        self.path = Path(tempfile.mkdtemp(prefix="prefix-", dir=root))
        shutil.rmtree(self.path)
        shutil.copytree(template, self.path, symlinks=True)
        self.env = dict(os.environ, WINEPREFIX=str(self.path), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", WINEARCH="win64")
        for name in list(self.env):
            if name.startswith("TORVANE_"):
                del self.env[name]

    def __enter__(self):
        # Wine brings a copied prefix up to date at its first start: done
        # here, before a case starts two programs at once.
        self.run("cmd", "/c", "exit", timeout=120)
        subprocess.run([WINESERVER, "-w"], env=self.env, timeout=120)
        return self

    def __exit__(self, *exc):
        subprocess.run([WINESERVER, "-k"], env=self.env, stderr=subprocess.DEVNULL)
        shutil.rmtree(self.path, ignore_errors=True)

    def map_com(self, n, device):
        link = self.path / "dosdevices" / f"com{n}"
        if link.is_symlink() or link.exists():
            link.unlink()
        if device:
            link.symlink_to(device)

    def run(self, program, *args, env=None, timeout=60, cwd=None):
        return subprocess.run([WINE, str(program), *args], env=dict(self.env, **(env or {})), cwd=cwd,
                              capture_output=True, text=True, encoding="utf-8", errors="replace", timeout=timeout)

    def start(self, program, *args, env=None, cwd=None):
        return subprocess.Popen([WINE, str(program), *args], env=dict(self.env, **(env or {})), cwd=cwd,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, encoding="utf-8",
                                errors="replace")

    def reg_add(self, key, name, kind, data):
        done = self.run("reg", "add", key, "/v", name, "/t", kind, "/d", str(data), "/f")
        check(done.returncode == 0, f"reg add {key} {name}: {done.stderr.strip()}")


class Sim:
    """The simulated machine on a pseudo-terminal of its own."""

    started = []  # stopped after each case, whatever its end

    def __init__(self, path, folder, *args):
        self.report_path = folder / "sim-report.json"
        self.images = folder / "received"
        shutil.rmtree(self.images, ignore_errors=True)
        self.images.mkdir()
        self.out = folder / "sim.out"
        with open(self.out, "w") as out, open(folder / "sim.err", "w") as err:
            self.process = subprocess.Popen(
                [path, "--report", str(self.report_path), "--save-images", str(self.images), *args],
                stdout=out, stderr=err)
        Sim.started.append(self)
        self.pty = ""
        for _ in range(100):  # its first line names the pseudo-terminal
            lines = self.out.read_text().splitlines()
            if lines or self.process.poll() is not None:
                self.pty = lines[0] if lines else ""
                break
            time.sleep(0.05)
        check(self.pty.startswith("/dev/"), f"torvane-sim did not start: {(folder / 'sim.err').read_text()}")

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=10)
        return json.loads(self.report_path.read_text()) if self.report_path.exists() else {}


def make_folder(folder):
    """Transfer lists and images of every memory type, as a release has them."""
    rng = random.Random(19)
    images = {"code.bin": 20000, "vector.bin": 52, "mmc.bin": 4096, "dsd flash.bin": 3001}
    for name, size in images.items():
        (folder / name).write_bytes(bytes(rng.randrange(256) for _ in range(size)))
    (folder / "program.txt").write_bytes(b"code.bin\t1\t0x0E00\r\nvector.bin\t1\t0xFFCC\r\nmmc.bin 2 4096\r\n")
    (folder / "all.txt").write_bytes(b"code.bin\t1\t0x0E00\r\nvector.bin\t1\t0xFFCC\r\nmmc.bin 2 4096\r\n"
                                     b"dsd flash.bin\t3\t0x10000\r\n")
    (folder / "ERestore.txt").write_bytes(b"code.bin\t1\t0x0E00\r\nvector.bin\t1\t0xFFCC\r\n")


LISTS = {"program": ["code.bin", "vector.bin", "mmc.bin"],
         "all": ["code.bin", "vector.bin", "mmc.bin", "dsd flash.bin"],
         "erestore": ["code.bin", "vector.bin"]}


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


class Bench:
    def __init__(self, args, root):
        self.bin = Path(args.bin)
        self.sim_path = args.sim
        self.root = root
        self.template = root / "template"
        env = dict(os.environ, WINEPREFIX=str(self.template), WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=", WINEARCH="win64")
        subprocess.run([WINE, "wineboot", "--init"], env=env, capture_output=True, timeout=120)
        subprocess.run([WINESERVER, "-w"], env=env, timeout=120)
        check((self.template / "dosdevices").is_dir(), "wineboot made no prefix")
        self.exe = self.bin / "torvane-update.exe"
        self.probe = self.bin / "window-probe.exe"

    def folder(self, name):
        folder = self.root / name
        folder.mkdir()
        make_folder(folder)
        return folder

    def window(self, prefix, folder, source=None, autostart=True, timeout=120, com1=None):
        env = {"TORVANE_EXIT_AFTER_RUN": "1"}
        if com1:
            env["TORVANE_COM1"] = com1
        if autostart:
            env["TORVANE_AUTOSTART"] = "1"
        if source:
            env["TORVANE_SOURCE"] = source
        done = prefix.run(self.exe, windows_path(folder), env=env, timeout=timeout)
        return done.stdout.splitlines(), done

    def expect_images(self, folder, sim, names, report=None):
        report = report if report is not None else sim.stop()
        saved = sorted(sim.images.iterdir(), key=lambda p: int(p.name.split("-")[0]))
        check(len(saved) == len(names), f"the machine saved {len(saved)} images, not {len(names)}: {report}")
        for name, got in zip(names, saved):
            check(got.read_bytes() == (folder / name).read_bytes(), f"{got.name} differs from {name}")
        return report


def final_status(lines):
    found = [line[len("final status: "):] for line in lines if line.startswith("final status: ")]
    return found[-1] if found else None


def boxes(lines):
    return [line[len("message box: "):] for line in lines if line.startswith("message box: ")]


# ---- the cases ----------------------------------------------------------------

def probe(prefix, program, *args):
    """window-probe.exe, once more when its start under Wine hangs (seen now
    and then when it starts beside the window in a new prefix)."""
    try:
        return prefix.run(program, *args, timeout=90)
    except subprocess.TimeoutExpired:
        return prefix.run(program, *args, timeout=90)


def scan_then_start(bench, prefix, folder, com, check_design=False):
    """Starts the window, waits from outside until its scan has found the
    machine on Com `com`, and clicks "Start Update" from outside."""
    window = prefix.start(bench.exe, windows_path(folder), env={"TORVANE_EXIT_AFTER_RUN": "1"})
    try:
        found = probe(prefix, bench.probe, "wait-status", FOUND + str(com), "60")
        if found.returncode != 0:
            window.kill()
            out, err = window.communicate()
            raise Failure(f"the scan did not find the machine on Com{com}: {found.stdout} {out} {err[-2000:]}")
        if check_design:
            design = probe(prefix, bench.probe, "check-design")
            check(design.returncode == 0, "the window differs from its design:\n" + design.stdout)
            read = probe(prefix, bench.probe, "read").stdout.splitlines()
            check(f"selected: optCom{com}" in read and "selected: optPrgm" in read, f"selection read: {read}")
        check(probe(prefix, bench.probe, "click", "cmdStart").returncode == 0, "the click was not sent")
        out, _ = window.communicate(timeout=120)
    finally:
        if window.poll() is None:
            window.kill()
    return out.splitlines()


def scan_finds_com3_and_the_probe_drives_the_window(bench, prefix):
    folder = bench.folder("probe")
    sim = Sim(bench.sim_path, folder)
    prefix.map_com(3, sim.pty)
    lines = scan_then_start(bench, prefix, folder, 3, check_design=True)
    check(final_status(lines) == COMPLETE, f"final status: {lines}")
    bench.expect_images(folder, sim, LISTS["program"])


def whole_update(source, sim_args=()):
    def case(bench, prefix):
        folder = bench.folder(source)
        sim = Sim(bench.sim_path, folder, *sim_args)
        prefix.map_com(3, sim.pty)
        if source == "program":  # an FTDI adapter at its default latency behind COM3
            key = r"HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS\VID_0403+PID_6001+A1B2C3D4A\0000\Device Parameters"
            prefix.reg_add(key, "PortName", "REG_SZ", "COM3")
            prefix.reg_add(key, "LatencyTimer", "REG_DWORD", 16)
        # A machine that is off is not found by the scan and Com1 stays
        # selected: TORVANE_COM1 leads it to the machine.
        lines, done = bench.window(prefix, folder, source, com1="COM3" if source == "erestore" else None)
        check(final_status(lines) == COMPLETE, f"final status {final_status(lines)!r}: {done.stdout}{done.stderr}")
        bench.expect_images(folder, sim, LISTS[source])
        if source == "program":
            check(any("COM3 is a USB adapter that holds what the machine sends for 16 ms" in b for b in boxes(lines)),
                  f"no latency advice: {boxes(lines)}")
            history = prefix.run(bench.exe, "--history", "1", "--json")
            record = json.loads(history.stdout.splitlines()[-1])
            check(record.get("outcome") == "complete", f"the update log: {history.stdout}")
        else:
            check(boxes(lines) == [], f"message boxes: {boxes(lines)}")
    case.__name__ = f"whole_update_{source}"
    return case


def can_at_frame_3_fails_with_its_box(bench, prefix):
    folder = bench.folder("can")
    sim = Sim(bench.sim_path, folder, "--can-at", "3")
    prefix.map_com(3, sim.pty)
    lines, _ = bench.window(prefix, folder, "program")
    report = sim.stop()
    check(final_status(lines) != COMPLETE and len(boxes(lines)) == 1, f"{lines}")
    check(report["images"][0]["received"] == 512 and not report["images"][0]["complete"], f"{report['images']}")


def missing_image_ends_the_run_early(bench, prefix):
    folder = bench.folder("missing")
    (folder / "mmc.bin").unlink()
    sim = Sim(bench.sim_path, folder)
    prefix.map_com(3, sim.pty)
    lines, _ = bench.window(prefix, folder, "program")
    report = sim.stop()
    check(final_status(lines) == " Status: mmc.bin does not exist", f"{lines}")
    check(len(report.get("images", [])) == 2, f"images sent: {report.get('images')}")


def unplugged_adapter_ends_with_the_ports_fault(bench, prefix):
    folder = bench.folder("unplug")
    sim = Sim(bench.sim_path, folder, "--unplug-at", "3")
    prefix.map_com(3, sim.pty)
    lines, _ = bench.window(prefix, folder, "program")
    sim.stop()
    status = final_status(lines) or ""
    check(status.startswith(" Error: The serial device behind COM3 went away") and
          status.endswith("Check the cable and the adapter, then start again."), f"final status {status!r}")
    check(boxes(lines) and boxes(lines)[0].startswith("8020: "), f"{boxes(lines)}")


def port_above_com9_is_reachable(bench, prefix):
    folder = bench.folder("com12")
    sim = Sim(bench.sim_path, folder)
    # Wine's own port map: the next start of its server lists COM12 in
    # HARDWARE\DEVICEMAP\SERIALCOMM, as Windows lists a USB adapter.
    prefix.reg_add(r"HKLM\Software\Wine\Ports", "COM12", "REG_SZ", sim.pty)
    prefix.map_com(12, sim.pty)
    subprocess.run([WINESERVER, "-w"], env=prefix.env, timeout=60)
    ports = prefix.run(bench.exe, "--ports").stdout.splitlines()
    option = next((line.split()[0] for line in ports if line.split()[1:2] == ["COM12"]), None)
    check(option is not None, f"COM12 is on no option: {ports}")
    lines, _ = bench.window(prefix, folder, "program")
    check(final_status(lines) == COMPLETE, f"final status: {lines}")
    bench.expect_images(folder, sim, LISTS["program"])
    # The scan chose that option, and the run went to COM12 through it.
    record = json.loads(prefix.run(bench.exe, "--history", "1", "--json").stdout.splitlines()[-1])
    check(record.get("port", {}).get("com") == int(option[3:]) and record["port"].get("device") == "COM12",
          f"the update log's port: {record.get('port')}")


CASES = [
    scan_finds_com3_and_the_probe_drives_the_window,
    whole_update("program"),
    whole_update("all"),
    whole_update("erestore", ["--emergency"]),
    can_at_frame_3_fails_with_its_box,
    missing_image_ends_the_run_early,
    unplugged_adapter_ends_with_the_ports_fault,
    port_above_com9_is_reachable,
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", required=True, help="the folder of torvane-update.exe and window-probe.exe")
    parser.add_argument("--sim", required=True, help="torvane-sim, the simulated machine")
    parser.add_argument("-k", default="", help="only the cases whose name holds this")
    args = parser.parse_args()
    check_tools = [p for p in (Path(args.bin) / "torvane-update.exe", Path(args.bin) / "window-probe.exe",
                               Path(args.sim)) if not p.exists()]
    if check_tools:
        print(f"wine_e2e: missing {', '.join(map(str, check_tools))}", file=sys.stderr)
        return 2
    if not os.environ.get("DISPLAY"):
        print("wine_e2e: no DISPLAY: run under xvfb-run", file=sys.stderr)
        return 2
    failed = []
    with tempfile.TemporaryDirectory(prefix="torvane-wine-e2e-") as root:
        bench = Bench(args, Path(root))
        for case in CASES:
            if args.k not in case.__name__:
                continue
            started = time.monotonic()
            try:
                with Prefix(bench.template, Path(root)) as prefix:
                    try:
                        case(bench, prefix)
                    finally:
                        for sim in Sim.started:
                            sim.stop()
                        Sim.started.clear()
                print(f"PASS {case.__name__} ({time.monotonic() - started:.1f} s)", flush=True)
            except (Failure, subprocess.TimeoutExpired, OSError, ValueError, KeyError) as error:
                print(f"FAIL {case.__name__}: {error}", flush=True)
                failed.append(case.__name__)
    print(f"{len(failed)} of the Windows end-to-end cases failed" if failed else "all Windows end-to-end cases passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
