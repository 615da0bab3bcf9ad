// The fault matrix of opening, both ways (under the pendant's GUID through
// WinUSB, and on the system's HID driver): every platform call a clean
// opening makes,
// failed at each of its calls with a spread of errors, and every release its
// failure paths make, refused. The sites come from a recorded clean opening,
// so the matrix follows Open when it makes a call more; a call with no
// outcome written below fails the matrix until one is. For each case the
// HRESULT must follow the mapping rule, the no-device flag must be set only
// for "no such device", every acquired resource must be released exactly
// once, and the tool must print the message that belongs to the result.
#include <cstdio>
#include <map>
#include <optional>
#include <set>
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

// The way the pendant is reached: through WinUSB, a device with three
// pipes, so that the pipe query has three calls to fail; on the HID driver,
// behind a HID device that is no pendant, so that finding it reads two.
enum class Way { WinUsb, Hid };
const Way Ways[] = {Way::WinUsb, Way::Hid};

vp::Device DeviceFor(Way way) {
    if (way == Way::WinUsb)
        return DeviceWithPipes({{UsbdPipeTypeInterrupt, 0x81, 8},
                                {UsbdPipeTypeBulk, 0x82, 64},
                                {UsbdPipeTypeBulk, 0x01, 64}});
    vp::Device d = vp::HidBoundDevice();
    d.otherHid.push_back({"\\\\?\\hid#keyboard", 0x1234, 0x5678, vp::KeyboardReportDescriptor()});
    return d;
}

// The calls recorded since the last Reset as sites, without the last-error
// bookkeeping and the HID class's GUID (which cannot fail).
std::vector<Site> RecordedSites() {
    std::vector<Site> sites;
    std::map<Call, unsigned> seen;
    for (const auto& c : vp::Calls())
        if (c.call != Call::GetLastError && c.call != Call::SetLastError &&
            c.call != Call::HidD_GetHidGuid)
            sites.push_back({c.call, ++seen[c.call]});
    return sites;
}

// Opens that device, optionally with one call failing, and returns the
// calls the opening made (the closing of a successful one not among them).
std::vector<Site> RecordOpening(Way way, std::optional<Site> failing, DWORD error, HRESULT& hr) {
    vp::Reset();
    vp::SetDevice(DeviceFor(way));
    if (failing)
        vp::FailCall(failing->call, failing->nth, error);
    PendantDevice device;
    device.ThroughHid = way == Way::Hid;
    CaptureStdout([&] { hr = device.Open(nullptr); });
    std::vector<Site> sites = RecordedSites();
    device.Close();
    vp::Reset();
    return sites;
}

// A failure path's release is refused after Open failed at the first call
// with this error.
constexpr DWORD RefusalError = ERROR_NOT_SUPPORTED;

// One case: site fails with error; when first is given, first failed with
// RefusalError before it (site is then a call of first's failure path).
struct Case {
    std::optional<Site> first;
    Site site;
    DWORD error;
};

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
    bool known; // an outcome is written for this call
    std::uint32_t hr;
    BOOL noDevice;
    bool opens;
    vp::OpenCounts leftByPlatform; // what the platform refused to release
};

// What a release the platform refuses leaves open; false for a call that
// releases nothing.
bool LeftByRefusal(Call call, vp::OpenCounts& left) {
    switch (call) {
    case Call::SetupDiDestroyDeviceInfoList:
        ++left.deviceInfoSets;
        return true;
    case Call::LocalFree:
        ++left.detailBuffers;
        return true;
    case Call::CloseHandle:
        ++left.files;
        return true;
    case Call::WinUsb_Free:
        ++left.interfaces;
        return true;
    case Call::HidD_FreePreparsedData:
        ++left.preparsed;
        return true;
    default:
        return false;
    }
}

// On the HID driver, finding the pendant reads each HID device with a handle
// of its own: the first CreateFileA and the first round of description
// calls are the keyboard's (its caps end it: no report of its is looked
// up), the second the pendant's; the third round reads the pendant again
// once it is opened. A failure while finding loses that device: the
// keyboard was no pendant anyway, the pendant is then not found.
bool WhileFinding(const Site& site) {
    switch (site.call) {
    case Call::CreateFileA:
    case Call::HidD_GetAttributes:
    case Call::HidD_GetPreparsedData:
    case Call::HidP_GetCaps:
    case Call::HidP_InitializeReportForID:
        return site.nth <= 2;
    default:
        return false;
    }
}

