"""The installer off the happy path, under Wine, over an installed service: what a deployment
tool that reads only exit codes must be able to trust. A file held open, two installers at
once, a service an administrator disabled, another program holding the service while it moves
and while it is being deleted, an older build over a newer one; each run's log."""
import os
import subprocess

from release_helpers import *  # noqa: F401,F403 (the shared names, loaded before this import)

LOG = r"C:\windows\Kelvarid-setup.log"
LOCK = r"C:\windows\Kelvarid-setup.lock"


def log_text(wine):
    try:
        with open(wine.unix_paths(LOG)[0], encoding="utf-16") as file:
            return file.read()
    except OSError:
        return ""


class InstalledService:
    """The service installed on COM2 in a clean prefix for a test, and uninstalled after it by
    the quiet uninstall string, whatever the test left."""

    def __init__(self, build, source, target):
        self.wine = Wine(build, source, target)
        self.view = TARGETS[target]["view"]
        self.setup = release_file(build, target, SETUP)
        self.startup_link = os.path.join(remove_leftovers(self.wine), "Kelvarid.lnk")
        code = setup_code(self.wine, self.setup, "/S", "/SERVICE", "/PORT=COM2")
        check(code == 0, f"the installation of the service ended with {code}")
        self.entry = self.wine.reg_values(UNINSTALL_KEY) or {}
        self.folder = self.wine.unix_paths(self.entry.get("InstallLocation", "C:\\"))[0]

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        uninstall_silently(self.wine, self.entry, self.view, "after the test")
        remove_leftovers(self.wine)


def test_failures(build, source, objdump, target):
    with InstalledService(build, source, target) as installed:
        wine, setup, folder, entry, startup_link = (installed.wine, installed.setup, installed.folder, installed.entry,
                                                    installed.startup_link)
        files_before = files_of(folder)

        # A file of the program held open by another program, sharing it with nobody (a scanner,
        # a backup): nothing is replaced, the service runs again as it was, and the code says so.
        holder = Holder(wine, build, "--open-file", entry.get("InstallLocation", "") + r"\serline.dll")
        try:
            check(holder.holds, "the test could not hold serline.dll open")
            code = setup_code(wine, setup, "/S")
        finally:
            holder.end()
        check(code == exit_code("ROLLED_BACK"), f"the upgrade with serline.dll held ended with {code}")
        check(files_of(folder) == files_before, "the failed upgrade left other files than the installed ones")
        check(service_state(wine) == "RUNNING", f"after the failed upgrade the service is {service_state(wine)}")
        log = log_text(wine)
        check("serline.dll is held open" in log and "state at the end: the service Kelvarid runs, on COM2" in log
              and log.rstrip().endswith(f"exit code {exit_code('ROLLED_BACK')}"),
              f"the log does not tell the failed upgrade: {log[-600:]!r}")

        # Two installers at once: the second ends at once with the code deployment tools know.
        first = subprocess.Popen([wine.runner, setup, "/S"], stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        try:
            check(wait_for(lambda: os.path.exists(wine.unix_paths(LOCK)[0]), 20), "the first installer took no lock")
            code = setup_code(wine, setup, "/S")
            check(code == exit_code("ANOTHER_SETUP"), f"the second installer ended with {code}")
        finally:
            check(first.wait(120) == 0, f"the first installer ended with {first.returncode}")
        check(service_state(wine) == "RUNNING" and not os.path.exists(startup_link),
              "two installers at once left something beside the running service")

        # An older build over a newer one only when asked for.
        wine.run("reg", "add", UNINSTALL_KEY, "/v", "Build", "/t", "REG_DWORD", "/d", "65000", "/f")
        before = state_of(wine, folder, startup_link)
        code = setup_code(wine, setup, "/S")
        check(code == exit_code("DOWNGRADE") and state_of(wine, folder, startup_link) == before,
              f"the downgrade ended with {code}")
        code = setup_code(wine, setup, "/S", "/DOWNGRADE")
        check(code == 0, f"the downgrade with /DOWNGRADE ended with {code}")

        # A service an administrator disabled stays disabled and stopped; no other pulser comes.
        wine.run("sc", "stop", SERVICE_NAME)
        check(wait_for(lambda: service_state(wine) == "STOPPED", 20), "the service did not stop")
        helper = os.path.join(build, "tests", "wine", "instance_holder.exe")
        check(wine.run(helper, "--service-start", "4").returncode == 0, "the test could not disable the service")
        code = setup_code(wine, setup, "/S")
        check(code == 0, f"the upgrade of the disabled service ended with {code}")
        check(service_state(wine) == "STOPPED" and (wine.reg_values(SERVICE_KEY) or {}).get("Start") == "0x4",
              f"the disabled service is {service_state(wine)}, {wine.reg_values(SERVICE_KEY)}")
        check(not os.path.exists(startup_link) and not program_runs(wine), "the upgrade started the log-on start beside it")


def test_held_service(build, source, objdump, target):
    with InstalledService(build, source, target) as installed:
        wine, setup, folder, startup_link = installed.wine, installed.setup, installed.folder, installed.startup_link
        # Another program holds the service open (the Services console, a monitoring agent): the
        # service moves to another folder with its settings, and nothing is deleted.
        holder = Holder(wine, build, "--service-handle")
        try:
            check(holder.holds, "the test could not hold the service open")
            wine.run("reg", "add", PARAMETERS_KEY, "/v", "FailAfter", "/t", "REG_DWORD", "/d", "300", "/f")
            moved = r"C:\Kelvarid Moved"
            code = setup_code(wine, setup, "/S", f'"/D={moved}"')
            check(code == 0, f"the move while the service was held ended with {code}")
            installed.entry = wine.reg_values(UNINSTALL_KEY) or {}
            service = wine.reg_values(SERVICE_KEY) or {}
            check(moved in service.get("ImagePath", "") and service_state(wine) == "RUNNING"
                  and (wine.reg_values(PARAMETERS_KEY) or {}).get("FailAfter") == "0x12c",
                  f"after the move: {service}, {service_state(wine)}, {wine.reg_values(PARAMETERS_KEY)}")
            check(not os.path.exists(folder), "the old folder stayed")

            # Switched to the log-on start, the service is only marked for deletion while held: a
            # switch back waits for it, then refuses with its own code and changes nothing.
            code = setup_code(wine, setup, "/S", "/LOGON")
            check(code == 0, f"the switch to log-on while the service was held ended with {code}")
            moved_folder = wine.unix_paths(moved)[0]
            before = state_of(wine, moved_folder, startup_link)
            code = setup_code(wine, setup, "/S", "/SERVICE")
            check(code == exit_code("SERVICE_BEING_DELETED") and state_of(wine, moved_folder, startup_link) == before,
                  f"the switch back to the service marked for deletion ended with {code}")
        finally:
            holder.end()
        check(wait_for(lambda: wine.reg_values(SERVICE_KEY) is None, 20), "the service did not go once let go")
