// The whole program: failure messages and closing read, the endless loop,
// and the pause that keeps an unplugged pendant from spinning the loop.
#include <sstream>
#include <string>

#include "app/entry.h"
#include "support/virtual_pendant_test.h"

namespace vp = virtual_pendant;

namespace {

class EntryTest : public VirtualPendantTest {
  protected:
    // Runs the tool on the given standard input; a hook, when given, ends the
    // success path.
    std::string Run(std::istream& in, const TurnHook& hook = {}, int* status = nullptr) {
        int s = -1;
        std::string out = CaptureStdout([&] { s = RunTool(in, hook); });
        if (status != nullptr)
            *status = s;
        return out;
    }

    static TurnHook Turns(int n) {
        return [n](PendantDevice&) mutable { return n-- > 0; };
    }

    static std::string Rest(std::istream& in) {
        in.clear();
        std::string rest((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return rest;
    }
};

const char* const Survey81 = "\nCreating and sending device query..."
                             "\n#Descriptor type   : 4\n#Interface Class   : 3"
                             "\n#Interface Number  : 0\n#Interface Protocol: 0"
                             "\n#Interface SubClass: 0\n#iInterface        : 0"
                             "\n#Endpoints Found   : 1\nFinished device query."
                             "\n\nCreating and sending endpoint queries..."
                             "\n    Endpoint 0:\n      Type: Interrupt\n      PipeID: 129"
                             "\n      PipeInterruptFirst set to this pipe.\n      MaxPacket: 8"
                             "\nEndpoint query complete.";

} // namespace

TEST_F(EntryTest, NoPendantSaysSoAndWaitsForAWord) {
    vp::Device absent;
    absent.present = false;
    vp::SetDevice(absent);
    std::istringstream in("\n\n  \n word\nrest");
    int status = -1;
    EXPECT_EQ(Run(in, {}, &status),
              "Device not connected or driver not installed\nnothing to do...\n");
    EXPECT_EQ(status, 0);
    // Bare line feeds did not end the read: it went on to the word.
    EXPECT_EQ(Rest(in), "\nrest");
    EXPECT_EQ(vp::Open(), vp::OpenCounts{});
}

TEST_F(EntryTest, AccessDeniedPrintsTheHresult) {
    vp::FailCall(vp::Call::CreateFileA, 1, ERROR_ACCESS_DENIED);
    std::istringstream in("ok");
    EXPECT_EQ(Run(in), "Failed looking for device, HRESULT 0x80070005\nnothing to do...\n");
    EXPECT_EQ(vp::Open(), vp::OpenCounts{});
    EXPECT_EQ(vp::AdviceRequests(), 1u) << "the backend may add its advice after the messages";
}

TEST_F(EntryTest, EndOfInputEndsTheClosingRead) {
    vp::Device absent;
    absent.present = false;
    vp::SetDevice(absent);
    for (const char* input : {"", "\n", "\n\n \t\n"}) {
        std::istringstream in(input);
        int status = -1;
        Run(in, {}, &status);
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(in.eof()) << '"' << input << '"';
    }
}

TEST_F(EntryTest, OverlongWordStaysWithinTheBuffer) {
    vp::Device absent;
    absent.present = false;
    vp::SetDevice(absent);
    const std::string word(100, 'w');
    std::istringstream in(word + "\nnext");
    int status = -1;
    Run(in, {}, &status);
    EXPECT_EQ(status, 0);
    // 63 characters and the terminator fill the 64 bytes; the rest is left.
    EXPECT_EQ(Rest(in), std::string(37, 'w') + "\nnext");
}

TEST_F(EntryTest, OpenedPendantIsFollowedTurnAfterTurn) {
    // Axis 2 turned by two counts: the value shows in the next turn's frame.
    vp::QueueReport({0x04, 0x00, 0x00, 0x12, 0x02, 0x00, 0x00, 0x00});
    std::istringstream in("unused");
    int status = -1;
    const std::string out = Run(in, Turns(3), &status);
    EXPECT_EQ(out, std::string(Survey81) + "Read from rk27: 4 0 0 12 2 0 \n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Rest(in), "unused") << "the success path never reads standard input";
    EXPECT_EQ(vp::AdviceRequests(), 0u);

    ASSERT_EQ(vp::Frames().size(), 1u);
    EXPECT_EQ(vp::Frames()[0].display.CoordSet2[1], 2.0);
    // Report 2 carries payload bytes 14 to 20; the new value's integer word
    // starts at payload byte 19.
    EXPECT_EQ(Hex({vp::Frames()[0].bytes.begin() + 16, vp::Frames()[0].bytes.begin() + 24}),
              "06 00 00 00 00 00 02 00");

    // Frame sent in the turn after the read, before the next read.
    std::vector<vp::Call> order;
    for (const auto& c : vp::Calls())
        if (c.call == vp::Call::WinUsb_ReadPipe || c.call == vp::Call::WinUsb_ControlTransfer)
            if (order.empty() || order.back() != c.call)
                order.push_back(c.call);
    // (The first control transfer is the opening's: the report descriptor.)
    EXPECT_EQ(order,
              (std::vector<vp::Call>{vp::Call::WinUsb_ControlTransfer, vp::Call::WinUsb_ReadPipe,
                                     vp::Call::WinUsb_ControlTransfer, vp::Call::WinUsb_ReadPipe}));
    // Ending the loop (only the simulator and tests can) closes the pendant.
    EXPECT_EQ(vp::Open(), vp::OpenCounts{});
}

TEST_F(EntryTest, SettersBetweenTurnsReachTheDisplayOnce) {
    int turn = 0;
    std::istringstream in;
    Run(in, [&turn](PendantDevice& device) {
        if (turn == 1)
            device.SetDisplayWord2(3000);
        return turn++ < 4;
    });
    ASSERT_EQ(vp::Frames().size(), 1u);
    EXPECT_EQ(vp::Frames()[0].display.DisplayWord[2], 3000);
}

TEST_F(EntryTest, UnpluggedPendantPausesForTheRestOfTheTimeOut) {
    std::istringstream in;
    int turn = 0;
    Run(in, [&turn](PendantDevice&) {
        if (turn == 2)
            vp::Unplug();
        return turn++ < 6;
    });
    // Two turns time out (no pause), four fail at once and pause 30 ms each.
    EXPECT_EQ(vp::Sleeps(), (std::vector<DWORD>{30, 30, 30, 30}));
    EXPECT_EQ(vp::Now(), 6u * 30u);
}

TEST_F(EntryTest, AReadThatFailsLateOnlyPausesForWhatIsLeft) {
    // Failing after 10 ms of the 30: the turn waits the other 20, not 30.
    vp::FailCall(vp::Call::WinUsb_ReadPipe, 1, ERROR_GEN_FAILURE, /*sticky=*/false,
                 /*takesMs=*/10);
    vp::FailCall(vp::Call::WinUsb_ReadPipe, 2, ERROR_GEN_FAILURE, /*sticky=*/false,
                 /*takesMs=*/35);
    std::istringstream in;
    Run(in, Turns(2));
    EXPECT_EQ(vp::Sleeps(), std::vector<DWORD>{20}) << "none once the time-out has passed";
}

TEST_F(EntryTest, ReportsAndTimeOutsDoNotPause) {
    vp::QueueReport({0x04, 0x00, 0x00, 0x11, 0x01, 0x00});
    vp::QueueTimeout();
    vp::QueueReport({0x04, 0x00, 0x00, 0x11, 0x01, 0x00});
    std::istringstream in;
    Run(in, Turns(5));
    EXPECT_TRUE(vp::Sleeps().empty());
}

TEST_F(EntryTest, ReadFailingWithoutAnErrorCodeStillPauses) {
    vp::FailCall(vp::Call::WinUsb_ReadPipe, 1, ERROR_SUCCESS);
    vp::FailCall(vp::Call::WinUsb_ReadPipe, 2, ERROR_DEVICE_NOT_CONNECTED);
    vp::FailCall(vp::Call::WinUsb_ReadPipe, 3, ERROR_SEM_TIMEOUT);
    std::istringstream in;
    Run(in, Turns(3));
    EXPECT_EQ(vp::Sleeps(), (std::vector<DWORD>{30, 30}));
}
