#!/usr/bin/env python3
"""Small deliberate faults in the core, each of which the core suite must catch.

Each mutant replaces one piece of text in one source file, rebuilds core_tests
in build/default and runs it; a mutant the suite passes "survived", and the
run ends with status 1. The source is restored after each mutant, also when
the run is interrupted.

    python3 tests/mutants/mutants.py [INDEX...]

Takes about 20 s a mutant on 2 cores (one rebuild each), so it is a check to
run by hand after changing the core or its tests, not part of test-all.
"""
import pathlib
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]

# (file, text, replacement, what the fault is)
MUTANTS = [
    ("usb/discovery.cpp",
     "        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {\n"
     "        const HRESULT hr = LastErrorResult();\n"
     "        SetupDiDestroyDeviceInfoList(deviceInfo);",
     "        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {\n"
     "        SetupDiDestroyDeviceInfoList(deviceInfo);\n"
     "        const HRESULT hr = LastErrorResult();",
     "size query: last error read after the release"),
    ("usb/discovery.cpp", "    LocalFree(detail);\n", "", "detail buffer not freed"),
    ("usb/discovery.cpp", "detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);",
     "detail->cbSize = requiredSize;", "cbSize of the block, not the fixed part"),
    ("usb/discovery.cpp", "detail, requiredSize, nullptr,", "detail, requiredSize - 1, nullptr,",
     "detail buffer one byte short"),
    ("usb/discovery.cpp", "if (GetLastError() == ERROR_NO_MORE_ITEMS && noDevice != nullptr)",
     "if (noDevice != nullptr)", "no-device flag on any enumeration failure"),
    ("usb/open.cpp", "FindDevicePath(DevicePath, sizeof DevicePath, noDevice)",
     "FindDevicePath(DevicePath, sizeof DevicePath - 1, noDevice)", "path buffer one byte short"),
    ("usb/open.cpp", "    WinUsb_Free(UsbInterface);\n    CloseHandle(DeviceFile);",
     "    CloseHandle(DeviceFile);\n    WinUsb_Free(UsbInterface);", "release order in Close"),
    ("usb/open.cpp", "        hr = LastErrorResult();\n        CloseHandle(DeviceFile);",
     "        hr = LastErrorResult();", "file left open when WinUSB refuses"),
    ("usb/open.cpp", "    if (!UsbOpen)\n        return;", "    if (false)\n        return;",
     "Close releases what is not open"),
    ("usb/open.cpp", "sizeof DeviceDescriptor,", "sizeof DeviceDescriptor - 1,",
     "device descriptor buffer size"),
    ("usb/open.cpp", "PIPE_TRANSFER_TIMEOUT, sizeof timeout, &timeout);",
     "PIPE_TRANSFER_TIMEOUT, 2, &timeout);", "time-out value length"),
    ("usb/survey.cpp",
     "                ReadPipeId = p;\n                ReadLength = ReadLengthFor(pipe.MaximumPacketSize);\n"
     "            } else {",
     "                ReadPipeId = p;\n            } else {", "bulk-in pipe leaves ReadLength"),
    ("usb/survey.cpp", "if (maxPacket >= InputReportLookedAt && maxPacket < InputReportBytes)",
     "if (maxPacket > InputReportLookedAt && maxPacket < InputReportBytes)",
     "read length bound off by one"),
    ("usb/survey.cpp", "for (int i = 0; i < iface.bNumEndpoints; ++i) {",
     "for (int i = 0; i <= iface.bNumEndpoints; ++i) {", "one pipe query too many"),
    ("pendant/input.cpp", "std::memset(report, 0, ClearedReportBytes);",
     "std::memset(report, 0, 4);", "only 4 bytes of the report cleared"),
    ("pendant/input.cpp", "constexpr unsigned JogMaxCount = 31;",
     "constexpr unsigned JogMaxCount = 32;", "jog count range"),
    ("pendant/display_frame.cpp",
     "static_cast<ULONG>(DisplayReportBytes), &transferred, nullptr);",
     "static_cast<ULONG>(DisplayReportBytes - 1), &transferred, nullptr);",
     "display report length"),
    ("pendant/display_frame.cpp", "    DisplayDirty = false;\n}", "}",
     "display left dirty after sending"),
    ("app/turn.cpp", "Sleep(ReadTimeoutMs - elapsed);", "Sleep(ReadTimeoutMs);",
     "pause of the whole time-out, not the rest"),
    ("app/turn.cpp", "device.LastReadError != ERROR_SEM_TIMEOUT);", "true);",
     "pause after a time-out too"),
    ("app/turn.cpp", "const DWORD elapsed = GetTickCount() - started;",
     "const DWORD elapsed = started - GetTickCount();", "elapsed time the wrong way round"),
]


def run(index):
    path, text, replacement, what = MUTANTS[index]
    source = ROOT / path
    original = source.read_text()
    if original.count(text) != 1:
        print(f"{index:2} {path}: the text to change is not there once; update this table")
        return False
    source.write_text(original.replace(text, replacement))
    try:
        built = subprocess.run(
            ["cmake", "--build", "build/default", "--target", "core_tests"], cwd=ROOT,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
        caught = not built or subprocess.run(
            ["build/default/tests/core_tests"], cwd=ROOT, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL).returncode != 0
    finally:
        source.write_text(original)
    print(f"{index:2} {'caught  ' if caught else 'SURVIVED'} {what} ({path})")
    return caught


def main():
    if not (ROOT / "build/default").is_dir():
        sys.exit("configure first: cmake --preset default")
    indices = [int(a) for a in sys.argv[1:]] or range(len(MUTANTS))
    survived = [i for i in indices if not run(i)]
    print(f"{len(indices) - len(survived)} of {len(indices)} mutants caught")
    subprocess.run(["cmake", "--build", "build/default", "--target", "core_tests"], cwd=ROOT,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    sys.exit(1 if survived else 0)


if __name__ == "__main__":
    main()
