#!/usr/bin/env python3
"""Tests of the release files that packaging/make-release.sh makes in <build>/dist, for one
Windows target (i686 or x86_64) each.

    release_test.py zip|binaries|installer|service|folders|failures|held <build> <source> <objdump> <target>
    release_test.py other <build> <source> <objdump> <target> <the other target's installer>

zip:       the portable zip holds exactly the built program, its library and the read-me.
binaries:  both files are built for the target's processor, import only Windows' own DLLs, the
           library exports OPENCOM and TXD by their plain names, both carry version records (the
           program also its manifest, which names the target's architecture, and its icon, as
           does the installer, itself a program of the target's kind), and the two together stay
           under 256 KiB.
installer: under Wine (installer_logon.py), the silent installer puts the files in place and
           registers the uninstaller; the Start-menu and Startup shortcuts start the installed
           program, which pulses (with the recording stand-in library in place of serline.dll);
           while a Kelvarid that cannot be asked to make way runs, neither the installer nor the
           uninstaller touches it; one that can makes way for the quiet uninstall string, which
           returns once the machine is as it found it.
service:   the service mode (installer_service.py): options refused, an upgrade that keeps every
           setting, the switches both ways; folders: the service's program in folders of its own.
failures:  off the happy path (installer_failures.py): every code true, a failure put back;
held:      the service held open by another program while it moves and while it is deleted.
other:     in a 64-bit prefix (x86_64), with the i686 installer: while one target's Kelvarid is
           installed, the other's installer refuses (exit code 3) and changes nothing. In a
           32-bit prefix (i686), the x86_64 installer does not install anything.
           Exit code 77 (skipped) where the other installer is not built or cannot run here.
"""
import os
import re
import struct
import subprocess
import sys
import zipfile
import xml.etree.ElementTree as ElementTree

import release_helpers
from release_helpers import *  # noqa: F401,F403


def test_zip(build, source, objdump, target):
    path = release_file(build, target, ZIP)
    with zipfile.ZipFile(path) as archive:
        check(archive.testzip() is None, "the zip is damaged")
        names = archive.namelist()
        check(sorted(names) == sorted(PROGRAM_FILES + ("readme.txt",)),
              f"the zip holds {names}, not {', '.join(PROGRAM_FILES)} and readme.txt at its top")
        for name in PROGRAM_FILES:
            if name in names:
                check(archive.read(name) == read(os.path.join(build, name)),
                      f"{name} in the zip is not the built {name}")
        if "readme.txt" in names:
            text = archive.read("readme.txt")
            check(text.startswith(b"\xef\xbb\xbf"), "readme.txt has no UTF-8 byte-order mark")
            check(b"\n" in text and text.count(b"\n") == text.count(b"\r\n"),
                  "readme.txt has lines not ending in CR LF")
            words = text.decode("utf-8-sig")
            check("ČESKY" in words and "ENGLISH" in words, "readme.txt lacks its Czech or English part")
            check(VERSION in words, f"readme.txt does not name version {VERSION}")
            check("pin 3" in words and "vývod 3" in words, "readme.txt does not say where TXD is")
            setup_name = os.path.basename(release_file(build, target, SETUP))
            check(setup_name in words, f"readme.txt does not name this target's installer {setup_name}")
            check("@" not in words, "readme.txt keeps a placeholder")
        # The same commit gives the same zip: no file in it carries the time it was packed.
        times = {info.date_time for info in archive.infolist()}
        check(len(times) == 1, f"the files in the zip carry different times: {times}")


def pe_dump(objdump, path):
    return subprocess.run([objdump, "-p", path], check=True, capture_output=True, text=True,
                          env={**os.environ, "TZ": "UTC"}).stdout


def utf16(text):
    return text.encode("utf-16-le")


def pe_machine(data):
    """The machine a PE file is built for (0x14c i386, 0x8664 x86-64), or None for no PE file."""
    if data[:2] != b"MZ" or len(data) < 0x40:
        return None
    header = struct.unpack_from("<I", data, 0x3C)[0]
    if data[header:header + 4] != b"PE\0\0":
        return None
    return struct.unpack_from("<H", data, header + 4)[0]


