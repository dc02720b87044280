"""update.exe under Wine against a service that misbehaves: refused
connections, error statuses, slow answers and connections cut before the
announced length, for the manifest and for the installer; a very large
manifest; a sample of the unit tests' adversarial JSON corpus; and eight runs
started at once.

The cases share the fixture of test_update_exe.py: a fresh copy of update.exe,
a temporary directory of its own, launch.exe for the whole exit code.
"""

import os
import pathlib
import shutil
import subprocess
import threading
import time
import unittest

import test_update_exe as e2e
from test_update_exe import INSTALLER_PATH, INSTALLER_URL, Runs, UpdaterTest, offer, win

CORPUS_TOOL = pathlib.Path(os.environ["CORPUS_TOOL"])
STUB = e2e.STUB_INSTALLER.read_bytes()


class ManifestFaults(UpdaterTest):
    """The query's answer: anything but a whole 2xx body is a failed download
    (exit 0, the earlier installer untouched); a slow one is waited for."""

    def test_answers(self):
        failed = {
            "refused": None,
            "404": dict(status=404, body='{"data": {"is_update": true}}'),
            "500": dict(status=500, body="<html>Internal Server Error</html>"),
            "cut off mid-body": dict(body=offer() + " " * 4000, drop_after=len(offer()) + 100),
            "cut off before the body": dict(body=offer(), drop_after=0),
            "cut off while trickling": dict(body=offer() + " " * 4000, trickle=[500, 0.05],
                                            drop_after=len(offer()) + 1000),
        }
        for name, answer in failed.items():
            with self.subTest(name):
                self.service.clear()
                old = self.place_old_installer()
                if answer is None:
                    self.service.stop()
                else:
                    self.serve_manifest(**answer)
                    self.serve_installer()
                self.assertEqual(self.run_update(), 0)
                self.assertWorkDirGone()
                self.assertEqual(old.read_bytes(), b"an earlier installer")
                self.assertEqual(self.service.paths()[1:], [], "an installer was fetched")
                self.assertFalse((self.app / "update_file.exe.ran").exists())
                if answer is None:
                    self.service.start()

        slow = {
            "headers after 1.5 s": dict(body=offer(), delay=1.5),
            "body in pieces over 1 s": dict(body=offer() + " " * 2000, trickle=[200, 0.1]),
        }
        for name, answer in slow.items():
            with self.subTest(name):
                self.service.clear()
                for leftover in self.app.glob("update_file.exe*"):
                    leftover.unlink()
                self.serve_manifest(**answer)
                self.serve_installer()
                self.assertEqual(self.run_update(), 1)
                self.assertIsNotNone(self.installer_record(), "the installer was not started")
                self.assertWorkDirGone()


