#!/usr/bin/env python3
"""Tests of the release files that packaging/make-release.sh makes in <build>/dist, for one
Windows target (i686 or x86_64) each.

    release_test.py zip        <build> <source> <objdump> <target>
    release_test.py binaries   <build> <source> <objdump> <target>
    release_test.py installer  <build> <source> <objdump> <target>
    release_test.py other      <build> <source> <objdump> <target> <the other target's installer>

zip:       the portable zip holds exactly the built program, its library and the read-me.
binaries:  both files are built for the target's processor, import only Windows' own DLLs, the
           library exports OPENCOM and TXD by their plain names, both carry version records (the
           program also its manifest, which names the target's architecture, and its icon, as
           does the installer, itself a program of the target's kind), and the two together stay
           under 256 KiB.
installer: under Wine, the silent installer puts the files in place and registers the
           uninstaller; the Start-menu and Startup shortcuts start the installed program, which
           pulses (with the recording stand-in library in place of serline.dll); while it runs,
           the uninstaller does not touch it, nor, while a Kelvarid that cannot be asked to
           make way runs, the installer; the silent uninstaller then leaves the machine as it
           found it.
other:     in a 64-bit prefix (x86_64), with the i686 installer: while one target's Kelvarid is
           installed, the other's installer refuses (exit code 3) and changes nothing. In a
           32-bit prefix (i686), the x86_64 installer does not install anything.
           Exit code 77 (skipped) where the other installer is not built or cannot run here.
"""
import glob
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unicodedata
import zipfile
import xml.etree.ElementTree as ElementTree


def read_product(build):
    """The names and numbers the build shares with the programs and the installer
    (cmake/product.cmake), from <build>/product/product.env."""
    values = {}
    with open(os.path.join(build, "product", "product.env"), encoding="utf-8") as file:
        for line in file:
            found = re.fullmatch(r"(\w+)='(.*)'\n?", line)
            if found:
                values[found.group(1)] = found.group(2)
    return values


# Set from the build's product.env when the test starts.
PRODUCT = {}
VERSION = SERVICE_KEY = PARAMETERS_KEY = PORT_VALUE = EVENT_SOURCE_KEY = SERVICE_NAME = ""
RECORD_FOLDER = ""  # C:\ProgramData\<folder of the record>
# What tells the targets' files apart: the PE machine, the manifest's architecture, the
# registry view and the Program Files folder of their installations.
TARGETS = {
    "i686": {"machine": 0x14C, "manifest_arch": "x86", "view": "/reg:32",
             "program_files": r"C:\\Program Files( \(x86\))?"},
    "x86_64": {"machine": 0x8664, "manifest_arch": "amd64", "view": "/reg:64",
               "program_files": r"C:\\Program Files"},
}
SKIPPED = 77
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvarid"
SHELL_FOLDERS_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"
# Windows' own libraries the two files may import; MinGW's runtime DLLs are not among them.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "shell32.dll",
               "advapi32.dll", "msvcrt.dll"}
SIZE_LIMIT = 256 * 1024
# What a release holds of the build, and what must stay under SIZE_LIMIT together.
PROGRAM_FILES = ("kelvarid.exe", "serline.dll", "kelvarid-service.exe", "kelvaridctl.exe")

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)
    return condition


def finish():
    if failures:
        print(f"{len(failures)} check(s) failed")
        sys.exit(1)
    print("PASS")
    sys.exit(0)


def read(path):
    with open(path, "rb") as file:
        return file.read()


# --- zip ------------------------------------------------------------------------------------

def release_file(build, target, kind):
    """The target's portable zip (ZIP) or installer (SETUP) in <build>/dist."""
    return os.path.join(build, "dist", PRODUCT[f"KELVARID_{kind}_NAME_{target}"])


ZIP, SETUP = "ZIP", "SETUP"


def exit_code(name):
    """An exit code of the installer, by its name in cmake/product.cmake: RUNNING, BAD_OPTION..."""
    return int(PRODUCT[f"KELVARID_SETUP_EXIT_{name}"])


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


# --- binaries -------------------------------------------------------------------------------

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


# --- installer under Wine -------------------------------------------------------------------

class Wine:
    def __init__(self, build, source, target):
        self.runner = os.path.join(source, "tests", "wine", "wine-run")
        self.prefix = os.environ.setdefault("WINEPREFIX", os.path.join(build, "..", f"wine-{target}"))
        self.view = TARGETS[target]["view"]
        # No Linux menu entries or icons for the shortcuts the installer makes.
        overrides = os.environ.get("WINEDLLOVERRIDES", "mscoree,mshtml=")
        if "winemenubuilder" not in overrides:
            os.environ["WINEDLLOVERRIDES"] = overrides + ";winemenubuilder.exe=d"

    def run(self, *args, env=None, timeout=120):
        try:
            return subprocess.run([self.runner, *args], capture_output=True, text=True, timeout=timeout,
                                  env={**os.environ, **(env or {})}, errors="replace")
        except subprocess.TimeoutExpired:
            # What still ran says where it hung: the program itself, or one that holds its output.
            print(f"{' '.join(args)} did not end within {timeout} s; the prefix's processes then:")
            for pid, arguments in prefix_processes(self.prefix):
                print(f"  {pid}: {' '.join(arguments)}")
            raise

    def run_unread(self, *args, timeout=120):
        """Runs a program that may leave one of its own running (an installer that starts
        kelvarid.exe again), which would keep pipes open: nothing of its output is read."""
        return subprocess.run([self.runner, *args], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=timeout, env=os.environ)

    def start(self, *args, env):
        """Starts a program and returns at once: it must not hold our pipes open."""
        return subprocess.run([self.runner, "start", *args], stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60,
                              env={**os.environ, **env})

    def reg_values(self, key, view=None):
        """The values of a key in a registry view (by default the one the target's installer
        uses), or None with no such key."""
        result = self.run("reg", "query", key, view or self.view)
        if result.returncode != 0:
            return None
        return dict(re.findall(r"^ {4}(\S.*?) {4}REG_\w+ {4}(.*?)\r?$", result.stdout, re.M))

    def unix_paths(self, *windows_paths):
        result = self.run("winepath", "-u", *windows_paths)
        paths = result.stdout.splitlines()
        return paths if len(paths) == len(windows_paths) else [""] * len(windows_paths)

    def settle(self):
        """Waits until every process of the prefix has ended and the registry is on disk."""
        try:
            subprocess.run(["wineserver", "-w"], timeout=30)
        except subprocess.TimeoutExpired:
            subprocess.run(["wineserver", "-k"])
            subprocess.run(["wineserver", "-w"], timeout=30)


