#!/usr/bin/env python3
"""The demonstration that the main-job command ends with: both components at
work on this machine, under Wine, with the binaries of the `test` build (the
same sources as the shipping ones, with update.exe asking 127.0.0.1).

    python3 scripts/demo.py

1. The local update service serves demo/service on 127.0.0.1:9090; update.exe
   runs from a folder of its own, finds an update, downloads the installer and
   starts it; a second run finds none.
2. netvane_console drives netvane.dll against the RAS stand-in (simulated:
   nothing is dialled): a broadband dial, a VPN connect and its disconnect.

Exits 0 when everything went as expected, 1 with the reason otherwise.
"""

import os
import pathlib
import shutil
import socket
import subprocess
import sys
import threading
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
BIN = pathlib.Path(os.environ.get("DEMO_BIN", ROOT / "build" / "test" / "bin"))
WORK = ROOT / "build" / "demo"
WINE_RUN = ROOT / "cmake" / "wine-run"
WINE_SESSION = ROOT / "cmake" / "wine-session"
PORT = 9090

BOLD, GREEN, RED, DIM, RESET = ("\033[1m", "\033[32m", "\033[31m", "\033[2m", "\033[0m") \
    if sys.stdout.isatty() else ("",) * 5

problems = []


def heading(text):
    print(f"\n{BOLD}{text}{RESET}")


def show(label, value):
    print(f"  {label:<20} {value}")


def expect(ok, what):
    mark = f"{GREEN}ok{RESET}" if ok else f"{RED}NOT AS EXPECTED{RESET}"
    print(f"  {'':<20} {mark}: {what}")
    if not ok:
        problems.append(what)


def win(path):
    return "Z:" + str(path).replace("/", "\\")


def wine(*args, stdin=None, timeout=120):
    return subprocess.run([str(WINE_RUN), *map(str, args)], input=stdin, capture_output=True,
                          timeout=timeout)


class Service:
    """tests/tools/update_service.py as people start it, with its log read back."""

    def __init__(self, root):
        self.lines = []
        self.process = subprocess.Popen(
            [sys.executable, "-B", str(ROOT / "tests" / "tools" / "update_service.py"),
             "--port", str(PORT), "--root", str(root)],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        threading.Thread(target=self._read, daemon=True).start()
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError(f"the update service could not start; is port {PORT} in use?")
            try:
                socket.create_connection(("127.0.0.1", PORT), timeout=0.2).close()
                time.sleep(0.2)
                if self.process.poll() is not None:  # somebody else answered
                    raise RuntimeError(f"port {PORT} is in use by another program")
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError(f"the update service did not start on port {PORT}")

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line.rstrip("\n"))

    def take(self):
        time.sleep(0.2)  # the log line is written as the request arrives
        taken, self.lines[:] = list(self.lines), []
        return taken

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)


def run_update(app, tmp, service):
    """One run of update.exe; shows and returns its exit code and the requests it made."""
    result = wine(BIN / "launch.exe", "--env", f"TMP={win(tmp)}", "--env", f"TEMP={win(tmp)}",
                  "--", win(app / "update.exe"))
    code = result.stdout.decode().strip()
    requests = service.take()
    for line in requests:
        show("service received", line)
    show("exit code", code)
    return code, requests


def wait_for(path, seconds):
    deadline = time.monotonic() + seconds
    while not path.exists() and time.monotonic() < deadline:
        time.sleep(0.05)
    return path.exists()


def demo_update():
    heading("update.exe against the local update service (127.0.0.1:9090)")
    served, app, tmp = WORK / "service", WORK / "Morvenda Browser", WORK / "tmp"
    for d in (served, app, tmp):
        d.mkdir(parents=True)
    for name in ("version.json", "no-update.json"):
        shutil.copyfile(ROOT / "demo" / "service" / name, served / name)
    shutil.copyfile(BIN / "stub_installer.exe", served / "setup.exe")
    shutil.copyfile(BIN / "update.exe", app / "update.exe")
    shutil.copyfile(ROOT / "demo" / "service" / "updateinfo", app / "updateinfo")
    installer, record = app / "update_file.exe", app / "update_file.exe.ran"
    show("program folder", app)
    show("updateinfo", (app / "updateinfo").read_text().strip())

    service = Service(served)
    try:
        print(f"\n  {DIM}first run: the service offers setup.exe{RESET}")
        code, requests = run_update(app, tmp, service)
        started = wait_for(record, 10)
        show("installer started", record.read_text("utf-8").splitlines()[0] if started else "no")
        show("work directory", "gone" if not os.listdir(tmp) else f"left: {os.listdir(tmp)}")
        expect(len(requests) == 2 and "/version/update?version=1.0.0&type=stable" in requests[0]
               and "/setup.exe" in requests[1], "one query, then the installer's download")
        expect(code == "1", "exit code 1")
        expect(started and record.read_text("utf-8").splitlines()[0] == f'"{win(installer)}" /S',
               "installer downloaded beside update.exe and started hidden with /S")
        expect(not os.listdir(tmp), "work directory removed")

        print(f"\n  {DIM}second run: the service says the browser is current{RESET}")
        shutil.copyfile(served / "no-update.json", served / "version.json")
        record.unlink(missing_ok=True)
        before = installer.stat().st_mtime_ns
        code, requests = run_update(app, tmp, service)
        started_again = wait_for(record, 1)
        show("installer started", "yes" if started_again else "no")
        show("work directory", "gone" if not os.listdir(tmp) else f"left: {os.listdir(tmp)}")
        expect(len(requests) == 1, "only the query")
        expect(code == "1", "exit code 1")
        expect(not started_again and installer.stat().st_mtime_ns == before,
               "update_file.exe left as it was, nothing started")
        expect(not os.listdir(tmp), "work directory removed")
    finally:
        service.stop()


