// The fault matrix of opening: every platform call Open makes, failed at each
// of its calls with a spread of errors. For each case the HRESULT must follow
// the mapping rule, the no-device flag must be set only for "no such device",
// every acquired resource must be released exactly once, and the tool must
// print the message that belongs to the result.
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/entry.h"
#include "support/virtual_pendant_test.h"

namespace vp = virtual_pendant;

namespace {

using vp::Call;

// One platform call of Open: which call, and which of its calls (1-based).
struct Site {
    Call call;
    unsigned nth;
};

// A device with three pipes, so that the pipe query has three calls to fail.
vp::Device ThreePipes() {
    vp::Device device;
    device.iface.bNumEndpoints = 3;
    device.pipes = {{UsbdPipeTypeInterrupt, 0x81, 8},
                    {UsbdPipeTypeBulk, 0x82, 64},
                    {UsbdPipeTypeBulk, 0x01, 64}};
    return device;
}

// Every platform call a successful Open makes on that device, in order.
const std::vector<Site> OpenSites = {
    {Call::SetupDiGetClassDevsA, 1},
    {Call::SetupDiEnumDeviceInterfaces, 1},
    {Call::SetupDiGetDeviceInterfaceDetailA, 1},
    {Call::LocalAlloc, 1},
    {Call::SetupDiGetDeviceInterfaceDetailA, 2},
    {Call::LocalFree, 1},
    {Call::SetupDiDestroyDeviceInfoList, 1},
    {Call::CreateFileA, 1},
    {Call::WinUsb_Initialize, 1},
    {Call::WinUsb_GetDescriptor, 1},
    {Call::WinUsb_QueryInterfaceSettings, 1},
    {Call::WinUsb_QueryPipe, 1},
    {Call::WinUsb_QueryPipe, 2},
    {Call::WinUsb_QueryPipe, 3},
    {Call::WinUsb_SetPipePolicy, 1},
};

// The one call Open makes only on a failure path: closing the device file
// when WinUSB refuses it. It is failed on that path.
const Site RefusedFileClose = {Call::CloseHandle, 1};
constexpr DWORD RefusalError = ERROR_NOT_SUPPORTED;

// Codes a platform gives, including none at all, one beyond 16 bits, and a
// SetupAPI-style code that is already negative as an HRESULT.
const DWORD Errors[] = {0,
                        ERROR_FILE_NOT_FOUND,
                        ERROR_ACCESS_DENIED,
                        ERROR_NOT_ENOUGH_MEMORY,
                        ERROR_GEN_FAILURE,
                        ERROR_SHARING_VIOLATION,
                        ERROR_INVALID_PARAMETER,
                        ERROR_INSUFFICIENT_BUFFER,
                        ERROR_NO_MORE_ITEMS,
                        ERROR_DEVICE_NOT_CONNECTED,
                        0x12345,
                        0xE000020B};

// The mapping rule, written out independently of HRESULT_FROM_WIN32: zero
// or negative passes through, positive goes to the Win32 facility. A call
// that failed without a code must still read as a failure.
std::uint32_t Mapped(DWORD error) {
    if (error == 0)
        return 0x80070000u | ERROR_GEN_FAILURE;
    if (static_cast<std::int32_t>(error) < 0)
        return error;
    return 0x80070000u | (error & 0xFFFFu);
}

struct Outcome {
    std::uint32_t hr;
    BOOL noDevice;
    bool opens;
    vp::OpenCounts leftByPlatform; // what the platform refused to release
};

Outcome Expected(const Site& site, DWORD error) {
    Outcome o{0, FALSE, true, {}};
    switch (site.call) {
    case Call::SetupDiEnumDeviceInterfaces:
        o.noDevice = error == ERROR_NO_MORE_ITEMS;
        [[fallthrough]];
    case Call::SetupDiGetClassDevsA:
    case Call::CreateFileA:
    case Call::WinUsb_Initialize:
        o.hr = Mapped(error);
        o.opens = false;
        break;
    case Call::SetupDiGetDeviceInterfaceDetailA:
        // The size query failing with ERROR_INSUFFICIENT_BUFFER is its normal
        // outcome; failed here it reports no size, so the detail call that
        // follows has too small a block and fails with that same error.
        o.hr = Mapped(error);
        o.opens = false;
        break;
    case Call::LocalAlloc:
        o.hr = 0x8007000Eu; // E_OUTOFMEMORY, whatever the last error says
        o.opens = false;
        break;
    case Call::CloseHandle:
        o.hr = Mapped(RefusalError);
        o.opens = false;
        o.leftByPlatform.files = 1;
        break;
    case Call::LocalFree:
        o.leftByPlatform.detailBuffers = 1;
        break;
    case Call::SetupDiDestroyDeviceInfoList:
        o.leftByPlatform.deviceInfoSets = 1;
        break;
    default: // descriptor, survey and time-out: their failures are not examined
        break;
    }
    return o;
}

std::string Describe(const Site& site, DWORD error) {
    char text[96];
    std::snprintf(text, sizeof text, "%s call %u failing with %lu (0x%lx)", vp::CallName(site.call),
                  site.nth, static_cast<unsigned long>(error), static_cast<unsigned long>(error));
    return text;
}

void Inject(const Site& site, DWORD error) {
    vp::Reset();
    vp::SetDevice(ThreePipes());
    if (site.call == Call::CloseHandle)
        vp::FailCall(Call::WinUsb_Initialize, 1, RefusalError);
    vp::FailCall(site.call, site.nth, error);
}

// How often each kind of resource was acquired and released, from the calls
// the backend recorded. A release counts whether or not the platform took it.
struct Balance {
    int setsTaken = 0, setsReleased = 0;
    int blocksTaken = 0, blocksReleased = 0;
    int filesTaken = 0, filesReleased = 0;
    int interfacesTaken = 0, interfacesReleased = 0;
};

Balance Tally() {
    Balance b;
    for (const auto& c : vp::Calls()) {
        switch (c.call) {
        case Call::SetupDiGetClassDevsA:
            b.setsTaken += c.succeeded;
            break;
        case Call::SetupDiDestroyDeviceInfoList:
            ++b.setsReleased;
            break;
        case Call::LocalAlloc:
            b.blocksTaken += c.succeeded;
            break;
        case Call::LocalFree:
            ++b.blocksReleased;
            break;
        case Call::CreateFileA:
            b.filesTaken += c.succeeded;
            break;
        case Call::CloseHandle:
            ++b.filesReleased;
            break;
        case Call::WinUsb_Initialize:
            b.interfacesTaken += c.succeeded;
            break;
        case Call::WinUsb_Free:
            ++b.interfacesReleased;
            break;
        default:
            break;
        }
    }
    return b;
}

std::string FailureMessage(const Outcome& o) {
    if (o.noDevice)
        return "Device not connected or driver not installed\nnothing to do...\n";
    char line[64];
    std::snprintf(line, sizeof line, "Failed looking for device, HRESULT 0x%x\n", o.hr);
    return std::string(line) + "nothing to do...\n";
}

std::vector<std::pair<Site, DWORD>> AllCases() {
    std::vector<std::pair<Site, DWORD>> cases;
    for (const Site& site : OpenSites)
        for (DWORD error : Errors)
            cases.emplace_back(site, error);
    for (DWORD error : Errors)
        cases.emplace_back(RefusedFileClose, error);
    return cases;
}

class FaultMatrix : public VirtualPendantTest {};

} // namespace

