// SetupAPI: discovery of the virtual pendant by its device interface GUID.
#include <cstddef>
#include <cstring>

#include "backends/virtual/state.h"

using namespace virtual_pendant;

namespace {
// Members of a set it tells apart: handles go in steps of 0x10.
constexpr std::size_t MaxListed = 0x10;
} // namespace

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator, HWND hwndParent,
                                     DWORD Flags) {
    CallRecord& r = Record(Call::SetupDiGetClassDevsA,
                           {Given(ClassGuid), Given(Enumerator), Given(hwndParent), Flags});
    if (ClassGuid != nullptr)
        r.bytes.assign(reinterpret_cast<const std::uint8_t*>(ClassGuid),
                       reinterpret_cast<const std::uint8_t*>(ClassGuid) + sizeof(GUID));
    DWORD error = 0;
    if (Injected(Call::SetupDiGetClassDevsA, error))
        return Fail(r, error, static_cast<HDEVINFO>(INVALID_HANDLE_VALUE));
    if (ClassGuid == nullptr || !(Flags & DIGCF_DEVICEINTERFACE))
        return Finish(r, ERROR_INVALID_PARAMETER, static_cast<HDEVINFO>(INVALID_HANDLE_VALUE));
    return Finish(r, ERROR_SUCCESS, static_cast<HDEVINFO>(NewHandle(S().sets)));
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
    CallRecord& r = Record(Call::SetupDiEnumDeviceInterfaces,
                           {reinterpret_cast<std::uintptr_t>(DeviceInfoSet), Given(DeviceInfoData),
                            Given(InterfaceClassGuid), MemberIndex,
                            DeviceInterfaceData != nullptr ? DeviceInterfaceData->cbSize : 0});
    DWORD error = 0;
    if (Injected(Call::SetupDiEnumDeviceInterfaces, error))
        return Fail(r, error, FALSE);
    if (!Known(S().sets, DeviceInfoSet))
        return Finish(r, ERROR_INVALID_HANDLE, FALSE);
    if (DeviceInterfaceData == nullptr ||
        DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
        return Finish(r, ERROR_INVALID_PARAMETER, FALSE);
    const std::size_t listed =
        InterfaceClassGuid != nullptr ? Listed(*InterfaceClassGuid).size() : 0;
    if (MemberIndex >= listed || MemberIndex >= MaxListed)
        return Finish(r, ERROR_NO_MORE_ITEMS, FALSE);
    DeviceInterfaceData->InterfaceClassGuid = *InterfaceClassGuid;
    DeviceInterfaceData->Flags = 1; // active
    // The set's handle (a multiple of 0x10) and the member's index.
    DeviceInterfaceData->Reserved = reinterpret_cast<ULONG_PTR>(DeviceInfoSet) + MemberIndex;
    return Finish(r, ERROR_SUCCESS, TRUE);
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(
    HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
    DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize, PSP_DEVINFO_DATA DeviceInfoData) {
    DWORD detailCbSize = 0;
    if (DeviceInterfaceDetailData != nullptr)
        std::memcpy(&detailCbSize, DeviceInterfaceDetailData, sizeof detailCbSize);
    CallRecord& r =
        Record(Call::SetupDiGetDeviceInterfaceDetailA,
               {reinterpret_cast<std::uintptr_t>(DeviceInfoSet), Given(DeviceInterfaceData),
                Given(DeviceInterfaceDetailData), DeviceInterfaceDetailDataSize,
                Given(RequiredSize), Given(DeviceInfoData), detailCbSize});
    DWORD error = 0;
    if (Injected(Call::SetupDiGetDeviceInterfaceDetailA, error))
        return Fail(r, error, FALSE);
    if (!Known(S().sets, DeviceInfoSet))
        return Finish(r, ERROR_INVALID_HANDLE, FALSE);
    if (DeviceInterfaceData == nullptr ||
        (DeviceInterfaceData->Reserved & ~ULONG_PTR{MaxListed - 1}) !=
            reinterpret_cast<ULONG_PTR>(DeviceInfoSet))
        return Finish(r, ERROR_INVALID_PARAMETER, FALSE);
    const std::vector<std::string> listed = Listed(DeviceInterfaceData->InterfaceClassGuid);
    const std::size_t index = DeviceInterfaceData->Reserved & (MaxListed - 1);
    // Gone since it was listed: as Windows, its path is still told.
    const std::string path = index < listed.size() ? listed[index] : S().device.path;
    const DWORD required = static_cast<DWORD>(
        offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
    if (RequiredSize != nullptr)
        *RequiredSize = required;
    if (DeviceInterfaceDetailData == nullptr) {
        if (DeviceInterfaceDetailDataSize != 0)
            return Finish(r, ERROR_INVALID_USER_BUFFER, FALSE);
        return Finish(r, ERROR_INSUFFICIENT_BUFFER, FALSE);
    }
    if (detailCbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        return Finish(r, ERROR_INVALID_USER_BUFFER, FALSE);
    if (DeviceInterfaceDetailDataSize < required)
        return Finish(r, ERROR_INSUFFICIENT_BUFFER, FALSE);
    std::memcpy(DeviceInterfaceDetailData->DevicePath, path.c_str(), path.size() + 1);
    return Finish(r, ERROR_SUCCESS, TRUE);
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    CallRecord& r = Record(Call::SetupDiDestroyDeviceInfoList,
                           {reinterpret_cast<std::uintptr_t>(DeviceInfoSet)});
    DWORD error = 0;
    if (Injected(Call::SetupDiDestroyDeviceInfoList, error))
        return Fail(r, error, FALSE);
    if (S().sets.erase(reinterpret_cast<std::uintptr_t>(DeviceInfoSet)) == 0)
        return Finish(r, ERROR_INVALID_HANDLE, FALSE);
    return Finish(r, ERROR_SUCCESS, TRUE);
}
