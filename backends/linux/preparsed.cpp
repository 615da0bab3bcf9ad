// hid.dll's parsed report descriptor: a block of the backend's own for each
// HidD_GetPreparsedData, the layout protocol/ reads from the descriptor.
// Blocks are known by their address, so that anything else handed back is
// refused without being read.
#include <cstring>
#include <mutex>
#include <new>
#include <set>

#include "backends/linux/handles.h"

using namespace linux_backend;

namespace {

struct Preparsed {
    protocol::ReportLayout layout;
};

std::mutex lock;
std::set<const void*> given;

const protocol::ReportLayout* LayoutOf(PHIDP_PREPARSED_DATA data) {
    const std::lock_guard<std::mutex> hold(lock);
    if (given.count(data) == 0)
        return nullptr;
    return &reinterpret_cast<const Preparsed*>(data)->layout;
}

USHORT Length(const protocol::ReportLayout& layout, protocol::ReportType type) {
    return static_cast<USHORT>(layout.Longest(type));
}

} // namespace

BOOLEAN WINAPI HidD_GetPreparsedData(HANDLE HidDeviceObject, PHIDP_PREPARSED_DATA* PreparsedData) {
    auto* device = As<HidDevice>(HidDeviceObject, Kind::Hid);
    if (device == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (PreparsedData == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    // A descriptor the parser cannot read: Windows' HID driver would not
    // have taken such a device at all.
    if (!device->layout->ok)
        return Fail(ERROR_GEN_FAILURE);
    auto* block = new (std::nothrow) Preparsed{*device->layout};
    if (block == nullptr)
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    const std::lock_guard<std::mutex> hold(lock);
    given.insert(block);
    *PreparsedData = reinterpret_cast<PHIDP_PREPARSED_DATA>(block);
    return TRUE;
}

BOOLEAN WINAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA PreparsedData) {
    {
        const std::lock_guard<std::mutex> hold(lock);
        if (given.erase(PreparsedData) == 0)
            return FALSE;
    }
    delete reinterpret_cast<Preparsed*>(PreparsedData);
    return TRUE;
}

NTSTATUS WINAPI HidP_GetCaps(PHIDP_PREPARSED_DATA PreparsedData, PHIDP_CAPS Capabilities) {
    const protocol::ReportLayout* layout = LayoutOf(PreparsedData);
    if (layout == nullptr || Capabilities == nullptr)
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    // The counts of buttons, values and collections stay 0: the core reads
    // none of them.
    *Capabilities = {};
    Capabilities->UsagePage = layout->usagePage;
    Capabilities->Usage = layout->usage;
    Capabilities->InputReportByteLength = Length(*layout, protocol::ReportType::Input);
    Capabilities->OutputReportByteLength = Length(*layout, protocol::ReportType::Output);
    Capabilities->FeatureReportByteLength = Length(*layout, protocol::ReportType::Feature);
    return HIDP_STATUS_SUCCESS;
}

NTSTATUS WINAPI HidP_InitializeReportForID(HIDP_REPORT_TYPE ReportType, UCHAR ReportID,
                                           PHIDP_PREPARSED_DATA PreparsedData, PCHAR Report,
                                           ULONG ReportLength) {
    const protocol::ReportLayout* layout = LayoutOf(PreparsedData);
    if (layout == nullptr)
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    if (ReportType != HidP_Input && ReportType != HidP_Output && ReportType != HidP_Feature)
        return HIDP_STATUS_INVALID_REPORT_TYPE;
    const auto type = static_cast<protocol::ReportType>(ReportType);
    // Every report of a type is laid out at the type's longest.
    if (Report == nullptr || ReportLength != layout->Longest(type))
        return HIDP_STATUS_INVALID_REPORT_LENGTH;
    if (!layout->declared[ReportType][ReportID])
        return HIDP_STATUS_REPORT_DOES_NOT_EXIST;
    std::memset(Report, 0, ReportLength);
    Report[0] = static_cast<char>(ReportID);
    return HIDP_STATUS_SUCCESS;
}
