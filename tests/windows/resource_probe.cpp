// Reads the manifest and version resources of a Windows program through the
// same calls Windows uses for them, and checks what the tool promises: it runs
// as the invoking user without UI access, and carries its name and version.
//
//   resource_probe PROGRAM.exe EXPECTED-VERSION
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int failures = 0;

void Expect(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok)
        ++failures;
}

std::string VersionString(const std::vector<char>& block, const char* name) {
    std::string query = std::string("\\StringFileInfo\\040904b0\\") + name;
    char* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) ||
        value == nullptr)
        return "<missing>";
    return std::string(value);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::printf("usage: resource_probe PROGRAM.exe EXPECTED-VERSION\n");
        return 2;
    }
    const char* program = argv[1];
    const std::string expectedVersion = argv[2];

    HMODULE image = LoadLibraryExA(program, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (image == nullptr) {
        std::printf("FAIL: cannot load %s as data, error %lu\n", program, GetLastError());
        return 1;
    }
    // The loader takes a program's manifest from resource 1 of type RT_MANIFEST.
    HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    Expect(found != nullptr, "manifest resource 1 (RT_MANIFEST) present");
    if (found != nullptr) {
        HGLOBAL loaded = LoadResource(image, found);
        const char* text = static_cast<const char*>(LockResource(loaded));
        std::string manifest(text, SizeofResource(image, found));
        Expect(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>") !=
                   std::string::npos,
               "manifest requests asInvoker without UI access");
        Expect(manifest.find("requireAdministrator") == std::string::npos &&
                   manifest.find("highestAvailable") == std::string::npos,
               "manifest asks for no elevation");
    }
    FreeLibrary(image);

    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(program, &ignored);
    Expect(size > 0, "version resource present");
    if (size > 0) {
        std::vector<char> block(size);
        Expect(GetFileVersionInfoA(program, 0, size, block.data()) != FALSE,
               "version resource read");
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        bool haveFixed = VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed),
                                        &length) != FALSE &&
                         fixed != nullptr && length >= sizeof(VS_FIXEDFILEINFO);
        Expect(haveFixed && fixed->dwSignature == 0xFEEF04BDUL && fixed->dwFileType == VFT_APP,
               "fixed version block describes an application");
        if (haveFixed) {
            char numbers[64];
            std::snprintf(numbers, sizeof numbers, "%lu.%lu.%lu",
                          static_cast<unsigned long>(HIWORD(fixed->dwFileVersionMS)),
                          static_cast<unsigned long>(LOWORD(fixed->dwFileVersionMS)),
                          static_cast<unsigned long>(HIWORD(fixed->dwFileVersionLS)));
            Expect(expectedVersion == numbers, "numeric file version matches the project version");
        }
        Expect(VersionString(block, "FileVersion") == expectedVersion,
               "FileVersion string matches the project version");
        Expect(VersionString(block, "OriginalFilename") == "pendant-test.exe",
               "OriginalFilename is pendant-test.exe");
        Expect(VersionString(block, "ProductName") == "pendant-test",
               "ProductName is pendant-test");
    }
    std::printf("%d check(s) failed\n", failures);
    return failures == 0 ? 0 : 1;
}