class InstallerFaults(UpdaterTest):
    """The installer's download: whatever ended short or under an error
    status is never started and not left beside the program; the manifest
    was read, so the exit code is 1."""

    def test_answers(self):
        # A complete program followed by padding: cut after the program, what
        # arrived would run. Only the announced length shows it is not all.
        padded = STUB + b"\0" * 65536
        failed = {
            "refused": dict(url="http://127.0.0.1:1/setup.exe"),
            "404": dict(answer=dict(status=404, body=STUB)),
            "500": dict(answer=dict(status=500, body=STUB)),
            "cut off after a whole program": dict(answer=dict(body=padded,
                                                              drop_after=len(STUB))),
            "cut off before the body": dict(answer=dict(body=STUB, drop_after=0)),
            "cut off while trickling": dict(answer=dict(body=padded, trickle=[65536, 0.05],
                                                        drop_after=len(STUB))),
        }
        for name, case in failed.items():
            with self.subTest(name):
                self.service.clear()
                for leftover in self.app.glob("update_file.exe*"):
                    leftover.unlink()
                self.place_old_installer()
                self.serve_manifest(offer(url=case.get("url", INSTALLER_URL)))
                if "answer" in case:
                    self.serve_installer(**case["answer"])
                self.assertEqual(self.run_update(), 1)
                self.assertWorkDirGone()
                self.assertIsNone(self.installer_record(timeout=0.5), "a broken installer ran")
                self.assertFalse((self.app / "update_file.exe").exists(),
                                 "the earlier installer or a broken one is still there")

        with self.subTest("slow"):
            self.service.clear()
            for leftover in self.app.glob("update_file.exe*"):
                leftover.unlink()
            self.serve_manifest(offer())
            self.serve_installer(body=STUB, delay=1.0, trickle=[len(STUB) // 8 + 1, 0.1])
            self.assertEqual(self.run_update(), 1)
            self.assertIsNotNone(self.installer_record(), "the installer was not started")
            self.assertEqual((self.app / "update_file.exe").read_bytes(), STUB)
            self.assertWorkDirGone()

        with self.subTest("no length announced"):
            self.service.clear()
            for leftover in self.app.glob("update_file.exe*"):
                leftover.unlink()
            self.serve_manifest(offer())
            self.serve_installer(body=STUB, announce_length=False)
            self.assertEqual(self.run_update(), 1)
            self.assertIsNotNone(self.installer_record(), "the installer was not started")


class LargeManifest(UpdaterTest):
    """A manifest of 100 MB is read whole (its offer stands at the very end)
    in time that grows about linearly with its size."""

    @staticmethod
    def manifest(megabytes):
        piece = b'"' + b"x" * 1021 + b'",'  # 1 KB per array element
        tail = ('"end"], "data": {"is_update": true, "download_url": "%s"}}' % INSTALLER_URL)
        return b'{"filler": [' + piece * (megabytes * 1024) + tail.encode()

    def timed_run(self, megabytes):
        self.service.clear()
        for leftover in self.app.glob("update_file.exe*"):
            leftover.unlink()
        self.serve_manifest(self.manifest(megabytes))
        self.serve_installer()
        started = time.monotonic()
        self.assertEqual(self.run_update(), 1)
        elapsed = time.monotonic() - started
        self.assertIsNotNone(self.installer_record(), f"{megabytes} MB: the offer was not read")
        self.assertWorkDirGone()
        return elapsed

    def test_100_mb_against_25_mb(self):
        small = self.timed_run(25)
        large = self.timed_run(100)
        print(f"\n25 MB manifest: {small:.2f} s, 100 MB: {large:.2f} s, ratio {large / small:.2f}",
              flush=True)
        self.assertLess(large / small, 6.0)
        self.assertLess(large, 60.0)


class CorpusSample(UpdaterTest):
    """25 documents of the unit tests' corpus as the service's answer."""

    def test_sample(self):
        corpus = self.case_dir / "corpus"
        corpus.mkdir()
        subprocess.run([e2e.WINE_RUN, str(CORPUS_TOOL), win(corpus), "25"], check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        rows = [line.split("\t") for line in (corpus / "index.txt").read_text("latin-1").splitlines()]
        self.assertEqual(len(rows), 25)
        for name, expect, family in rows:
            with self.subTest(f"{name} {family}"):
                self.service.clear()
                for leftover in self.app.glob("update_file.exe*"):
                    leftover.unlink()
                self.serve_manifest((corpus / name).read_bytes())
                self.serve_installer()
                self.assertEqual(self.run_update(), 1)
                self.assertWorkDirGone()
                fetched = self.service.paths()[1:]
                self.assertIn(fetched, ([], [INSTALLER_PATH]))
                if expect == "offer":
                    self.assertEqual(fetched, [INSTALLER_PATH])
                    self.assertIsNotNone(self.installer_record())
                elif expect == "none":
                    self.assertEqual(fetched, [])
                    self.assertFalse((self.app / "update_file.exe").exists())
                elif fetched:
                    self.assertIsNotNone(self.installer_record())


class EightAtOnce(UpdaterTest):
    """Eight runs of one program while the service holds its answer: one asks,
    seven end at once with -1, and when the answer comes nothing is left
    behind."""

    def test_eight_runs(self):
        release = threading.Event()
        self.addCleanup(release.set)
        self.serve_manifest(offer(), hold=release)
        self.serve_installer()

        # The first run is started on its own and holds the mutex once its
        # query has reached the service; then the other seven start together.
        # (Started in the same instant as the seven, Wine's urlmon now and then
        # loses the end of that first run's download and waits forever in its
        # binding's message loop; Windows has no such race.)
        holder = Runs.start(self.app / "update.exe", self.tmp)
        self.assertTrue(self.service.wait_for_requests(1, timeout=20), "the first run never asked")
        started = time.monotonic()
        others = [Runs.start(self.app / "update.exe", self.tmp) for _ in range(7)]
        codes = [Runs.finish(run, timeout=30) for run in others]
        self.assertEqual(codes, [-1] * 7, "seven runs should end at once")
        # Seven process starts under Wine take a few seconds in all; a run
        # that waited for the mutex would wait for the held answer (30 s).
        self.assertLess(time.monotonic() - started, 15.0)
        self.assertIsNone(holder.poll(), "the first run should still wait for its answer")
        self.assertEqual(len(self.service.requests), 1, self.service.requests)
        self.assertEqual(len(os.listdir(self.tmp)), 1, "only the first run has a work directory")

        release.set()
        self.assertEqual(Runs.finish(holder), 1)
        self.assertIsNotNone(self.installer_record())
        self.assertEqual(self.service.paths()[1:], [INSTALLER_PATH])
        self.assertWorkDirGone()
        self.assertEqual(sorted(p.name for p in self.app.iterdir()),
                         ["update.exe", "update_file.exe", "update_file.exe.ran"])


if __name__ == "__main__":
    unittest.main()
