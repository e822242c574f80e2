"""The installer's service mode under Wine, and the service's program in folders of its own
choosing."""
import glob
import os
import re
import subprocess
import tempfile
import time

from release_helpers import *  # noqa: F401,F403 (the shared names, loaded before this import)
from installer_logon import upgrade_while_the_program_runs


# Settings an administrator adds under the service's Parameters, as `reg add` writes them.
SETTINGS_TO_KEEP = (("HealthChecks", "REG_DWORD", "1"), ("Processes", "REG_MULTI_SZ", "logger.exe"),
                    ("FailAfter", "REG_DWORD", "300"))


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
        folder = wine.unix_paths(entry.get("InstallLocation", "C:\\"))[0]
        before = state_of(wine, folder, startup_link)
        code = wine.run(setup, "/S").returncode
        check(code == exit_code("BAD_PORT"), f"the upgrade over Port COM256 ended with {code}")
        check(state_of(wine, folder, startup_link) == before, "the refused upgrade over Port COM256 changed the prefix")
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
        holder = Holder(wine, build, "--service-mutex")
        check(holder.holds, "the test could not hold the service's name")
        # A port beyond the four, as Windows numbers a USB adapter.
        code = wine.run(setup, "/S", "/SERVICE", "/PORT=com12").returncode
        check(code == 0, f"the installer ended with {code} while someone else held the service's name")
        expect_service("COM12")
        check(service_state(wine) == "RUNNING", f"the service is {service_state(wine)} while its name is held")
        check(not program_runs(wine), "kelvarid.exe still runs beside the service")
        holder.end()
    finally:
        uninstall_silently(wine, entry, TARGETS[target]["view"], "with the service running")
    check(wine.reg_values(SERVICE_KEY) is None, "the uninstaller left the service")
    check_prefix_as_before(wine, files_before, registry_before)


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
