"""The Windows packages as users get them: what the installer and the zip hold, and the
installed program under Wine in a Windows of its own (a fresh prefix each run), with
the driver's library where the driver installs it, system32, and none beside the
program. Installs, upgrades and uninstalls are silent (/S), as a deployment runs them.

Needs the Windows build with its packages (cmake --build --preset windows --target
package), wine64 and 7z; skipped otherwise.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "windows"))

import wine  # noqa: E402

START_TIMEOUT = 60
EXIT_TIMEOUT = 30

PREFIX = os.path.join(wine.WIN_BUILD, "wineprefix-install")
CPACK_CONFIG = os.path.join(wine.WIN_BUILD, "CPackConfig.cmake")
# What a 64-bit Windows shows its users: the 64-bit Program Files and registry view.
INSTALL_DIR = wine.drive_c("Program Files", "Vesk 2 Control Panel", prefix=PREFIX)
INSTALLED_PROGRAM = "C:\\Program Files\\Vesk 2 Control Panel\\Vesk2ControlPanel.exe"
UNINSTALLER = "C:\\Program Files\\Vesk 2 Control Panel\\Uninstall.exe"
START_MENU = wine.drive_c("ProgramData", "Microsoft", "Windows", "Start Menu", "Programs", "Vesk 2 Control Panel",
                          prefix=PREFIX)
UNINSTALL_KEYS = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
# Never shipped: the stand-in driver would be loaded instead of the user's own.
NOT_SHIPPED = {"tusbaudioapi.dll", "vesk2-sim.exe", "vesk2-broadcast.exe", "vesk2-winprobe.exe"}


def cpack_setting(name):
    with open(CPACK_CONFIG) as config:
        found = re.search(r'^set\(%s "([^"]*)"\)$' % name, config.read(), re.M)
    return found.group(1) if found else None


def packages():
    """The installer and the zip the package target made, or None."""
    if not os.path.isfile(CPACK_CONFIG):
        return None
    base = os.path.join(wine.WIN_BUILD, cpack_setting("CPACK_PACKAGE_FILE_NAME"))
    found = (base + ".exe", base + ".zip")
    return found if all(os.path.isfile(path) for path in found) else None


def skip_reason():
    reason = wine.skip_reason()
    if reason:
        return reason
    if not packages():
        return "no packages in the Windows build (cmake --build --preset windows --target package)"
    if not shutil.which("7z"):
        return "7z is not installed (scripts/install-deps.sh)"
    return None


SKIP = skip_reason()


def package_files(path):
    """The files a package holds, as 7z lists them."""
    listing = subprocess.run(["7z", "l", "-slt", path], capture_output=True, text=True, check=True).stdout
    entries = listing.split("\n----------\n", 1)[1]
    return sorted(path for path, folder in re.findall(r"^Path = (.*)\n(?:Folder = (.))?", entries, re.M)
                  if folder != "+")


@unittest.skipIf(SKIP, SKIP or "")
class PackagesTest(unittest.TestCase):

    def test_PackagesHoldTheProgramAlone(self):
        installer, archive = packages()
        installer_files = package_files(installer)
        zip_files = package_files(archive)
        for name, files in (("installer", installer_files), ("zip", zip_files)):
            shipped = {os.path.basename(path.replace("\\", "/")).lower() for path in files}
            self.assertFalse(shipped & NOT_SHIPPED, f"the {name} holds {shipped & NOT_SHIPPED}: {files}")
        # The installer's own parts are NSIS's plug-ins and the uninstaller it writes.
        payload = [path for path in installer_files if not path.startswith("$PLUGINSDIR")]
        self.assertEqual(payload, ["Uninstall.exe", "Vesk2ControlPanel.exe"])
        self.assertEqual([os.path.basename(path) for path in zip_files], ["Vesk2ControlPanel.exe"])


@unittest.skipIf(SKIP, SKIP or "")
class InstalledProgramTest(unittest.TestCase):
    """One fresh Wine prefix for the class; each test installs and leaves it uninstalled."""

    @classmethod
    def setUpClass(cls):
        wine.end_all_wine_processes(PREFIX)
        shutil.rmtree(PREFIX, ignore_errors=True)
        cls.session = wine.WineSession(prefix=PREFIX)
        # Where the driver's installer puts its library.
        shutil.copy2(wine.DRIVER, wine.drive_c("windows", "system32", prefix=PREFIX))
        cls.installer = packages()[0]
        cls.version = cpack_setting("CPACK_PACKAGE_VERSION")

    @classmethod
    def tearDownClass(cls):
        cls.session.close()
        # Some 700 MB, made anew by the next run anyway.
        shutil.rmtree(PREFIX, ignore_errors=True)

    def setUp(self):
        self.sim = wine.Simulator()
        self.sim.session_env = {"WINEPREFIX": PREFIX}

    def tearDown(self):
        for program in self.session.programs:
            program.stop()
        self.session.programs.clear()
        if os.path.exists(INSTALL_DIR):
            self.session.run_tool(UNINSTALLER, "/S")
            wine.wait_until(lambda: not os.path.exists(INSTALL_DIR), 30, 0.2)
        self.sim.remove()

    def install(self, installer):
        result = self.session.run_tool(installer, "/S", timeout=120)
        self.assertEqual(result.returncode, 0, f"{os.path.basename(installer)} /S failed: {result.stderr[-500:]}")

    def registry(self, key, view):
        """The key and its subkeys as reg query lists them, or "" when there is no such key."""
        # Once in a dozen runs reg failed with no output at all; it is asked again then.
        for _ in range(3):
            result = subprocess.run([wine.WINE, "reg", "query", key, "/s", view], env=self.session.env,
                                    capture_output=True, text=True, timeout=60)
            output = result.stdout + result.stderr
            if result.returncode == 0 or "Unable to find" in output:
                return result.stdout if result.returncode == 0 else ""
            wine.settle(1)
        self.fail(f"reg query {key} {view} failed ({result.returncode}): {output}")

    def entries(self):
        """Our uninstall entries in both registry views (Windows lists both to users),
        as {view: [{value: data}]}."""
        found = {}
        for view in ("/reg:64", "/reg:32"):
            keys = re.split(r"\n(?=HKEY_)", self.registry(UNINSTALL_KEYS, view))
            values = [dict(re.findall(r"^ {4}(\S+) {4}REG_\w+ {4}(.*)$", key, re.M)) for key in keys]
            found[view] = [v for v in values if v.get("DisplayName") == "Vesk 2 Control Panel"]
        return found

    def start_installed(self):
        """The installed program, and its window once it has its native title bar (JUCE
        makes the window again for it)."""
        before = {window["hwnd"] for window in self.session.windows()}
        program = self.session.start(self.sim, executable=INSTALLED_PROGRAM)

        def new_window():
            found = [window for window in self.session.windows() if window["hwnd"] not in before]
            return found if len(found) == 1 and found[0]["caption"] else None

        windows = wine.wait_until(new_window, START_TIMEOUT, 0.2)
        self.assertTrue(windows, f"the installed program opened no window; calls: {self.sim.call_names()}")
        return program, windows[0]

    def status_line(self, window, name):
        """The firmware line as the program painted it by itself: no repaint is forced."""
        wine.wait_until(lambda: "TUSBAUDIO_GetDriverInfo" in self.sim.call_names(), 30, 0.2)
        wine.settle(1.5)
        return self.session.panel_view(self.session.client_origin(window), name)["status line"]

    def assertEndsWithExitCodeZero(self, program, what):
        self.assertEqual(program.wait(EXIT_TIMEOUT), 0, f"{what}: the panel did not end with exit code 0")

    def test_InstalledProgramRunsOnTheDriverInSystem32AndUninstallsWhileRunning(self):
        self.install(self.installer)
        self.assertEqual(sorted(os.listdir(INSTALL_DIR)), ["Uninstall.exe", "Vesk2ControlPanel.exe"])
        self.assertFalse(os.path.exists(wine.drive_c("Program Files (x86)", "Vesk 2 Control Panel", prefix=PREFIX)))
        entries = self.entries()
        self.assertEqual(entries["/reg:32"], [])
        self.assertEqual(len(entries["/reg:64"]), 1, entries)
        entry = entries["/reg:64"][0]
        self.assertEqual((entry.get("DisplayVersion"), entry.get("DisplayIcon")), (self.version, INSTALLED_PROGRAM))
        with open(os.path.join(START_MENU, "Vesk 2 Control Panel.lnk"), "rb") as shortcut:
            link = shortcut.read()
        # LinkFlags: HasIconLocation; the icon is the installed program's.
        self.assertTrue(link[0x14] & 0x40 and INSTALLED_PROGRAM.encode("utf-16-le") in link,
                        "the Start-menu shortcut does not carry the program's icon")

        # Connected: the panel reads the simulated interface through system32's library.
        program, window = self.start_installed()
        connected = self.status_line(window, "windows-installed-connected")
        self.assertIn("TUSBAUDIO_EnumerateDevices", self.sim.call_names())
        self.assertTrue(self.session.request_close(window))
        self.assertEndsWithExitCodeZero(program, "a close request")

        self.sim("unplug")
        self.sim.clear_log()
        program, window = self.start_installed()
        self.assertNotEqual(self.status_line(window, "windows-installed-unplugged"), connected,
                            "the firmware line looks the same with and without an interface")

        # Every running panel is closed, not only the first window found.
        second, _ = self.start_installed()
        result = self.session.run_tool(UNINSTALLER, "/S")
        self.assertEqual(result.returncode, 0)
        self.assertEndsWithExitCodeZero(program, "the uninstaller")
        self.assertEndsWithExitCodeZero(second, "the uninstaller, a second panel")
        # The uninstaller runs on from a copy of itself in %TEMP%.
        self.assertTrue(wine.wait_until(lambda: not os.path.exists(INSTALL_DIR), 30, 0.2),
                        f"left after uninstalling: {os.listdir(INSTALL_DIR) if os.path.exists(INSTALL_DIR) else []}")
        self.assertFalse(os.path.exists(START_MENU), "the Start-menu shortcut is left")
        self.assertEqual(self.entries(), {"/reg:64": [], "/reg:32": []})
        self.assertEqual(self.registry("HKLM\\Software\\Vesk", "/reg:64"), "", "the installer's own key is left")

    def test_NewerVersionInstalledOverARunningPanelReplacesIt(self):
        major, minor, patch = self.version.split(".")
        newer = f"{major}.{minor}.{int(patch) + 1}"
        with tempfile.TemporaryDirectory() as folder:
            made = subprocess.run(["cpack", "--config", CPACK_CONFIG, "-G", "NSIS", "-D", f"CPACK_PACKAGE_VERSION={newer}",
                                   "-B", folder], capture_output=True, text=True, timeout=120)
            self.assertEqual(made.returncode, 0, made.stdout[-1000:])
            (newer_installer,) = [os.path.join(folder, name) for name in os.listdir(folder) if name.endswith(".exe")]

            self.install(self.installer)
            program, _ = self.start_installed()
            self.install(newer_installer)
        self.assertEndsWithExitCodeZero(program, "installing over it")
        entries = self.entries()
        self.assertEqual(entries["/reg:32"], [])
        self.assertEqual([entry.get("DisplayVersion") for entry in entries["/reg:64"]], [newer])
        self.assertEqual(sorted(os.listdir(INSTALL_DIR)), ["Uninstall.exe", "Vesk2ControlPanel.exe"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
