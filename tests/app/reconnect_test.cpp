// pendant-test --reconnect: the pendant unplugged and plugged in again is
// found, surveyed and sent its display again; what is not a removal leaves it
// alone; and without the option an unplug leaves the tool deaf as before.
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "app/entry.h"
#include "app/reconnect.h"
#include "support/virtual_pendant_test.h"
#include "usb/discovery.h"

namespace vp = virtual_pendant;

namespace {

ToolOptions ReconnectingOptions() {
    ToolOptions o;
    o.reconnect = true;
    return o;
}
const ToolOptions Reconnecting = ReconnectingOptions();

// Axis 2 turned by +2, then by +1 (8 bytes, the declared report size).
const std::vector<std::uint8_t> JogTwo = {0x04, 0x00, 0x00, 0x12, 0x02, 0x00, 0x00, 0x00};
const std::vector<std::uint8_t> JogOne = {0x04, 0x00, 0x00, 0x12, 0x01, 0x00, 0x00, 0x00};
const std::string JogTwoLine = "Read from rk27: 4 0 0 12 2 0 \n";
const std::string JogOneLine = "Read from rk27: 4 0 0 12 1 0 \n";

// Turns the loop runs while the pendant is away: 4 s of virtual time.
constexpr int AwayTurns = 4000 / static_cast<int>(ReadTimeoutMs);

class ReconnectTest : public VirtualPendantTest {
  protected:
    // Runs the tool; at turn unplugAt the pendant is unplugged, at replugAt
    // it is plugged in again and then sent afterReplug.
    std::string Run(const ToolOptions& options, int unplugAt, int replugAt, int turns,
                    const std::vector<std::vector<std::uint8_t>>& afterReplug = {}) {
        std::istringstream in;
        int turn = 0;
        return CaptureStdout([&] {
            RunTool(
                in,
                [&](PendantDevice&) {
                    if (turn == unplugAt)
                        vp::Unplug();
                    if (turn == replugAt) {
                        vp::Replug();
                        for (const auto& report : afterReplug)
                            vp::QueueReport(report);
                    }
                    return turn++ < turns;
                },
                options);
        });
    }

    static std::string Survey() {
        PendantDevice device;
        return CaptureStdout([&] {
            BOOL noDevice = FALSE;
            device.Open(&noDevice);
            device.Close();
        });
    }
};

TEST(ReconnectOptions, OnlyTheOptionTurnsItOnAndOtherArgumentsAreIgnored) {
    struct Case {
        std::vector<const char*> argv;
        bool reconnect;
    };
    const Case cases[] = {
        {{"pendant-test"}, false},
        {{"pendant-test", "--reconnect"}, true},
        {{"pendant-test", "x", "--reconnect", "--check"}, true},
        {{"pendant-test", "--reconnect=yes", "-reconnect", "reconnect"}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseOptions(static_cast<int>(c.argv.size()), c.argv.data()).reconnect,
                  c.reconnect)
            << c.argv.size();
}

TEST_F(ReconnectTest, ReplugGivesTheSurveyAgainTheKeptDisplayAndEveryReport) {
    const std::string survey = Survey();
    vp::Reset();
    vp::QueueReport(JogTwo);
    // The pendant is found within a second of the replug.
    const int backBy = 3 + AwayTurns + static_cast<int>(ReconnectIntervalMs / ReadTimeoutMs) + 1;
    const std::string out = Run(Reconnecting, 3, 3 + AwayTurns, backBy + 4, {JogOne, JogOne});
    EXPECT_EQ(out, survey + JogTwoLine + survey + JogOneLine + JogOneLine);

    // The jog's frame, the same display again after the replug, then the
    // two counts added (a frame after each report read).
    const auto& frames = vp::Frames();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].display.CoordSet2[1], 2.0);
    EXPECT_EQ(frames[1].bytes, frames[0].bytes) << "the kept values, sent again";
    EXPECT_EQ(frames[2].display.CoordSet2[1], 3.0);
    EXPECT_EQ(frames[3].display.CoordSet2[1], 4.0);
    for (const auto& f : frames)
        EXPECT_EQ(f.problem, "");
    // The dead handles were given back before the new ones were taken.
    EXPECT_EQ(vp::CountOf(vp::Call::WinUsb_Free), 2u);
    EXPECT_EQ(vp::CountOf(vp::Call::CloseHandle), vp::CountOf(vp::Call::CreateFileA));
    EXPECT_EQ(vp::Open(), vp::OpenCounts{});
}

TEST_F(ReconnectTest, AwayTheLoopLooksOnceASecondAndKeepsItsPace) {
    std::istringstream in;
    int turn = 0;
    std::vector<DWORD> looks; // virtual times of the discoveries while away
    unsigned seen = 0;
    CaptureStdout([&] {
        RunTool(
            in,
            [&](PendantDevice&) {
                if (turn == 2) {
                    vp::Unplug();
                    seen = vp::CountOf(vp::Call::SetupDiGetClassDevsA);
                }
                if (turn > 2 && vp::CountOf(vp::Call::SetupDiGetClassDevsA) != seen) {
                    seen = vp::CountOf(vp::Call::SetupDiGetClassDevsA);
                    looks.push_back(vp::Now());
                }
                return turn++ < 2 + AwayTurns;
            },
            Reconnecting);
    });
    // 4 s away: the first look at once, then one a second.
    ASSERT_GE(looks.size(), 4u);
    ASSERT_LE(looks.size(), 5u) << testing::PrintToString(looks);
    for (std::size_t i = 1; i < looks.size(); ++i)
        EXPECT_GE(looks[i] - looks[i - 1], ReconnectIntervalMs) << i;
    // Every turn takes the read time-out, no more: two timed-out reads, the
    // read that failed and the turns away each paused for all of it.
    const auto sleeps = vp::Sleeps();
    EXPECT_EQ(sleeps, std::vector<DWORD>(AwayTurns, ReadTimeoutMs));
    EXPECT_EQ(vp::Now(), (2u + AwayTurns) * ReadTimeoutMs);
}