def pe_resources(data, type_id):
    """The data of every resource of a numbered type (24: manifest) of a PE file, read by
    walking its resource directory: type, then name, then language."""
    header = struct.unpack_from("<I", data, 0x3C)[0]
    section_count, optional_size = struct.unpack_from("<H", data, header + 6)[0], struct.unpack_from("<H", data, header + 20)[0]
    optional = header + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)  # PE32 or PE32+
    resources_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    sections = [struct.unpack_from("<IIII", data, optional + optional_size + 40 * i + 8)
                for i in range(section_count)]

    def file_offset(rva):
        for virtual_size, address, raw_size, raw_offset in sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw_offset + rva - address
        raise ValueError(f"address {rva:#x} lies in no section")

    if resources_rva == 0:
        return []
    base = file_offset(resources_rva)

    def entries(directory):
        named, numbered = struct.unpack_from("<HH", data, base + directory + 12)
        for i in range(named + numbered):
            yield struct.unpack_from("<II", data, base + directory + 16 + 8 * i)

    found = []
    for kind, names in entries(0):
        if kind != type_id or not names & 0x80000000:
            continue
        for _, languages in entries(names & 0x7FFFFFFF):
            for _, leaf in entries(languages & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, base + leaf)
                found.append(data[file_offset(rva):file_offset(rva) + size])
    return found


def manifest_architecture(manifest):
    identity = ElementTree.fromstring(manifest).find("{urn:schemas-microsoft-com:asm.v1}assemblyIdentity")
    return None if identity is None else identity.get("processorArchitecture")


# The Windows versions tests/package/windows-imports.txt names, as _WIN32_WINNT says them.
WINDOWS_VERSIONS = {"2000": 0x0500, "XP": 0x0501, "2003": 0x0502, "Vista": 0x0600, "7": 0x0601, "8": 0x0602,
                    "10": 0x0A00}


def allowed_imports(source):
    """{(DLL, function): the oldest Windows version that has it}, from the list in the repository."""
    allowed = {}
    with open(os.path.join(source, "tests", "package", "windows-imports.txt"), encoding="utf-8") as file:
        for line in file:
            fields = line.split("#", 1)[0].split()
            if fields:
                dll, function, version = fields
                allowed[(dll.upper(), function)] = WINDOWS_VERSIONS[version]
    return allowed


def imported_functions(dump):
    """(DLL, function) of every function a PE file imports by name, as objdump -p lists them."""
    imports = []
    for table in dump.split("DLL Name: ")[1:]:
        dll = table.split(None, 1)[0].upper()
        imports += [(dll, name) for name in re.findall(r"^\t[0-9a-f]+\t +\d+ +(\S+)", table, re.M)]
    return imports


def check_imports_within_floor(name, dump, allowed, floor):
    imports = imported_functions(dump)
    check(len(imports) > 10, f"{name}: the import table could not be read ({len(imports)} functions)")
    for dll, function in imports:
        version = allowed.get((dll, function))
        if version is None:
            check(False, f"{name} imports {dll} {function}, which tests/package/windows-imports.txt does not list")
        else:
            check(version <= floor, f"{name} imports {dll} {function}, which Windows has only from {version:#06x} on, "
                                    f"above this target's floor {floor:#06x}")


