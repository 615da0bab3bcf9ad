// Which HID devices are pendants, and finding the first of them.
#include "usb/hid.h"

#include "protocol/wire.h"
#include "usb/interfaces.h"
#include "usb/last_error.h"

namespace {
// Whether the device declares a report of this type and id, at this length
// (the type's longest, as the platform lays every report of a type out).
bool Declares(PHIDP_PREPARSED_DATA data, HIDP_REPORT_TYPE type, UCHAR id, USHORT length) {
    char report[InputReportBytes];
    if (length == 0 || length > sizeof report)
        return false;
    return HidP_InitializeReportForID(type, id, data, report, length) == HIDP_STATUS_SUCCESS;
}
} // namespace

bool IsHidPendant(HANDLE device, HidFigures& figures) {
    HIDD_ATTRIBUTES attributes = {};
    attributes.Size = sizeof attributes;
    if (!HidD_GetAttributes(device, &attributes))
        return false;
    figures.vendorId = attributes.VendorID;
    figures.productId = attributes.ProductID;
    figures.version = attributes.VersionNumber;

    PHIDP_PREPARSED_DATA data = nullptr;
    if (!HidD_GetPreparsedData(device, &data))
        return false;
    HIDP_CAPS caps = {};
    bool pendant = false;
    if (HidP_GetCaps(data, &caps) == HIDP_STATUS_SUCCESS) {
        figures.usagePage = caps.UsagePage;
        figures.usage = caps.Usage;
        figures.inputReportBytes = caps.InputReportByteLength;
        figures.featureReportBytes = caps.FeatureReportByteLength;
        pendant = caps.InputReportByteLength >= InputReportLookedAt &&
                  caps.FeatureReportByteLength == DisplayReportBytes &&
                  Declares(data, HidP_Input, WheelReportId, caps.InputReportByteLength) &&
                  Declares(data, HidP_Feature, DisplayReportId, caps.FeatureReportByteLength);
    }
    HidD_FreePreparsedData(data);
    return pendant;
}

HRESULT FindHidPendantPath(char* path, std::size_t pathLength, BOOL* noDevice) {
    if (noDevice != nullptr)
        *noDevice = FALSE;
    GUID hid;
    HidD_GetHidGuid(&hid);
    HRESULT copied = S_OK;
    bool found = false;
    const HRESULT hr = ForEachInterface(hid, [&](const char* candidate) {
        // No access asked: enough to read what the device is, and no HID
        // device that is not a pendant is ever opened for writing. One that
        // cannot be opened even so (another user's, say) is not ours.
        HANDLE device = CreateFileA(candidate, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        if (device == INVALID_HANDLE_VALUE)
            return true;
        HidFigures figures;
        found = IsHidPendant(device, figures);
        CloseHandle(device);
        if (found)
            copied = StringCbCopyA(path, pathLength, candidate);
        return !found;
    });
    if (FAILED(hr))
        return hr;
    if (!found) {
        if (noDevice != nullptr)
            *noDevice = TRUE;
        return HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);
    }
    return copied;
}
