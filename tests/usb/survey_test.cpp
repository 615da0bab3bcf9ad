// The interface and endpoint report and the pipes it records.
#include <string>

#include "support/virtual_pendant_test.h"

namespace vp = virtual_pendant;

namespace {

const char* const DeviceQuery = "\nCreating and sending device query..."
                                "\n#Descriptor type   : 4"
                                "\n#Interface Class   : 3"
                                "\n#Interface Number  : 0"
                                "\n#Interface Protocol: 0"
                                "\n#Interface SubClass: 0"
                                "\n#iInterface        : 0"
                                "\n#Endpoints Found   : %N"
                                "\nFinished device query."
                                "\n\nCreating and sending endpoint queries...";

std::string Header(int endpoints) {
    std::string text = DeviceQuery;
    text.replace(text.find("%N"), 2, std::to_string(endpoints));
    return text;
}

struct SurveyCase {
    const char* name;
    std::vector<vp::Pipe> pipes;
    std::string endpoints; // the report after the header
    UCHAR read, write, first, last;
};

void PrintTo(const SurveyCase& c, std::ostream* os) {
    *os << c.name;
}

class Survey : public VirtualPendantTest, public ::testing::WithParamInterface<SurveyCase> {};

} // namespace

TEST_P(Survey, PrintsTheReportAndRecordsThePipes) {
    const SurveyCase& c = GetParam();
    vp::SetDevice(DeviceWithPipes(c.pipes));
    PendantDevice device;
    OpenQuietly(device);
    device.ReadPipeId = device.WritePipeId = device.PipeInterruptFirst = device.PipeInterruptLast =
        0;

    const std::string out = CaptureStdout([&] { device.SurveyEndpoints(); });
    EXPECT_EQ(out, Header(static_cast<int>(c.pipes.size())) + c.endpoints +
                       "\nEndpoint query complete.");
    EXPECT_EQ(device.ReadPipeId, c.read);
    EXPECT_EQ(device.WritePipeId, c.write);
    EXPECT_EQ(device.PipeInterruptFirst, c.first);
    EXPECT_EQ(device.PipeInterruptLast, c.last);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Survey,
    ::testing::Values(
        SurveyCase{"OneInterruptIn",
                   {{UsbdPipeTypeInterrupt, 0x81, 8}},
                   "\n    Endpoint 0:\n      Type: Interrupt\n      PipeID: 129"
                   "\n      PipeInterruptFirst set to this pipe.\n      MaxPacket: 8",
                   0x81,
                   0x81,
                   0x81,
                   0},
        SurveyCase{"TwoInterrupt",
                   {{UsbdPipeTypeInterrupt, 0x81, 8}, {UsbdPipeTypeInterrupt, 0x02, 16}},
                   "\n    Endpoint 0:\n      Type: Interrupt\n      PipeID: 129"
                   "\n      PipeInterruptFirst set to this pipe.\n      MaxPacket: 8"
                   "\n    Endpoint 1:\n      Type: Interrupt\n      PipeID: 2"
                   "\n      PipeInterruptLast set to this pipe.\n      MaxPacket: 16",
                   0x02,
                   0x02,
                   0x81,
                   0x02},
        SurveyCase{
            "BulkInAndOut",
            {{UsbdPipeTypeBulk, 0x82, 64}, {UsbdPipeTypeBulk, 0x01, 64}},
            "\n    Endpoint 0:\n      Type: Bulk-In\n      PipeID: \x82\n      MaxPacket: 64"
            "\n    Endpoint 1:\n      Type: Bulk-Out\n      PipeID: \x01\n      MaxPacket: 64",
            0x82,
            0x01,
            0,
            0},
        SurveyCase{"NoEndpoints", {}, "", 0, 0, 0, 0},
        SurveyCase{"ControlIsochronousAndUnknown",
                   {{UsbdPipeTypeControl, 0x00, 64},
                    {UsbdPipeTypeIsochronous, 0x83, 512},
                    {static_cast<USBD_PIPE_TYPE>(7), 0x84, 4}},
                   "\n    Endpoint 0:\n      Type: Control\n      PipeID: 0\n      MaxPacket: 64"
                   "\n    Endpoint 1:\n      Type: Isochronous\n      PipeID: 131"
                   "\n      MaxPacket: 512"
                   "\n      MaxPacket: 4",
                   0,
                   0,
                   0,
                   0},
        SurveyCase{"LastReadablePipeWins",
                   {{UsbdPipeTypeInterrupt, 0x81, 8},
                    {UsbdPipeTypeBulk, 0x83, 64},
                    {UsbdPipeTypeInterrupt, 0x84, 8},
                    {UsbdPipeTypeInterrupt, 0x85, 8}},
                   "\n    Endpoint 0:\n      Type: Interrupt\n      PipeID: 129"
                   "\n      PipeInterruptFirst set to this pipe.\n      MaxPacket: 8"
                   "\n    Endpoint 1:\n      Type: Bulk-In\n      PipeID: \x83\n      MaxPacket: 64"
                   "\n    Endpoint 2:\n      Type: Interrupt\n      PipeID: 132"
                   "\n      PipeInterruptLast set to this pipe.\n      MaxPacket: 8"
                   "\n    Endpoint 3:\n      Type: Interrupt\n      PipeID: 133"
                   "\n      PipeInterruptLast set to this pipe.\n      MaxPacket: 8",
                   0x85,
                   0x85,
                   0x81,
                   0x85}),
    [](const ::testing::TestParamInfo<SurveyCase>& p) { return p.param.name; });

class SurveyFailure : public VirtualPendantTest {};

TEST_F(SurveyFailure, FailedInterfaceQueryEndsTheSurveyWithItsErrorText) {
    PendantDevice device;
    OpenQuietly(device);
    device.ReadPipeId = 0;
    vp::FailCall(vp::Call::WinUsb_QueryInterfaceSettings, 2, ERROR_GEN_FAILURE);
    const std::string out = CaptureStdout([&] { device.SurveyEndpoints(); });
    EXPECT_EQ(out,
              "\nCreating and sending device query... Error.\n    USB Interface query failed.\n");
    EXPECT_EQ(device.ReadPipeId, 0);
    EXPECT_EQ(vp::CountOf(vp::Call::WinUsb_QueryPipe), 1u); // only the one from opening
}

TEST_F(SurveyFailure, FailedPipeQuerySkipsThatPipeSilently) {
    vp::SetDevice(
        DeviceWithPipes({{UsbdPipeTypeInterrupt, 0x81, 8}, {UsbdPipeTypeInterrupt, 0x82, 8}}));
    vp::FailCall(vp::Call::WinUsb_QueryPipe, 1, ERROR_GEN_FAILURE);
    PendantDevice device;
    std::string out;
    out = CaptureStdout([&] { device.Open(nullptr); });
    EXPECT_EQ(out, Header(2) + "\n    Endpoint 1:\n      Type: Interrupt\n      PipeID: 130"
                               "\n      PipeInterruptFirst set to this pipe.\n      MaxPacket: 8"
                               "\nEndpoint query complete.");
    EXPECT_EQ(device.ReadPipeId, 0x82);
    EXPECT_EQ(device.PipeInterruptFirst, 0x82);
}
