#include "tests/windows/fake_win32.h"

#include "vdx/windows/layouts.h"
#include "vdx/windows/vdx_windows.h"

#include <initguid.h>
#include <devpkey.h>

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
    std::vector<std::size_t> nodes;
};

// The DEVINST of a node by instance id (case ignored), 0 when there is none.
DEVINST devinst_of(std::string_view instance) {
    for (std::size_t i = 0; i < g_world->nodes.size(); ++i)
        if (_stricmp(g_world->nodes[i].instance_id.c_str(), std::string(instance).c_str()) == 0)
            return static_cast<DEVINST>(i + 1);
    return 0;
}

const node* node_of(DEVINST devinst) {
    return devinst >= 1 && devinst <= g_world->nodes.size() ? &g_world->nodes[devinst - 1] : nullptr;
}
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

// An interface class, the nodes of a setup class, the node of one instance
// id, or every node under an enumerator ("PCI").
HDEVINFO WINAPI get_class_devs(const GUID* guid, PCSTR enumerator, HWND, DWORD flags) {
    fake_set set;
    if (guid && (flags & DIGCF_DEVICEINTERFACE)) set.entries = g_world->interfaces[guid_text(*guid)];
    for (std::size_t i = 0; i < g_world->nodes.size() && !(guid && (flags & DIGCF_DEVICEINTERFACE)); ++i) {
        const node& n = g_world->nodes[i];
        if (guid && n.setup_class != guid_text(*guid)) continue;
        if (enumerator && _stricmp(n.instance_id.c_str(), enumerator) != 0 &&
            n.instance_id.rfind(std::string(enumerator) + "\\", 0) != 0)
            continue;
        set.nodes.push_back(i);
    }
    g_sets.push_back(std::move(set));
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
    if (info) info->DevInst = devinst_of(entry.instance_id);
    return TRUE;
}

BOOL WINAPI enum_device_info(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA info) {
    if (index >= set_of(set).nodes.size()) return FALSE;
    info->DevInst = static_cast<DEVINST>(set_of(set).nodes[index] + 1);
    return TRUE;
}

BOOL text_property(const std::string& text, PBYTE buffer, DWORD size, PDWORD required) {
    if (text.empty()) return FALSE;
    const DWORD need = static_cast<DWORD>(2 * (text.size() + 1));
    if (required) *required = need;
    if (size < need) return FALSE;
    std::memset(buffer, 0, need);
    for (std::size_t i = 0; i < text.size(); ++i) buffer[2 * i] = static_cast<BYTE>(text[i]);
    return TRUE;
}

BOOL WINAPI get_device_property(HDEVINFO, PSP_DEVINFO_DATA info, const DEVPROPKEY* key, DEVPROPTYPE* type, PBYTE buffer,
                                DWORD size, PDWORD required, DWORD) {
    const node* n = node_of(info->DevInst);
    if (!n) return FALSE;
    *type = DEVPROP_TYPE_STRING;
    if (IsEqualDevPropKey(*key, DEVPKEY_Device_InstanceId)) return text_property(n->instance_id, buffer, size, required);
    if (IsEqualDevPropKey(*key, DEVPKEY_Device_Parent)) return text_property(n->parent, buffer, size, required);
    if (IsEqualDevPropKey(*key, DEVPKEY_Device_Class)) return text_property(n->class_name, buffer, size, required);
    if (IsEqualDevPropKey(*key, DEVPKEY_Device_DriverDesc)) return text_property(n->driver_desc, buffer, size, required);
    if (IsEqualDevPropKey(*key, DEVPKEY_Device_PDOName)) return text_property(n->pdo_name, buffer, size, required);
    if (IsEqualDevPropKey(*key, DEVPKEY_Device_BusNumber) && n->bus_number != 0xFFFFFFFFu && size >= 4) {
        *type = DEVPROP_TYPE_UINT32;
        std::memcpy(buffer, &n->bus_number, 4);
        return TRUE;
    }
    return FALSE;
}

