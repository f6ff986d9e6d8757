// The device name scan.
#include <vector>

#include "basekit/trace.h"
#include "cmdx/cmdxscan/cmdxscan.h"

namespace enctl {

namespace {

bool same_name(std::string_view a, const char* b) {
    const std::string_view bv(b);
    if (a.size() != bv.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(bv[i])) return false;
    }
    return true;
}

}  // namespace

int cmdxscan_scan_names(vdx_dev_list* target_list, bool probe, std::span<const std::string_view> names) {
    TRACE_ENTER_EXIT();
    TRACE_AT(kTraceDevice, "    should_probe: %u\n", probe ? 1u : 0u);
    for (std::size_t i = 0; i < names.size(); ++i)
        TRACE_AT(kTraceDevice, "    name %u: %.*s\n", static_cast<unsigned>(i), static_cast<int>(names[i].size()),
                 names[i].data());

    vdx_dev_list devices;
    vdx_dev_enumerate_flags(&devices, kVdxEnumAll);
    if (names.empty() || !target_list) {
        vdx_dev_release(&devices);
        return 0;
    }
    for (std::string_view name : names) {
        for (vdx_dev& dev : devices.view()) {
            TRACE_AT(kTraceDevice, "searching for match for device %s - will discard if match not found\n", dev.name);
            if (!same_name(name, dev.name)) continue;
            if (probe) {
                vdx_error error{};
                if (vdx_dev_probe(&error, &dev) != 0) {
                    TRACE_AT(kTraceDevice, "device %s matched - discard due to probe failure\n", dev.name);
                    continue;
                }
            }
            TRACE_AT(kTraceDevice, "name match found for device %s\n", dev.name);
            vdx_dev_append_copy(target_list, dev);
            break;
        }
    }
    vdx_dev_release(&devices);
    return 0;
}

int cmdxscan_scan_names(vdx_dev_list* target_list, bool probe, std::span<const std::string> names) {
    std::vector<std::string_view> views(names.begin(), names.end());
    return cmdxscan_scan_names(target_list, probe, std::span<const std::string_view>(views));
}

}  // namespace enctl