// A call of the clean opening failing with error.
Outcome Expected(Way way, const Site& site, DWORD error) {
    Outcome o{true, 0, FALSE, true, {}};
    if (way == Way::Hid && WhileFinding(site)) {
        const bool keyboard = site.nth == 1 && site.call != Call::HidP_InitializeReportForID;
        if (!keyboard)
            o = Outcome{true, 0x80070000u | ERROR_NO_MORE_ITEMS, TRUE, false, {}};
        return o;
    }
    switch (site.call) {
    case Call::SetupDiEnumDeviceInterfaces:
        o.noDevice = error == ERROR_NO_MORE_ITEMS;
        [[fallthrough]];
    case Call::SetupDiGetClassDevsA:
    case Call::CreateFileA:
    case Call::WinUsb_Initialize:
    case Call::CreateEventA:
    case Call::HidD_GetAttributes: // the pendant's own, once opened
    case Call::HidD_GetPreparsedData:
        o.hr = Mapped(error);
        o.opens = false;
        break;
    case Call::HidP_GetCaps:
    case Call::HidP_InitializeReportForID:
        // Parsing calls set no last error: the opening says it failed
        // without a code.
        o.hr = Mapped(0);
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
    case Call::SetupDiDestroyDeviceInfoList:
    case Call::LocalFree:
    case Call::HidD_FreePreparsedData:
    case Call::CloseHandle: // a HID device read while finding the pendant
        LeftByRefusal(site.call, o.leftByPlatform);
        break;
    case Call::WinUsb_GetDescriptor:
    case Call::WinUsb_QueryInterfaceSettings:
    case Call::WinUsb_QueryPipe:
    case Call::WinUsb_SetPipePolicy:
    case Call::WinUsb_ControlTransfer: // the report descriptor: the survey's read length stands
        break; // descriptor, survey and time-out: their failures are not examined
    default:
        o.known = false;
        break;
    }
    return o;
}

Outcome Expected(Way way, const Case& c) {
    if (!c.first)
        return Expected(way, c.site, c.error);
    // The first failure's outcome, and what the refused release leaves.
    Outcome o = Expected(way, *c.first, RefusalError);
    o.known = o.known && LeftByRefusal(c.site.call, o.leftByPlatform);
    return o;
}

std::string Describe(const Site& site) {
    char text[64];
    std::snprintf(text, sizeof text, "%s call %u", vp::CallName(site.call), site.nth);
    return text;
}

std::string Describe(const Case& c) {
    char error[40];
    std::snprintf(error, sizeof error, " failing with %lu (0x%lx)",
                  static_cast<unsigned long>(c.error), static_cast<unsigned long>(c.error));
    std::string text = Describe(c.site) + error;
    if (c.first)
        text += " after " + Describe(*c.first) + " failed";
    return text;
}

void Inject(Way way, const Case& c) {
    vp::Reset();
    vp::SetDevice(DeviceFor(way));
    if (c.first)
        vp::FailCall(c.first->call, c.first->nth, RefusalError);
    vp::FailCall(c.site.call, c.site.nth, c.error);
}