TEST_F(FaultMatrix, CoversEveryPlatformCallOfASuccessfulOpen) {
    vp::SetDevice(ThreePipes());
    PendantDevice device;
    OpenQuietly(device);
    std::map<Call, unsigned> seen;
    std::vector<std::pair<Call, unsigned>> made;
    for (const auto& c : vp::Calls())
        if (c.call != Call::GetLastError && c.call != Call::SetLastError)
            made.emplace_back(c.call, ++seen[c.call]);
    std::vector<std::pair<Call, unsigned>> listed;
    for (const Site& s : OpenSites)
        listed.emplace_back(s.call, s.nth);
    EXPECT_EQ(made, listed) << "Open's calls changed: update the matrix";
}

TEST_F(FaultMatrix, EveryFailureIsMappedReleasedAndReported) {
    for (const auto& [site, error] : AllCases()) {
        SCOPED_TRACE(Describe(site, error));
        const Outcome expected = Expected(site, error);

        // Open itself.
        Inject(site, error);
        std::string out;
        BOOL noDevice = 7;
        HRESULT hr = S_OK;
        {
            PendantDevice device;
            out = CaptureStdout([&] { hr = device.Open(&noDevice); });
            EXPECT_EQ(static_cast<std::uint32_t>(hr), expected.hr);
            EXPECT_EQ(noDevice, expected.noDevice);
            EXPECT_EQ(static_cast<bool>(device.UsbOpen), expected.opens);
            if (expected.opens) {
                // The survey's report, ended one way or the other; nothing else.
                EXPECT_EQ(out.rfind("\nCreating and sending device query...", 0), 0u) << out;
                const bool surveyFailed = site.call == Call::WinUsb_QueryInterfaceSettings;
                const std::string end = surveyFailed ? " Error.\n    USB Interface query failed.\n"
                                                     : "\nEndpoint query complete.";
                EXPECT_TRUE(out.size() >= end.size() &&
                            out.compare(out.size() - end.size(), end.size(), end) == 0)
                    << out;
                device.Close();
            } else {
                EXPECT_EQ(out, "") << "a failed open prints nothing";
            }
        }
        EXPECT_EQ(vp::Open(), expected.leftByPlatform) << "left open";
        const Balance b = Tally();
        EXPECT_EQ(b.setsReleased, b.setsTaken);
        EXPECT_EQ(b.blocksReleased, b.blocksTaken);
        EXPECT_EQ(b.filesReleased, b.filesTaken);
        EXPECT_EQ(b.interfacesReleased, b.interfacesTaken);

        // The whole tool: its message, and that a failed open waits for a word
        // while a successful one runs the loop.
        Inject(site, error);
        std::istringstream in("word rest");
        int turns = 0;
        const std::string printed = CaptureStdout([&] {
            RunTool(in, [&turns](PendantDevice&) {
                ++turns;
                return false;
            });
        });
        if (expected.opens) {
            EXPECT_EQ(printed, out);
            EXPECT_EQ(turns, 1);
        } else {
            EXPECT_EQ(printed, FailureMessage(expected));
            EXPECT_EQ(turns, 0);
            std::string rest;
            std::getline(in, rest);
            EXPECT_EQ(rest, " rest") << "the closing read takes one word";
        }
        EXPECT_EQ(vp::Open(), expected.leftByPlatform) << "left open by the tool";
    }
}
