"""What the release tests share: the build's names and numbers, checks, and a Wine prefix with
the installer's and the programs' state in it."""
import glob
import hashlib
import os
import re
import subprocess
import sys
import tempfile
import time
import unicodedata


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


# Set from the build's product.env by load(), before the tests' modules import these names.
PRODUCT = {}
VERSION = BUILD_TEXT = SERVICE_KEY = PARAMETERS_KEY = PORT_VALUE = EVENT_SOURCE_KEY = SERVICE_NAME = ""
RECORD_FOLDER = ""  # C:\ProgramData\<folder of the record>


def load(build):
    global VERSION, BUILD_TEXT, SERVICE_NAME, SERVICE_KEY, EVENT_SOURCE_KEY, PARAMETERS_KEY, PORT_VALUE, RECORD_FOLDER
    PRODUCT.update(read_product(build))
    VERSION = PRODUCT["KELVARID_VERSION_TEXT"]
    BUILD_TEXT = PRODUCT["KELVARID_BUILD_TEXT"]
    SERVICE_NAME = PRODUCT["KELVARID_SERVICE_NAME"]
    SERVICE_KEY = "HKLM\\" + PRODUCT["KELVARID_SERVICE_KEY"]
    EVENT_SOURCE_KEY = "HKLM\\" + PRODUCT["KELVARID_EVENT_SOURCE_KEY"]
    PARAMETERS_KEY = "HKLM\\" + PRODUCT["KELVARID_PARAMETERS_KEY"]
    PORT_VALUE = PRODUCT["KELVARID_PORT_VALUE"]
    RECORD_FOLDER = "C:\\ProgramData\\" + PRODUCT["KELVARID_RECORD_FOLDER"]


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


def release_file(build, target, kind):
    """The target's portable zip (ZIP) or installer (SETUP) in <build>/dist."""
    return os.path.join(build, "dist", PRODUCT[f"KELVARID_{kind}_NAME_{target}"])


ZIP, SETUP = "ZIP", "SETUP"


def exit_code(name):
    """An exit code of the installer, by its name in cmake/product.cmake: RUNNING, BAD_OPTION..."""
    return int(PRODUCT[f"KELVARID_SETUP_EXIT_{name}"])