def windows_path(unix_path):
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def check_prefix_as_before(wine, files_before, registry_before):
    """After an uninstaller: the prefix's files as they were, and no registry line of ours left."""
    files_after, registry_after = snapshot(wine)
    check(files_after == files_before,
          f"after the uninstaller, files added: {sorted(files_after - files_before)}, "
          f"files gone: {sorted(files_before - files_after)}")
    check(registry_after <= registry_before,
          f"after the uninstaller, registry entries left: {sorted(registry_after - registry_before)}")


def snapshot(wine):
    """The prefix's files outside the Windows folder and temp folders, and every registry line
    that names the program."""
    wine.settle()
    drive = os.path.join(wine.prefix, "drive_c")
    files = set()
    for folder, subfolders, names in os.walk(drive):
        relative = os.path.relpath(folder, drive)
        if relative == "windows" or os.path.basename(folder).lower() == "temp":
            subfolders[:] = []
            continue
        for name in subfolders + names:
            files.add(os.path.join(relative, name))
    registry = set()
    for hive in ("system.reg", "user.reg", "userdef.reg"):
        path = os.path.join(wine.prefix, hive)
        if os.path.exists(path):
            with open(path, encoding="utf-8", errors="replace") as file:
                key = ""
                for line in file:
                    if line.startswith("["):
                        key = line.rsplit("]", 1)[0]
                    if "kelvarid" in line.lower():
                        registry.add(f"{hive}: {key}: {line.strip() if not line.startswith('[') else ''}")
    return files, registry


def wait_for(condition, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.2)
    return condition()


def pulses_seen(log):
    if not os.path.exists(log):
        return []
    with open(log) as file:
        return [line.split(" ", 1)[1].strip() for line in file if " " in line]


def start_shortcut_and_watch_pulses(wine, link, standin_log, what, while_running=None):
    """Opens the shortcut as Explorer would and checks the program behind it pulses; then
    calls while_running, if given, before it ends the program."""
    if os.path.exists(standin_log):
        os.remove(standin_log)
    result = wine.start(link, env={"KELVARID_STANDIN_PORTS": "1", "KELVARID_STANDIN_LOG": windows_path(standin_log)})
    check(result.returncode == 0, f"{what}: start failed ({result.returncode})")
    wait_for(lambda: "TXD 0 -> 1" in pulses_seen(standin_log), 20)
    calls = pulses_seen(standin_log)
    expected = [f"OPENCOM COM{n},1200,N,8,1 -> {1 if n == 1 else 0}" for n in (1, 2, 3, 4)] + [
        "OPENCOM COM1,1200,N,8,1 -> 1", "TXD 1 -> 1", "TXD 0 -> 1"]
    check(calls[:7] == expected,
          f"{what}: the installed program, with the stand-in beside it, made the calls {calls}, "
          f"not {expected}")
    if while_running:
        while_running()
    wine.run("taskkill", "/f", "/im", "kelvarid.exe")
    check(wait_for(lambda: wine.run("taskkill", "/f", "/im", "kelvarid.exe").returncode != 0, 15),
          f"{what}: the program did not end")


def remove_leftovers(wine):
    """A run that broke off half way may have left an installation, of either target: take it
    away by hand."""
    for view in {target["view"] for target in TARGETS.values()}:
        if wine.reg_values(UNINSTALL_KEY, view) is not None:
            print("removing a leftover uninstaller entry", view)
            wine.run("reg", "delete", UNINSTALL_KEY, "/f", view)
    for folder in glob.glob(os.path.join(wine.prefix, "drive_c", "Program Files*", "Kelvarid")):
        print("removing a leftover installation at", folder)
        subprocess.run(["rm", "-rf", folder])
    (_, programs), (_, startup) = shortcut_folders(wine)
    for folder in (programs, startup):
        link = os.path.join(folder, "Kelvarid.lnk")
        if os.path.exists(link):
            print("removing a leftover shortcut", link)
            os.remove(link)
    return startup


