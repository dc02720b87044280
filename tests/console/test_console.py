"""netvane_console.exe as its own process under Wine.

Each case gets a folder of its own holding the console, a netvane.dll (the
real one, none, or a stand-in for a broken one) and the RAS stand-in as
rasapi32.dll. The stand-in reads its answers from the file named by
RAS_STANDIN_SCRIPT and appends every RAS call to the file named by
RAS_STANDIN_LOG, so a case sees what the library asked of RAS.

Wine hands only the low 8 bits of an exit code to Linux, so each case runs
twice: once through cmake/wine-run for its output and low byte, once through
launch.exe for the whole 32-bit code.
"""

import os
import pathlib
import shutil
import subprocess
import tempfile
import unittest

WINE_RUN = os.environ["WINE_RUN"]
CONSOLE_EXE = pathlib.Path(os.environ["CONSOLE_EXE"])
NETVANE_DLL = pathlib.Path(os.environ["NETVANE_DLL"])
STANDIN_DLL = pathlib.Path(os.environ["STANDIN_DLL"])
PARTIAL_DLL = pathlib.Path(os.environ["PARTIAL_DLL"])
LAUNCH_EXE = pathlib.Path(os.environ["LAUNCH_EXE"])
RUN_ROOT = pathlib.Path(os.environ["RUN_ROOT"])

EXIT_USAGE = 0x20000001
EXIT_LIBRARY_MISSING = 0x20000002

USAGE = (
    "usage: netvane_console dial USER PASSWORD\r\n"
    "       netvane_console vpn SERVER USER PASSWORD\r\n"
    "       netvane_console disconnect\r\n"
    "       netvane_console --help\r\n")

DIAL_FAILED = b"\xC1\xAC\xBD\xD3\xB4\xED\xCE\xF3!\r\n"  # GBK "连接错误!"
NO_DEVICE = b"\xC9\xE8\xB1\xB8\xB2\xE9\xD5\xD2\xCA\xA7\xB0\xDC\r\n"  # GBK "设备查找失败"

VPN_REPORT = (b"RASPROJECTION_INFO_TYPE is: IKEv2\r\n"
              b"Ras Client IP Address: 10.8.0.2\r\n"
              b"Ras Server IP Address: 198.51.100.7\r\n"
              b"Cannot do MOBIKE switch as the client does not support Mobile IKE (MOBIKE)\r\n")

BROADBAND_CALLS = ["RasEnumDevicesA", "RasEnumDevicesA", "RasSetEntryPropertiesA",
                   "RasSetEntryDialParamsA", "RasDialA"]
VPN_CALLS = ["RasSetEntryPropertiesA", "RasSetEntryDialParamsA", "RasDialA",
             "RasGetProjectionInfoEx"]


def win(path):
    """The Windows form of a Linux path, through Wine's Z: drive."""
    return "Z:" + str(path).replace("/", "\\")


class Run:
    def __init__(self, out, err, low_code, code, log):
        self.out, self.err, self.low_code, self.code, self.log = out, err, low_code, code, log

    def calls(self):
        """The RAS functions called, in order (the stand-in's log lines)."""
        return [line.split("(")[0] for line in self.log.splitlines()]


class ConsoleTest(unittest.TestCase):
    def folder(self, library=NETVANE_DLL):
        """A fresh folder with the console, the stand-in and `library` as
        netvane.dll (None: no netvane.dll)."""
        folder = RUN_ROOT / self.id().split(".", 1)[1]
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        shutil.copy(CONSOLE_EXE, folder / "netvane_console.exe")
        shutil.copy(STANDIN_DLL, folder / "rasapi32.dll")
        if library is not None:
            shutil.copy(library, folder / "netvane.dll")
        return folder

    def run_console(self, args, script="", stdin=b"", folder=None):
        folder = folder or self.folder()
        script_file = folder / "ras_script.txt"
        script_file.write_text(script)
        log_file = folder / "ras_calls.log"
        results = []
        for launcher in ([], [str(LAUNCH_EXE), "--env", f"RAS_STANDIN_SCRIPT={win(script_file)}",
                             "--env", f"RAS_STANDIN_LOG={win(log_file)}", "--"]):
            if log_file.exists():
                log_file.unlink()
            env = dict(os.environ, RAS_STANDIN_SCRIPT=win(script_file),
                       RAS_STANDIN_LOG=win(log_file))
            # Files, not pipes: Wine's helper processes inherit a pipe and
            # keep it open after the program has ended.
            with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err, \
                    tempfile.TemporaryFile() as given:
                given.write(stdin)
                given.seek(0)
                process = subprocess.run(
                    [WINE_RUN, *launcher, win(folder / "netvane_console.exe"), *args],
                    stdin=given, stdout=out, stderr=err, env=env, timeout=60, check=False)
                out.seek(0)
                err.seek(0)
                results.append((process.returncode, out.read(), err.read()))
            log = log_file.read_text() if log_file.exists() else ""
            results[-1] += (log,)
        (low_code, out, err, log), (launched, launch_out, _, launch_log) = results
        self.assertEqual(launched, 0, "launch.exe could not start the console")
        # launch.exe prints the child's whole exit code after whatever of the
        # child's own output reached the same file.
        if launch_out.startswith(out):
            launch_out = launch_out[len(out):]
        code = int(launch_out.decode("ascii", "replace").split()[-1])
        self.assertEqual(code & 0xFF, low_code, "the same run through launch.exe")
        self.assertEqual(launch_log, log, "the same RAS calls through launch.exe")
        return Run(out, err, low_code, code, log)


