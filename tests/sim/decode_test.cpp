// The decode helper: frames to values and back, and what the tool makes of
// an input report - checked against the tool's own reading of it.
#include <gtest/gtest.h>

#include <sstream>

#include "sim/decode.h"
#include "support/virtual_pendant_test.h"

namespace {

namespace vp = virtual_pendant;

const char* const ExampleFrame = "06 FE FD 0F 01 00 88 13 | 06 02 00 C4 89 7B 00 DA | "
                                 "06 11 00 00 0A 00 00 00 | 06 00 00 0A 00 00 00 64 | "
                                 "06 00 C8 00 B8 0B E0 2E | 06 08 02 00 00 00 00 00";
const char* const ExampleValues =
    "set1 1.5000 -2.2500 123.4570 | set2 0.0010 0.0000 10.0000 | words 100 200 3000 12000\n";

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

template <typename F> Outcome Capture(F command) {
    std::ostringstream out, err;
    const int status = command(out, err);
    return {status, out.str(), err.str()};
}

TEST(EncodeFrame, GivesTheExampleFrameByteForByte) {
    protocol::DisplayValues v;
    const float set1[3] = {1.5f, -2.25f, 123.4567f};
    const float set2[3] = {0.0005f, -0.0004f, 10.0f};
    const std::uint16_t words[4] = {100, 200, 3000, 12000};
    std::copy(set1, set1 + 3, v.CoordSet1);
    std::copy(set2, set2 + 3, v.CoordSet2);
    std::copy(words, words + 4, v.DisplayWord);
    EXPECT_EQ(sim::FormatFrame(protocol::BuildFrame(v).data()), ExampleFrame);
    EXPECT_EQ(sim::FormatFrame(protocol::BuildFrame(protocol::DisplayValues{}).data()),
              "06 FE FD 0F 00 00 00 00 | 06 00 00 00 00 00 00 00 | 06 00 00 00 00 00 00 00 | "
              "06 00 00 00 00 00 00 00 | 06 00 00 00 00 00 00 00 | 06 08 02 00 00 00 00 00");
}

TEST(EncodeFrameCommand, TakesTenValues) {
    const std::vector<std::string> example = {"1.5", "-2.25", "123.4567", "0.0005", "-0.0004",
                                              "10",  "100",   "200",      "3000",   "12000"};
    Outcome r = Capture([&](auto& o, auto& e) { return sim::EncodeFrameCommand(example, o, e); });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string(ExampleFrame) + "\n");

    std::vector<std::string> bad = example;
    bad[1] = "x";
    r = Capture([&](auto& o, auto& e) { return sim::EncodeFrameCommand(bad, o, e); });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("value 2 \"x\" is not a coordinate"), std::string::npos) << r.err;
    bad.pop_back();
    r = Capture([&](auto& o, auto& e) { return sim::EncodeFrameCommand(bad, o, e); });
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
}

TEST(DecodeFrameCommand, GivesTheTenValuesOfEachFrame) {
    Outcome r = Capture(
        [](auto& o, auto& e) { return sim::DecodeFrameCommand(ExampleFrame, false, o, e); });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, ExampleValues);

    const std::string two = std::string(ExampleFrame) + "\n" + ExampleFrame;
    r = Capture([&](auto& o, auto& e) { return sim::DecodeFrameCommand(two, true, o, e); });
    EXPECT_EQ(r.out, std::string(ExampleValues) + ExampleValues);

    std::string wrongId = ExampleFrame;
    wrongId.replace(wrongId.rfind("06"), 2, "07");
    r = Capture([&](auto& o, auto& e) { return sim::DecodeFrameCommand(wrongId, false, o, e); });
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("malformed: report 5 has id 7, not 6"), std::string::npos) << r.out;
}

TEST(DecodeFrameCommand, RefusesWhatIsNotWholeFrames) {
    const std::string short47 =
        std::string(ExampleFrame).substr(0, std::string(ExampleFrame).size() - 3);
    for (const std::string& text : {short47, std::string(""), std::string("06 FE XX")}) {
        Outcome r =
            Capture([&](auto& o, auto& e) { return sim::DecodeFrameCommand(text, true, o, e); });
        EXPECT_EQ(r.status, 2) << text;
        EXPECT_EQ(r.out, "") << text;
        EXPECT_NE(r.err, "") << text;
    }
}

