// The real Win32 calls behind the seam.
#include "vdx/windows/win32_seam.h"

#include <optional>

namespace enctl {

namespace {

// RtlGetVersion reports the true release (GetVersionEx is subject to the
// manifest's compatibility shims).
win32_release real_release() {
    using rtl_get_version_fn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    if (!ntdll) return win32_release::older;
    auto get_version = reinterpret_cast<rtl_get_version_fn>(
        reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
    if (!get_version) return win32_release::older;
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (get_version(&info) != 0) return win32_release::older;
    const bool client = info.wProductType == VER_NT_WORKSTATION;
    if (info.dwMajorVersion == 6 && info.dwMinorVersion == 3 && client) return win32_release::windows_8_1;
    if (info.dwMajorVersion == 10) {
        // Windows Server 2016 is build 14393; later servers are newer releases.
        if (client || info.dwBuildNumber <= 14393) return win32_release::windows_10;
        return win32_release::newer;
    }
    return info.dwMajorVersion > 10 ? win32_release::newer : win32_release::older;
}

std::optional<win32_release>& cached_release() {
    static std::optional<win32_release> release;
    return release;
}

}  // namespace

const win32_calls& win32_real_calls() {
    static const win32_calls calls{
        .create_file = &::CreateFileA,
        .device_io_control = &::DeviceIoControl,
        .close_handle = &::CloseHandle,
        .get_last_error = &::GetLastError,
        .get_class_devs = &::SetupDiGetClassDevsA,
        .enum_device_interfaces = &::SetupDiEnumDeviceInterfaces,
        .get_device_interface_detail = &::SetupDiGetDeviceInterfaceDetailA,
        .enum_device_info = &::SetupDiEnumDeviceInfo,
        .get_device_property = &::SetupDiGetDevicePropertyW,
        .destroy_device_info_list = &::SetupDiDestroyDeviceInfoList,
        .create_device_info_list = &::SetupDiCreateDeviceInfoList,
        .open_device_info = &::SetupDiOpenDeviceInfoA,
        .open_dev_reg_key = &::SetupDiOpenDevRegKey,
        .reg_enum_value = &::RegEnumValueA,
        .reg_close_key = &::RegCloseKey,
        .cm_get_devnode_status = &::CM_Get_DevNode_Status,
        .cm_get_parent = &::CM_Get_Parent,
        .cm_get_device_id = &::CM_Get_Device_IDA,
        .release = &real_release,
    };
    return calls;
}

win32_calls g_win32 = win32_real_calls();

win32_release win32_host_release() {
    std::optional<win32_release>& cached = cached_release();
    if (!cached) cached = g_win32.release();
    return *cached;
}

void win32_forget_release() { cached_release().reset(); }

}  // namespace enctl
