// The one seam between the Windows backends and the operating system. Every
// Win32 call that the enumerators and backends of vdx/windows make goes
// through g_win32: production fills it with the real functions, tests install
// fakes that record each request and answer with prepared output.
#pragma once

#include <windows.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <devpropdef.h>

#include <cstdint>

namespace enctl {

// The host release, as far as the backends need to know it.
enum class win32_release : std::uint8_t {
    older,         // anything not named below
    windows_8_1,   // Windows 8.1, client edition
    windows_10,    // Windows 10 client, or Windows Server 2016
    newer,         // a later release
};

struct win32_calls {
    HANDLE(WINAPI* create_file)(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE template_file);
    BOOL(WINAPI* device_io_control)(HANDLE handle, DWORD code, LPVOID in, DWORD in_size, LPVOID out,
                                    DWORD out_size, LPDWORD returned, LPOVERLAPPED overlapped);
    BOOL(WINAPI* close_handle)(HANDLE handle);
    DWORD(WINAPI* get_last_error)();

    HDEVINFO(WINAPI* get_class_devs)(const GUID* class_guid, PCSTR enumerator, HWND parent, DWORD flags);
    BOOL(WINAPI* enum_device_interfaces)(HDEVINFO set, PSP_DEVINFO_DATA info, const GUID* interface_guid,
                                         DWORD index, PSP_DEVICE_INTERFACE_DATA data);
    BOOL(WINAPI* get_device_interface_detail)(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                              PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detail_size,
                                              PDWORD required, PSP_DEVINFO_DATA info);
    BOOL(WINAPI* enum_device_info)(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA info);
    BOOL(WINAPI* get_device_property)(HDEVINFO set, PSP_DEVINFO_DATA info, const DEVPROPKEY* key,
                                      DEVPROPTYPE* type, PBYTE buffer, DWORD size, PDWORD required, DWORD flags);
    BOOL(WINAPI* destroy_device_info_list)(HDEVINFO set);
    HDEVINFO(WINAPI* create_device_info_list)(const GUID* class_guid, HWND parent);
    BOOL(WINAPI* open_device_info)(HDEVINFO set, PCSTR instance_id, HWND parent, DWORD flags,
                                   PSP_DEVINFO_DATA info);
    HKEY(WINAPI* open_dev_reg_key)(HDEVINFO set, PSP_DEVINFO_DATA info, DWORD scope, DWORD profile,
                                   DWORD key_type, REGSAM access);
    LONG(WINAPI* reg_enum_value)(HKEY key, DWORD index, LPSTR name, LPDWORD name_size, LPDWORD reserved,
                                 LPDWORD type, LPBYTE data, LPDWORD data_size);
    LONG(WINAPI* reg_close_key)(HKEY key);

    CONFIGRET(WINAPI* cm_get_devnode_status)(PULONG status, PULONG problem, DEVINST devinst, ULONG flags);
    CONFIGRET(WINAPI* cm_get_parent)(PDEVINST parent, DEVINST devinst, ULONG flags);
    CONFIGRET(WINAPI* cm_get_device_id)(DEVINST devinst, PSTR buffer, ULONG size, ULONG flags);

    // The host release, asked once per run (the backends cache the answer).
    win32_release (*release)();
};

extern win32_calls g_win32;
// The real functions.
const win32_calls& win32_real_calls();

// The host release as the backends see it: asked of g_win32 once and kept
// (tests forget it with win32_forget_release after installing other calls).
win32_release win32_host_release();
void win32_forget_release();

// Installs a table for the lifetime of the object (tests).
class win32_calls_scope {
public:
    explicit win32_calls_scope(const win32_calls& calls) : previous_(g_win32) {
        g_win32 = calls;
        win32_forget_release();
    }
    ~win32_calls_scope() {
        g_win32 = previous_;
        win32_forget_release();
    }
    win32_calls_scope(const win32_calls_scope&) = delete;
    win32_calls_scope& operator=(const win32_calls_scope&) = delete;

private:
    win32_calls previous_;
};

// A vdx_handle as a HANDLE and back.
inline HANDLE win32_handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
inline std::intptr_t vdx_handle_of(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

}  // namespace enctl