TEST(DecodeReportCommand, OneMeaningPerReportLine) {
    Outcome r = Capture([](auto& o, auto& e) {
        return sim::DecodeReportCommand("04 00 00 12 02 00\n\n04 00 00 11 E1\n04 00\n", true, o, e);
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "04 00 00 12 02 00 -> axis 2, count +2: moves set 2 axis 2 by +2\n"
                     "04 00 00 11 E1 -> axis 1, count -31: moves set 2 axis 1 by -31\n"
                     "04 00 -> no axis (axis code 0x00), count 0: moves nothing "
                     "(short report: bytes 2 to 4 read as 0)\n");

    r = Capture(
        [](auto& o, auto& e) { return sim::DecodeReportCommand("04 00\n04 ZZ\n", true, o, e); });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("line 2: \"ZZ\" is not a hex byte"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "") << "nothing of a batch with a bad line";
    r = Capture([](auto& o, auto& e) { return sim::DecodeReportCommand("\n \n", true, o, e); });
    EXPECT_EQ(r.status, 2);
}

TEST(DecodeCommands, TakeTheToolsOwnLines) {
    const std::string report = "04 00 00 12 02 00 -> axis 2, count +2: moves set 2 axis 2 by +2\n";
    for (const char* text :
         {"Read from rk27: 4 0 0 12 2 0 \n", "4 0 0 12 2 0 ",
          "\n#Endpoints Found   : 1\nEndpoint query complete.Read from rk27: 4 0 0 12 2 0 \n"
          "[frame 1] set1 0.0000 0.0000 0.0000 | set2 0.0000 2.0000 0.0000 | words 0 0 0 0\n"}) {
        Outcome r =
            Capture([&](auto& o, auto& e) { return sim::DecodeReportCommand(text, true, o, e); });
        EXPECT_EQ(r.status, 0) << text << r.err;
        EXPECT_EQ(r.out, report) << text;
    }
    std::string packed = ExampleFrame;
    for (const char* separator : {" ", "|"})
        for (std::size_t at; (at = packed.find(separator)) != std::string::npos;)
            packed.erase(at, 1);
    const std::string scriptMode = std::string("Endpoint query complete.\n[frame 3] ") +
                                   ExampleFrame + "\n[frame 3] " + ExampleValues +
                                   "Read from rk27: 4 0 0 12 2 0 \n[sim] tool returned 0";
    for (const std::string& text : {packed, scriptMode}) {
        Outcome r =
            Capture([&](auto& o, auto& e) { return sim::DecodeFrameCommand(text, true, o, e); });
        EXPECT_EQ(r.status, 0) << text << r.err;
        EXPECT_EQ(r.out, ExampleValues) << text;
    }
}

TEST(DecodeCommands, RefuseWhatIsTooLongAndNameLinesOnlyFromStandardInput) {
    std::string tooLong;
    for (int i = 0; i < 65; ++i)
        tooLong += "01 ";
    for (bool numbered : {false, true}) {
        Outcome r = Capture(
            [&](auto& o, auto& e) { return sim::DecodeReportCommand(tooLong, numbered, o, e); });
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("got 65 bytes; an input report is 1 to 64"), std::string::npos)
            << r.err;
        EXPECT_EQ(r.err.find("line 1:") != std::string::npos, numbered) << r.err;
        r = Capture([&](auto& o, auto& e) {
            return sim::DecodeFrameCommand(std::string(ExampleFrame) + " 06", numbered, o, e);
        });
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("got 49 bytes"), std::string::npos) << r.err;
    }
}

// DescribeReport must say exactly what ReadInput does: replay reports
// through the tool against the virtual pendant and compare.
class DescribeReportTest : public VirtualPendantTest {};

TEST_F(DescribeReportTest, AgreesWithTheToolForEveryCountOnEveryKindOfAxisCode) {
    PendantDevice device;
    OpenQuietly(device);
    std::vector<std::vector<std::uint8_t>> reports;
    for (int code : {0x00, 0x10, 0x11, 0x12, 0x13, 0x14, 0xFF})
        for (int count = 0; count < 256; ++count)
            reports.push_back({0x04, 0x00, 0x00, static_cast<std::uint8_t>(code),
                               static_cast<std::uint8_t>(count), 0x00});
    const std::vector<std::uint8_t> full = {0x04, 0x00, 0x00, 0x12, 0x05};
    for (std::size_t length = 0; length < full.size(); ++length)
        reports.emplace_back(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));

    CaptureStdout([&] {
        for (const auto& report : reports) {
            SCOPED_TRACE(Hex(report));
            vp::QueueReport(report);
            for (float& c : device.CoordSet2)
                c = 0.0f;
            device.DisplayDirty = false;
            device.ReadInput();
            const sim::ReportMeaning m = sim::DescribeReport(report.data(), report.size());
            EXPECT_EQ(m.moves, device.DisplayDirty);
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(device.CoordSet2[k], m.moves && m.axis == k + 1 ? m.count : 0.0f);
            EXPECT_EQ(m.text.find("moves nothing") != std::string::npos, !m.moves) << m.text;
        }
    });
    EXPECT_EQ(vp::PendingInput(), 0U);
}

} // namespace
