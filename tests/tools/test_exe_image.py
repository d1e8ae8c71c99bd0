"""The built installer as a file: a 64-bit GUI program that needs only Windows
system DLLs, with its icon group, manifest and version record, and small."""
import os
import re
import struct
import unittest
import xml.etree.ElementTree as ET
from pathlib import Path

from support.pe_image import (RT_GROUP_ICON, RT_ICON, RT_MANIFEST, RT_VERSION, PeImage,
                              parse_version_info)

SOURCE = Path(os.environ.get("VTF_SOURCE_DIR") or Path(__file__).resolve().parents[2])

# DLLs that every 64-bit Windows has in system32.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "shell32.dll",
               "ole32.dll", "msvcrt.dll", "advapi32.dll", "shlwapi.dll", "comdlg32.dll",
               "ws2_32.dll", "oleaut32.dll", "version.dll", "uxtheme.dll"}

ICON_SIZES = [256, 128, 64, 48, 32, 24, 16]
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
WINDOWS_SETTINGS = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"


def version_from_header():
    text = (SOURCE / "res" / "version.h").read_text(encoding="ascii")
    return tuple(int(re.search(rf"#define VTF_VERSION_{part} (\d+)", text).group(1))
                 for part in ("MAJOR", "MINOR", "PATCH"))


def installer_path() -> Path:
    build = os.environ.get("VTF_WIN_BUILD_DIR")
    if not build:
        raise AssertionError("VTF_WIN_BUILD_DIR is not set: no cross build to look at")
    return Path(build) / "VELMO_Tallowfin_Installer.exe"


class ExeImageTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.path = installer_path()
        cls.image = PeImage.load(cls.path)

    def test_a_64_bit_gui_program_without_a_time_stamp(self):
        self.assertEqual(self.image.machine, 0x8664)
        self.assertEqual(self.image.subsystem, 2, "GUI subsystem, no console")
        self.assertEqual(self.image.timestamp, 0, "a time stamp would make builds differ")

    def test_stays_under_256_kib(self):
        self.assertLess(self.path.stat().st_size, 256 * 1024)

    def test_imports_only_windows_system_dlls(self):
        imports = self.image.imports()
        self.assertTrue(imports)
        for dll in imports:
            self.assertIn(dll.lower(), SYSTEM_DLLS, f"{dll} is not a Windows system DLL")
        # The start-up sequence's calls, by the DLL that provides each.
        expected = {
            "kernel32.dll": ["GetUserDefaultUILanguage", "CreateMutexW", "CloseHandle"],
            "user32.dll": ["SetProcessDPIAware", "SystemParametersInfoW", "RegisterClassExW",
                           "AdjustWindowRect", "CreateWindowExW", "IsDialogMessageW", "MessageBoxW"],
            "ole32.dll": ["CoInitializeEx", "CoUninitialize"],
            "comctl32.dll": ["InitCommonControlsEx"],
            "gdi32.dll": ["CreateFontW", "CreateSolidBrush", "GetDeviceCaps", "DeleteObject"],
        }
        by_name = {dll.lower(): names for dll, names in imports.items()}
        for dll, functions in expected.items():
            for function in functions:
                self.assertIn(function, by_name.get(dll, []), f"{dll}!{function}")

    def test_icon_group_1_holds_the_seven_32_bit_images(self):
        group = self.image.resource(RT_GROUP_ICON, 1)
        reserved, kind, count = struct.unpack_from("<HHH", group, 0)
        self.assertEqual((reserved, kind, count), (0, 1, 7))
        icons = self.image.resources()
        ico = (SOURCE / "res" / "installer.ico").read_bytes()
        sizes = []
        for i in range(count):
            width, height, _, _, planes, bits, length, icon_id = struct.unpack_from(
                "<BBBBHHIH", group, 6 + 14 * i)
            size = width or 256
            sizes.append(size)
            self.assertEqual(width, height)
            self.assertEqual(bits, 32)
            data = next(d for (t, n, _), d in icons.items() if t == RT_ICON and n == icon_id)
            self.assertEqual(len(data), length)
            if data.startswith(b"\x89PNG"):
                self.assertEqual(struct.unpack_from(">II", data, 16), (size, size))
            else:
                header_size, bmp_width, bmp_height, _, bmp_bits = struct.unpack_from("<IiiHH", data, 0)
                self.assertEqual((header_size, bmp_width, bmp_height, bmp_bits), (40, size, 2 * size, 32))
            # The very image of the committed icon file (made by tools/make_icon.py).
            _, _, _, _, _, _, ico_length, ico_offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
            self.assertEqual(data, ico[ico_offset:ico_offset + ico_length])
        self.assertEqual(sizes, ICON_SIZES)

    def test_manifest_values(self):
        manifest = self.image.resource(RT_MANIFEST, 1)
        root = ET.fromstring(manifest)
        identity = root.find(f"{ASM_V1}assemblyIdentity")
        major, minor, patch = version_from_header()
        self.assertEqual(identity.attrib, {
            "name": "VELMO.Tallowfin.Setup", "version": f"{major}.{minor}.{patch}.0",
            "processorArchitecture": "amd64", "type": "win32"})
        self.assertEqual(identity.attrib["version"], "0.19.21.0")

        level = root.find(f".//{ASM_V3}requestedExecutionLevel")
        self.assertEqual(level.attrib, {"level": "asInvoker", "uiAccess": "false"})
        self.assertEqual(root.find(f".//{WINDOWS_SETTINGS}dpiAware").text.strip(), "true")

        dependency = root.find(f"{ASM_V1}dependency/{ASM_V1}dependentAssembly/{ASM_V1}assemblyIdentity")
        self.assertEqual(dependency.attrib["name"], "Microsoft.Windows.Common-Controls")
        self.assertEqual(dependency.attrib["version"], "6.0.0.0")
        self.assertEqual(dependency.attrib["type"], "win32")
        self.assertEqual(dependency.attrib["publicKeyToken"], "6595b64144ccf1df")
        self.assertIn(dependency.attrib["processorArchitecture"], ("amd64", "*"))

    def test_version_record(self):
        info, _ = parse_version_info(self.image.resource(RT_VERSION, 1))
        self.assertEqual(info["key"], "VS_VERSION_INFO")
        fixed = struct.unpack("<13I", info["value"])
        self.assertEqual(fixed[0], 0xFEEF04BD)
        major, minor, patch = version_from_header()
        self.assertEqual((major, minor, patch), (0, 19, 21))
        self.assertEqual(fixed[2:4], ((major << 16) | minor, patch << 16), "file version 0.19.21.0")
        self.assertEqual(fixed[4:6], ((major << 16) | minor, patch << 16), "product version 0.19.21.0")
        self.assertEqual(fixed[8], 0x00040004, "VOS_NT_WINDOWS32")
        self.assertEqual(fixed[9], 1, "VFT_APP")

        blocks = {child["key"]: child for child in info["children"]}
        tables = blocks["StringFileInfo"]["children"]
        self.assertEqual([t["key"] for t in tables], ["040904b0"])
        strings = {s["key"]: s["value"] for s in tables[0]["children"]}
        self.assertEqual(strings, {
            "CompanyName": "VELMO",
            "FileDescription": "VELMO Tallowfin BETA Installer",
            "FileVersion": "0.19.21",
            "InternalName": "VELMO_Tallowfin_Installer",
            "OriginalFilename": "VELMO_Tallowfin_Installer.exe",
            "ProductName": "VELMO Tallowfin AI",
            "ProductVersion": "0.19.21",
        })
        translation = blocks["VarFileInfo"]["children"][0]
        self.assertEqual(translation["key"], "Translation")
        self.assertEqual(struct.unpack("<HH", translation["value"]), (0x0409, 1200))


if __name__ == "__main__":
    unittest.main()
