"""The Windows packages as users get them: what the installer and the zip hold, their
signatures, and the installed program under Wine in a Windows of its own (a fresh
prefix each run), with the driver's library where the driver installs it, system32,
and none beside the program. Installs, upgrades and uninstalls are silent (/S), as a
deployment runs them, but for the check that the interactive installer changes nothing
before the user agrees.

The upgrade checks install a release made here: the next patch version, signed with a
throwaway self-signed code-signing certificate, as `cpack` run on its own makes it.

Needs the Windows build with its packages (cmake --build --preset windows --target
package), wine64, 7z, openssl and osslsigncode; skipped otherwise.
"""

import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "windows"))

import wine  # noqa: E402

pytestmark = pytest.mark.wine

START_TIMEOUT = 60
EXIT_TIMEOUT = 30
# Every panel is asked to end within 30 s; the rest is the install itself.
UPGRADE_TIMEOUT = 60

PREFIX = os.path.join(wine.WIN_BUILD, "wineprefix-install")
CPACK_CONFIG = os.path.join(wine.WIN_BUILD, "CPackConfig.cmake")
NAME = "Vesk 2 Control Panel"
# What a 64-bit Windows shows its users: the 64-bit Program Files and registry view.
DEFAULT_FOLDER = "C:\\Program Files\\Vesk 2 Control Panel"
# Where an administrator chose to put it: an upgrade must keep it there.
CHOSEN_FOLDER = "C:\\Tools\\Vesk2Panel"
PROGRAMS_MENU = wine.drive_c("ProgramData", "Microsoft", "Windows", "Start Menu", "Programs", prefix=PREFIX)
UNINSTALL_KEYS = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
# Never shipped: the stand-in driver would be loaded instead of the user's own.
NOT_SHIPPED = {"tusbaudioapi.dll", "vesk2-sim.exe", "vesk2-broadcast.exe", "vesk2-winprobe.exe", "vesk2-uiawalk.exe"}
INSTALLED_FILES = ["LICENSE", "Uninstall.exe", "Vesk2ControlPanel.exe"]
RT_MANIFEST = 24


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
    for tool in ("7z", "openssl", "osslsigncode"):
        if not shutil.which(tool):
            return f"{tool} is not installed (scripts/install-deps.sh)"
    return None


SKIP = skip_reason()


def package_files(path):
    """The files a package holds, as 7z lists them."""
    listing = subprocess.run(["7z", "l", "-slt", path], capture_output=True, text=True, check=True).stdout
    entries = listing.split("\n----------\n", 1)[1]
    return sorted(path for path, folder in re.findall(r"^Path = (.*)\n(?:Folder = (.))?", entries, re.M)
                  if folder != "+")


def extract(package, name, folder):
    """One file of a package, extracted into a folder of its own."""
    target = os.path.join(folder, os.path.basename(package) + ".files")
    subprocess.run(["7z", "e", "-y", "-r", f"-o{target}", package, name], capture_output=True, check=True)
    return os.path.join(target, name)


def signature_check(path, certificate):
    """osslsigncode's verdict on the file's signature against the certificate: (ok, output)."""
    result = subprocess.run(["osslsigncode", "verify", "-CAfile", certificate, "-in", path],
                            capture_output=True, text=True, timeout=60)
    output = result.stdout + result.stderr
    return result.returncode == 0 and "Signature verification: ok" in output, output


class SignedRelease:
    """The next patch version's packages, signed by a certificate made for the run."""

    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="vesk2-release-")
        self.certificate = os.path.join(self.folder, "certificate.pem")
        key, bundle = os.path.join(self.folder, "key.pem"), os.path.join(self.folder, "signing.p12")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=Vesk 2 test signing", "-keyout", key, "-out", self.certificate,
                        "-addext", "keyUsage=critical,digitalSignature",
                        "-addext", "extendedKeyUsage=codeSigning"], capture_output=True, check=True)
        subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", self.certificate, "-out", bundle,
                        "-passout", "pass:throwaway"], capture_output=True, check=True)

        major, minor, patch = cpack_setting("CPACK_PACKAGE_VERSION").split(".")
        self.version = f"{major}.{minor}.{int(patch) + 1}"
        output = os.path.join(self.folder, "packages")
        env = dict(os.environ, VESK2_SIGN_PKCS12=bundle, VESK2_SIGN_PASSWORD="throwaway")
        self.made = subprocess.run(["cpack", "--config", CPACK_CONFIG, "-D", f"CPACK_PACKAGE_VERSION={self.version}",
                                    "-B", output], env=env, capture_output=True, text=True, timeout=300)
        made = {os.path.splitext(name)[1]: os.path.join(output, name)
                for name in os.listdir(output) if name.endswith((".exe", ".zip"))}
        self.installer, self.archive = made.get(".exe"), made.get(".zip")

    def remove(self):
        shutil.rmtree(self.folder, ignore_errors=True)


