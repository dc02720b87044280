#!/usr/bin/env python3
"""Runs update.exe once, under Wine, against the local update service, and
shows what happened: the request the service received, the exit code, the
installer's command line, and whether the work directory is gone.

    python3 tests/tools/demo_update.py --bin build/test/bin [--work FOLDER]

--bin is the folder holding update.exe, launch.exe and stub_installer.exe of
one build whose update.exe asks 127.0.0.1 (the `test` preset). The run happens
in a fresh folder under --work (default: <bin>/../demo), which is kept so that
it can be looked at. The service offers the stub installer as the update.
"""

import argparse
import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

from update_service import QUERY_PATH, UpdateService

ROOT = pathlib.Path(__file__).resolve().parents[2]


def win(path):
    return "Z:" + str(path).replace("/", "\\")


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bin", required=True, type=pathlib.Path)
    parser.add_argument("--work", type=pathlib.Path)
    args = parser.parse_args(argv)
    bin_dir = args.bin.resolve()
    work = (args.work or bin_dir.parent / "demo").resolve()
    wine_run = os.environ.get("WINE_RUN", str(ROOT / "cmake" / "wine-run"))

    shutil.rmtree(work, ignore_errors=True)
    app, tmp = work / "Morvenda Browser", work / "tmp"
    app.mkdir(parents=True)
    tmp.mkdir()
    shutil.copyfile(bin_dir / "update.exe", app / "update.exe")
    (app / "updateinfo").write_text(json.dumps({"version": "1.0.0", "type": "stable"}))

    with UpdateService(port=9090) as service:
        service.answer(QUERY_PATH, body=json.dumps({"data": {
            "is_update": True, "download_url": service.url("/files/setup.exe"),
            "update_page": ""}}))
        service.answer("/files/setup.exe", body=(bin_dir / "stub_installer.exe").read_bytes())
        with tempfile.TemporaryFile() as out:
            subprocess.run([wine_run, str(bin_dir / "launch.exe"), "--env", f"TMP={win(tmp)}",
                            "--env", f"TEMP={win(tmp)}", "--", win(app / "update.exe")],
                           stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL,
                           check=True)
            out.seek(0)
            exit_code = out.read().decode().strip()
        requests = service.requests

    record = app / "update_file.exe.ran"
    deadline = time.monotonic() + 10
    while not record.exists() and time.monotonic() < deadline:
        time.sleep(0.05)

    print(f"program folder:     {app}")
    for line in requests:
        print(f"service received:   {line}")
    print(f"exit code:          {exit_code}")
    if record.exists():
        print(f"installer started:  {record.read_text('utf-8').splitlines()[0]}")
    else:
        print("installer started:  no")
    left = os.listdir(tmp)
    print(f"work directory:     {'gone' if not left else 'left behind: ' + ', '.join(left)}")
    return 0 if exit_code == "1" and record.exists() and not left else 1


if __name__ == "__main__":
    sys.exit(main())
