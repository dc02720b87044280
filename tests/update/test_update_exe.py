"""update.exe as its own process under Wine, against the local update service
on 127.0.0.1:9090.

Each case copies update.exe into a fresh directory under the build tree, gives
it a temporary directory of its own (TMP/TEMP through launch.exe, which also
reports the whole 32-bit exit code) and scripts the service's answers. The
installer the service hands out is the stub installer, which records the
command line it was started with in "<its path>.ran".
"""

import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tools"))
from update_service import QUERY_PATH, UpdateService

WINE_RUN = os.environ["WINE_RUN"]
UPDATE_EXE = pathlib.Path(os.environ["UPDATE_EXE"])
LAUNCH_EXE = pathlib.Path(os.environ["LAUNCH_EXE"])
STUB_INSTALLER = pathlib.Path(os.environ["STUB_INSTALLER"])
RUN_ROOT = pathlib.Path(os.environ["RUN_ROOT"])

PORT = 9090
INSTALLER_PATH = "/files/setup.exe"
INSTALLER_URL = f"http://127.0.0.1:{PORT}{INSTALLER_PATH}"
WORK_DIR_NAME = re.compile(r"scoped_dir_mrvda\d+_done")
INSTALLER_WAIT = 10.0  # seconds for a started installer to leave its record


def win(path):
    """The Windows form of a Linux path, through Wine's Z: drive."""
    return "Z:" + str(path).replace("/", "\\")


def offer(url=INSTALLER_URL, **data):
    data = {"is_update": True, "download_url": url, "update_page": "", **data}
    return json.dumps({"data": data})


def end_programs_under(directory):
    """Ends the Windows processes whose program lies under `directory`.

    Wine shows a Windows process to Linux with its program's Windows path as
    its command line, so they are found through /proc."""
    prefix = win(directory).lower().encode()
    for entry in pathlib.Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            command = (entry / "cmdline").read_bytes()
        except OSError:
            continue
        if command.lower().startswith(prefix):
            try:
                os.kill(int(entry.name), 9)
            except OSError:
                pass


class Run:
    """One launch.exe under Wine running one update.exe."""

    def __init__(self, argv):
        self.argv = argv
        # Output goes to files: Wine's helper processes inherit a pipe and
        # would keep it open after the run has ended.
        self.out = tempfile.TemporaryFile()
        self.err = tempfile.TemporaryFile()
        self.process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=self.out,
                                        stderr=self.err)

    def poll(self):
        return self.process.poll()

    def wait(self, timeout):
        """launch.exe's report: the whole exit code, or None when it made none."""
        self.process.wait(timeout)
        self.out.seek(0)
        text = self.out.read().decode("ascii", "replace").strip()
        self.out.close()
        return int(text) if self.process.returncode == 0 and text else None

    def wine_said(self):
        self.err.seek(0)
        said = self.err.read().decode("utf-8", "replace").strip()
        self.err.close()
        return said


class Runs:
    """Launching update.exe copies and waiting for their installers."""

    @staticmethod
    def start(exe, tmp=None, cwd=None, args=()):
        env = []
        if tmp is not None:
            env = ["--env", f"TMP={win(tmp)}", "--env", f"TEMP={win(tmp)}"]
        if cwd is not None:
            env += ["--cwd", win(cwd)]
        return Run([WINE_RUN, str(LAUNCH_EXE), *env, "--", win(exe), *args])

    @staticmethod
    def finish(run, timeout=30):
        code = run.wait(timeout)
        if code is None:
            # launch.exe prints the code whenever it ran, so no report means
            # Wine did not get it going at all (seen once in hundreds of
            # starts); update.exe did not run, and starting it again is fair.
            said = run.wine_said()
            print(f"\nlaunch.exe did not start (exit {run.process.returncode}): {said!r}; "
                  "starting it again", file=sys.stderr)
            again = Run(run.argv)
            code = again.wait(timeout)
            if code is None:
                raise AssertionError(f"launch.exe could not run update.exe "
                                     f"(exit {again.process.returncode}): {again.wine_said()}")
        return code


