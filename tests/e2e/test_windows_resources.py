"""The Windows build's executable as Windows loads it: its icons, manifest and version
resources, its subsystem, and the DLLs it needs (Windows' own and the driver library).

Reads the files with icoutils' wrestool and MinGW's objdump; needs no Wine.
"""

import os
import re
import shutil
import struct
import subprocess
import sys
import unittest

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "windows"))

import wine  # noqa: E402

pytestmark = pytest.mark.wine

OBJDUMP = shutil.which("x86_64-w64-mingw32-objdump")
WRESTOOL = shutil.which("wrestool")

# DLLs every Windows system has; anything else the program needs must be shipped with it.
SYSTEM_DLLS = {
    "advapi32.dll", "comdlg32.dll", "dxgi.dll", "gdi32.dll", "imm32.dll", "kernel32.dll", "msvcrt.dll",
    "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "version.dll", "wininet.dll",
    "winmm.dll", "ws2_32.dll", "wsock32.dll", "rpcrt4.dll", "uuid.dll", "dwmapi.dll", "comctl32.dll",
    "winspool.drv", "setupapi.dll", "crypt32.dll", "uxtheme.dll", "shcore.dll", "d2d1.dll", "dwrite.dll",
}

DRIVER_FUNCTIONS = 15

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


def skip_reason():
    reason = wine.skip_reason()
    if reason and not os.path.isfile(wine.PROGRAM):
        return reason
    if not OBJDUMP or not WRESTOOL:
        return "x86_64-w64-mingw32-objdump or wrestool is missing (scripts/install-deps.sh)"
    return None


def resource(path, kind, name):
    """The raw bytes of one resource, or b"" when there is none."""
    result = subprocess.run([WRESTOOL, "-x", "--raw", f"--type={kind}", f"--name={name}", path],
                            capture_output=True, check=False)
    return result.stdout


def icon_group(path, name):
    """The entries of an icon group: (width, height, bits per pixel, icon id) each."""
    data = resource(path, RT_GROUP_ICON, name)
    if len(data) < 6:
        return None
    reserved, kind, count = struct.unpack_from("<HHH", data)
    entries = []
    for i in range(count):
        width, height, _colours, _reserved, _planes, bits, _size, icon_id = \
            struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
        entries.append((width or 256, height or 256, bits, icon_id))
    return entries


def objdump_private(path):
    return subprocess.run([OBJDUMP, "-p", path], capture_output=True, text=True, check=True).stdout


def imported_dlls(path):
    return {name.lower() for name in re.findall(r"DLL Name: (\S+)", objdump_private(path))}


