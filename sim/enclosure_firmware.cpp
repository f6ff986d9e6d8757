// Firmware of a simulated enclosure: page 0Eh, what each IOM runs, the IOM
// restarts that run a stored image, and zoning on String Out page 04h.
#include "sim/enclosure_firmware.h"

#include <cjson/cJSON.h>

#include <algorithm>
#include <cstdio>

#include "sim/enclosure.h"

namespace enctl::sim {

namespace {

constexpr std::uint32_t kInvalidFieldInParameters = 0x052600;  // ILLEGAL REQUEST, 26h/00h
constexpr std::uint32_t kParameterListLength = 0x051A00;       // ILLEGAL REQUEST, 1Ah/00h

constexpr std::uint8_t kZoneDisable = 0x60;
constexpr std::uint8_t kZoneEnable = 0x61;
constexpr std::size_t kZonePageMin = 16;

int host_iom(const enclosure& e) { return std::max(e.attached_iom(), 0); }

// A stored image runs wherever the IOMs restart on it.
void run_stored(enclosure& e, const stored_image& image, int iom) {
    if (image.kind == image_kind::zoning) {  // replaces any pre-defined configuration
        e.state().zoning = 0;
        e.state().zoning_file = image.name;
        return;
    }
    for (int i = 0; i < 2; ++i) {
        if (iom < 0 || i == iom) e.run_firmware(i, image.name);
    }
}

bool every_iom_runs(const enclosure& e, const stored_image& image) {
    if (image.kind == image_kind::zoning) return true;
    for (int i = 0; i < 2; ++i) {
        if (e.iom_present(i) && e.firmware().running[i] != image.name) return false;
    }
    return true;
}

}  // namespace

const std::string& enclosure::running_firmware() const { return firmware_.running[host_iom(*this)]; }

void enclosure::run_firmware(int iom, const std::string& revision) {
    firmware_.running[iom] = revision;
    if (iom == host_iom(*this)) revision_ = revision.substr(0, 4);
    ses_element_type* expanders = find_type(ses_sas_expander);
    const std::uint32_t per_iom = profile_->expanders_per_iom;
    const std::uint32_t first = (profile_->single_always ? 0 : static_cast<std::uint32_t>(iom)) * per_iom;
    if (!expanders || first + per_iom > expanders->elements.size()) return;
    char text[128];
    for (std::uint32_t k = 0; k < per_iom; ++k) {
        std::snprintf(text, sizeof text, "EXP %s %u,%s,%s", iom == 0 ? "IOMA" : "IOMB", k, revision.c_str(),
                      hex16(expander_address(iom, k)).c_str());
        expanders->elements[first + k].text = text;
    }
}

std::uint32_t take_microcode_control(enclosure& e, std::span<const std::uint8_t> page) {
    const std::optional<stored_image> run = e.firmware().store.take(page, e.now_ms());
    if (run) {
        run_stored(e, *run, -1);
        e.go_offline(e.firmware().store.settings().restart_ms);
    }
    return 0;
}

bytes build_microcode_status(const enclosure& e) {
    return e.firmware().store.status_page(e.now_ms(), e.generation());
}

bool is_zoning_control(std::span<const std::uint8_t> page) {
    return page.size() > 4 && (page[4] == kZoneDisable || page[4] == kZoneEnable);
}

std::uint32_t take_zoning_control(enclosure& e, std::span<const std::uint8_t> page) {
    if (page.size() < kZonePageMin) return kParameterListLength;
    // The address must be the one the enclosure gives in VPD page 83h.
    const std::uint64_t own = e.attached_iom() >= 0 ? e.iom_address(e.attached_iom()) : e.spec().sas_address;
    if (be64(&page[8]) != own) return kInvalidFieldInParameters;
    if (page[4] == kZoneEnable && (page[5] < 1 || page[5] > 3)) return kInvalidFieldInParameters;
    e.state().zoning = page[4] == kZoneEnable ? page[5] : 0;
    e.state().zoning_file.clear();
    return 0;
}

int reset_selector_iom(const enclosure& e, std::uint8_t selector) {
    if (selector == 0x00 || selector == 0x01) return selector;
    if (selector == 0xC0) return host_iom(e);
    if (selector == 0xF0) return 1 - host_iom(e);
    return -1;
}

bool restart_on_stored_image(enclosure& e, int iom) {
    firmware_state& fw = e.firmware();
    const auto& stored = fw.store.stored(e.now_ms());
    if (!stored) return false;
    run_stored(e, *stored, iom);
    if (every_iom_runs(e, *stored)) fw.store.clear_stored();
    return true;
}

void add_firmware_state(const enclosure& e, cJSON* o) {
    firmware_state& fw = e.firmware();
    cJSON* f = cJSON_AddObjectToObject(o, "firmware");
    cJSON* running = cJSON_AddObjectToObject(f, "running");
    for (int iom = 0; iom < 2; ++iom) {
        if (e.iom_present(iom)) cJSON_AddStringToObject(running, iom == 0 ? "A" : "B", fw.running[iom].c_str());
    }
    const auto& stored = fw.store.stored(e.now_ms());
    if (stored && stored->kind == image_kind::firmware) {
        cJSON_AddStringToObject(f, "stored", stored->name.c_str());
    } else if (stored) {
        cJSON_AddStringToObject(f, "stored_zoning", stored->name.c_str());
    } else {
        cJSON_AddNullToObject(f, "stored");
    }
    char status[8];
    std::snprintf(status, sizeof status, "%02Xh", fw.store.status(e.now_ms()));
    cJSON_AddStringToObject(f, "download_status", status);
    cJSON_AddNumberToObject(f, "segments", fw.store.segments_taken());
    cJSON_AddNumberToObject(f, "activations", fw.store.activations());
}

}  // namespace enctl::sim