class UpdaterTest(unittest.TestCase):
    """A fresh app directory with update.exe, a private temp directory and a
    running service for every case."""

    def setUp(self):
        self.case_dir = RUN_ROOT / self.id().rsplit(".", 1)[-1]
        shutil.rmtree(self.case_dir, ignore_errors=True)
        self.app = self.make_app(self.case_dir / "app")
        self.tmp = self.case_dir / "tmp"
        self.tmp.mkdir(parents=True)
        self.service = UpdateService(port=PORT).start()
        self.addCleanup(self.service.stop)
        self.addCleanup(shutil.rmtree, self.case_dir, True)
        # A run that outlived its case would hold the mutex and turn every
        # later case into an early -1.
        self.addCleanup(end_programs_under, self.case_dir)

    def make_app(self, directory):
        directory.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(UPDATE_EXE, directory / "update.exe")
        return directory

    def run_update(self, app=None, tmp="default", cwd=None, args=()):
        app = app or self.app
        tmp = self.tmp if tmp == "default" else tmp
        return Runs.finish(Runs.start(app / "update.exe", tmp, cwd, args))

    def serve_manifest(self, body, **kw):
        self.service.answer(QUERY_PATH, body=body, content_type="application/json", **kw)

    def serve_installer(self, **kw):
        kw.setdefault("body", STUB_INSTALLER.read_bytes())
        self.service.answer(INSTALLER_PATH, **kw)

    def place_old_installer(self, app=None):
        old = (app or self.app) / "update_file.exe"
        old.write_bytes(b"an earlier installer")
        return old

    def installer_record(self, app=None, timeout=INSTALLER_WAIT):
        """(command line, [arguments]) of the started installer, or None."""
        record = (app or self.app) / "update_file.exe.ran"
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if record.exists():
                lines = record.read_text("utf-8").split("\n")
                return lines[0], [a for a in lines[1:] if a]
            time.sleep(0.05)
        return None

    def assertWorkDirGone(self, tmp=None):
        self.assertEqual(os.listdir(tmp or self.tmp), [], "the work directory was left behind")

    def assertNothingInstalled(self, old):
        """Only the query was made, the earlier installer is untouched, nothing ran."""
        self.assertEqual(len(self.service.requests), 1, self.service.requests)
        self.assertEqual(old.read_bytes(), b"an earlier installer")
        self.assertFalse((self.app / "update_file.exe.ran").exists())


class InstallerStart(UpdaterTest):
    def check_offer_installs(self, app):
        old = self.place_old_installer(app)
        self.serve_manifest(offer())
        self.serve_installer()

        self.assertEqual(self.run_update(app), 1)

        self.assertEqual(self.service.paths()[1:], [INSTALLER_PATH])
        record = self.installer_record(app)
        self.assertIsNotNone(record, "the installer was not started")
        command_line, arguments = record
        installer = win(app / "update_file.exe")
        self.assertEqual(command_line, f'"{installer}" /S')
        self.assertEqual(arguments, ["/S"])
        self.assertEqual(old.read_bytes(), STUB_INSTALLER.read_bytes(), "not the new installer")
        self.assertWorkDirGone()

    def test_offer_downloads_and_starts_the_installer_with_its_switch(self):
        self.check_offer_installs(self.app)

    def test_a_directory_with_blanks_starts_the_installer_not_the_path_s_first_word(self):
        # Unquoted, "...\My Apps\app\update_file.exe /S" would start ...\My.exe.
        app = self.make_app(self.case_dir / "My Apps" / "app")
        decoy = self.case_dir / "My.exe"
        shutil.copyfile(STUB_INSTALLER, decoy)
        self.check_offer_installs(app)
        self.assertFalse(pathlib.Path(f"{decoy}.ran").exists(), "the path's first word was started")

    def test_is_update_values_that_offer_and_that_do_not(self):
        for value, offers in [(True, True), (1, True), (2.5, True), (False, False), (0, False),
                              (None, False)]:
            with self.subTest(is_update=value):
                self.service.clear()
                for leftover in self.app.glob("update_file.exe*"):
                    leftover.unlink()
                old = self.place_old_installer()
                self.serve_manifest(offer(is_update=value))
                self.serve_installer()
                self.assertEqual(self.run_update(), 1)
                if offers:
                    self.assertIsNotNone(self.installer_record())
                    self.assertEqual(old.read_bytes(), STUB_INSTALLER.read_bytes())
                else:
                    self.assertNothingInstalled(old)
                self.assertWorkDirGone()

    def test_manifest_forms_that_still_offer(self):
        url = json.dumps(INSTALLER_URL)
        cases = {
            "comments": f'// from the service\n{{"data": /* the offer */ {{"is_update": true,'
                        f' /* where */ "download_url": {url}}}}} // end',
            "broken off after complete members":
                f'{{"data": {{"is_update": true, "download_url": {url}, "update_page": "ht',
            "other members ignored": f'{{"x": [1, {{}}], "data": {{"is_update": true, '
                                     f'"download_url": {url}, "extra": {{"a": [1]}}}}}}',
        }
        for name, text in cases.items():
            with self.subTest(name):
                self.service.clear()
                for leftover in self.app.glob("update_file.exe*"):
                    leftover.unlink()
                self.serve_manifest(text)
                self.serve_installer()
                self.assertEqual(self.run_update(), 1)
                self.assertIsNotNone(self.installer_record(), "the installer was not started")
                self.assertWorkDirGone()

    def test_command_line_arguments_change_nothing(self):
        self.serve_manifest(offer())
        self.serve_installer()
        self.assertEqual(self.run_update(args=["/quiet", "--no-update", "x y"]), 1)
        self.assertIsNotNone(self.installer_record())