class Commands(ConsoleTest):
    """Each command: the library's diagnostics, the result line and the
    exit code, against scripted RAS answers."""

    def test_dial(self):
        cases = [
            ("succeeds", "", b"MorvendaRasDial returned 0 (success)\r\n", 0, BROADBAND_CALLS),
            ("dial fails",
             "dial.result = 691\nerror_string.text = Access was denied.\n",
             DIAL_FAILED + b" Access was denied.\r\n"
             b"MorvendaRasDial returned 691 (Access was denied.)\r\n",
             691, BROADBAND_CALLS + ["RasGetErrorStringA", "RasGetErrorStringA"]),
            ("no PPPoE device",
             "device = PPPoE, upper-case type\nerror_string.text = No answer.\n",
             NO_DEVICE + b"MorvendaRasDial returned 0 (success)\r\n", 0,
             ["RasEnumDevicesA", "RasEnumDevicesA", "RasSetEntryDialParamsA", "RasDialA"]),
            ("entry cannot be written",
             "set_entry.result = 621\nerror_string.text = Cannot open the phone book.\n",
             b"MorvendaRasDial returned 621 (Cannot open the phone book.)\r\n", 621,
             ["RasEnumDevicesA", "RasEnumDevicesA", "RasSetEntryPropertiesA",
              "RasGetErrorStringA"]),
        ]
        for name, script, out, code, calls in cases:
            with self.subTest(name):
                run = self.run_console(["dial", "alice", "s3cret"], script,
                                       folder=self.folder())
                self.assertEqual(run.out, out)
                self.assertEqual(run.err, b"")
                self.assertEqual(run.code, code)
                self.assertEqual(run.calls(), calls)
                if "RasDialA" in calls:
                    self.assertIn('RasDialA(entry="MorvendaADSL", phone="", user="alice", '
                                  'password="s3cret")', run.log)
                self.assertNotIn("wrong input", run.log)

    def test_vpn_connects_waits_for_enter_and_hangs_up(self):
        run = self.run_console(["vpn", "vpn.example.net", "bob", "pw"], stdin=b"\n")
        # The library's VPN diagnostics are buffered when standard output is
        # not a console, so they reach the file when the library is unloaded,
        # after the console's own lines.
        self.assertEqual(run.out,
                         b"MorvendaVPNCon returned 0 (success)\r\n"
                         b"VPN connected; press Enter to disconnect.\r\n"
                         b"MorvendaVPNDiscon returned 0 (success)\r\n" + VPN_REPORT)
        self.assertEqual(run.code, 0)
        self.assertEqual(run.calls(), VPN_CALLS + ["RasHangUpA", "RasGetConnectStatusA"])
        self.assertIn('RasDialA(entry="MorvendaVPN", phone="vpn.example.net", user="bob", '
                      'password="pw") -> 0, handle=0x5150', run.log)
        self.assertIn("RasHangUpA(handle=0x5150) -> 0", run.log)
        self.assertNotIn("wrong input", run.log)

    def test_vpn_hang_up_failure_is_the_exit_code(self):
        run = self.run_console(["vpn", "vpn.example.net", "bob", "pw"],
                               "hang_up.result = 668\nerror_string.text = The connection dropped.\n",
                               stdin=b"\n")
        self.assertEqual(run.out,
                         b"MorvendaVPNCon returned 0 (success)\r\n"
                         b"VPN connected; press Enter to disconnect.\r\n"
                         b"MorvendaVPNDiscon returned 668 (The connection dropped.)\r\n"
                         + VPN_REPORT + b"RasHangUp failed: Error = 668")
        self.assertEqual(run.code, 668)

    def test_vpn_that_fails_to_dial_is_not_hung_up(self):
        run = self.run_console(["vpn", "vpn.example.net", "bob", "pw"],
                               "dial.result = 800\nerror_string.text = No tunnel.\n")
        self.assertEqual(run.out, b"MorvendaVPNCon returned 800 (No tunnel.)\r\n"
                                  b"RasDial failed: Error = 800\r\n")
        self.assertEqual(run.code, 800)
        self.assertEqual(run.calls(), ["RasSetEntryPropertiesA", "RasSetEntryDialParamsA",
                                       "RasDialA", "RasGetErrorStringA"])

    def test_vpn_ends_at_end_of_input_as_at_enter(self):
        run = self.run_console(["vpn", "vpn.example.net", "bob", "pw"], stdin=b"")
        self.assertEqual(run.code, 0)
        self.assertEqual(run.calls()[-2:], ["RasHangUpA", "RasGetConnectStatusA"])

    def test_disconnect_in_a_new_process(self):
        cases = [
            ("hang-up succeeds", "", b"MorvendaVPNDiscon returned 0 (success)\r\n", 0),
            ("hang-up fails", "hang_up.result = 668\nerror_string.text = Dropped.\n",
             b"MorvendaVPNDiscon returned 668 (Dropped.)\r\nRasHangUp failed: Error = 668", 668),
        ]
        for name, script, out, code in cases:
            with self.subTest(name):
                run = self.run_console(["disconnect"], script, folder=self.folder())
                self.assertEqual(run.out, out)
                self.assertEqual(run.code, code)
                # No connection in this process: the empty handle, no wait.
                self.assertEqual(run.log.splitlines()[0], f"RasHangUpA(handle=0x0) -> {code}")
                self.assertNotIn("RasGetConnectStatusA", run.log)

    def test_help(self):
        run = self.run_console(["--help"])
        self.assertTrue(run.out.decode("ascii").startswith(USAGE), run.out)
        self.assertEqual(run.err, b"")
        self.assertEqual(run.code, 0)
        self.assertEqual(run.log, "")