def shortcut_folders(wine):
    """The all-users Start-menu and Startup folders: each as a Windows and a Unix path."""
    folders = wine.reg_values(SHELL_FOLDERS_KEY) or {}
    windows = [folders.get("Common Programs", r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs"),
               folders.get("Common Startup", r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\StartUp")]
    return list(zip(windows, wine.unix_paths(*windows)))


def test_installer(build, source, objdump, target):
    wine = Wine(build, source, target)
    setup = release_file(build, target, SETUP)
    standin = os.path.join(build, "tests", "wine", "standin", "serline.dll")
    work = tempfile.mkdtemp(prefix="kelvarid-installer-")
    standin_log = os.path.join(work, "standin.log")

    startup_folder = remove_leftovers(wine)
    # Something of someone else's in the Startup folder must survive the uninstaller.
    os.makedirs(startup_folder, exist_ok=True)
    foreign = os.path.join(startup_folder, "someone-else.txt")
    with open(foreign, "w") as file:
        file.write("not Kelvarid's\n")
    files_before, registry_before = snapshot(wine)

    # Below the files' floor (Wine told to be Windows 2000) it refuses and changes nothing.
    wine_version = r"HKCU\Software\Wine"
    wine.run("reg", "add", wine_version, "/v", "Version", "/d", "win2k", "/f")
    try:
        code = wine.run(setup, "/S").returncode
    finally:
        wine.run("reg", "delete", wine_version, "/v", "Version", "/f")
    check(code == exit_code("OLD_WINDOWS"), f"the installer on Windows 2000 ended with {code}")
    files_now, registry_now = snapshot(wine)
    check(files_now == files_before and registry_now == registry_before,
          f"the refusal on Windows 2000 changed the prefix: {sorted(files_now ^ files_before)} "
          f"{sorted(registry_now ^ registry_before)}")

    try:
        result = wine.run(setup, "/S")
        check(result.returncode == 0, f"the silent installer ended with {result.returncode}")

        # Registered in the programs list, where everything else is found.
        entry = wine.reg_values(UNINSTALL_KEY) or {}
        check(entry.get("DisplayName") == "Kelvarid", f"no DisplayName Kelvarid in {entry}")
        check(entry.get("DisplayVersion") == VERSION, f"no DisplayVersion {VERSION} in {entry}")
        location = entry.get("InstallLocation", "")
        program_files = TARGETS[target]["program_files"]
        check(re.fullmatch(program_files + r"\\Kelvarid", location) is not None,
              f"installed into '{location}', not {program_files}\\Kelvarid")
        folder = wine.unix_paths(location)[0] if location else ""
        for name in PROGRAM_FILES:
            installed = os.path.join(folder, name)
            check(os.path.isfile(installed) and read(installed) == read(os.path.join(build, name)),
                  f"{name} is not installed as built")
        check(sorted(os.listdir(folder)) == sorted(PROGRAM_FILES + ("uninstall.exe",))
              if os.path.isdir(folder) else False, "the program folder holds other files than the four")
        uninstall = entry.get("UninstallString", "")
        check(uninstall == f'"{location}\\uninstall.exe"', f"UninstallString is '{uninstall}'")

        links = {}
        for what, (windows, unix) in zip(("Start-menu shortcut", "Startup shortcut"), shortcut_folders(wine)):
            if check(os.path.isfile(os.path.join(unix, "Kelvarid.lnk")), f"no {what} in {windows}"):
                links[what] = windows + "\\Kelvarid.lnk"

        # The installed program with the recording stand-in in place of the real library: it
        # runs only if the shortcut leads to the installed program.
        def refused_while_running():
            # A monitoring system sees the start at log-on pulse: the installed program, by its image.
            status = wine.run(os.path.join(folder, "kelvaridctl.exe"), "status")
            check(status.returncode == 0 and status.stdout.startswith("KELVARID OK - kelvarid.exe runs"),
                  f"kelvaridctl status while kelvarid.exe ran: {status.returncode} {status.stdout!r}")
            # The uninstaller does not remove the files of a running program: it ends with 2.
            # (The installer upgrades it: upgrade_while_the_program_runs.)
            # _?= keeps the uninstaller from handing over to a copy of itself, so its exit code
            # comes back; it must be the last thing on the command line, unquoted, which only a
            # batch file passes on as it is.
            batch = os.path.join(work, "uninstall-in-place.bat")
            with open(batch, "w", newline="\r\n") as file:
                file.write(f"{uninstall} /S _?={location}\nexit /b %ERRORLEVEL%\n")
            code = wine.run("cmd", "/c", windows_path(batch)).returncode
            check(code == exit_code("RUNNING"), f"the silent uninstaller ended with {code}, not {exit_code('RUNNING')}, while Kelvarid ran")
            check(wine.reg_values(UNINSTALL_KEY) is not None and os.path.isfile(os.path.join(folder, "kelvarid.exe")),
                  "the uninstaller removed files while Kelvarid ran")

        if os.path.isdir(folder):
            subprocess.run(["cp", standin, os.path.join(folder, "serline.dll")], check=True)
            for number, (what, link) in enumerate(links.items()):
                start_shortcut_and_watch_pulses(wine, link, standin_log, what,
                                                refused_while_running if number == 0 else None)

        # Kelvarid in another session, or under another account, has no window here: the
        # installer and the uninstaller still find it by its machine-wide mutex.
        holder = os.path.join(build, "tests", "wine", "instance_holder.exe")
        marker = os.path.join(work, "holding")
        if uninstall and check(os.path.isfile(holder), f"no {holder}"):
            wine.start(windows_path(holder), windows_path(marker), env={})
            if check(wait_for(lambda: os.path.exists(marker), 20), "the mutex holder did not start"):
                code = wine.run(setup, "/S").returncode
                check(code == exit_code("RUNNING"), f"the silent installer ended with {code} while Kelvarid ran unseen")
                code = wine.run("cmd", "/c", windows_path(os.path.join(work, "uninstall-in-place.bat"))).returncode
                check(code == exit_code("RUNNING"), f"the silent uninstaller ended with {code} while Kelvarid ran unseen")
            wine.run("taskkill", "/f", "/im", "instance_holder.exe")
            check(wait_for(lambda: wine.run("taskkill", "/f", "/im", "instance_holder.exe").returncode != 0, 15),
                  "the mutex holder did not end")

        if uninstall:
            result = wine.run(uninstall.strip('"'), "/S")
            check(result.returncode == 0, f"the silent uninstaller ended with {result.returncode}")
            # The uninstaller works on from a copy of itself in the temp folder.
            check(wait_for(lambda: not os.path.exists(folder) and wine.reg_values(UNINSTALL_KEY) is None, 30),
                  "the uninstaller left its key or the program folder")
        check_prefix_as_before(wine, files_before, registry_before)
    finally:
        wine.run("taskkill", "/f", "/im", "kelvarid.exe")
        if os.path.exists(foreign):
            os.remove(foreign)
        subprocess.run(["rm", "-rf", work])


# --- the installer's service mode under Wine ------------------------------------------------



def service_state(wine):
    """RUNNING, STOPPED, ... as sc reports the service Kelvarid; None with no such service."""
    result = wine.run("sc", "query", SERVICE_NAME)
    found = re.search(r"STATE\s*:\s*\d+\s+(\w+)", result.stdout)
    return found.group(1) if found else None


def traced_prefix(wine, trace):
    """Starts the prefix anew as a machine boots, under strace, with a persistent server: the
    programs it starts from now on, the service too, write their break ioctls to `trace`.
    --seccomp-bpf stops them only at the calls traced: Wine starts about twice as fast."""
    subprocess.run(["wineserver", "-k"])
    subprocess.run(["wineserver", "-w"], timeout=30)
    return subprocess.Popen(["strace", "-f", "--seccomp-bpf", "-qq", "-y", "-e", "trace=ioctl", "-o", trace, "sh", "-c",
                             f"'{wine.runner}' --server -p && '{wine.runner}' cmd /c exit"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def end_tracer(tracer):
    """Waits for strace to end with what it traced; one that lingers is only cleanup to kill."""
    try:
        tracer.wait(30)
    except subprocess.TimeoutExpired:
        print("strace did not end within 30 s of its programs: killed")
        tracer.kill()
        tracer.wait(10)


def breaks_on(trace, device):
    """How many times the line of `device` was raised, as far as the trace has it."""
    if not os.path.exists(trace):
        return 0
    with open(trace, errors="replace") as file:
        return file.read().count(f"<{device}>, TIOCSBRK")


def ascii_folded(text):
    """What reg.exe prints of a name under Wine in a UTF-8 locale: Ž as Z."""
    return unicodedata.normalize("NFKD", text).encode("ascii", "ignore").decode().lower()


def stand_in_port(ports, number):
    """A socat pseudo-terminal at <ports>/com<number>, where the prefix maps COM<number>; returns
    the process and the terminal's device."""
    link = os.path.join(ports, f"com{number}")
    os.makedirs(ports, exist_ok=True)
    for path in (link, link + "-peer"):
        if os.path.lexists(path):
            os.remove(path)
    socat = subprocess.Popen(["socat", f"pty,raw,echo=0,link={link}", f"pty,raw,echo=0,link={link}-peer"],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for(lambda: os.path.exists(link), 5)
    return socat, os.path.realpath(link)


# How Wine traces a file opened and its rights set through the handle (WINEDEBUG=trace+file,
# trace+ntdll): NtCreateFile with the object's name, then the handle CreateFileW returns on the
# same thread, then NtSetSecurityObject with that handle and what is set.
OPENED = re.compile(r'^(\w+):trace:file:NtCreateFile .*? name=L"\\\\\?\?\\\\(.*?)" ')
RETURNED = re.compile(r'^(\w+):trace:file:CreateFileW returning 0*([0-9a-f]+)')
SECURITY_SET = re.compile(r'^(\w+):trace:ntdll:NtSetSecurityObject 0x([0-9a-f]+) 0x([0-9a-f]+) ')
OWNER, DACL = 0x1, 0x4
PROTECTED_DACL, UNPROTECTED_DACL = 0x80000000, 0x20000000


def security_calls(trace):
    """(path, what is set) of each call, in order."""
    opening, handles, calls = {}, {}, []
    for line in trace.splitlines():
        if match := OPENED.match(line):
            opening[match[1]] = match[2].replace("\\\\", "\\").lower()
        elif match := RETURNED.match(line):
            handles[match[1], match[2]] = opening.get(match[1])
        elif match := SECURITY_SET.match(line):
            calls.append((handles.get((match[1], match[2])), int(match[3], 16)))
    return calls


def check_folder_rights(calls, folder, files, what):
    """Wine keeps no rights, so the calls show them: the folder, opened itself, gets its owner and
    an access list that inherits nothing from above in one call, and each file in it its owner
    and a list that only inherits from the folder. What the lists hold is checked where they
    are made."""
    def sets(path, expected):
        return [call[1:] for call in calls if call[0] == path.lower()] == expected
    check(sets(folder, [(OWNER | DACL | PROTECTED_DACL,)]),
          f"{what}: {folder} did not get its owner and its own access list: {calls}")
    for name in files:
        check(sets(folder + "\\" + name, [(OWNER | DACL | UNPROTECTED_DACL,)]),
              f"{what}: {name} in {folder} keeps rights of its own: {calls}")


def test_service_folders(wine, setup, files_before, registry_before, ports):
    """Install to a chosen folder, upgrade without /D, upgrade to another folder, uninstall:
    one copy at a time, the service running from it, nothing left at the end."""
    chosen = r"C:\Program Files\Kelvarid Test Ž"
    other = r"C:\KelvaridQ"
    chosen_unix, other_unix, record_unix = wine.unix_paths(chosen, other, RECORD_FOLDER)
    socat, com2 = stand_in_port(ports, 2)
    trace = os.path.join(tempfile.mkdtemp(prefix="kelvarid-folders-"), "trace")
    tracer = None
    entry = {}

    def expect_one_copy(folder, folder_unix, gone, what):
        nonlocal entry
        entry = wine.reg_values(UNINSTALL_KEY) or {}
        check(ascii_folded(entry.get("InstallLocation", "")) == ascii_folded(folder),
              f"{what}: installed into '{entry.get('InstallLocation')}', not {folder}")
        check(os.path.isdir(folder_unix) and sorted(os.listdir(folder_unix)) == sorted(PROGRAM_FILES + ("uninstall.exe",)),
              f"{what}: {folder} does not hold the four files")
        # Never the default folder, which no run here names.
        for old in gone + glob.glob(os.path.join(wine.prefix, "drive_c", "Program Files*", "Kelvarid")):
            check(not os.path.exists(old), f"{what}: {old} is still there")
        service = wine.reg_values(SERVICE_KEY) or {}
        check(ascii_folded(folder + "\\kelvarid-service.exe") in ascii_folded(service.get("ImagePath", "")),
              f"{what}: the service runs {service.get('ImagePath')}, not the copy in {folder}")
        check(service_state(wine) == "RUNNING", f"{what}: the service is {service_state(wine)}")

    try:
        # Something a user put in the record folder's place first (any user may create it in
        # C:\ProgramData): here a file, which goes aside for a folder of the service's own.
        with open(record_unix, "w") as planted:
            planted.write("made by a user\n")
        # Wine passes an argument with spaces in quotes: "/D=C:\Program Files\Kelvarid Test Ž".
        # The port in small letters, as the service's own Port value may be written.
        code = wine.run(setup, "/S", "/SERVICE", "/PORT=com2", f"/D={chosen}").returncode
        check(code == 0, f"the installer with /PORT=com2 and a quoted /D ended with {code}")
        check(os.path.isfile(record_unix + ".moved-1") and os.path.isdir(record_unix),
              f"the file in the place of {RECORD_FOLDER} was not moved aside for the record's folder")
        found = (wine.reg_values(PARAMETERS_KEY) or {}).get(PORT_VALUE)
        check(found == "COM2", f"/PORT=com2 wrote the Port value {found!r}, not 'COM2'")
        expect_one_copy(chosen, chosen_unix, [], "a quoted /D")

        # An upgrade as a deployment tool runs it: no /D, so into the installed folder. The
        # service it starts again is traced: its first rise on COM2 shows that it pulses.
        # The deadlines are for a loaded machine, where a traced Wine starts slowly.
        tracer = traced_prefix(wine, trace)
        booted = time.monotonic()
        check(wait_for(lambda: breaks_on(trace, com2) >= 1, 90), "the service did not pulse when the prefix started")
        print(f"the service's first rise {time.monotonic() - booted:.1f} s after the prefix started")
        raised_before = breaks_on(trace, com2)
        code = wine.run(setup, "/S", "/SERVICE", "/PORT=COM2").returncode
        check(code == 0, f"the upgrade without /D ended with {code}")
        expect_one_copy(chosen, chosen_unix, [], "an upgrade without /D")
        check(wait_for(lambda: breaks_on(trace, com2) > raised_before, 60),
              "after the upgrade the service raised no line on COM2")

        # An upgrade into another folder: the old one goes. C:\KelvaridQ would give every user
        # the right to change the service's program: it gets the rights of Program Files before
        # anything is written there.
        result = wine.run(setup, "/S", "/SERVICE", "/PORT=COM2", f"/D={other}",
                          env={"WINEDEBUG": "trace+file,trace+ntdll,fixme+service"})
        check(result.returncode == 0, f"the upgrade to {other} ended with {result.returncode}")
        expect_one_copy(other, other_unix, [chosen_unix], "an upgrade to another folder")
        calls = security_calls(result.stderr)
        check_folder_rights(calls, other, (), "the service outside Program Files")
        check_folder_rights(calls, RECORD_FOLDER, (), "the record's folder")
        # Wine only notes the call (a fixme): the service's own access list, DACL_SECURITY_INFORMATION.
        check(re.search(r"fixme:service:SetServiceObjectSecurity \S+ 4 ", result.stderr),
              "the installer did not set the service's own access list (only administrators may drill)")
    finally:
        uninstall_silently(wine, entry, wine.view, "after the folder changes")
        socat.terminate()
        socat.wait(10)
        if tracer:
            subprocess.run(["wineserver", "-k"])
            end_tracer(tracer)
        subprocess.run(["rm", "-rf", os.path.dirname(trace)])
    check(not os.path.exists(chosen_unix) and not os.path.exists(other_unix), "a program folder is left")
    subprocess.run(["rm", "-f", record_unix + ".moved-1"])
    check(wine.reg_values(SERVICE_KEY) is None, "the uninstaller left the service")
    check_prefix_as_before(wine, files_before, registry_before)


# Settings an administrator adds under the service's Parameters, as `reg add` writes them.
SETTINGS_TO_KEEP = (("HealthChecks", "REG_DWORD", "1"), ("Processes", "REG_MULTI_SZ", "logger.exe"),
                    ("FailAfter", "REG_DWORD", "300"))


def prefix_processes(prefix):
    """(pid, arguments) of each Linux process of a Wine prefix, known by the WINEPREFIX it was
    started with: the tests of other prefixes run beside this one."""
    ours = os.path.realpath(prefix)
    for folder in glob.glob("/proc/[0-9]*"):
        try:
            with open(os.path.join(folder, "environ"), "rb") as file:
                environment = file.read().split(b"\0")
            with open(os.path.join(folder, "cmdline"), "rb") as file:
                arguments = [part.decode(errors="replace") for part in file.read().split(b"\0")]
        except OSError:
            continue
        theirs = [entry[len(b"WINEPREFIX="):] for entry in environment if entry.startswith(b"WINEPREFIX=")]
        if theirs and os.path.realpath(theirs[0].decode(errors="replace")) == ours:
            yield int(os.path.basename(folder)), arguments


def program_runs(wine):
    """Whether a kelvarid.exe runs in the prefix: Wine shows a program's Windows path as its command."""
    return any(re.fullmatch(r"[A-Za-z]:\\.*\\kelvarid\.exe", arguments[0], re.I)
               for _, arguments in prefix_processes(wine.prefix))


def rises_by_process(trace, device):
    """[(pid, time)] of every rise of `device`'s line, as strace -f -ttt wrote them."""
    if not os.path.exists(trace):
        return []
    with open(trace, errors="replace") as file:
        return [(int(pid), float(time)) for pid, time in
                re.findall(rf"^(\d+) +([\d.]+) ioctl\(\d+<{re.escape(device)}>, TIOCSBRK", file.read(), re.M)]


def service_process_runs(wine):
    return any(arguments[0].lower().endswith("kelvarid-service.exe") for _, arguments in prefix_processes(wine.prefix))


def upgrade_while_the_program_runs(wine, setup, entry):
    """The log-on start upgraded while kelvarid.exe pulses on COM1: the old program makes way and
    the new one starts in its place, so that no rise comes more than 65 s after the one before.
    The new one goes on running, traced: returns strace, to be ended once the program has."""
    ports = os.path.join(wine.prefix, "ports")
    socat, com1 = stand_in_port(ports, 1)
    trace = os.path.join(tempfile.mkdtemp(prefix="kelvarid-upgrade-"), "trace")
    program = entry.get("InstallLocation", "") + "\\kelvarid.exe"
    tracer = subprocess.Popen(["strace", "-f", "--seccomp-bpf", "-qq", "-y", "-ttt", "-e", "trace=ioctl", "-o", trace, wine.runner,
                               program], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        check(wait_for(lambda: rises_by_process(trace, com1), 60), "the running program did not pulse on COM1")
        code = wine.run(setup, "/S").returncode
        check(code == 0, f"the upgrade while kelvarid.exe ran ended with {code}")
        first_pid = rises_by_process(trace, com1)[0][0]
        new_rises = lambda: [rise for rise in rises_by_process(trace, com1) if rise[0] != first_pid]
        check(wait_for(new_rises, 65), "no rise on COM1 from a new program after the upgrade")
        check(program_runs(wine), "no kelvarid.exe runs after the upgrade")
        rises = rises_by_process(trace, com1)
        gaps = [later[1] - earlier[1] for earlier, later in zip(rises, rises[1:])]
        check(gaps and max(gaps) < 65, f"the rises around the upgrade came {gaps} s apart")
        print(f"upgrade while running: rises {[round(g, 1) for g in gaps]} s apart")
        return tracer
    except BaseException:
        tracer.kill()
        raise
    finally:
        socat.terminate()
        socat.wait(10)
        subprocess.run(["rm", "-rf", os.path.dirname(trace)])


def test_service_mode(build, source, objdump, target):
    service_mode(Wine(build, source, target), build, target)


def test_folders(build, source, objdump, target):
    """The service's program in folders of its own choosing, in a prefix of its own."""
    wine = Wine(build, source, target)
    remove_leftovers(wine)
    files_before, registry_before = snapshot(wine)
    test_service_folders(wine, release_file(build, target, SETUP), files_before, registry_before,
                         os.path.join(wine.prefix, "ports"))


def service_mode(wine, build, target):
    setup = release_file(build, target, SETUP)
    startup_folder = remove_leftovers(wine)
    if wine.reg_values(SERVICE_KEY) is not None:
        print("removing a leftover service")
        wine.run("sc", "stop", SERVICE_NAME)
        wine.run("sc", "delete", SERVICE_NAME)
        wine.run("reg", "delete", EVENT_SOURCE_KEY, "/f")
    startup_link = os.path.join(startup_folder, "Kelvarid.lnk")
    files_before, registry_before = snapshot(wine)
    entry = {}

    record_folder = wine.unix_paths(RECORD_FOLDER)[0]
    record = os.path.join(record_folder, PRODUCT["KELVARID_RECORD_FILE"])

    def record_says(text):
        try:
            with open(record, encoding="utf-16-le") as file:
                return text in file.read()
        except OSError:
            return False

    def expect_service(port):
        service = wine.reg_values(SERVICE_KEY) or {}
        check(service.get("Start") == "0x2", f"the service does not start at boot: {service}")
        check(service.get("ObjectName") == r"NT AUTHORITY\LocalService", f"the service's account: {service}")
        check("kelvarid-service.exe" in service.get("ImagePath", ""), f"the service's program: {service}")
        found = (wine.reg_values(PARAMETERS_KEY) or {}).get(PORT_VALUE)
        check(found == port, f"the service's Port is {found!r}, not {port}")
        source_entry = wine.reg_values(EVENT_SOURCE_KEY) or {}
        check(source_entry.get("EventMessageFile", "").endswith(r"\kelvarid-service.exe"),
              f"no event source for the Application log: {source_entry}")
        check(not os.path.exists(startup_link), "a Startup shortcut beside the service")
        state = service_state(wine)
        check(state == "RUNNING", f"the installed service is {state}, not RUNNING")
        # The service keeps its record in the folder the installer made: the run goes on.
        check(wait_for(lambda: record_says("EndedWithStop=0"), 20), f"the service wrote no record in {record_folder}")

    try:
        # Options it does not understand stop it with 5 before anything is changed.
        for options in (("/SERVICE", "/PORT=COM256"), ("/SERVICE", "/PORT=COM07"), ("/PORT=COM2",), ("/SERVICE", "/PORT="),
                        ("/SERVICE", "/PORT=COM2X"), ("/SERVICEX",), ("/SERVICE", "/LOGON"),
                        ("/LOGON", "/PORT=COM2"), ("/LOGONX",)):
            code = wine.run(setup, "/S", *options).returncode
            check(code == exit_code("BAD_OPTION"), f"the installer with {' '.join(options)} ended with {code}")
        files_now, registry_now = snapshot(wine)
        check(files_now == files_before and registry_now == registry_before,
              f"a refused run changed the prefix: {sorted(files_now ^ files_before)} {sorted(registry_now ^ registry_before)}")

        code = wine.run(setup, "/S", "/SERVICE", "/PORT=COM2").returncode
        check(code == 0, f"the silent installer with /SERVICE /PORT=COM2 ended with {code}")
        entry = wine.reg_values(UNINSTALL_KEY) or {}
        expect_service("COM2")

        # An upgrade as deployment tools run it keeps the way, the port and every setting.
        for name, kind, data in SETTINGS_TO_KEEP:
            wine.run("reg", "add", PARAMETERS_KEY, "/v", name, "/t", kind, "/d", data, "/f")
        settings = wine.reg_values(PARAMETERS_KEY) or {}
        check(all(name in settings for name, _, _ in SETTINGS_TO_KEEP), f"the settings were not added: {settings}")
        for options in (("/S",), ("/S", "/SERVICE")):
            code = wine.run(setup, *options).returncode
            check(code == 0, f"the upgrade with {' '.join(options)} ended with {code}")
            expect_service("COM2")
            kept = wine.reg_values(PARAMETERS_KEY) or {}
            check(kept == settings, f"the upgrade with {' '.join(options)} left the settings {kept}, not {settings}")
            check(not os.path.exists(startup_link), "a Startup shortcut beside the service")

        # The installed Port read as the service reads it (blanks around it, any case) and written
        # back as Windows names it; one that names no port is refused with its own code, before
        # anything changes, and never turned into another port.
        wine.run("reg", "add", PARAMETERS_KEY, "/v", PORT_VALUE, "/d", " com3\t", "/f")
        code = wine.run(setup, "/S").returncode
        check(code == 0, f"the upgrade over Port ' com3<tab>' ended with {code}")
        expect_service("COM3")
        wine.run("reg", "add", PARAMETERS_KEY, "/v", PORT_VALUE, "/d", "COM256", "/f")
        files_now, registry_now = snapshot(wine)
        code = wine.run(setup, "/S").returncode
        check(code == exit_code("BAD_PORT"), f"the upgrade over Port COM256 ended with {code}")
        check(snapshot(wine) == (files_now, registry_now), "the refused upgrade over Port COM256 changed the prefix")
        check(service_state(wine) == "RUNNING", "the refused upgrade stopped the service")

        # /LOGON: started at log-on, the service is gone with everything of its own.
        code = wine.run(setup, "/S", "/LOGON").returncode
        check(code == 0, f"the silent installer with /LOGON over the service ended with {code}")
        check(wine.reg_values(SERVICE_KEY) is None and service_state(wine) is None, "the service stayed")
        check(wine.reg_values(EVENT_SOURCE_KEY) is None, "the service's event source stayed")
        check(not os.path.exists(record_folder), "the record of the service's runs stayed")
        check(os.path.exists(startup_link), "no Startup shortcut after the switch to log-on")

        tracer = upgrade_while_the_program_runs(wine, setup, entry)

        # And back: the Startup shortcut goes, the service comes, on COM1: the log-on start had
        # no port. The program, running, ends for it.
        code = wine.run(setup, "/S", "/SERVICE").returncode
        check(code == 0, f"the silent installer with /SERVICE ended with {code}")
        expect_service("COM1")
        check(not program_runs(wine), "kelvarid.exe still runs beside the service")
        end_tracer(tracer)

        # The service's name made by someone else first, which any account can do, keeps the
        # service from nothing: the switch to it from the log-on start ends with 0 and it runs.
        code = wine.run(setup, "/S", "/LOGON").returncode
        check(code == 0, f"the silent installer with /LOGON ended with {code}")
        # The service's process, stopped, may still hold its name for a moment.
        check(wait_for(lambda: not service_process_runs(wine), 15), "the stopped service's process did not end")
        holder_folder = tempfile.mkdtemp(prefix="kelvarid-holder-")
        marker = os.path.join(holder_folder, "held")
        holder = wine.start(windows_path(os.path.join(build, "tests", "wine", "instance_holder.exe")),
                            "--service-mutex", windows_path(marker), env={})
        check(holder.returncode == 0 and wait_for(lambda: os.path.exists(marker), 15),
              "the test could not hold the service's name")
        # A port beyond the four, as Windows numbers a USB adapter.
        code = wine.run(setup, "/S", "/SERVICE", "/PORT=com12").returncode
        check(code == 0, f"the installer ended with {code} while someone else held the service's name")
        expect_service("COM12")
        check(service_state(wine) == "RUNNING", f"the service is {service_state(wine)} while its name is held")
        check(not program_runs(wine), "kelvarid.exe still runs beside the service")
        for pid, arguments in prefix_processes(wine.prefix):
            if "instance_holder.exe" in " ".join(arguments):
                os.kill(pid, signal.SIGTERM)
        subprocess.run(["rm", "-rf", holder_folder])
    finally:
        uninstall_silently(wine, entry, TARGETS[target]["view"], "with the service running")
    check(wine.reg_values(SERVICE_KEY) is None, "the uninstaller left the service")
    check_prefix_as_before(wine, files_before, registry_before)


# --- the two targets' installers in one prefix ----------------------------------------------

def skip(reason):
    print("SKIPPED:", reason)
    sys.exit(SKIPPED)


def install_silently(wine, setup, view, what):
    """Runs an installer with /S; returns its uninstall entry in the view it registers in."""
    result = wine.run(setup, "/S")
    check(result.returncode == 0, f"{what}: the silent installer ended with {result.returncode}")
    entry = wine.reg_values(UNINSTALL_KEY, view)
    check(entry is not None and entry.get("UninstallString"), f"{what}: no uninstall entry in view {view}")
    return entry or {}


def uninstall_silently(wine, entry, view, what):
    uninstall = entry.get("UninstallString", "").strip('"')
    if not uninstall:
        return
    result = wine.run(uninstall, "/S")
    check(result.returncode == 0, f"{what}: the silent uninstaller ended with {result.returncode}")
    folder = wine.unix_paths(entry.get("InstallLocation", ""))[0]
    check(wait_for(lambda: not os.path.exists(folder) and wine.reg_values(UNINSTALL_KEY, view) is None, 30),
          f"{what}: the uninstaller left its key or the program folder")


def test_other(build, source, objdump, target, other_setup):
    if not os.path.isfile(other_setup):
        skip(f"{other_setup} is not built: scripts/test builds it where the machine runs both targets")
    wine = Wine(build, source, target)
    remove_leftovers(wine)
    files_before, registry_before = snapshot(wine)

    def unchanged_since(files, registry, what):
        files_now, registry_now = snapshot(wine)
        check(files_now == files and registry_now == registry,
              f"{what} changed the prefix: files added {sorted(files_now - files)}, gone {sorted(files - files_now)}; "
              f"registry added {sorted(registry_now - registry)}, gone {sorted(registry - registry_now)}")

    try:
        if target == "i686":
            # A 32-bit prefix stands for 32-bit Windows, where the 64-bit installer has no place.
            result = wine.run(other_setup, "/S")
            check(result.returncode != 0, "the x86_64 installer ended with 0 in a 32-bit prefix")
            unchanged_since(files_before, registry_before, "the x86_64 installer in a 32-bit prefix")
            return
        if subprocess.run(["/usr/lib/wine/wine", "--version"], capture_output=True).returncode != 0:
            skip("32-bit Wine does not run here, so the i686 installer cannot")
        own = (release_file(build, target, SETUP), TARGETS[target]["view"], target)
        other = (other_setup, TARGETS["i686"]["view"], "i686")
        for (first, first_view, first_name), (second, _, second_name) in ((own, other), (other, own)):
            entry = install_silently(wine, first, first_view, f"{first_name} first")
            files, registry = snapshot(wine)
            code = wine.run(second, "/S").returncode
            check(code == exit_code("OTHER_KIND"), f"the {second_name} installer ended with {code} while the {first_name} "
                             "Kelvarid was installed")
            unchanged_since(files, registry, f"the {second_name} installer, with the {first_name} one installed,")
            uninstall_silently(wine, entry, first_view, first_name)
        unchanged_since(files_before, registry_before, "installing and uninstalling both")
    finally:
        remove_leftovers(wine)


if __name__ == "__main__":
    case, build, source, objdump, target = sys.argv[1:6]
    PRODUCT.update(read_product(build))
    VERSION = PRODUCT["KELVARID_VERSION_TEXT"]
    SERVICE_NAME = PRODUCT["KELVARID_SERVICE_NAME"]
    SERVICE_KEY = "HKLM\\" + PRODUCT["KELVARID_SERVICE_KEY"]
    EVENT_SOURCE_KEY = "HKLM\\" + PRODUCT["KELVARID_EVENT_SOURCE_KEY"]
    PARAMETERS_KEY = "HKLM\\" + PRODUCT["KELVARID_PARAMETERS_KEY"]
    PORT_VALUE = PRODUCT["KELVARID_PORT_VALUE"]
    RECORD_FOLDER = "C:\\ProgramData\\" + PRODUCT["KELVARID_RECORD_FOLDER"]
    if case == "other":
        test_other(build, source, objdump, target, sys.argv[6])
    else:
        {"zip": test_zip, "binaries": test_binaries, "installer": test_installer,
         "service": test_service_mode, "folders": test_folders}[case](build, source, objdump, target)
    finish()
