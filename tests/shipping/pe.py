"""A small reader for the parts of a PE file that the shipping checks look at:
headers, imports, exports and resources. Read-only, standard library only."""

import struct
from dataclasses import dataclass, field

MACHINE_I386 = 0x14C
MACHINE_AMD64 = 0x8664
RT_VERSION = 16
RT_MANIFEST = 24


@dataclass
class Section:
    name: str
    rva: int
    vsize: int
    raw_offset: int
    raw_size: int


@dataclass
class PeFile:
    data: bytes
    machine: int = 0
    timestamp: int = 0
    characteristics: int = 0
    is_pe32_plus: bool = False
    subsystem: int = 0
    subsystem_version: tuple = (0, 0)
    os_version: tuple = (0, 0)
    checksum: int = 0
    directories: list = field(default_factory=list)
    sections: list = field(default_factory=list)

    @classmethod
    def load(cls, path):
        with open(path, "rb") as f:
            pe = cls(f.read())
        pe._parse_headers()
        return pe

    # --- headers -------------------------------------------------------
    def _parse_headers(self):
        d = self.data
        if d[:2] != b"MZ":
            raise ValueError("not an MZ executable")
        pe_off = struct.unpack_from("<I", d, 0x3C)[0]
        if d[pe_off:pe_off + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        coff = pe_off + 4
        (self.machine, nsections, self.timestamp, _, _, opt_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", d, coff)
        opt = coff + 20
        magic = struct.unpack_from("<H", d, opt)[0]
        self.is_pe32_plus = magic == 0x20B
        os_major, os_minor, _, _, ss_major, ss_minor = struct.unpack_from("<HHHHHH", d, opt + 40)
        self.os_version = (os_major, os_minor)
        self.subsystem_version = (ss_major, ss_minor)
        self.checksum, self.subsystem = struct.unpack_from("<IH", d, opt + 64)
        dir_off = opt + (112 if self.is_pe32_plus else 96)
        ndirs = struct.unpack_from("<I", d, dir_off - 4)[0]
        self.directories = [struct.unpack_from("<II", d, dir_off + 8 * i) for i in range(ndirs)]
        sec = opt + opt_size
        for i in range(nsections):
            raw_name, vsize, rva, raw_size, raw_off = struct.unpack_from("<8sIIII", d, sec + 40 * i)
            self.sections.append(Section(raw_name.rstrip(b"\0").decode("latin-1"), rva, vsize, raw_off, raw_size))

    def offset(self, rva):
        for s in self.sections:
            if s.rva <= rva < s.rva + max(s.vsize, s.raw_size):
                return s.raw_offset + rva - s.rva
        raise ValueError(f"RVA {rva:#x} is in no section")

    def cstring(self, rva):
        off = self.offset(rva)
        return self.data[off:self.data.index(b"\0", off)].decode("latin-1")

    # --- imports -------------------------------------------------------
    def imports(self):
        """{dll name: [function name or '#ordinal', ...]} in table order."""
        rva, size = self.directories[1]
        result = {}
        if not rva:
            return result
        off = self.offset(rva)
        thunk_fmt, thunk_size, ord_flag = ("<Q", 8, 1 << 63) if self.is_pe32_plus else ("<I", 4, 1 << 31)
        while True:
            lookup, _, _, name_rva, iat = struct.unpack_from("<IIIII", self.data, off)
            if not name_rva:
                break
            names = []
            t = self.offset(lookup or iat)
            while True:
                entry = struct.unpack_from(thunk_fmt, self.data, t)[0]
                if not entry:
                    break
                names.append(f"#{entry & 0xFFFF}" if entry & ord_flag else self.cstring((entry & 0x7FFFFFFF) + 2))
                t += thunk_size
            result[self.cstring(name_rva)] = names
            off += 20
        return result

    # --- exports -------------------------------------------------------
    def exports(self):
        """(module name, ordinal base, {ordinal: name or None})."""
        rva, size = self.directories[0]
        if not rva:
            return None, 0, {}
        off = self.offset(rva)
        (_, _, _, _, name_rva, base, nfuncs, nnames, funcs_rva, names_rva,
         ords_rva) = struct.unpack_from("<IIHHIIIIIII", self.data, off)
        table = {base + i: None for i in range(nfuncs)
                 if struct.unpack_from("<I", self.data, self.offset(funcs_rva) + 4 * i)[0]}
        for i in range(nnames):
            name = self.cstring(struct.unpack_from("<I", self.data, self.offset(names_rva) + 4 * i)[0])
            index = struct.unpack_from("<H", self.data, self.offset(ords_rva) + 2 * i)[0]
            table[base + index] = name
        return self.cstring(name_rva), base, table

    # --- resources -----------------------------------------------------
    def resources(self):
        """[(type, name, language, bytes)] for every resource in the file."""
        rva, size = self.directories[2] if len(self.directories) > 2 else (0, 0)
        if not rva:
            return []
        root = self.offset(rva)
        found = []

        def walk(dir_off, path):
            named, ids = struct.unpack_from("<HH", self.data, dir_off + 12)
            for i in range(named + ids):
                ident, target = struct.unpack_from("<II", self.data, dir_off + 16 + 8 * i)
                if ident & 0x80000000:
                    p = root + (ident & 0x7FFFFFFF)
                    length = struct.unpack_from("<H", self.data, p)[0]
                    ident = self.data[p + 2:p + 2 + 2 * length].decode("utf-16-le")
                if target & 0x80000000:
                    walk(root + (target & 0x7FFFFFFF), path + [ident])
                else:
                    data_rva, data_size = struct.unpack_from("<II", self.data, root + target)
                    o = self.offset(data_rva)
                    found.append((*path, ident, self.data[o:o + data_size]))

        walk(root, [])
        return found

    def resource(self, rtype):
        return [r[3] for r in self.resources() if r[0] == rtype]


def version_strings(blob):
    """The StringFileInfo pairs of a VS_VERSIONINFO resource, as a dict."""
    strings = {}

    def walk(off, end):
        while off + 6 <= end:
            length, value_len, vtype = struct.unpack_from("<HHH", blob, off)
            if length == 0:
                break
            key_end = off + 6
            while blob[key_end:key_end + 2] != b"\0\0":
                key_end += 2
            key = blob[off + 6:key_end].decode("utf-16-le")
            value_off = (key_end + 2 + 3) & ~3
            if vtype == 1 and value_len and key not in ("VS_VERSION_INFO", "StringFileInfo", "VarFileInfo"):
                raw = blob[value_off:value_off + 2 * value_len].decode("utf-16-le")
                strings[key] = raw.rstrip("\0")
                children = end_of = off + length
            else:
                children = value_off + (value_len if vtype == 0 else 2 * value_len)
                children = (children + 3) & ~3
                end_of = off + length
                if key in ("VS_VERSION_INFO", "StringFileInfo") or (len(key) == 8 and key.isalnum()):
                    walk(children, end_of)
            off = (end_of + 3) & ~3

    walk(0, len(blob))
    return strings
