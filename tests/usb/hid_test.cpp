// pendant-test --hid against the virtual pendant on the system's HID driver:
// which HID devices are taken for a pendant, that no other is opened for
// writing or sent a byte, the survey, one trace line per report, the
// display as six feature reports, one blocking wait per idle turn, the
// unplug followed, and what plain pendant-test says of such a pendant.
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/entry.h"
#include "app/list.h"
#include "app/reconnect.h"
#include "support/virtual_pendant_test.h"
#include "usb/hid.h"

namespace vp = virtual_pendant;

namespace {

const char* const KeyboardPath = "\\\\?\\hid#keyboard";

const std::string HidSurvey = "\nCreating and sending device query..."
                              "\n#Reached through   : the system's HID driver"
                              "\n#Vendor ID         : 0xfff0\n#Product ID        : 0x0001"
                              "\n#Version           : 0x0100\n#Usage Page        : 0xff00"
                              "\n#Usage             : 0x0001\n#Input Report      : 8 bytes"
                              "\n#Feature Report    : 8 bytes\nFinished device query.";

// The pendant on the HID driver, behind a keyboard.
vp::Device HidPendantBehindAKeyboard() {
    vp::Device d = vp::HidBoundDevice();
    d.otherHid.push_back({KeyboardPath, 0x1234, 0x5678, vp::KeyboardReportDescriptor()});
    return d;
}

ToolOptions Hid(bool reconnect = false) {
    ToolOptions o;
    o.hid = true;
    o.reconnect = reconnect;
    return o;
}

class HidTest : public VirtualPendantTest {
  protected:
    // Runs pendant-test --hid for turns turns; before turn k, act(k).
    std::string Run(int turns, const std::function<void(int)>& act = {},
                    const ToolOptions& options = Hid()) {
        std::istringstream in("word");
        int turn = 0;
        return CaptureStdout([&] {
            RunTool(
                in,
                [&](PendantDevice&) {
                    if (act)
                        act(turn);
                    return turn++ < turns;
                },
                options);
        });
    }
};

// A descriptor with the pendant's reports, one thing changed each row.
struct Shape {
    const char* what;
    std::vector<std::uint8_t> descriptor;
    bool pendant;
};

std::vector<std::uint8_t> Changed(std::size_t at, std::uint8_t to, std::size_t inputBytes = 8) {
    std::vector<std::uint8_t> d = protocol::PendantReportDescriptor(inputBytes);
    d.at(at) = to;
    return d;
}

// What fn wrote to standard error (the advice goes there, by itself).
std::string CaptureStderr(const std::function<void()>& fn) {
    std::fflush(stderr);
    std::FILE* file = std::tmpfile();
    const int saved = dup(2);
    dup2(fileno(file), 2);
    fn();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text;
    std::rewind(file);
    for (int c; (c = std::fgetc(file)) != EOF;)
        text += static_cast<char>(c);
    std::fclose(file);
    return text;
}

} // namespace

TEST_F(HidTest, OnlyAHidDeviceWithThePendantsReportsIsAPendant) {
    // Byte 8 is the input report's id, byte 23 the feature report's id,
    // byte 27 the feature report's count (see PendantReportDescriptor).
    ASSERT_EQ(protocol::PendantReportDescriptor(8).at(8), WheelReportId);
    ASSERT_EQ(protocol::PendantReportDescriptor(8).at(23), DisplayReportId);
    ASSERT_EQ(protocol::PendantReportDescriptor(8).at(27), DisplayReportPayloadBytes);
    const Shape shapes[] = {
        {"the pendant's", protocol::PendantReportDescriptor(8), true},
        {"input reports of 6 bytes", protocol::PendantReportDescriptor(6), true},
        {"input reports of 64 bytes", protocol::PendantReportDescriptor(64), true},
        {"input reports of 5 bytes", protocol::PendantReportDescriptor(5), false},
        {"input report 5, not 4", Changed(8, 5), false},
        {"feature report 7, not 6", Changed(23, 7), false},
        {"feature reports of 7 bytes", Changed(27, 6), false},
        {"a keyboard", vp::KeyboardReportDescriptor(), false},
        {"no descriptor", {}, false},
    };
    for (const Shape& s : shapes) {
        vp::Reset();
        vp::Device d = vp::HidBoundDevice();
        d.reportDescriptor = s.descriptor;
        vp::SetDevice(d);
        char path[MAX_PATH];
        BOOL noDevice = 7;
        const HRESULT hr = FindHidPendantPath(path, sizeof path, &noDevice);
        EXPECT_EQ(SUCCEEDED(hr), s.pendant) << s.what;
        EXPECT_EQ(noDevice, s.pendant ? FALSE : TRUE) << s.what;
        EXPECT_EQ(vp::Open(), vp::OpenCounts{}) << s.what;
    }
}