def console(folder, env, *args, stdin=b""):
    result = subprocess.run([str(WINE_RUN), win(folder / "netvane_console.exe"), *args],
                            input=stdin, capture_output=True, timeout=60, env={**os.environ, **env})
    text = result.stdout.decode("gbk", "replace").replace("\r\n", "\n")
    for line in text.splitlines():
        print(f"  {DIM}|{RESET} {line}")
    return text


def demo_netvane():
    heading("netvane.dll through netvane_console.exe, against the RAS stand-in (SIMULATED)")
    print(f"  {DIM}RAS cannot dial under Wine: a stand-in rasapi32.dll beside the console answers\n"
          f"  as a working system would (one PPPoE device, an IKEv2 VPN) and logs each call.{RESET}")
    folder = WORK / "netvane"
    folder.mkdir(parents=True)
    for name in ("netvane.dll", "netvane_console.exe", "rasapi32.dll"):
        shutil.copyfile(BIN / name, folder / name)
    log = folder / "ras-calls.log"
    env = {"RAS_STANDIN_LOG": win(log)}

    def ras_calls():
        calls = log.read_text("latin-1").splitlines() if log.exists() else []
        log.unlink(missing_ok=True)
        for line in calls:
            print(f"  {DIM}RAS  {line}{RESET}")
        return calls

    print(f"\n  {DIM}netvane_console dial demo-user demo-password{RESET}")
    out = console(folder, env, "dial", "demo-user", "demo-password")
    calls = ras_calls()
    expect("MorvendaRasDial returned 0 (success)" in out, "broadband dial returned 0")
    expect(any(c.startswith("RasDialA") and "MorvendaADSL" in c for c in calls),
           "entry MorvendaADSL written on the PPPoE device and dialled")

    print(f"\n  {DIM}netvane_console vpn vpn.example.net demo-user demo-password  (then Enter)\n"
          f"  (output is a pipe here, so the library's own report comes when it is unloaded;\n"
          f"  on a console each line shows as it is written){RESET}")
    out = console(folder, env, "vpn", "vpn.example.net", "demo-user", "demo-password", stdin=b"\n")
    calls = ras_calls()
    expect("MorvendaVPNCon returned 0 (success)" in out, "VPN connect returned 0")
    expect("RASPROJECTION_INFO_TYPE is: IKEv2" in out and "Ras Client IP Address: " in out,
           "projection type and addresses reported")
    expect("MorvendaVPNDiscon returned 0 (success)" in out
           and any(c.startswith("RasHangUpA") for c in calls), "VPN hung up, disconnect returned 0")


def main():
    missing = [n for n in ("update.exe", "launch.exe", "stub_installer.exe", "keepalive.exe",
                           "netvane.dll", "netvane_console.exe") if not (BIN / n).exists()]
    if missing:
        print(f"demo: {', '.join(missing)} missing in {BIN}; build the test preset first",
              file=sys.stderr)
        return 1
    shutil.rmtree(WORK, ignore_errors=True)
    WORK.mkdir(parents=True)
    os.environ["WINEPREFIX"] = str(ROOT / "build" / "wine-demo")
    print(f"{DIM}starting Wine (the first start of a new prefix takes a few seconds){RESET}")
    subprocess.run([str(WINE_SESSION), "start", str(BIN / "keepalive.exe")], check=True)
    try:
        demo_update()
        demo_netvane()
    except (RuntimeError, OSError, subprocess.SubprocessError) as error:
        problems.append(str(error))
    finally:
        subprocess.run([str(WINE_SESSION), "stop"])
    if problems:
        print(f"\n{RED}demo: {len(problems)} thing(s) not as expected:{RESET}")
        for p in problems:
            print(f"  - {p}")
        return 1
    print(f"\n{GREEN}demo: everything went as expected{RESET}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