class NoUpdate(UpdaterTest):
    def test_answers_that_offer_nothing(self):
        url = json.dumps(INSTALLER_URL)
        deep = '{"data":' * 1100 + "{}" + "}" * 1100
        cases = {
            "HTML error page": "<html><body><h1>502 Bad Gateway</h1></body></html>",
            "empty answer": "",
            "no data": '{"status": "ok"}',
            "data not an object": '{"data": true}',
            "data an array": '{"data": [{"is_update": true}]}',
            "top level array": f'[{{"data": {{"is_update": true, "download_url": {url}}}}}]',
            "top level string": '"update"',
            "top level number": "1",
            "is_update missing": f'{{"data": {{"download_url": {url}}}}}',
            "is_update a string": f'{{"data": {{"is_update": "yes", "download_url": {url}}}}}',
            "is_update an array": f'{{"data": {{"is_update": [true], "download_url": {url}}}}}',
            "is_update an object": f'{{"data": {{"is_update": {{}}, "download_url": {url}}}}}',
            "download_url an array": f'{{"data": {{"is_update": true, "download_url": [{url}]}}}}',
            "download_url an object": '{"data": {"is_update": true, "download_url": {"u": 1}}}',
            "download_url a number": '{"data": {"is_update": true, "download_url": 5}}',
            "nested past the reader's limit": deep,
            # Read up to the zero byte, the comment never ends and "is_update"
            # is never reached; read past it, the installer would start.
            "zero byte": f'{{"data": {{"download_url": {url} /*\0*/, "is_update": true}}}}',
        }
        for name, text in cases.items():
            with self.subTest(name):
                self.service.clear()
                for leftover in self.app.glob("update_file.exe*"):
                    leftover.unlink()
                old = self.place_old_installer()
                self.serve_manifest(text)
                self.serve_installer()
                self.assertEqual(self.run_update(), 1)
                self.assertNothingInstalled(old)
                self.assertWorkDirGone()

    def test_failed_installer_download_leaves_the_old_one_deleted(self):
        old = self.place_old_installer()
        self.serve_manifest(offer(url="http://127.0.0.1:1/nothing-listens-here.exe"))
        self.assertEqual(self.run_update(), 1)
        self.assertFalse(old.exists(), "the earlier installer was not deleted first")
        self.assertIsNone(self.installer_record(timeout=0.5))
        self.assertWorkDirGone()


class ServiceAnswer(UpdaterTest):
    def test_service_down_gives_0_and_removes_the_work_directory(self):
        old = self.place_old_installer()
        self.service.stop()
        self.assertEqual(self.run_update(), 0)
        self.assertWorkDirGone()
        self.assertEqual(old.read_bytes(), b"an earlier installer")

    def test_a_delayed_answer_is_waited_for(self):
        self.serve_manifest(offer(), delay=0.7)
        self.serve_installer()
        self.assertEqual(self.run_update(), 1)
        self.assertIsNotNone(self.installer_record())

    def test_query_line_carries_updateinfo(self):
        cases = [
            ({"version": "3.1", "type": "x"}, "version=3.1&type=x"),
            ({"type": "beta", "version": "2.0.7"}, "version=2.0.7&type=beta"),
            (None, "version=&type="),
            ({"version": "1.0", "type": "a b&c#d"}, "version=1.0&type=a%20b%26c%23d"),
            ({"version": "1+1=2", "type": '<"%>'}, "version=1%2B1=2&type=%3C%22%25%3E"),
        ]
        for info, query in cases:
            with self.subTest(info=info):
                self.service.clear()
                info_file = self.app / "updateinfo"
                info_file.unlink(missing_ok=True)
                if info is not None:
                    info_file.write_text(json.dumps(info))
                self.serve_manifest("{}")
                self.assertEqual(self.run_update(), 1)
                self.assertEqual(self.service.requests,
                                 [f"GET {QUERY_PATH}?{query} HTTP/1.1"])
                # The service reads back exactly what updateinfo holds.
                values = urllib.parse.parse_qs(self.service.paths()[0].split("?", 1)[1],
                                               keep_blank_values=True)
                expected = info or {"version": "", "type": ""}
                self.assertEqual(values, {k: [expected[k]] for k in ("version", "type")})