def test_binaries(build, source, objdump, target):
    total = 0
    machine = TARGETS[target]["machine"]
    allowed = allowed_imports(source)
    floor = int(PRODUCT[f"KELVARID_WINDOWS_FLOOR_{target}"], 16)
    for name in PROGRAM_FILES:
        path = os.path.join(build, name)
        found = pe_machine(read(path))
        check(found == machine, f"{name} is built for machine {found and hex(found)}, not {machine:#x} ({target})")
        dump = pe_dump(objdump, path)
        imports = {dll.lower() for dll in re.findall(r"DLL Name: (\S+)", dump)}
        check("kernel32.dll" in imports, f"{name}: no import list found ({sorted(imports)})")
        check(imports <= SYSTEM_DLLS, f"{name} imports {sorted(imports - SYSTEM_DLLS)}, not Windows' own")
        check_imports_within_floor(name, dump, allowed, floor)
        check(re.search(r"Time/Date\s+(Thu Jan  1 00:00:00 1970|0+)\s*$", dump, re.M) is not None,
              f"{name} carries a link time in its header")
        total += os.path.getsize(path)
    exports = pe_dump(objdump, os.path.join(build, "serline.dll"))
    table = exports.split("[Ordinal/Name Pointer] Table", 1)
    names = re.findall(r"\[\s*\d+\]\s+(\S+)", table[1].split("\n\n", 1)[0]) if len(table) == 2 else []
    check(sorted(names) == ["OPENCOM", "TXD"], f"serline.dll exports {names}, not OPENCOM and TXD")
    # The records Windows shows: version and description, the program's manifest, the icon.
    program, library = read(os.path.join(build, "kelvarid.exe")), read(os.path.join(build, "serline.dll"))
    service = read(os.path.join(build, "kelvarid-service.exe"))
    console = read(os.path.join(build, "kelvaridctl.exe"))
    setup = read(release_file(build, target, SETUP))
    found = pe_machine(setup)
    check(found == machine, f"the installer is a program for machine {found and hex(found)}, not {machine:#x}")
    icon_image = read(os.path.join(source, "platform", "resources", "kelvarid.ico"))[22:]
    for name, data in (("kelvarid.exe", program), ("serline.dll", library), ("kelvarid-service.exe", service),
                       ("kelvaridctl.exe", console), ("the installer", setup)):
        check(utf16(VERSION) in data, f"{name} has no version record {VERSION}")
    check(len(pe_resources(service, 11)) >= 1, "kelvarid-service.exe holds no message table for its event log")
    for entry in ("The Kelvarid service runs; its pulses go to port %1.", "Port %1 cannot be opened."):
        check(utf16(entry) in service, f"kelvarid-service.exe's message table lacks '{entry}'")
    check(utf16("Kelvarid serial-line library") in library, "serline.dll has no description of its own")
    check(utf16("Kelvarid - keep-alive pulses") in program, "kelvarid.exe has no description")
    for name, data in (("kelvarid.exe", program), ("kelvarid-service.exe", service), ("kelvaridctl.exe", console)):
        manifests = pe_resources(data, 24)
        check(len(manifests) == 1, f"{name} holds {len(manifests)} manifests, not one")
        manifest = manifests[0] if manifests else b""
        for setting in (b'level="asInvoker"', b"<dpiAware", b"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
                        b"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"):
            check(setting in manifest, f"{name}'s manifest lacks {setting.decode()}")
        if manifest:
            architecture = manifest_architecture(manifest)
            check(architecture == TARGETS[target]["manifest_arch"],
                  f"{name}'s manifest names processorArchitecture {architecture!r}, "
                  f"not {TARGETS[target]['manifest_arch']!r} ({target})")
    check(icon_image in program and icon_image in setup, "the program or the installer lacks the icon")

    print(f"{' + '.join(PROGRAM_FILES)} = {total} bytes (limit {SIZE_LIMIT})")
    check(total < SIZE_LIMIT, f"{', '.join(PROGRAM_FILES)} take {total} bytes, not under {SIZE_LIMIT}")


if __name__ == "__main__":
    case, build, source, objdump, target = sys.argv[1:6]
    release_helpers.load(build)
    from release_helpers import *  # noqa: F401,F403 (again: the names as loaded)
    # The tests under Wine, by what they try, each in a module of its own that takes the names
    # loaded above.
    import installer_failures
    import installer_logon
    import installer_service
    if case == "other":
        installer_logon.test_other(build, source, objdump, target, sys.argv[6])
    else:
        {"zip": test_zip, "binaries": test_binaries, "installer": installer_logon.test_installer,
         "service": installer_service.test_service_mode, "folders": installer_service.test_folders,
         "failures": installer_failures.test_failures, "held": installer_failures.test_held_service}[case](build, source, objdump, target)
    finish()
