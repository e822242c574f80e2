"""The installer's start at log-on under Wine, and the two targets' installers in one prefix."""
import os
import re
import subprocess
import tempfile

from release_helpers import *  # noqa: F401,F403 (the shared names, loaded before this import)


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
        # The build's own number, which a detection rule tells builds apart by.
        check(entry.get("DisplayVersion") == BUILD_TEXT, f"no DisplayVersion {BUILD_TEXT} in {entry}")
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
        quiet = entry.get("QuietUninstallString", "")
        check(quiet == f'{uninstall} /S _?={location}', f"QuietUninstallString is '{quiet}'")

        links = {}
        for what, (windows, unix) in zip(("Start-menu shortcut", "Startup shortcut"), shortcut_folders(wine)):
            if check(os.path.isfile(os.path.join(unix, "Kelvarid.lnk")), f"no {what} in {windows}"):
                links[what] = windows + "\\Kelvarid.lnk"

        # The installed program with the recording stand-in in place of the real library: it
        # runs only if the shortcut leads to the installed program.
        def status_while_running():
            # A monitoring system sees the start at log-on pulse: the installed program, by its image.
            status = wine.run(os.path.join(folder, "kelvaridctl.exe"), "status")
            check(status.returncode == 0 and status.stdout.startswith("KELVARID OK - kelvarid.exe runs"),
                  f"kelvaridctl status while kelvarid.exe ran: {status.returncode} {status.stdout!r}")

        if os.path.isdir(folder):
            subprocess.run(["cp", standin, os.path.join(folder, "serline.dll")], check=True)
            for number, (what, link) in enumerate(links.items()):
                start_shortcut_and_watch_pulses(wine, link, standin_log, what,
                                                status_while_running if number == 0 else None)

        # Kelvarid in another session, or under another account, has no window here: the
        # installer and the uninstaller still find it by its machine-wide mutex.
        holder = os.path.join(build, "tests", "wine", "instance_holder.exe")
        marker = os.path.join(work, "holding")
        if uninstall and check(os.path.isfile(holder), f"no {holder}"):
            wine.start(windows_path(holder), windows_path(marker), env={})
            if check(wait_for(lambda: os.path.exists(marker), 20), "the mutex holder did not start"):
                code = wine.run(setup, "/S").returncode
                check(code == exit_code("RUNNING"), f"the silent installer ended with {code} while Kelvarid ran unseen")
                code = windows_exit_code(wine, quiet)
                check(code == exit_code("RUNNING"), f"the silent uninstaller ended with {code} while Kelvarid ran unseen")
                check(os.path.isfile(os.path.join(folder, "kelvarid.exe")), "the uninstaller removed files while Kelvarid ran")
            wine.run("taskkill", "/f", "/im", "instance_holder.exe")
            check(wait_for(lambda: wine.run("taskkill", "/f", "/im", "instance_holder.exe").returncode != 0, 15),
                  "the mutex holder did not end")

        # A daytime uninstallation of a fleet: the running program makes way for the uninstaller,
        # which returns once all is gone.
        if quiet and links:
            if os.path.exists(standin_log):
                os.remove(standin_log)
            wine.start(next(iter(links.values())), env={"KELVARID_STANDIN_PORTS": "1",
                                                       "KELVARID_STANDIN_LOG": windows_path(standin_log)})
            check(wait_for(lambda: "TXD 0 -> 1" in pulses_seen(standin_log), 20),
                  "the program did not pulse again from its shortcut")
            uninstall_silently(wine, entry, TARGETS[target]["view"], "while the program ran")
            check(wait_for(lambda: not program_runs(wine), 10), "the program still runs after the uninstaller")
        check_prefix_as_before(wine, files_before, registry_before)
    finally:
        wine.run("taskkill", "/f", "/im", "kelvarid.exe")
        if os.path.exists(foreign):
            os.remove(foreign)
        subprocess.run(["rm", "-rf", work])


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