class SingleInstance(UpdaterTest):
    def test_a_second_run_ends_at_once_with_minus_1_while_the_first_holds_the_mutex(self):
        release = threading.Event()
        self.addCleanup(release.set)
        self.serve_manifest(offer(), hold=release)
        self.serve_installer()
        first = Runs.start(self.app / "update.exe", self.tmp)
        self.assertTrue(self.service.wait_for_requests(1), "the first run sent no query")
        work_dirs = os.listdir(self.tmp)
        self.assertEqual(len(work_dirs), 1)
        self.assertRegex(work_dirs[0], WORK_DIR_NAME)

        second_app = self.make_app(self.case_dir / "second")
        second_old = self.place_old_installer(second_app)
        second_tmp = self.case_dir / "tmp2"
        second_tmp.mkdir()
        started = time.monotonic()
        self.assertEqual(self.run_update(app=second_app, tmp=second_tmp), -1)
        self.assertLess(time.monotonic() - started, 5.0)
        self.assertEqual(len(self.service.requests), 1, "the second run asked the service")
        self.assertEqual(os.listdir(second_tmp), [])
        self.assertEqual(second_old.read_bytes(), b"an earlier installer")

        release.set()
        self.assertEqual(Runs.finish(first), 1)
        self.assertIsNotNone(self.installer_record())
        self.assertWorkDirGone()


class NoPlaceToWork(UpdaterTest):
    """Where the work directory or the manifest path cannot be had, the run
    stops with 0 before asking anything and leaves no "version.json" anywhere."""

    def assertStoppedBeforeAsking(self, code, cwd):
        self.assertEqual(code, 0)
        self.assertEqual(self.service.requests, [])
        self.assertEqual(os.listdir(cwd), [])
        self.assertEqual(sorted(p.name for p in self.app.iterdir()), ["update.exe"])

    def test_temporary_directory_missing(self):
        cwd = self.case_dir / "cwd"
        cwd.mkdir()
        self.serve_manifest(offer())
        code = self.run_update(tmp=self.case_dir / "no such directory", cwd=cwd)
        self.assertStoppedBeforeAsking(code, cwd)

    def test_temporary_path_longer_than_max_path(self):
        cwd = self.case_dir / "cwd"
        cwd.mkdir()
        long_tmp = self.case_dir / ("t" * 200) / ("u" * 100)
        long_tmp.mkdir(parents=True)
        self.serve_manifest(offer())
        code = self.run_update(tmp=long_tmp, cwd=cwd)
        self.assertStoppedBeforeAsking(code, cwd)
        self.assertEqual(os.listdir(long_tmp), [])

    def test_work_directory_too_long_for_the_manifest_path(self):
        # The work directory itself fits (about 254 characters) but adding
        # "\version.json" would pass MAX_PATH.
        cwd = self.case_dir / "cwd"
        cwd.mkdir()
        base = win(self.case_dir)
        tmp = self.case_dir / ("t" * (230 - len(base) - 1))
        tmp.mkdir()
        self.assertEqual(len(win(tmp)), 230)
        self.serve_manifest(offer())
        code = self.run_update(tmp=tmp, cwd=cwd)
        self.assertStoppedBeforeAsking(code, cwd)
        self.assertWorkDirGone(tmp)


class LongProgramPaths(UpdaterTest):
    def app_at_length(self, length):
        """An app directory whose Windows path has `length` characters."""
        base = win(self.case_dir)
        app = self.case_dir / ("d" * (length - len(base) - 1))
        self.assertEqual(len(win(app)), length)
        return self.make_app(app)

    def test_installer_path_too_long_means_no_download_and_no_start(self):
        # "<dir>\update.exe" fits MAX_PATH, "<dir>\update_file.exe" does not.
        app = self.app_at_length(246)
        self.serve_manifest(offer())
        self.serve_installer()
        self.assertEqual(self.run_update(app=app), 1)
        self.assertEqual(self.service.paths(), [f"{QUERY_PATH}?version=&type="])
        self.assertEqual(sorted(p.name for p in app.iterdir()), ["update.exe"])
        self.assertWorkDirGone()


if __name__ == "__main__":
    unittest.main()