@unittest.skipIf(skip_reason(), skip_reason() or "")
class WindowsExecutableTest(unittest.TestCase):

    def test_IconGroupsHoldTheWindowsLargeAndSmallIconsAtTheirBitDepths(self):
        large = icon_group(wine.PROGRAM, 101)
        small = icon_group(wine.PROGRAM, 102)
        self.assertIsNotNone(large, "icon group 101 is missing")
        self.assertIsNotNone(small, "icon group 102 is missing")

        self.assertEqual(sorted((w, h, bits) for w, h, bits, _ in large),
                         [(16, 16, 8), (32, 32, 8), (256, 256, 24)])
        self.assertEqual([(w, h, bits) for w, h, bits, _ in small], [(16, 16, 8)])

        for width, height, bits, icon_id in large + small:
            with self.subTest(size=width, group_bits=bits):
                image = resource(wine.PROGRAM, RT_ICON, icon_id)
                self.assertTrue(image, f"icon image {icon_id} is missing")
                if width == 256:
                    # Stored as PNG: colour type 2 (RGB) at 8 bits a sample is 24 bits a pixel.
                    self.assertEqual(image[:8], b"\x89PNG\r\n\x1a\n")
                    png_width, png_height, depth, colour_type = struct.unpack(">IIBB", image[16:26])
                    self.assertEqual((png_width, png_height, depth, colour_type), (256, 256, 8, 2))
                else:
                    header_size, dib_width, dib_height, _planes, dib_bits = struct.unpack_from("<IiiHH", image)
                    self.assertEqual((header_size, dib_width, dib_height, dib_bits), (40, width, 2 * height, 8))

    def test_IconGroupsComeFirstSoTheWindowClassTakesThem(self):
        # JUCE's window class takes the first icon resource as the large icon and the
        # second as the small one: 101 and 102 must be the lowest icon group ids.
        listing = subprocess.run([WRESTOOL, "-l", f"--type={RT_GROUP_ICON}", wine.PROGRAM],
                                 capture_output=True, text=True, check=True).stdout
        names = [int(n) for n in re.findall(r"--name=(\d+)", listing)]
        self.assertEqual(sorted(names)[:2], [101, 102])

    def test_ManifestAsksToRunAsTheInvokerPerMonitorDpiAwareWithCommonControls6(self):
        manifest = resource(wine.PROGRAM, RT_MANIFEST, 1).decode("utf-8", "replace")
        self.assertIn("requestedExecutionLevel", manifest)
        level = re.search(r"<requestedExecutionLevel\b([^>]*)/?>", manifest)
        self.assertIsNotNone(level, manifest)
        self.assertRegex(level.group(1), r'\blevel="asInvoker"')
        self.assertRegex(level.group(1), r'\buiAccess="false"')
        # Per-monitor v2 where Windows 10 knows it, per-monitor on 8.1 before it.
        self.assertRegex(manifest, r'<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">'
                                   r'PerMonitorV2, PerMonitor</dpiAwareness>')
        self.assertRegex(manifest, r'<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">'
                                   r'true/pm</dpiAware>')
        controls = re.search(r'<assemblyIdentity\b[^>]*name="Microsoft\.Windows\.Common-Controls"[^>]*>', manifest)
        self.assertIsNotNone(controls, "no Common Controls dependency")
        self.assertRegex(controls.group(0), r'version="6\.0\.0\.0"')
        self.assertRegex(controls.group(0), r'publicKeyToken="6595b64144ccf1df"')

    def test_VersionResourceNamesTheApplicationAndItsVersion(self):
        data = resource(wine.PROGRAM, RT_VERSION, 1)
        self.assertTrue(data, "no version resource")
        text = data.decode("utf-16-le", "replace")
        self.assertRegex(text, r"ProductName\W+Vesk 2 Control Panel")
        self.assertRegex(text, r"ProductVersion\W+1\.0\.0")
        # VS_FIXEDFILEINFO: signature 0xFEEF04BD, then the file version 1.0.0.0.
        offset = data.find(struct.pack("<I", 0xFEEF04BD))
        self.assertGreater(offset, 0)
        _signature, _struct_version, ms, ls = struct.unpack_from("<IIII", data, offset)
        self.assertEqual((ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF), (1, 0, 0, 0))

    def test_ProgramIsAGuiProgramThatNeedsOnlyWindowsAndTheDriverLibrary(self):
        private = objdump_private(wine.PROGRAM)
        self.assertRegex(private, r"Subsystem\s+00000002\s+\(Windows GUI\)")

        dlls = imported_dlls(wine.PROGRAM)
        self.assertIn("tusbaudioapi.dll", dlls)
        self.assertEqual(dlls - SYSTEM_DLLS, {"tusbaudioapi.dll"},
                         "the program needs DLLs that Windows does not have")

    def test_DriverLibraryAndToolsNeedNoMinGwRuntimeDlls(self):
        for path in (wine.DRIVER, wine.SIM_TOOL):
            with self.subTest(path=os.path.basename(path)):
                self.assertTrue(os.path.isfile(path))
                self.assertEqual(imported_dlls(path) - SYSTEM_DLLS, set())

    def test_DriverLibraryExportsTheFifteenDriverFunctions(self):
        private = objdump_private(wine.DRIVER)
        exported = set(re.findall(r"\]\s+(TUSBAUDIO_\w+)", private))
        self.assertEqual(len(exported), DRIVER_FUNCTIONS, sorted(exported))
        with open(os.path.join(wine.ROOT, "device", "tusbaudioapi.h")) as header_file:
            header = header_file.read()
        declared = set(re.findall(r"\b(TUSBAUDIO_\w+)\s*\(", header))
        self.assertEqual(exported, declared)