TEST_F(ReconnectTest, OnlyAReadSayingThePendantIsGoneReopensIt) {
    // The pendant stays plugged, so a reconnection shows as a second survey.
    struct Case {
        DWORD error;
        bool gone;
    };
    const Case cases[] = {
        {ERROR_SEM_TIMEOUT, false},
        {ERROR_GEN_FAILURE, false},
        {ERROR_SUCCESS, false}, // a failure without a code reads as a general one
        {ERROR_INVALID_HANDLE, false},
        {ERROR_BAD_COMMAND, true},
        {ERROR_DEVICE_NOT_CONNECTED, true},
    };
    const std::string survey = Survey();
    for (const auto& c : cases) {
        vp::Reset();
        vp::FailCall(vp::Call::WinUsb_ReadPipe, 1, c.error);
        vp::QueueReport(JogOne);
        const std::string out = Run(Reconnecting, -1, -1, 4);
        EXPECT_EQ(out, (c.gone ? survey + survey : survey) + JogOneLine) << c.error;
        EXPECT_EQ(vp::CountOf(vp::Call::SetupDiGetClassDevsA), c.gone ? 2u : 1u) << c.error;
        EXPECT_EQ(DeviceGone(c.error), c.gone) << c.error;
    }
}

TEST_F(ReconnectTest, APendantBackButFailingToOpenIsTriedAgain) {
    const std::string survey = Survey();
    vp::Reset();
    // The first opening's CreateFileA is the first; the replugged pendant's
    // first opening is refused.
    vp::FailCall(vp::Call::CreateFileA, 2, ERROR_ACCESS_DENIED);
    const std::string out = Run(Reconnecting, 2, 2, 2 + AwayTurns, {JogOne});
    EXPECT_EQ(out, survey + survey + JogOneLine) << "no failure message, no closing read";
    EXPECT_EQ(vp::CountOf(vp::Call::CreateFileA), 3u);
    EXPECT_EQ(vp::Open(), vp::OpenCounts{});
}

TEST_F(ReconnectTest, WithoutTheOptionAnUnplugLeavesTheToolDeaf) {
    const std::string survey = Survey();
    vp::Reset();
    const std::string out = Run({}, 2, 4, 4 + AwayTurns, {JogOne});
    EXPECT_EQ(out, survey) << "the dead handle is read on; the report is never seen";
    EXPECT_EQ(vp::CountOf(vp::Call::SetupDiGetClassDevsA), 1u);
    EXPECT_EQ(vp::CountOf(vp::Call::WinUsb_Free), 1u) << "only the closing at the end";
    EXPECT_EQ(vp::PendingInput(), 1u);
}

} // namespace

// Discoveries of the pendant by its GUID (not the look among HID devices
// that the advice after a failure makes).
unsigned Looks() {
    unsigned n = 0;
    for (const auto& call : vp::CallsOf(vp::Call::SetupDiGetClassDevsA))
        n += call.bytes.size() == sizeof(GUID) &&
             std::memcmp(call.bytes.data(), &PendantInterfaceGuid, sizeof(GUID)) == 0;
    return n;
}

TEST_F(ReconnectTest, APendantNotOpenedAtStartIsSaidOnceThenWaitedFor) {
    struct Case {
        const char* message;
        bool plugged; // at start: there but refused (access denied) when true
    };
    const Case cases[] = {
        {"Device not connected or driver not installed\n", false},
        {"Failed looking for device, HRESULT 0x80070005\n", true},
    };
    const std::string survey = Survey();
    for (const Case& c : cases) {
        vp::Reset();
        if (c.plugged)
            vp::FailCall(vp::Call::CreateFileA, 1, ERROR_ACCESS_DENIED);
        else
            vp::Unplug();
        std::istringstream in("word\n");
        int turn = 0, status = -1;
        std::vector<DWORD> looks; // virtual times of the discoveries
        const std::string out = CaptureStdout([&] {
            status = RunTool(
                in,
                [&](PendantDevice&) {
                    if (Looks() != looks.size())
                        looks.push_back(vp::Now());
                    if (turn == AwayTurns) {
                        vp::Replug();
                        vp::QueueReport(JogOne);
                    }
                    return turn++ <
                           AwayTurns + 2 * static_cast<int>(ReconnectIntervalMs / ReadTimeoutMs);
                },
                Reconnecting);
        });
        EXPECT_EQ(status, 0);
        // Said once, never "nothing to do...", the input left alone.
        EXPECT_EQ(out, c.message + survey + JogOneLine) << c.message;
        EXPECT_EQ(in.tellg(), 0) << c.message;
        // The opening at start, then a look a second, the last finding it.
        // The hook sees each look a turn later: after the pause of a look
        // that failed, at once after the one that opened it.
        ASSERT_GE(looks.size(), c.plugged ? 2u : 5u) << testing::PrintToString(looks);
        ASSERT_LE(looks.size(), c.plugged ? 2u : 5u) << testing::PrintToString(looks);
        EXPECT_EQ(looks.front(), 0u);
        EXPECT_GE(looks[1], ReconnectIntervalMs);
        for (std::size_t i = 2; i + 1 < looks.size(); ++i)
            EXPECT_GE(looks[i] - looks[i - 1], ReconnectIntervalMs) << c.message << i;
        EXPECT_EQ(vp::Sleeps().front(), ReadTimeoutMs) << "the 30 ms pace while away";
        EXPECT_EQ(vp::Open(), vp::OpenCounts{}) << c.message;
    }
}