BOOL WINAPI destroy_device_info_list(HDEVINFO) { return TRUE; }
HDEVINFO WINAPI create_device_info_list(const GUID*, HWND) {
    g_sets.emplace_back();
    return reinterpret_cast<HDEVINFO>(static_cast<std::intptr_t>(0x1000 + g_sets.size() - 1));
}
BOOL WINAPI open_device_info(HDEVINFO, PCSTR instance, HWND, DWORD, PSP_DEVINFO_DATA info) {
    info->DevInst = devinst_of(instance);
    return info->DevInst != 0;
}
// The driver key of a node: HKEY value 0x2000 + DEVINST, one value DriverDesc.
HKEY WINAPI open_dev_reg_key(HDEVINFO, PSP_DEVINFO_DATA info, DWORD, DWORD, DWORD, REGSAM) {
    return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(0x2000 + info->DevInst));
}
LONG WINAPI reg_enum_value(HKEY key, DWORD index, LPSTR name, LPDWORD name_size, LPDWORD, LPDWORD type, LPBYTE data,
                           LPDWORD data_size) {
    const node* n = node_of(static_cast<DEVINST>(reinterpret_cast<std::intptr_t>(key) - 0x2000));
    if (!n || index > 0 || n->driver_desc.empty()) return ERROR_NO_MORE_ITEMS;
    std::snprintf(name, *name_size, "DriverDesc");
    *type = REG_SZ;
    if (*data_size < n->driver_desc.size() + 1) return ERROR_MORE_DATA;
    std::memcpy(data, n->driver_desc.c_str(), n->driver_desc.size() + 1);
    *data_size = static_cast<DWORD>(n->driver_desc.size() + 1);
    return ERROR_SUCCESS;
}
LONG WINAPI reg_close_key(HKEY) { return ERROR_SUCCESS; }
CONFIGRET WINAPI cm_get_devnode_status(PULONG status, PULONG problem, DEVINST devinst, ULONG) {
    *status = *problem = 0;
    return node_of(devinst) ? CR_SUCCESS : CR_NO_SUCH_DEVNODE;
}
CONFIGRET WINAPI cm_get_parent(PDEVINST parent, DEVINST devinst, ULONG) {
    const node* n = node_of(devinst);
    *parent = n ? devinst_of(n->parent) : 0;
    return *parent ? CR_SUCCESS : CR_NO_SUCH_DEVNODE;
}
CONFIGRET WINAPI cm_get_device_id(DEVINST devinst, PSTR buffer, ULONG size, ULONG) {
    const node* n = node_of(devinst);
    if (!n || n->instance_id.size() + 1 > size) return CR_FAILURE;
    std::memcpy(buffer, n->instance_id.c_str(), n->instance_id.size() + 1);
    return CR_SUCCESS;
}
win32_release release() { return g_world->release; }

}  // namespace

world& the_world() { return *g_world; }

std::string guid_text(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "%08lX-%04X-%04X", static_cast<unsigned long>(g.Data1), g.Data2, g.Data3);
    return text;
}

std::string signature(const std::vector<std::uint8_t>& in) {
    return in.size() >= 12 ? std::string(in.begin() + 4, in.begin() + 12) : "";
}

device storage_device(drive d) {
    namespace wl = win_layout;
    device dev;
    dev.answer = [d](std::uint32_t code, const std::vector<std::uint8_t>& in, std::vector<std::uint8_t>& out,
                     std::uint32_t* n) {
        *n = static_cast<std::uint32_t>(out.size());
        if (code == wl::kIoctlScsiMiniport) {
            if (d.miniport.empty() || signature(in) != d.miniport) return false;
            std::fill(out.begin() + (d.miniport == "IntelNvm" ? 164 : 152), out.end(), 0x22);
            return true;
        }
        if (!d.inbox) return false;
        switch (code) {
        case wl::kIoctlStorageGetDeviceNumber:
            out[4] = static_cast<std::uint8_t>(d.number);
            return d.number >= 0;
        case wl::kIoctlStorageQueryProperty:
            if (in.size() == 12) {
                out[4] = 40;
                *n = 40;
            } else {
                std::fill(out.begin() + 48, out.end(), 0x11);
            }
            return true;
        case wl::kIoctlScsiGetAddress:
            out[4] = d.port, out[5] = d.path, out[6] = d.target;
            return d.address;
        case wl::kIoctlStorageProtocolCommand: {
            wl::put32(out, 16, 1);  // ReturnStatus: success
            const std::uint32_t opcode = wl::get32(in, 80), what = wl::get32(in, 80 + 48);
            if (d.bridge && opcode == 0xE2 && what == 0xE0) out[208 + 36] = 2;
            if (d.bridge && opcode == 0xE2 && what == 0xE1) out[208 + 104] = wl::get32(in, 80 + 52) ? 7 : 3;
            return true;
        }
        }
        return false;
    };
    return dev;
}

std::string records(const vdx_dev_list& list) {
    std::string out;
    for (const vdx_dev& dev : list.view()) {
        char line[2600];
        int n = std::snprintf(line, sizeof line, "%s if=%u conn=%u kind=%u drive=%d %s%s %s%s scsi=%u:%u:%u", dev.name,
                              dev.interface, dev.connection, dev.connection_driver,
                              static_cast<int>(dev.physical_drive_number), dev.device_path,
                              dev.os_handle != kVdxInvalidHandle ? "(open)" : "", dev.second_path,
                              dev.second_handle != kVdxInvalidHandle ? "(open)" : "", dev.scsi_address.port,
                              dev.scsi_address.path, dev.scsi_address.target);
        if (const vdx_windows_state* s = vdx_windows_state_if(dev))
            std::snprintf(line + n, sizeof line - n, " bus=%u parent=%s csmi=%u/%u/%u rste=%u/%u descriptor=%u",
                          s->pci_bus_number, s->parent_instance_id, s->csmi_phy_id, s->csmi_port_id,
                          s->csmi_raid_member, s->rste_disk_id, s->rste_raid_member, s->storage_descriptor[4]);
        out += line;
        out += "\n";
    }
    return out;
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
