"""Checks of the shipping (32-bit) binaries as files: what Windows reads from
their headers, import and export tables and resources before any code runs."""

import os
import pathlib
import struct
import unittest

import pe

SHIPPING_DIR = pathlib.Path(os.environ["SHIPPING_DIR"])

# kernel32 functions that mingw's runtime or libstdc++ can pull in, none of
# which Windows XP has. One of them in the import table and XP refuses to start
# the updater.
NOT_ON_XP = {
    "GetTickCount64", "InitializeCriticalSectionEx", "InitOnceExecuteOnce",
    "InitOnceBeginInitialize", "InitOnceComplete", "FlsAlloc", "FlsFree", "FlsGetValue",
    "FlsSetValue", "CreateEventExW", "CreateSemaphoreExW", "GetFileInformationByHandleEx",
    "SetFileInformationByHandle", "GetFinalPathNameByHandleW", "CreateSymbolicLinkW",
    "AcquireSRWLockExclusive", "AcquireSRWLockShared", "InitializeSRWLock",
    "InitializeConditionVariable", "SleepConditionVariableCS", "SleepConditionVariableSRW",
    "WakeAllConditionVariable", "WakeConditionVariable", "CompareStringEx", "LCMapStringEx",
    "GetLocaleInfoEx", "LocaleNameToLCID", "GetUserDefaultLocaleName", "CancelIoEx",
    "QueryFullProcessImageNameW", "GetSystemTimePreciseAsFileTime",
}
MINGW_RUNTIME_DLLS = ("libstdc++", "libgcc", "libwinpthread")


def find(name):
    hits = sorted(p for p in SHIPPING_DIR.rglob(name) if "CMakeFiles" not in p.parts)
    if len(hits) != 1:
        raise AssertionError(f"expected one {name} under {SHIPPING_DIR}, found {hits}")
    return hits[0]


class UpdaterBinary(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pe.PeFile.load(find("update.exe"))

    def test_is_a_32_bit_gui_program_for_windows_xp(self):
        self.assertEqual(self.pe.machine, pe.MACHINE_I386)
        self.assertFalse(self.pe.is_pe32_plus)
        self.assertEqual(self.pe.subsystem, 2, "Windows GUI subsystem")
        self.assertEqual(self.pe.subsystem_version, (5, 1))
        self.assertEqual(self.pe.os_version, (5, 1))

    def test_imports_only_what_windows_xp_has(self):
        imports = self.pe.imports()
        for dll, functions in imports.items():
            self.assertFalse(dll.lower().startswith(MINGW_RUNTIME_DLLS), f"links {dll} dynamically")
            self.assertEqual(set(functions) & NOT_ON_XP, set(), f"imports from {dll}")

    def test_manifest_runs_as_invoker_without_ui_access(self):
        manifests = self.pe.resource(pe.RT_MANIFEST)
        self.assertEqual(len(manifests), 1)
        text = manifests[0].decode("utf-8")
        self.assertIn('level="asInvoker"', text)
        self.assertIn('uiAccess="false"', text)

    def test_carries_no_link_time_stamp(self):
        self.assertEqual(self.pe.timestamp, 0)


class LibraryBinary(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.path = find("netvane.dll")
        cls.pe = pe.PeFile.load(cls.path)

    def test_is_a_32_bit_dll(self):
        self.assertEqual(self.pe.machine, pe.MACHINE_I386)
        self.assertTrue(self.pe.characteristics & 0x2000, "IMAGE_FILE_DLL")

    def test_exports_three_plain_names_at_fixed_ordinals(self):
        module, base, table = self.pe.exports()
        self.assertEqual(module, "netvane.dll")
        self.assertEqual(base, 1)
        self.assertEqual(table, {1: "MorvendaRasDial", 2: "MorvendaVPNCon", 3: "MorvendaVPNDiscon"})

    def test_imports_only_kernel32_rasapi32_and_ws2_32(self):
        imports = {dll.upper(): names for dll, names in self.pe.imports().items()}
        self.assertEqual(set(imports), {"KERNEL32.DLL", "RASAPI32.DLL", "WS2_32.DLL"})
        # Bound by plain name: a decorated name would not resolve on Windows,
        # and the projection query must bind at load so that the library
        # refuses to load where the system lacks it.
        self.assertLessEqual(
            {"RasEnumDevicesA", "RasSetEntryPropertiesA", "RasSetEntryDialParamsA", "RasDialA",
             "RasGetErrorStringA", "RasGetProjectionInfoEx", "RasGetConnectStatusA", "RasHangUpA"},
            set(imports["RASAPI32.DLL"]))
        self.assertIn("inet_ntop", imports["WS2_32.DLL"])

    def test_carries_no_link_time_stamp(self):
        self.assertEqual(self.pe.timestamp, 0)


class VersionResources(unittest.TestCase):
    """What Explorer's Details tab and installers read, from the one project version."""

    def test_every_shipping_binary_names_product_and_version(self):
        version = os.environ["PROJECT_VERSION"]
        for name, description in (("update.exe", "updater"), ("netvane.dll", "connection library"),
                                  ("netvane_console.exe", "console")):
            with self.subTest(name):
                blobs = pe.PeFile.load(find(name)).resource(pe.RT_VERSION)
                self.assertEqual(len(blobs), 1)
                strings = pe.version_strings(blobs[0])
                self.assertEqual(strings.get("ProductName"), "Morvenda")
                self.assertEqual(strings.get("FileVersion"), version)
                self.assertEqual(strings.get("ProductVersion"), version)
                self.assertEqual(strings.get("OriginalFilename"), name)
                self.assertIn(description, strings.get("FileDescription", ""))
                # The fixed part carries the same number for programs that
                # compare versions numerically.
                fixed = blobs[0].find(b"\xbd\x04\xef\xfe")
                self.assertGreater(fixed, 0)
                ms, ls = struct.unpack_from("<II", blobs[0], fixed + 8)
                self.assertEqual(f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}", version)


if __name__ == "__main__":
    unittest.main()