// How often each kind of resource was acquired and released, from the calls
// the backend recorded. A release counts whether or not the platform took it.
struct Balance {
    int setsTaken = 0, setsReleased = 0;
    int blocksTaken = 0, blocksReleased = 0;
    int filesTaken = 0, filesReleased = 0;
    int interfacesTaken = 0, interfacesReleased = 0;
    int parsedTaken = 0, parsedReleased = 0;
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
        case Call::CreateEventA: // both closed with CloseHandle
            b.filesTaken += c.succeeded;
            break;
        case Call::HidD_GetPreparsedData:
            b.parsedTaken += c.succeeded;
            break;
        case Call::HidD_FreePreparsedData:
            ++b.parsedReleased;
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

// The sites: the calls of a clean opening, then for each of them failed,
// the calls of its failure path that a clean opening never makes (the
// releases a clean opening does not need).
struct Sites {
    HRESULT cleanResult = E_OUTOFMEMORY;
    std::vector<Site> clean;
    std::vector<std::pair<Site, Site>> failurePaths; // first failing, then this call
};

Sites RecordSites(Way way) {
    Sites sites;
    sites.clean = RecordOpening(way, std::nullopt, 0, sites.cleanResult);
    std::set<Call> cleanCalls;
    for (const Site& s : sites.clean)
        cleanCalls.insert(s.call);
    for (const Site& first : sites.clean) {
        HRESULT hr = S_OK;
        const std::vector<Site> made = RecordOpening(way, first, RefusalError, hr);
        for (const Site& s : made)
            if (cleanCalls.count(s.call) == 0)
                sites.failurePaths.emplace_back(first, s);
    }
    return sites;
}

std::vector<Case> AllCases(const Sites& sites) {
    std::vector<Case> cases;
    for (const Site& site : sites.clean)
        for (DWORD error : Errors)
            cases.push_back({std::nullopt, site, error});
    for (const auto& [first, site] : sites.failurePaths)
        for (DWORD error : Errors)
            cases.push_back({first, site, error});
    return cases;
}

// One case, opened by itself and by the whole tool.
void CheckCase(Way way, const Case& c) {
    SCOPED_TRACE(Describe(c));
    const Outcome expected = Expected(way, c);
    if (!expected.known)
        return; // EveryCallOfTheOpeningHasAnOutcome names it

    // Open itself.
    Inject(way, c);
    std::string out;
    BOOL noDevice = 7;
    HRESULT hr = S_OK;
    {
        PendantDevice device;
        device.ThroughHid = way == Way::Hid;
        out = CaptureStdout([&] { hr = device.Open(&noDevice); });
        EXPECT_EQ(static_cast<std::uint32_t>(hr), expected.hr);
        EXPECT_EQ(noDevice, expected.noDevice);
        EXPECT_EQ(static_cast<bool>(device.UsbOpen), expected.opens);
        if (expected.opens) {
            // The survey's report, ended one way or the other; nothing else.
            EXPECT_EQ(out.rfind("\nCreating and sending device query...", 0), 0u) << out;
            const bool surveyFailed = c.site.call == Call::WinUsb_QueryInterfaceSettings;
            const std::string end = way == Way::Hid ? "\nFinished device query."
                                    : surveyFailed  ? " Error.\n    USB Interface query failed.\n"
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
    EXPECT_EQ(b.parsedReleased, b.parsedTaken);

    // The whole tool: its message, and that a failed open waits for a word
    // while a successful one runs the loop.
    Inject(way, c);
    std::istringstream in("word rest");
    int turns = 0;
    ToolOptions options;
    options.hid = way == Way::Hid;
    const std::string printed = CaptureStdout([&] {
        RunTool(
            in,
            [&turns](PendantDevice&) {
                ++turns;
                return false;
            },
            options);
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

class FaultMatrix : public VirtualPendantTest {};

} // namespace

TEST_F(FaultMatrix, EveryCallOfTheOpeningHasAnOutcome) {
    for (const Way way : Ways) {
        const Sites sites = RecordSites(way);
        ASSERT_EQ(sites.cleanResult, S_OK) << "the clean opening failed";
        ASSERT_FALSE(sites.clean.empty());
        for (const Case& c : AllCases(sites))
            EXPECT_TRUE(Expected(way, c).known)
                << Describe(c) << ": no outcome written for it; add one to Expected";
    }
}

TEST_F(FaultMatrix, EveryFailureIsMappedReleasedAndReported) {
    for (const Way way : Ways) {
        SCOPED_TRACE(way == Way::Hid ? "on the HID driver" : "through WinUSB");
        const Sites sites = RecordSites(way);
        ASSERT_EQ(sites.cleanResult, S_OK) << "the clean opening failed";
        for (const Case& c : AllCases(sites))
            CheckCase(way, c);
    }
}