release = None


def setUpModule():
    global release
    if not SKIP:
        release = SignedRelease()


def tearDownModule():
    if release:
        release.remove()


@unittest.skipIf(SKIP, SKIP or "")
class PackagesTest(unittest.TestCase):

    def setUp(self):
        self.assertEqual(release.made.returncode, 0, release.made.stdout[-2000:] + release.made.stderr[-2000:])

    def test_PackagesHoldTheProgramAndItsLicenceAlone(self):
        for installer, archive in (packages(), (release.installer, release.archive)):
            installer_files = package_files(installer)
            zip_files = package_files(archive)
            for name, files in (("installer", installer_files), ("zip", zip_files)):
                shipped = {os.path.basename(path.replace("\\", "/")).lower() for path in files}
                self.assertFalse(shipped & NOT_SHIPPED, f"the {name} holds {shipped & NOT_SHIPPED}: {files}")
            # The installer's own parts are NSIS's plug-ins and the uninstaller it writes.
            payload = [path for path in installer_files if not path.startswith("$PLUGINSDIR")]
            self.assertEqual(payload, INSTALLED_FILES)
            self.assertEqual([os.path.basename(path) for path in zip_files], ["LICENSE", "Vesk2ControlPanel.exe"])

    def test_ReleaseIsSignedThroughoutAndAPlainBuildSaysItIsNot(self):
        self.assertIn("Packages signed with", release.made.stdout)
        with tempfile.TemporaryDirectory() as folder:
            signed = {"the installer": release.installer,
                      "the uninstaller": extract(release.installer, "Uninstall.exe", folder),
                      "the installer's program": extract(release.installer, "Vesk2ControlPanel.exe", folder),
                      "the zip's program": extract(release.archive, "Vesk2ControlPanel.exe", folder)}
            for what, path in signed.items():
                ok, output = signature_check(path, release.certificate)
                self.assertTrue(ok, f"{what} carries no valid signature by the certificate:\n{output}")

            # Without the certificate's variables the packages come out unsigned.
            plain = extract(packages()[0], "Vesk2ControlPanel.exe", folder)
            for what, path in (("the plain installer", packages()[0]), ("its program", plain)):
                self.assertFalse(signature_check(path, release.certificate)[0], f"{what} is signed")


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
        self.assertEqual(release.made.returncode, 0, release.made.stdout[-2000:] + release.made.stderr[-2000:])
        self.sim = wine.Simulator()
        self.sim.session_env = {"WINEPREFIX": PREFIX}
        self.helpers = []

    def tearDown(self):
        for program in self.session.programs:
            program.stop()
        self.session.programs.clear()
        for helper in self.helpers:
            helper.kill()
            helper.wait()
            for stream in (helper.stdin, helper.stdout, helper.stderr):
                stream.close()
        for folder in (DEFAULT_FOLDER, CHOSEN_FOLDER):
            if os.path.exists(self.host_path(folder)):
                self.run_silently(folder + "\\Uninstall.exe")
                wine.wait_until(lambda: not os.path.exists(self.host_path(folder)), 30, 0.2)
        self.sim.remove()

    @staticmethod
    def host_path(windows_path):
        return wine.drive_c(*windows_path.split("\\")[1:], prefix=PREFIX)

    def run_silently(self, installer, *arguments):
        """The exit code of an installer or uninstaller run with /S. Its output is not
        kept: a Wine system process it starts (the desktop's explorer) may inherit and
        keep the pipes open long after it has ended."""
        try:
            return subprocess.run([wine.WINE, installer, "/S", *arguments], env=self.session.env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                  timeout=UPGRADE_TIMEOUT).returncode
        except subprocess.TimeoutExpired:
            self.fail(f"{os.path.basename(installer)} /S did not end within {UPGRADE_TIMEOUT} s")

    def install(self, installer, *arguments):
        self.assertEqual(self.run_silently(installer, *arguments), 0, f"{os.path.basename(installer)} /S failed")

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
            found[view] = [v for v in values if v.get("DisplayName") == NAME]
        return found

    def versions_installed(self):
        entries = self.entries()
        self.assertEqual(entries["/reg:32"], [])
        return [entry.get("DisplayVersion") for entry in entries["/reg:64"]]

    def start_installed(self, folder=DEFAULT_FOLDER):
        """The installed program, and its window once it has its native title bar (JUCE
        makes the window again for it)."""
        before = {window["hwnd"] for window in self.session.windows()}
        program = self.session.start(self.sim, executable=folder + "\\Vesk2ControlPanel.exe")

        def new_window():
            found = [window for window in self.session.windows(polling=True) or [] if window["hwnd"] not in before]
            return found if len(found) == 1 and found[0]["caption"] else None

        windows = wine.wait_until(new_window, START_TIMEOUT, 0.2)
        self.assertTrue(windows, f"the installed program opened no window; calls: {self.sim.call_names()}")
        return program, windows[0]

    def painted_origin(self, window):
        """Where the window's client area is, once the panel has painted by itself and settled."""
        origin = self.session.settled_origin(window, self.sim)
        self.assertIsNotNone(origin, "the window went away")
        return origin

    def status_line(self, window, name):
        """The firmware line as the program painted it by itself: no repaint is forced."""
        return self.session.panel_view(self.painted_origin(window), name)["status line"]

    def program_digest(self, folder=DEFAULT_FOLDER):
        with open(self.host_path(folder + "\\Vesk2ControlPanel.exe"), "rb") as program:
            return hashlib.sha256(program.read()).hexdigest()

    def start_helper(self, *arguments, ready):
        """vesk2-winprobe doing something beside the installer; returns once it printed ready."""
        helper = subprocess.Popen([wine.WINE, wine.PROBE, *arguments], env=self.session.env, text=True,
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.helpers.append(helper)
        said = helper.stdout.readline().strip()
        self.assertEqual(said, ready, f"vesk2-winprobe {' '.join(arguments)}: {helper.stderr.read() if not said else ''}")
        return helper

    def assertEndsWithExitCodeZero(self, program, what):
        self.assertEqual(program.wait(EXIT_TIMEOUT), 0, f"{what}: the panel did not end with exit code 0")

    def test_InstalledProgramRunsOnTheDriverInSystem32AndOnlyOurPanelsAreClosed(self):
        # Another program's window that happens to bear the panel's title.
        foreign = self.start_helper("window", NAME, ready="shown")
        self.install(self.installer)
        self.assertIsNone(foreign.poll(), "the installer closed another program's window")
        folder = self.host_path(DEFAULT_FOLDER)
        self.assertEqual(sorted(os.listdir(folder)), INSTALLED_FILES)
        self.assertFalse(os.path.exists(wine.drive_c("Program Files (x86)", NAME, prefix=PREFIX)))
        (entry,) = self.entries()["/reg:64"]
        major, minor, _ = self.version.split(".")
        program = DEFAULT_FOLDER + "\\Vesk2ControlPanel.exe"
        uninstaller = f'"{DEFAULT_FOLDER}\\Uninstall.exe"'
        self.assertEqual({key: entry.get(key) for key in ("DisplayVersion", "DisplayIcon", "InstallLocation",
                                                          "UninstallString", "QuietUninstallString",
                                                          "VersionMajor", "VersionMinor")},
                         {"DisplayVersion": self.version, "DisplayIcon": program, "InstallLocation": DEFAULT_FOLDER,
                          "UninstallString": uninstaller, "QuietUninstallString": uninstaller + " /S",
                          "VersionMajor": hex(int(major)), "VersionMinor": hex(int(minor))})
        size = sum(os.path.getsize(os.path.join(folder, name)) for name in INSTALLED_FILES)
        self.assertIn(int(entry.get("EstimatedSize", "0"), 16), (size // 1024, (size + 1023) // 1024),
                      f"EstimatedSize for {size} bytes")
        # One shortcut at the top of the common Programs menu; uninstalling is Windows' own.
        self.assertEqual([name for name in os.listdir(PROGRAMS_MENU) if "Vesk" in name], [NAME + ".lnk"])
        with open(os.path.join(PROGRAMS_MENU, NAME + ".lnk"), "rb") as shortcut:
            link = shortcut.read()
        # LinkFlags: HasIconLocation; the icon is the installed program's.
        self.assertTrue(link[0x14] & 0x40 and program.encode("utf-16-le") in link,
                        "the Start-menu shortcut does not carry the program's icon")
        with open(os.path.join(wine.ROOT, "LICENSE"), "rb") as source, \
                open(os.path.join(folder, "LICENSE"), "rb") as installed:
            self.assertEqual(installed.read(), source.read(), "the installed LICENSE is not the project's")
        manifest = lambda path: subprocess.run(["wrestool", "-x", f"--type={RT_MANIFEST}", path],
                                               capture_output=True, check=True).stdout
        self.assertEqual(manifest(os.path.join(folder, "Vesk2ControlPanel.exe")), manifest(wine.PROGRAM))

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
        self.assertEqual(self.run_silently(DEFAULT_FOLDER + "\\Uninstall.exe"), 0)
        self.assertEndsWithExitCodeZero(program, "the uninstaller")
        self.assertEndsWithExitCodeZero(second, "the uninstaller, a second panel")
        # The uninstaller runs on from a copy of itself in %TEMP%; the folder goes last.
        self.assertTrue(wine.wait_until(lambda: not os.path.exists(folder), 30, 0.2),
                        f"left after uninstalling: {os.listdir(folder) if os.path.exists(folder) else []}")
        self.assertEqual([name for name in os.listdir(PROGRAMS_MENU) if "Vesk" in name], [],
                         "the Start-menu shortcut is left")
        self.assertEqual(self.entries(), {"/reg:64": [], "/reg:32": []})
        self.assertEqual(self.registry("HKLM\\Software\\Vesk", "/reg:64"), "", "the installer's own key is left")
        self.assertIsNone(foreign.poll(), "the uninstaller closed another program's window")
        self.assertEqual(len(self.session.windows(NAME)), 1, "the other program's window is gone")

    def test_SilentUpgradeEndsAPanelWithItsPopUpOpenAndKeepsTheChosenFolder(self):
        self.install(self.installer, "/D=" + CHOSEN_FOLDER)
        program, window = self.start_installed(CHOSEN_FOLDER)
        origin = self.painted_origin(window)
        # Wine now and then closes the pop-up as soon as it shows it: a user clicks again.
        wine.harness.open_combo_popup(self.session.x, origin, retry=True)

        self.install(release.installer)
        self.assertEndsWithExitCodeZero(program, "a silent upgrade while its pop-up was open")
        self.assertEqual(self.versions_installed(), [release.version])
        self.assertEqual(sorted(os.listdir(self.host_path(CHOSEN_FOLDER))), INSTALLED_FILES)
        self.assertFalse(os.path.exists(self.host_path(DEFAULT_FOLDER)), "the upgrade went to the default folder")

    def test_InteractiveInstallerChangesNothingBeforeTheUserAgrees(self):
        self.install(self.installer)
        installed = self.program_digest()
        program, _ = self.start_installed()

        # The interactive installer, up to its first page; a question it asks before it
        # gets the answer a user going along gives, its default.
        setup = self.session.start(self.sim, executable=release.installer)
        setup_title = NAME + " Setup"
        first_page = None
        while first_page is None:
            shown = self.session.wait_for_windows(1, setup_title, timeout=START_TIMEOUT)
            self.assertTrue(shown, "the interactive installer showed no window")
            if shown[0]["minimizebox"]:
                first_page = shown[0]
            else:
                self.session.x.key("Return")
                self.assertTrue(wine.wait_until(lambda: not [w for w in self.session.windows(setup_title)
                                                             if w["hwnd"] == shown[0]["hwnd"]], 30, 0.2))
        untouched = lambda what: (
            self.assertTrue(program.running(), f"{what}: the running panel was closed"),
            self.assertEqual(self.versions_installed(), [self.version], f"{what}: the entry changed"),
            self.assertEqual(self.program_digest(), installed, f"{what}: the installed program changed"))
        untouched("at the installer's first page")
        setup.stop()
        untouched("after the installer was ended there")

    def test_SilentUpgradeOrUninstallOverAProgramInUseNeverReportsSuccess(self):
        self.install(self.installer, "/D=" + CHOSEN_FOLDER)
        installed = self.program_digest(CHOSEN_FOLDER)
        # Another process holds the program open, and its writing and deleting with it.
        holder = self.start_helper("hold", CHOSEN_FOLDER + "\\Vesk2ControlPanel.exe", ready="held")
        exit_code = self.run_silently(release.installer)
        self.assertNotEqual(exit_code, 0, "a silent upgrade over a program in use reported success")
        self.assertNotEqual(exit_code, 3010, "a restart was asked for, but no replacement is pending")
        self.assertEqual(self.versions_installed(), [self.version])
        self.assertEqual(self.program_digest(CHOSEN_FOLDER), installed, "the installed program changed")

        # Run in place (_?=), as Windows' Settings does not, so that its exit code is its own.
        exit_code = self.run_silently(CHOSEN_FOLDER + "\\Uninstall.exe", "_?=" + CHOSEN_FOLDER)
        self.assertNotEqual(exit_code, 0, "uninstalling a program in use reported success")
        self.assertEqual(self.versions_installed(), [self.version], "the entry went, the program stayed")
        holder.stdin.close()
        self.assertEqual(holder.wait(EXIT_TIMEOUT), 0)
