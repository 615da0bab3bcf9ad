// Parses the driver package's .inf with SetupAPI's own INF reader and checks
// that it binds the given hardware id to WinUSB and registers the device
// interface GUID that pendant-test.exe looks for.
//
//   inf_check PENDANT-WINUSB.INF HARDWARE-ID
#include <windows.h>

#include <setupapi.h>

#include <cstdio>
#include <string>

namespace {

int failures = 0;

void Expect(bool ok, const std::string& what) {
    std::printf("%s: %s\n", ok ? "ok  " : "FAIL", what.c_str());
    if (!ok)
        ++failures;
}

std::string Field(INFCONTEXT& line, DWORD index) {
    char text[512];
    DWORD needed = 0;
    if (!SetupGetStringFieldA(&line, index, text, sizeof text, &needed))
        return "<missing>";
    return text;
}

// Field `index` of the line keyed `key` in `section`, or "<missing>".
std::string Value(HINF inf, const char* section, const char* key, DWORD index = 1) {
    INFCONTEXT line;
    if (!SetupFindFirstLineA(inf, section, key, &line))
        return "<missing>";
    return Field(line, index);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
           CSTR_EQUAL;
}

const char InterfaceGuidText[] = "{136917CC-8699-43EC-B5A9-8926D7165DE7}";

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::printf("usage: inf_check FILE.inf HARDWARE-ID\n");
        return 2;
    }
    const std::string hardwareId = argv[2];
    UINT errorLine = 0;
    HINF inf = SetupOpenInfFileA(argv[1], nullptr, INF_STYLE_WIN4, &errorLine);
    if (inf == INVALID_HANDLE_VALUE) {
        std::printf("FAIL: SetupAPI rejects %s (line %u, error %lu)\n", argv[1], errorLine,
                    GetLastError());
        return 1;
    }

    Expect(Value(inf, "Version", "Signature") == "$Windows NT$", "Version: Signature $Windows NT$");
    Expect(Value(inf, "Version", "Class") == "USBDevice", "Version: Class USBDevice");
    Expect(
        EqualNoCase(Value(inf, "Version", "ClassGuid"), "{88BAE032-5A81-49F0-BC3D-A4FF138216D6}"),
        "Version: ClassGuid of the USBDevice class");
    Expect(Value(inf, "Version", "CatalogFile") == "pendant-winusb.cat",
           "Version: CatalogFile pendant-winusb.cat");

    // [Manufacturer]: models section name, then its platform decorations.
    INFCONTEXT maker;
    Expect(SetupFindFirstLineA(inf, "Manufacturer", nullptr, &maker) != FALSE,
           "Manufacturer section has a line");
    const std::string models = Field(maker, 1);
    const DWORD fields = SetupGetFieldCount(&maker);
    int decorations = 0;
    for (DWORD i = 2; i <= fields; ++i) {
        const std::string section = models + "." + Field(maker, i);
        INFCONTEXT model;
        bool found = SetupFindFirstLineA(inf, section.c_str(), nullptr, &model) != FALSE;
        Expect(found && Field(model, 1) == "PendantInstall" &&
                   EqualNoCase(Field(model, 2), hardwareId),
               section + ": " + hardwareId + " -> PendantInstall");
        ++decorations;
    }
    Expect(decorations >= 2, "models for at least x86 and amd64");

    Expect(EqualNoCase(Value(inf, "PendantInstall", "Include"), "winusb.inf") &&
               Value(inf, "PendantInstall", "Needs") == "WINUSB.NT",
           "PendantInstall: includes winusb.inf, needs WINUSB.NT");
    Expect(EqualNoCase(Value(inf, "PendantInstall.Services", "Include"), "winusb.inf") &&
               Value(inf, "PendantInstall.Services", "Needs") == "WINUSB.NT.Services",
           "PendantInstall.Services: WinUSB service");

    const std::string addReg = Value(inf, "PendantInstall.HW", "AddReg");
    INFCONTEXT reg;
    bool registered = false;
    if (addReg != "<missing>" && SetupFindFirstLineA(inf, addReg.c_str(), nullptr, &reg)) {
        do {
            INT flags = 0;
            if (Field(reg, 1) == "HKR" && Field(reg, 2).empty() &&
                Field(reg, 3) == "DeviceInterfaceGUIDs" && SetupGetIntField(&reg, 4, &flags) &&
                flags == 0x10000 && EqualNoCase(Field(reg, 5), InterfaceGuidText))
                registered = true;
        } while (SetupFindNextLine(&reg, &reg));
    }
    Expect(registered,
           std::string("HW AddReg: DeviceInterfaceGUIDs (REG_MULTI_SZ) = ") + InterfaceGuidText);

    SetupCloseInfFile(inf);
    std::printf("%d check(s) failed\n", failures);
    return failures == 0 ? 0 : 1;
}