TEST_F(HidTest, FoundWithoutTheGuidSurveyedTracedAndDisplayed) {
    vp::SetDevice(HidPendantBehindAKeyboard());
    vp::QueueReport({0x04, 0x00, 0x00, 0x12, 0x02, 0x00, 0x00, 0x00});
    vp::QueueReport({0x04, 0x00, 0x00, 0x12, 0x01, 0x00, 0x00, 0x00});
    const std::string out = Run(4);
    EXPECT_EQ(out, HidSurvey + "Read from rk27: 4 0 0 12 2 0 \nRead from rk27: 4 0 0 12 1 0 \n");
    // A frame after each report, as six feature reports, byte-exact.
    const auto& frames = vp::Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].problem, "");
    EXPECT_EQ(frames[0].display.CoordSet2[1], 2.0);
    EXPECT_EQ(frames[1].display.CoordSet2[1], 3.0);
    PendantDevice expected;
    expected.SetCoordinate(2, 1, 3.0f);
    DisplayFrame frame;
    expected.BuildDisplayFrame(frame);
    EXPECT_EQ(frames[1].bytes, std::vector<std::uint8_t>(frame, frame + sizeof frame));
    EXPECT_EQ(vp::CountOf(vp::Call::HidD_SetFeature), 12u);
    EXPECT_EQ(vp::Open(), vp::OpenCounts{}) << "the read under way ended, all closed";
}

TEST_F(HidTest, NoOtherHidDeviceIsOpenedForWritingOrSentAByte) {
    vp::SetDevice(HidPendantBehindAKeyboard());
    vp::QueueReport({0x04, 0x00, 0x00, 0x11, 0x01, 0x00, 0x00, 0x00});
    Run(3);
    std::vector<std::uint64_t> pendantFiles;
    std::uintptr_t next = 0;
    for (const auto& call : vp::Calls()) {
        if (call.call == vp::Call::CreateFileA) {
            const std::string path(call.bytes.begin(), call.bytes.end());
            if (path == KeyboardPath) {
                EXPECT_EQ(call.args.at(0), 0u) << "the keyboard opened with access";
            }
        }
        // Every read and every report goes to a handle of the pendant's
        // opening for use (the last CreateFileA), never the keyboard's.
        if (call.call == vp::Call::ReadFile || call.call == vp::Call::HidD_SetFeature) {
            if (next == 0)
                next = call.args.at(0);
            EXPECT_EQ(call.args.at(0), next);
        }
    }
    const auto opens = vp::CallsOf(vp::Call::CreateFileA);
    ASSERT_EQ(opens.size(), 3u); // the keyboard, the pendant read, the pendant for use
    EXPECT_EQ(std::string(opens[2].bytes.begin(), opens[2].bytes.end()), vp::HidBoundDevice().path);
    EXPECT_EQ(opens[2].args.at(0), GENERIC_READ | GENERIC_WRITE);
}

TEST_F(HidTest, WithOnlyOtherHidDevicesTheUsualMessages) {
    vp::Device d = HidPendantBehindAKeyboard();
    d.present = false;
    vp::SetDevice(d);
    EXPECT_EQ(Run(3), "Device not connected or driver not installed\nnothing to do...\n");
    EXPECT_EQ(vp::CountOf(vp::Call::HidD_SetFeature), 0u);
    EXPECT_EQ(vp::CountOf(vp::Call::ReadFile), 0u);
}

TEST_F(HidTest, AnIdleTurnIsOneBlockingWaitAndTheReadStaysUnderWay) {
    vp::SetDevice(vp::HidBoundDevice());
    Run(10, [](int turn) {
        if (turn == 5)
            vp::ClearCalls();
    });
    // Turns 5 to 9: a wait each, no new read, nothing asked of the result.
    EXPECT_EQ(vp::CallsOf(vp::Call::WaitForSingleObject).size(), 5u);
    std::size_t waits = 0;
    for (const auto& call : vp::Calls())
        if (call.call == vp::Call::WaitForSingleObject) {
            EXPECT_EQ(call.args.at(1), ReadTimeoutMs) << ++waits;
        }
    const auto reads = vp::CallsOf(vp::Call::ReadFile);
    EXPECT_TRUE(reads.empty());
    EXPECT_EQ(vp::CallsOf(vp::Call::CancelIo).size(), 1u) << "at the close";
    EXPECT_EQ(vp::Now(), 10 * ReadTimeoutMs) << "each turn waited out its time-out, no more";
}