class BadUsage(ConsoleTest):
    """A one-line error and the usage on standard error, the usage exit
    code, and nothing asked of the library or RAS."""

    def test_bad_command_lines(self):
        cases = [
            ([], "no command given"),
            (["connect"], "unknown command 'connect'"),
            (["DIAL", "a", "b"], "unknown command 'DIAL'"),
            (["dial", "alice"], "dial takes USER and PASSWORD"),
            (["dial", "alice", "pw", "extra"], "dial takes USER and PASSWORD"),
            (["vpn", "server", "bob"], "vpn takes SERVER, USER and PASSWORD"),
            (["vpn", "server", "bob", "pw", "extra"], "vpn takes SERVER, USER and PASSWORD"),
            (["disconnect", "now"], "disconnect takes no arguments"),
            (["--help", "dial"], "--help takes no arguments"),
        ]
        # The library would be refused if it were loaded: a stand-in that is
        # not netvane.dll at all. Usage errors must not get that far.
        folder = self.folder(library=STANDIN_DLL)
        for args, problem in cases:
            with self.subTest(args=args):
                run = self.run_console(args, folder=folder)
                err = run.err.decode("ascii")
                self.assertEqual(err, f"netvane_console: {problem}\r\n" + err.split("\r\n", 1)[1])
                self.assertTrue(err.split("\r\n", 1)[1].startswith(USAGE), err)
                self.assertEqual(run.out, b"")
                self.assertEqual(run.code, EXIT_USAGE)
                self.assertEqual(run.log, "")


class BrokenLibrary(ConsoleTest):
    """A missing netvane.dll, or one without an export the command needs:
    the message names the file and what is missing, nothing is called."""

    def test_missing_library(self):
        folder = self.folder(library=None)
        for args in (["dial", "a", "b"], ["vpn", "s", "u", "p"], ["disconnect"]):
            with self.subTest(args=args):
                run = self.run_console(args, folder=folder)
                err = run.err.decode("ascii")
                self.assertTrue(err.startswith(
                    f"netvane_console: cannot load {win(folder / 'netvane.dll')}: "), err)
                self.assertTrue(err.endswith(" (126)\r\n"), err)
                self.assertEqual(err.count("\n"), 1)
                self.assertEqual(run.out, b"")
                self.assertEqual(run.code, EXIT_LIBRARY_MISSING)
                self.assertEqual(run.log, "")

    def test_library_without_the_export(self):
        cases = [
            # Some other DLL under the name netvane.dll.
            (STANDIN_DLL, ["dial", "a", "b"], "MorvendaRasDial"),
            (STANDIN_DLL, ["disconnect"], "MorvendaVPNDiscon"),
            # Has the connect but not the disconnect the vpn command needs
            # after Enter: refused before it connects.
            (PARTIAL_DLL, ["vpn", "s", "u", "p"], "MorvendaVPNDiscon"),
            (PARTIAL_DLL, ["disconnect"], "MorvendaVPNDiscon"),
        ]
        for library, args, missing in cases:
            with self.subTest(library=library.name, args=args):
                folder = self.folder(library=library)
                run = self.run_console(args, folder=folder, stdin=b"\n")
                self.assertEqual(run.err.decode("ascii"),
                                 f"netvane_console: {win(folder / 'netvane.dll')} "
                                 f"does not export {missing}\r\n")
                self.assertEqual(run.out, b"")
                self.assertEqual(run.code, EXIT_LIBRARY_MISSING)
                self.assertEqual(run.log, "")

    def test_partial_library_still_serves_the_commands_it_has(self):
        # The fixture itself: the exports it has are reached, so the refusal
        # above is about the missing one.
        run = self.run_console(["dial", "a", "b"], folder=self.folder(library=PARTIAL_DLL))
        self.assertEqual(run.code, 0x7717)


if __name__ == "__main__":
    unittest.main()
