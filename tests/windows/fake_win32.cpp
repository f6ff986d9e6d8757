#include "tests/windows/fake_win32.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace enctl::fake {

namespace {

std::unique_ptr<world> g_owned;
world* g_world = nullptr;
std::vector<std::string> g_handles;  // handle value - 0x100 = index

struct fake_set {
    std::vector<interface_entry> entries;
};
std::vector<fake_set> g_sets;

HANDLE WINAPI create_file(LPCSTR path, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    auto it = g_world->devices.find(path);
    if (it == g_world->devices.end() || !it->second.opens) return INVALID_HANDLE_VALUE;
    g_handles.push_back(path);
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(0x100 + g_handles.size() - 1));
}

BOOL WINAPI device_io_control(HANDLE handle, DWORD code, LPVOID in, DWORD in_size, LPVOID out, DWORD out_size,
                              LPDWORD returned, LPOVERLAPPED) {
    const auto index = reinterpret_cast<std::intptr_t>(handle) - 0x100;
    if (index < 0 || static_cast<std::size_t>(index) >= g_handles.size()) return FALSE;
    const std::string& path = g_handles[index];
    std::vector<std::uint8_t> input(static_cast<std::uint8_t*>(in), static_cast<std::uint8_t*>(in) + (in ? in_size : 0));
    g_world->requests.push_back({path, code, input, out_size});
    device& dev = g_world->devices[path];
    std::vector<std::uint8_t> output(out_size, 0);
    if (out && in == out) output.assign(input.begin(), input.begin() + std::min<std::size_t>(in_size, out_size));
    output.resize(out_size);
    std::uint32_t count = 0;
    if (!dev.answer || !dev.answer(code, input, output, &count)) return FALSE;
    if (out) std::memcpy(out, output.data(), std::min<std::size_t>(out_size, output.size()));
    if (returned) *returned = count;
    return TRUE;
}

BOOL WINAPI close_handle(HANDLE) { return TRUE; }
DWORD WINAPI get_last_error() { return g_world->error; }

HDEVINFO WINAPI get_class_devs(const GUID* guid, PCSTR, HWND, DWORD) {
    if (!guid) return INVALID_HANDLE_VALUE;
    g_sets.push_back({g_world->interfaces[guid_text(*guid)]});
    return reinterpret_cast<HDEVINFO>(static_cast<std::intptr_t>(0x1000 + g_sets.size() - 1));
}

fake_set& set_of(HDEVINFO set) { return g_sets[reinterpret_cast<std::intptr_t>(set) - 0x1000]; }

BOOL WINAPI enum_device_interfaces(HDEVINFO set, PSP_DEVINFO_DATA, const GUID*, DWORD index, PSP_DEVICE_INTERFACE_DATA data) {
    if (index >= set_of(set).entries.size()) return FALSE;
    data->Reserved = index;
    return TRUE;
}

BOOL WINAPI get_device_interface_detail(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data, PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail,
                                        DWORD size, PDWORD required, PSP_DEVINFO_DATA info) {
    const interface_entry& entry = set_of(set).entries[data->Reserved];
    const DWORD need = static_cast<DWORD>(sizeof(DWORD) + entry.path.size() + 1);
    if (required) *required = need;
    if (!detail || size < need) return FALSE;
    std::memcpy(detail->DevicePath, entry.path.c_str(), entry.path.size() + 1);
    if (info) info->DevInst = static_cast<DEVINST>(data->Reserved + 1);
    return TRUE;
}

BOOL WINAPI enum_device_info(HDEVINFO, DWORD, PSP_DEVINFO_DATA) { return FALSE; }
BOOL WINAPI get_device_property(HDEVINFO, PSP_DEVINFO_DATA, const DEVPROPKEY*, DEVPROPTYPE*, PBYTE, DWORD, PDWORD, DWORD) {
    return FALSE;
}
BOOL WINAPI destroy_device_info_list(HDEVINFO) { return TRUE; }
HDEVINFO WINAPI create_device_info_list(const GUID*, HWND) { return INVALID_HANDLE_VALUE; }
BOOL WINAPI open_device_info(HDEVINFO, PCSTR, HWND, DWORD, PSP_DEVINFO_DATA) { return FALSE; }
HKEY WINAPI open_dev_reg_key(HDEVINFO, PSP_DEVINFO_DATA, DWORD, DWORD, DWORD, REGSAM) {
    return static_cast<HKEY>(INVALID_HANDLE_VALUE);
}
LONG WINAPI reg_enum_value(HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPBYTE, LPDWORD) { return ERROR_NO_MORE_ITEMS; }
LONG WINAPI reg_close_key(HKEY) { return ERROR_SUCCESS; }
CONFIGRET WINAPI cm_get_devnode_status(PULONG, PULONG, DEVINST, ULONG) { return CR_FAILURE; }
CONFIGRET WINAPI cm_get_parent(PDEVINST, DEVINST, ULONG) { return CR_FAILURE; }
CONFIGRET WINAPI cm_get_device_id(DEVINST, PSTR, ULONG, ULONG) { return CR_FAILURE; }
win32_release release() { return g_world->release; }

}  // namespace

world& the_world() { return *g_world; }

std::string guid_text(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "%08lX-%04X-%04X", static_cast<unsigned long>(g.Data1), g.Data2, g.Data3);
    return text;
}

const win32_calls& calls() {
    static const win32_calls table{
        &create_file, &device_io_control, &close_handle, &get_last_error, &get_class_devs,
        &enum_device_interfaces, &get_device_interface_detail, &enum_device_info, &get_device_property,
        &destroy_device_info_list, &create_device_info_list, &open_device_info, &open_dev_reg_key,
        &reg_enum_value, &reg_close_key, &cm_get_devnode_status, &cm_get_parent, &cm_get_device_id, &release,
    };
    return table;
}

scope::scope() : w(*(g_world = (g_owned = std::make_unique<world>()).get())), calls_(calls()) {
    g_handles.clear();
    g_sets.clear();
}

scope::~scope() {
    g_world = nullptr;
    g_owned.reset();
}

}  // namespace enctl::fake