TEST_F(HidTest, AReportReadyAtOnceAndAReportAfterAWaitBothArrive) {
    vp::SetDevice(vp::HidBoundDevice());
    vp::QueueReport({0x04, 0x00, 0x00, 0x11, 0x01, 0x00, 0x00, 0x00}); // read at once
    const std::string out = Run(4, [](int turn) {
        if (turn == 2) // while a read waits
            vp::QueueReport({0x04, 0x00, 0x00, 0x11, 0x02, 0x00, 0x00, 0x00});
    });
    EXPECT_EQ(out, HidSurvey + "Read from rk27: 4 0 0 11 1 0 \nRead from rk27: 4 0 0 11 2 0 \n");
}

TEST_F(HidTest, AnUnpluggedPendantIsFollowedWithReconnect) {
    vp::SetDevice(vp::HidBoundDevice());
    const int backBy = 3 + static_cast<int>(ReconnectIntervalMs / ReadTimeoutMs) + 3;
    const std::string out = Run(
        backBy,
        [](int turn) {
            if (turn == 2)
                vp::Unplug();
            if (turn == 3) {
                vp::Replug();
                vp::QueueReport({0x04, 0x00, 0x00, 0x13, 0x01, 0x00, 0x00, 0x00});
            }
        },
        Hid(true));
    EXPECT_EQ(out, HidSurvey + HidSurvey + "Read from rk27: 4 0 0 13 1 0 \n");
    EXPECT_EQ(vp::Open(), vp::OpenCounts{});
}

TEST_F(HidTest, PlainPendantTestSaysTheTwoLinesAndAdvisesHidOnStandardError) {
    vp::SetDevice(vp::HidBoundDevice());
    std::string out;
    const std::string err = CaptureStderr([&] { out = Run(3, {}, ToolOptions{}); });
    EXPECT_EQ(out, "Device not connected or driver not installed\nnothing to do...\n");
    EXPECT_EQ(err, "pendant-test: a pendant is on the system's HID driver; pendant-test --hid "
                   "reaches it\n");
    EXPECT_EQ(vp::CountOf(vp::Call::HidD_SetFeature), 0u);
}

TEST_F(HidTest, ListNamesEveryPendantEitherWayAndNothingElse) {
    const struct {
        const char* what;
        vp::Device device;
        std::string out;
        int status;
    } cases[] = {
        {"under the GUID", vp::Device{}, vp::Device{}.path + "  fff0:0001  WinUSB\n", 0},
        {"on the HID driver, behind a keyboard", HidPendantBehindAKeyboard(),
         vp::HidBoundDevice().path + "  fff0:0001  HID\n", 0},
        {"a keyboard alone",
         [] {
             vp::Device d = HidPendantBehindAKeyboard();
             d.present = false;
             return d;
         }(),
         "", 1},
    };
    for (const auto& c : cases) {
        vp::Reset();
        vp::SetDevice(c.device);
        int status = -1;
        std::string out;
        const std::string err =
            CaptureStderr([&] { out = CaptureStdout([&] { status = ListPendants(); }); });
        EXPECT_EQ(out, c.out) << c.what;
        EXPECT_EQ(status, c.status) << c.what;
        EXPECT_EQ(err, c.status == 0 ? "" : "pendant-test: no pendant found either way\n")
            << c.what;
        EXPECT_EQ(vp::CountOf(vp::Call::HidD_SetFeature), 0u) << c.what;
        EXPECT_EQ(vp::Open(), vp::OpenCounts{}) << c.what;
    }
}

TEST_F(HidTest, APendantHeldByAnotherProgramIsSaidSo) {
    vp::SetDevice(vp::HidBoundDevice());
    // Found (the first opening, with no access), then refused for use.
    vp::FailCall(vp::Call::CreateFileA, 2, ERROR_SHARING_VIOLATION);
    std::string out;
    const std::string err = CaptureStderr([&] { out = Run(3); });
    EXPECT_EQ(out, "Failed looking for device, HRESULT 0x80070020\nnothing to do...\n");
    EXPECT_EQ(err, "pendant-test: another program holds the pendant for itself; close it, or "
                   "let it share the pendant, and try again\n");
}