class Wine:
    def __init__(self, build, source, target):
        self.runner = os.path.join(source, "tests", "wine", "wine-run")
        self.prefix = os.environ.setdefault("WINEPREFIX", os.path.join(build, "..", f"wine-{target}"))
        self.view = TARGETS[target]["view"]
        # No Linux menu entries or icons for the shortcuts the installer makes.
        overrides = os.environ.get("WINEDLLOVERRIDES", "mscoree,mshtml=")
        if "winemenubuilder" not in overrides:
            os.environ["WINEDLLOVERRIDES"] = overrides + ";winemenubuilder.exe=d"

    def serve(self):
        """Starts the prefix's Wine server and its own processes (services, the desktop), where
        they do not run, from a program with no pipes: started by a program of run(), they would
        hold its output open until the server ends, a few seconds after the last program, and
        every run would wait for that and then start them again."""
        if any(os.path.basename(arguments[0]).startswith("wineserver") for _, arguments in prefix_processes(self.prefix)):
            return
        subprocess.run([self.runner, "cmd", "/c", "exit"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60, env=os.environ)

    def run(self, *args, env=None, timeout=120):
        self.serve()
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


def files_of(folder):
    """Each file of the folder with a digest of what it holds."""
    if not os.path.isdir(folder):
        return {}
    return {name: hashlib.sha256(read(os.path.join(folder, name))).hexdigest() for name in sorted(os.listdir(folder))}


def state_of(wine, folder, startup_link):
    """What a refused run must leave as it was: the program's files, the uninstall entry, the
    service's entry and settings, the Startup shortcut. (A snapshot of the whole prefix would
    wait for every program in it to end, the service too.)"""
    return (files_of(folder), wine.reg_values(UNINSTALL_KEY), wine.reg_values(SERVICE_KEY),
            wine.reg_values(PARAMETERS_KEY), os.path.exists(startup_link))


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
    """A run that broke off half way may have left an installation, of either target, or its
    service: take it away by hand."""
    if wine.reg_values(SERVICE_KEY) is not None:
        print("removing a leftover service")
        wine.run("sc", "stop", SERVICE_NAME)
        wine.run("sc", "delete", SERVICE_NAME)
        wine.run("reg", "delete", EVENT_SOURCE_KEY, "/f")
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


class Holder:
    """tests/wine/instance_holder.exe holding something (the service, a file) open until ended."""

    def __init__(self, wine, build, *what):
        self.wine = wine
        self.folder = tempfile.mkdtemp(prefix="kelvarid-holder-")
        marker = os.path.join(self.folder, "held")
        program = windows_path(os.path.join(build, "tests", "wine", "instance_holder.exe"))
        wine.start(program, *what, windows_path(marker), env={})
        self.holds = wait_for(lambda: os.path.exists(marker), 15)

    def end(self):
        for pid, arguments in prefix_processes(self.wine.prefix):
            if "instance_holder.exe" in " ".join(arguments):
                os.kill(pid, 15)
        subprocess.run(["rm", "-rf", self.folder])


def shortcut_folders(wine):
    """The all-users Start-menu and Startup folders: each as a Windows and a Unix path."""
    folders = wine.reg_values(SHELL_FOLDERS_KEY) or {}
    windows = [folders.get("Common Programs", r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs"),
               folders.get("Common Startup", r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\StartUp")]
    return list(zip(windows, wine.unix_paths(*windows)))


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


def windows_exit_code(wine, command_line, timeout=180):
    """Runs a Windows command line as a deployment tool does, word for word, and returns its
    exit code in full: Wine's own exit status keeps the lowest 8 bits (1618 would read 82). A
    batch file keeps the line unquoted, as _?= wants it, and waits for the program."""
    work = tempfile.mkdtemp(prefix="kelvarid-code-")
    batch, code_file = os.path.join(work, "run.bat"), os.path.join(work, "code.txt")
    try:
        with open(batch, "w", newline="\r\n") as file:
            # A word before the code: "echo 2> file" would send the echo's handle 2 there.
            file.write(f"@{command_line}\n@echo code %ERRORLEVEL% > {windows_path(code_file)}\n")
        wine.run("cmd", "/c", windows_path(batch), timeout=timeout)
        with open(code_file) as file:
            return int(file.read().split()[1])
    finally:
        subprocess.run(["rm", "-rf", work])


def setup_code(wine, setup, *options, timeout=180):
    """The installer's exit code, in full."""
    return windows_exit_code(wine, " ".join([f'"{windows_path(setup)}"', *options]), timeout)


def uninstall_silently(wine, entry, view, what):
    """The uninstall entry's QuietUninstallString, as deployment tools run it: its exit code is
    the uninstallation's, and once it returns the program, the service and the entry are gone
    (the uninstaller's own file and the folder follow as it ends)."""
    quiet = entry.get("QuietUninstallString", "")
    if not quiet:
        return
    folder = wine.unix_paths(entry.get("InstallLocation", ""))[0]
    code = windows_exit_code(wine, quiet)
    check(code == 0, f"{what}: the silent uninstaller ended with {code}")
    check(wine.reg_values(UNINSTALL_KEY, view) is None, f"{what}: the uninstaller returned with its entry left")
    check(wine.reg_values(SERVICE_KEY) is None, f"{what}: the uninstaller returned with the service left")
    left = [name for name in PROGRAM_FILES if os.path.exists(os.path.join(folder, name))]
    check(not left, f"{what}: the uninstaller returned with {left} left")
    check(wait_for(lambda: not os.path.exists(folder), 30), f"{what}: the uninstaller left the program folder")
