#include "sim/lab_description.h"

#include <cjson/cJSON.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "sim/controllers.h"
#include "sim/enclosure.h"
#include "sim/products.h"

namespace enctl::sim {

namespace {

struct json_deleter {
    void operator()(cJSON* j) const { cJSON_Delete(j); }
};
using json_ptr = std::unique_ptr<cJSON, json_deleter>;

// Reading with a path for messages ("enclosures[2].faults[0].kind").
class reader {
public:
    std::string error;

    bool fail(const std::string& where, const std::string& what) {
        if (error.empty()) error = where + ": " + what;
        return false;
    }

    bool keys(const cJSON* obj, const std::string& where, std::initializer_list<const char*> allowed) {
        if (!cJSON_IsObject(obj)) return fail(where, "must be an object");
        for (const cJSON* it = obj->child; it; it = it->next) {
            bool ok = false;
            for (const char* k : allowed) ok = ok || std::string_view(it->string) == k;
            if (!ok) return fail(where, std::string("unknown key \"") + it->string + "\"");
        }
        return true;
    }

    bool text(const cJSON* obj, const char* key, const std::string& where, std::string& out) {
        const cJSON* it = cJSON_GetObjectItemCaseSensitive(obj, key);
        if (!it) return true;
        if (!cJSON_IsString(it)) return fail(where + "." + key, "must be a string");
        out = it->valuestring;
        return true;
    }

    bool opt_text(const cJSON* obj, const char* key, const std::string& where, std::optional<std::string>& out) {
        const cJSON* it = cJSON_GetObjectItemCaseSensitive(obj, key);
        if (!it) return true;
        if (!cJSON_IsString(it)) return fail(where + "." + key, "must be a string");
        out = std::string(it->valuestring);
        return true;
    }

    // A number given as a JSON number or as a text ("0x1C", "1Ch", "28").
    bool number(const cJSON* obj, const char* key, const std::string& where, std::optional<std::uint64_t>& out,
                std::uint64_t max) {
        const cJSON* it = cJSON_GetObjectItemCaseSensitive(obj, key);
        if (!it) return true;
        std::optional<std::uint64_t> v;
        if (cJSON_IsNumber(it)) {
            if (it->valuedouble >= 0 && it->valuedouble <= 18446744073709549568.0 &&
                it->valuedouble == static_cast<double>(static_cast<std::uint64_t>(it->valuedouble)))
                v = static_cast<std::uint64_t>(it->valuedouble);
        } else if (cJSON_IsString(it)) {
            if (auto n = parse_number(it->valuestring)) v = *n;
        }
        if (!v || *v > max) return fail(where + "." + key, "must be a number from 0 to " + std::to_string(max));
        out = v;
        return true;
    }

    template <typename T>
    bool number_into(const cJSON* obj, const char* key, const std::string& where, T& out, std::uint64_t max) {
        std::optional<std::uint64_t> v;
        if (!number(obj, key, where, v, max)) return false;
        if (v) out = static_cast<T>(*v);
        return true;
    }

    bool service(const cJSON* obj, const std::string& where, std::optional<std::uint32_t>& out) {
        std::optional<std::uint64_t> v;
        if (!number(obj, "service_us", where, v, kMaxServiceUs)) return false;
        if (v) out = static_cast<std::uint32_t>(*v);
        return true;
    }

    bool boolean(const cJSON* obj, const char* key, const std::string& where, bool& out) {
        const cJSON* it = cJSON_GetObjectItemCaseSensitive(obj, key);
        if (!it) return true;
        if (!cJSON_IsBool(it)) return fail(where + "." + key, "must be true or false");
        out = cJSON_IsTrue(it);
        return true;
    }

    bool sas(const cJSON* obj, const char* key, const std::string& where, std::uint64_t& out) {
        const cJSON* it = cJSON_GetObjectItemCaseSensitive(obj, key);
        if (!it) return true;
        std::optional<std::uint64_t> v;
        if (cJSON_IsString(it)) v = parse_hex_u64(it->valuestring);
        if (!v || *v == 0) return fail(where + "." + key, "must be 1 to 16 hex digits, not all zero");
        out = *v;
        return true;
    }

    bool address(const cJSON* obj, const std::string& where, scsi_address& a) {
        return number_into(obj, "host", where, a.host, 1023) && number_into(obj, "channel", where, a.channel, 255) &&
               number_into(obj, "target", where, a.target, 65535) && number_into(obj, "lun", where, a.lun, 255);
    }

    bool fault(const cJSON* f, const std::string& where, fault_spec& out) {
        if (!keys(f, where, {"opcode", "page", "kind", "sense", "length", "ms", "status", "skip", "count"}))
            return false;
        std::optional<std::uint64_t> opcode, page, count;
        if (!number(f, "opcode", where, opcode, 255) || !number(f, "page", where, page, 255) ||
            !number(f, "count", where, count, 0xFFFFFFFF))
            return false;
        if (!opcode) return fail(where, "needs an \"opcode\"");
        out.opcode = static_cast<std::uint8_t>(*opcode);
        if (page) out.page = static_cast<std::uint8_t>(*page);
        if (count) out.count = static_cast<std::uint32_t>(*count);
        std::string kind;
        if (!text(f, "kind", where, kind)) return false;
        static const std::map<std::string, fault_kind> kinds = {
            {"check_condition", fault_kind::check_condition}, {"busy", fault_kind::busy},
            {"transport", fault_kind::transport},             {"short", fault_kind::short_transfer},
            {"delay", fault_kind::delay},                     {"nvme_status", fault_kind::nvme_status},
            {"drop", fault_kind::drop},
        };
        const auto k = kinds.find(kind);
        if (k == kinds.end())
            return fail(where + ".kind", "must be check_condition, busy, transport, short, delay, nvme_status or drop");
        out.kind = k->second;
        if (!number_into(f, "length", where, out.length, 0xFFFFFFFF) ||
            !number_into(f, "ms", where, out.delay_ms, 0xFFFFFFFF) ||
            !number_into(f, "status", where, out.nvme_status, 0xFFFF) ||
            !number_into(f, "skip", where, out.skip, 0xFFFFFFFF))
            return false;
        if (out.kind == fault_kind::check_condition) {
            const cJSON* s = cJSON_GetObjectItemCaseSensitive(f, "sense");
            if (cJSON_IsString(s)) {
                auto b = parse_hex_bytes(s->valuestring);
                if (!b || b->empty() || b->size() > 252) return fail(where + ".sense", "must be 1 to 252 hex bytes");
                out.sense = *b;
            } else if (cJSON_IsObject(s)) {
                if (!keys(s, where + ".sense", {"key", "asc", "ascq", "format"})) return false;
                std::uint8_t key = 0, asc = 0, ascq = 0;
                std::string format = "fixed";
                if (!number_into(s, "key", where + ".sense", key, 15) ||
                    !number_into(s, "asc", where + ".sense", asc, 255) ||
                    !number_into(s, "ascq", where + ".sense", ascq, 255) || !text(s, "format", where, format))
                    return false;
                if (format == "fixed") {
                    out.sense = fixed_sense(key, asc, ascq);
                } else if (format == "descriptor") {
                    out.sense = {0x72, key, asc, ascq, 0, 0, 0, 0};
                } else {
                    return fail(where + ".sense.format", "must be fixed or descriptor");
                }
            } else {
                return fail(where, "check_condition needs \"sense\" (hex text or {key, asc, ascq})");
            }
        }
        return true;
    }

    bool faults(const cJSON* obj, const std::string& where, std::vector<fault_spec>& out) {
        const cJSON* arr = cJSON_GetObjectItemCaseSensitive(obj, "faults");
        if (!arr) return true;
        if (!cJSON_IsArray(arr)) return fail(where + ".faults", "must be an array");
        int i = 0;
        for (const cJSON* f = arr->child; f; f = f->next, ++i) {
            fault_spec fs;
            if (!fault(f, where + ".faults[" + std::to_string(i) + "]", fs)) return false;
            out.push_back(fs);
        }
        return true;
    }

    // "microcode": {"write_seconds", "timeout_seconds", "restart_seconds", "max_size"}
    bool microcode(const cJSON* e, const std::string& where, microcode_settings& out) {
        const cJSON* m = cJSON_GetObjectItemCaseSensitive(e, "microcode");
        if (!m) return true;
        const std::string w = where + ".microcode";
        if (!cJSON_IsObject(m)) return fail(w, "must be an object");
        if (!keys(m, w, {"write_seconds", "timeout_seconds", "restart_seconds", "max_size"})) return false;
        constexpr std::uint64_t kMaxSeconds = 0xFFFFFFFFu / 1000;
        std::optional<std::uint64_t> write, timeout, restart;
        if (!number(m, "write_seconds", w, write, kMaxSeconds) || !number(m, "timeout_seconds", w, timeout, kMaxSeconds) ||
            !number(m, "restart_seconds", w, restart, kMaxSeconds) ||
            !number_into(m, "max_size", w, out.max_size, 0xFFFFFFFFu))
            return false;
        if (write) out.write_ms = static_cast<std::uint32_t>(*write * 1000);
        if (timeout) out.timeout_ms = static_cast<std::uint32_t>(*timeout * 1000);
        if (restart) out.restart_ms = static_cast<std::uint32_t>(*restart * 1000);
        return true;
    }

    // "cli_replies": {"show fw": "text", "show enc": {"hex": "61 00 0a"}}
    bool cli_replies(const cJSON* e, const std::string& where, std::map<std::string, std::string>& out) {
        const cJSON* obj = cJSON_GetObjectItemCaseSensitive(e, "cli_replies");
        if (!obj) return true;
        if (!cJSON_IsObject(obj)) return fail(where + ".cli_replies", "must be an object");
        for (const cJSON* it = obj->child; it; it = it->next) {
            const std::string w = where + ".cli_replies[\"" + it->string + "\"]";
            if (cJSON_IsString(it)) {
                out[it->string] = it->valuestring;
                continue;
            }
            const cJSON* hex = cJSON_IsObject(it) ? cJSON_GetObjectItemCaseSensitive(it, "hex") : nullptr;
            const auto b = cJSON_IsString(hex) && it->child == hex && !hex->next ? parse_hex_bytes(hex->valuestring) : std::nullopt;
            if (!b) return fail(w, "must be a text or {\"hex\": \"hex bytes\"}");
            out[it->string] = std::string(b->begin(), b->end());
        }
        return true;
    }

    bool enclosure(const cJSON* e, const std::string& where, enclosure_spec& s) {
        if (!keys(e, where, {"label", "product", "multi_tenant", "host", "channel", "target", "lun", "vendor",
                             "product_id", "revision", "product_name", "serial", "sas_address", "firmware",
                             "oobm_version", "slots", "iom", "attached_iom", "eip", "proc_name", "zoning",
                             "alerts", "elements", "faults", "cli_replies", "microcode", "vpd83_t10_first",
                             "service_us"}))
            return false;
        std::optional<std::uint64_t> product;
        if (!number(e, "product", where, product, 7)) return false;
        if (!product || *product == 0) return fail(where, "needs a \"product\" from 1 to 7");
        s.product = static_cast<int>(*product);
        std::string iom, attached;
        if (!text(e, "label", where, s.label) || !boolean(e, "multi_tenant", where, s.multi_tenant) ||
            !address(e, where, s.address) || !text(e, "vendor", where, s.vendor) ||
            !text(e, "product_id", where, s.product_id) || !text(e, "revision", where, s.revision) ||
            !opt_text(e, "product_name", where, s.product_name) || !text(e, "serial", where, s.serial) ||
            !sas(e, "sas_address", where, s.sas_address) || !text(e, "firmware", where, s.firmware) ||
            !text(e, "oobm_version", where, s.oobm_version) || !number_into(e, "slots", where, s.slots, 200) ||
            !text(e, "iom", where, iom) || !text(e, "attached_iom", where, attached) ||
            !boolean(e, "eip", where, s.eip) || !text(e, "proc_name", where, s.proc_name) ||
            !number_into(e, "zoning", where, s.zoning, 3) || !faults(e, where, s.faults) ||
            !microcode(e, where, s.microcode) || !boolean(e, "vpd83_t10_first", where, s.vpd83_t10_first) ||
            !service(e, where, s.service_us))
            return false;
        if (iom == "single") {
            s.dual_iom = false;
        } else if (iom != "dual" && !iom.empty()) {
            return fail(where + ".iom", "must be single or dual");
        }
        if (attached == "A" || attached == "B") {
            s.attached_iom = attached[0];
        } else if (attached == "none") {
            s.attached_iom = '-';
        } else if (!attached.empty()) {
            return fail(where + ".attached_iom", "must be A, B or none");
        }
        if (const cJSON* arr = cJSON_GetObjectItemCaseSensitive(e, "alerts")) {
            if (!cJSON_IsArray(arr)) return fail(where + ".alerts", "must be an array");
            int i = 0;
            for (const cJSON* a = arr->child; a; a = a->next, ++i) {
                const std::string w = where + ".alerts[" + std::to_string(i) + "]";
                alert_spec al;
                if (!keys(a, w, {"element", "status"}) || !text(a, "element", w, al.element) ||
                    !text(a, "status", w, al.status))
                    return false;
                s.alerts.push_back(al);
            }
        }
        if (!cli_replies(e, where, s.cli_replies)) return false;
        if (const cJSON* arr = cJSON_GetObjectItemCaseSensitive(e, "elements")) {
            if (!cJSON_IsArray(arr)) return fail(where + ".elements", "must be an array");
            int i = 0;
            for (const cJSON* a = arr->child; a; a = a->next, ++i) {
                const std::string w = where + ".elements[" + std::to_string(i) + "]";
                element_override o;
                std::optional<std::string> status;
                if (!keys(a, w, {"type", "index", "status", "descriptor"}) ||
                    !number_into(a, "type", w, o.type, 255) || !number_into(a, "index", w, o.index, 255) ||
                    !opt_text(a, "status", w, status) || !opt_text(a, "descriptor", w, o.descriptor))
                    return false;
                if (status) {
                    auto b = parse_hex_bytes(*status);
                    if (!b || b->size() != 4) return fail(w + ".status", "must be 4 hex bytes");
                    o.status = *b;
                }
                s.elements.push_back(o);
            }
        }
        return true;
    }

    bool disk(const cJSON* d, const std::string& where, disk_spec& s) {
        if (!keys(d, where, {"kind", "vendor", "model", "revision", "serial", "naa", "blocks", "block_size",
                             "enclosure", "slot", "slot_serial", "host", "channel", "target", "lun", "controller",
                             "faults", "service_us"}))
            return false;
        std::string kind = "sas";
        std::optional<std::uint64_t> slot;
        if (!text(d, "kind", where, kind) || !text(d, "vendor", where, s.vendor) ||
            !text(d, "model", where, s.model) || !text(d, "revision", where, s.revision) ||
            !text(d, "serial", where, s.serial) || !sas(d, "naa", where, s.naa) ||
            !number_into(d, "blocks", where, s.blocks, 0xFFFFFFFFFFFFull) ||
            !number_into(d, "block_size", where, s.block_size, 65536) || !text(d, "enclosure", where, s.enclosure) ||
            !number(d, "slot", where, slot, 254) || !text(d, "slot_serial", where, s.slot_serial) ||
            !address(d, where, s.address) || !text(d, "controller", where, s.controller) ||
            !faults(d, where, s.faults) || !service(d, where, s.service_us))
            return false;
        if (kind == "sas") {
            s.kind = disk_kind::sas;
        } else if (kind == "sata") {
            s.kind = disk_kind::sata;
        } else if (kind == "nvme") {
            s.kind = disk_kind::nvme;
        } else {
            return fail(where + ".kind", "must be sas, sata or nvme");
        }
        if (slot) s.slot = static_cast<int>(*slot);
        return true;
    }
};

std::string serial_number(const char* prefix, std::uint32_t n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%08u", prefix, n);
    return buf;
}

}  // namespace

bool complete_description(lab_description& lab, std::string& error) {
    auto fail = [&](const std::string& where, const std::string& what) {
        error = where + ": " + what;
        return false;
    };
    std::map<std::string, std::size_t> labels;
    std::set<int> hosts_used;
    for (const auto& e : lab.enclosures)
        if (e.address.host >= 0) hosts_used.insert(e.address.host);
    int next_host = 1;
    auto new_host = [&] {
        while (hosts_used.count(next_host)) ++next_host;
        hosts_used.insert(next_host);
        return next_host;
    };

    for (std::size_t i = 0; i < lab.enclosures.size(); ++i) {
        auto& e = lab.enclosures[i];
        const std::string where = "enclosures[" + std::to_string(i) + "]";
        const product_profile* p = find_product(e.product);
        if (!p) return fail(where, "unknown product " + std::to_string(e.product));
        if (e.multi_tenant && e.product != 6) return fail(where, "only product 6 has a multi-tenant firmware");
        if (e.label.empty()) e.label = "encl" + std::to_string(i);
        if (!labels.emplace(e.label, i).second) return fail(where, "label \"" + e.label + "\" used twice");
        if (e.vendor.empty()) e.vendor = "KORV";
        if (e.product_id.empty()) e.product_id = p->product_id;
        if (e.firmware.empty()) e.firmware = p->firmware;
        if (e.revision.empty()) e.revision = e.firmware.substr(0, std::min<std::size_t>(4, e.firmware.find('-')));
        if (!e.product_name) {
            const char* name = e.multi_tenant ? p->mt_product_name : p->product_name;
            e.product_name = name ? name : "";
        }
        if (e.product_name->size() > 11) return fail(where + ".product_name", "at most 11 characters");
        if (e.serial.empty()) e.serial = serial_number(p->serial_prefix, 1001 + static_cast<std::uint32_t>(i));
        if (e.sas_address == 0) e.sas_address = 0x50E1AB0000000000ull + (static_cast<std::uint64_t>(i + 1) << 12);
        if (e.oobm_version.empty()) e.oobm_version = "3.1.12";
        if (e.slots == 0) e.slots = p->slots;
        if (p->single_always) e.dual_iom = false;
        if (!p->iom_from_mode_page && !p->single_always) e.dual_iom = true;
        if (e.proc_name.empty()) e.proc_name = "mpt3sas";
        if (e.address.host < 0) e.address.host = new_host();
        // Element overrides must name an element the product has.
        enclosure model(e);
        for (const auto& o : e.elements) {
            bool found = false;
            for (const auto& t : model.types())
                found = found || (t.code == o.type && o.index < t.elements.size());
            if (!found)
                return fail(where + ".elements", "no element " + std::to_string(o.index) + " of type " +
                                                     std::to_string(o.type));
        }
    }

    std::map<std::pair<std::size_t, int>, std::size_t> seated;
    int loose_host = -1;
    for (std::size_t i = 0; i < lab.disks.size(); ++i) {
        auto& d = lab.disks[i];
        const std::string where = "disks[" + std::to_string(i) + "]";
        const std::uint32_t n = static_cast<std::uint32_t>(i);
        switch (d.kind) {
        case disk_kind::sas:
            if (d.vendor.empty()) d.vendor = "LABDISK";
            if (d.model.empty()) d.model = "LD12000SAS";
            if (d.revision.empty()) d.revision = "A102";
            if (d.serial.empty()) {
                char buf[32];
                std::snprintf(buf, sizeof buf, "ZL%06X0000C%05u", 0x1A2000 + n, n);
                d.serial = buf;
            }
            if (d.naa == 0) d.naa = 0x50D15C0000100000ull + (static_cast<std::uint64_t>(n) << 4);
            if (d.blocks == 0) d.blocks = 23437770752ull;  // 12 TB
            if (d.slot_serial.empty()) d.slot_serial = d.serial.substr(0, 8);
            break;
        case disk_kind::sata:
            if (d.model.empty()) d.model = "LabDisk LD8000SATA";
            if (d.revision.empty()) d.revision = "LS02";
            if (d.serial.empty()) d.serial = serial_number("WL", 5000 + n);
            if (d.naa == 0) d.naa = 0x50D15C0000800000ull + (static_cast<std::uint64_t>(n) << 4);
            if (d.blocks == 0) d.blocks = 15628053168ull;  // 8 TB
            if (d.slot_serial.empty()) d.slot_serial = d.serial;
            break;
        case disk_kind::nvme:
            if (d.model.empty()) d.model = "LabNVMe LN1920";
            if (d.revision.empty()) d.revision = "1.2.0";
            if (d.serial.empty()) d.serial = serial_number("NL", 7000 + n);
            if (d.blocks == 0) d.blocks = 3750748848ull;  // 1.92 TB
            if (!d.enclosure.empty()) return fail(where, "an NVMe disk cannot sit in an enclosure slot");
            break;
        }
        if (d.block_size != 512 && d.block_size != 4096) return fail(where + ".block_size", "must be 512 or 4096");
        if (std::string problem = controller_problem(d); !problem.empty()) return fail(where + ".controller", problem);
        if (d.serial.size() > 20) return fail(where + ".serial", "at most 20 characters");
        if (!d.enclosure.empty()) {
            const auto it = labels.find(d.enclosure);
            if (it == labels.end()) return fail(where + ".enclosure", "no enclosure labelled \"" + d.enclosure + "\"");
            const auto& e = lab.enclosures[it->second];
            if (d.slot < 0 || static_cast<std::uint32_t>(d.slot) >= e.slots)
                return fail(where + ".slot", "must be below " + std::to_string(e.slots));
            if (!seated.emplace(std::make_pair(it->second, d.slot), i).second)
                return fail(where + ".slot", "slot " + std::to_string(d.slot) + " is taken");
            if (d.address.host < 0) d.address.host = e.address.host;
        } else if (d.slot >= 0) {
            return fail(where + ".slot", "a slot needs an \"enclosure\"");
        }
        if (d.kind != disk_kind::nvme && d.address.host < 0) {
            if (loose_host < 0) loose_host = new_host();
            d.address.host = loose_host;
        }
    }

    // Targets: on each host, enclosures first, then disks, in description order.
    std::set<std::tuple<int, int, int, int>> used;
    for (const auto& e : lab.enclosures)
        if (e.address.target >= 0) used.insert({e.address.host, e.address.channel, e.address.target, e.address.lun});
    for (const auto& d : lab.disks)
        if (d.kind != disk_kind::nvme && d.address.target >= 0)
            used.insert({d.address.host, d.address.channel, d.address.target, d.address.lun});
    auto assign = [&](scsi_address& a) {
        int t = 0;
        while (used.count({a.host, a.channel, t, a.lun})) ++t;
        a.target = t;
        used.insert({a.host, a.channel, t, a.lun});
    };
    for (auto& e : lab.enclosures)
        if (e.address.target < 0) assign(e.address);
    for (auto& d : lab.disks)
        if (d.kind != disk_kind::nvme && d.address.target < 0) assign(d.address);
    std::set<std::tuple<int, int, int, int>> seen;
    auto unique = [&](const scsi_address& a, const std::string& where) {
        if (!seen.insert({a.host, a.channel, a.target, a.lun}).second)
            return fail(where, "SCSI address " + std::to_string(a.host) + ":" + std::to_string(a.channel) + ":" +
                                   std::to_string(a.target) + ":" + std::to_string(a.lun) + " used twice");
        return true;
    };
    for (std::size_t i = 0; i < lab.enclosures.size(); ++i)
        if (!unique(lab.enclosures[i].address, "enclosures[" + std::to_string(i) + "]")) return false;
    for (std::size_t i = 0; i < lab.disks.size(); ++i)
        if (lab.disks[i].kind != disk_kind::nvme && !unique(lab.disks[i].address, "disks[" + std::to_string(i) + "]"))
            return false;
    return true;
}

std::optional<lab_description> parse_lab_description(std::string_view json, std::string& error) {
    json_ptr root(cJSON_ParseWithLength(json.data(), json.size()));
    if (!root) {
        error = "not valid JSON";
        return std::nullopt;
    }
    reader r;
    lab_description lab;
    if (!r.keys(root.get(), "lab",
                {"enclosures", "disks", "kernel_class_links", "disk_service_us", "enclosure_service_us"}) ||
        !r.boolean(root.get(), "kernel_class_links", "lab", lab.kernel_class_links) ||
        !r.number_into(root.get(), "disk_service_us", "lab", lab.disk_service_us, kMaxServiceUs) ||
        !r.number_into(root.get(), "enclosure_service_us", "lab", lab.enclosure_service_us, kMaxServiceUs)) {
        error = r.error;
        return std::nullopt;
    }
    const cJSON* encls = cJSON_GetObjectItemCaseSensitive(root.get(), "enclosures");
    const cJSON* disks = cJSON_GetObjectItemCaseSensitive(root.get(), "disks");
    if ((encls && !cJSON_IsArray(encls)) || (disks && !cJSON_IsArray(disks))) {
        error = "lab: \"enclosures\" and \"disks\" must be arrays";
        return std::nullopt;
    }
    int i = 0;
    for (const cJSON* e = encls ? encls->child : nullptr; e; e = e->next, ++i) {
        enclosure_spec s;
        if (!r.enclosure(e, "enclosures[" + std::to_string(i) + "]", s)) {
            error = r.error;
            return std::nullopt;
        }
        lab.enclosures.push_back(std::move(s));
    }
    i = 0;
    for (const cJSON* d = disks ? disks->child : nullptr; d; d = d->next, ++i) {
        disk_spec s;
        if (!r.disk(d, "disks[" + std::to_string(i) + "]", s)) {
            error = r.error;
            return std::nullopt;
        }
        lab.disks.push_back(std::move(s));
    }
    if (!complete_description(lab, error)) return std::nullopt;
    return lab;
}

lab_description default_lab() {
    lab_description lab;
    const struct {
        int product;
        bool mt;
        const char* label;
    } rows[] = {{1, false, "amber"}, {2, false, "slate"}, {3, false, "halcyon"}, {4, false, "corvin"},
                {5, false, "opal"},  {6, false, "alder"}, {6, true, "alder-mt"}, {7, false, "garnet"}};
    for (const auto& row : rows) {
        enclosure_spec e;
        e.product = row.product;
        e.multi_tenant = row.mt;
        e.label = row.label;
        lab.enclosures.push_back(e);
    }
    // The Host-S enclosure has troubles for the health report to find: a
    // stopped fan, supply B on low line (115 V), an empty slot whose device
    // is powered off, the cover open, an alert in the help text, a drive in
    // an unknown state (slot 12), a failed SAS connector and a zoning
    // configuration in force. One expander of the Bay-L enclosure runs an
    // older firmware, and its IOM B an older OOBM version (set below, once
    // the serial number is known).
    enclosure_spec& garnet = lab.enclosures[7];
    garnet.elements.push_back({0x03, 2, bytes{0x03, 0x00, 0x00, 0x20}, std::nullopt});
    garnet.elements.push_back({0x12, 2, bytes{0x02, 0x01, 0x2C, 0xEC}, std::nullopt});
    garnet.elements.push_back({0x17, 9, bytes{0x07, 0x00, 0x00, 0x10}, std::nullopt});
    garnet.elements.push_back({0x17, 12, bytes{0x06, 0x00, 0x00, 0x00}, std::nullopt});
    garnet.elements.push_back({0x05, 0, bytes{0x01, 0x00, 0x00, 0x02}, std::nullopt});
    garnet.elements.push_back({0x19, 1, bytes{0x02, 0x05, 0x00, 0x40}, std::nullopt});
    garnet.alerts.push_back({"PSU B", "AC input low line"});
    garnet.zoning = 1;
    enclosure_spec& alder = lab.enclosures[5];
    alder.sas_address = 0x50E1AB0000006000ull;
    alder.elements.push_back({0x18, 4, std::nullopt, "EXP IOMB 1,3011-002," + hex16(alder.sas_address + 0x27F)});

    // Drives in four of every five slots; the SATA disk fills a gap of the
    // Bay-S enclosure, the NVMe disk sits on its own.
    for (const auto& row : rows) {
        const product_profile* p = find_product(row.product);
        for (std::uint32_t s = 0; s < p->slots; ++s) {
            if (s % 5 == 4) continue;
            disk_spec d;
            d.enclosure = row.label;
            d.slot = static_cast<int>(s);
            lab.disks.push_back(d);
        }
    }
    disk_spec sata;
    sata.kind = disk_kind::sata;
    sata.enclosure = "opal";
    sata.slot = 4;
    lab.disks.push_back(sata);
    disk_spec nvme;
    nvme.kind = disk_kind::nvme;
    lab.disks.push_back(nvme);
    std::string error;
    complete_description(lab, error);  // the built-in lab is always complete
    enclosure_spec& alder_done = lab.enclosures[5];
    alder_done.elements.push_back({0x07, 1, std::nullopt,
                                   "ESCE IOMB," + alder_done.serial + "-IOMB,H3," +
                                       hex16(alder_done.sas_address + 0x200) + ",3.1.9"});
    return lab;
}

lab_description generated_lab(std::uint32_t enclosures, std::uint32_t disks) {
    lab_description lab;
    const int products[] = {5, 6, 7};
    std::vector<std::uint32_t> slots;
    for (std::uint32_t i = 0; i < enclosures; ++i) {
        enclosure_spec e;
        e.product = products[i % 3];
        e.label = "e" + std::to_string(i);
        lab.enclosures.push_back(e);
        slots.push_back(find_product(e.product)->slots);
    }
    std::vector<std::uint32_t> next(enclosures, 0);
    std::uint32_t placed = 0;
    for (std::uint32_t round = 0; placed < disks; ++round) {
        bool any = false;
        for (std::uint32_t i = 0; i < enclosures && placed < disks; ++i) {
            if (next[i] >= slots[i]) continue;
            disk_spec d;
            d.enclosure = lab.enclosures[i].label;
            d.slot = static_cast<int>(next[i]++);
            lab.disks.push_back(d);
            ++placed;
            any = true;
        }
        if (!any) break;
    }
    for (; placed < disks; ++placed) lab.disks.push_back(disk_spec{});  // beyond every slot: loose disks
    std::string error;
    complete_description(lab, error);
    return lab;
}

std::string lab_description_json(const lab_description& lab) {
    json_ptr root(cJSON_CreateObject());
    if (!lab.kernel_class_links) cJSON_AddFalseToObject(root.get(), "kernel_class_links");
    if (lab.disk_service_us) cJSON_AddNumberToObject(root.get(), "disk_service_us", lab.disk_service_us);
    if (lab.enclosure_service_us)
        cJSON_AddNumberToObject(root.get(), "enclosure_service_us", lab.enclosure_service_us);
    cJSON* encls = cJSON_AddArrayToObject(root.get(), "enclosures");
    auto add_address = [](cJSON* o, const scsi_address& a) {
        cJSON_AddNumberToObject(o, "host", a.host);
        cJSON_AddNumberToObject(o, "channel", a.channel);
        cJSON_AddNumberToObject(o, "target", a.target);
        cJSON_AddNumberToObject(o, "lun", a.lun);
    };
    auto add_faults = [](cJSON* o, const std::vector<fault_spec>& faults) {
        if (faults.empty()) return;
        static const char* names[] = {"check_condition", "busy", "transport", "short", "delay", "nvme_status", "drop"};
        cJSON* arr = cJSON_AddArrayToObject(o, "faults");
        for (const auto& f : faults) {
            cJSON* j = cJSON_CreateObject();
            cJSON_AddNumberToObject(j, "opcode", f.opcode);
            if (f.page) cJSON_AddNumberToObject(j, "page", *f.page);
            cJSON_AddStringToObject(j, "kind", names[static_cast<int>(f.kind)]);
            if (f.kind == fault_kind::check_condition) {
                std::string hex = hex_lines(f.sense);
                std::replace(hex.begin(), hex.end(), '\n', ' ');
                cJSON_AddStringToObject(j, "sense", hex.c_str());
            }
            if (f.kind == fault_kind::short_transfer) cJSON_AddNumberToObject(j, "length", f.length);
            if (f.kind == fault_kind::delay) cJSON_AddNumberToObject(j, "ms", f.delay_ms);
            if (f.kind == fault_kind::nvme_status) cJSON_AddNumberToObject(j, "status", f.nvme_status);
            if (f.skip) cJSON_AddNumberToObject(j, "skip", f.skip);
            if (f.count) cJSON_AddNumberToObject(j, "count", *f.count);
            cJSON_AddItemToArray(arr, j);
        }
    };
    for (const auto& e : lab.enclosures) {
        cJSON* o = cJSON_CreateObject();
        cJSON_AddStringToObject(o, "label", e.label.c_str());
        cJSON_AddNumberToObject(o, "product", e.product);
        if (e.multi_tenant) cJSON_AddTrueToObject(o, "multi_tenant");
        add_address(o, e.address);
        cJSON_AddStringToObject(o, "vendor", e.vendor.c_str());
        cJSON_AddStringToObject(o, "product_id", e.product_id.c_str());
        cJSON_AddStringToObject(o, "revision", e.revision.c_str());
        cJSON_AddStringToObject(o, "product_name", e.product_name.value_or("").c_str());
        cJSON_AddStringToObject(o, "serial", e.serial.c_str());
        cJSON_AddStringToObject(o, "sas_address", hex16(e.sas_address).c_str());
        cJSON_AddStringToObject(o, "firmware", e.firmware.c_str());
        cJSON_AddStringToObject(o, "oobm_version", e.oobm_version.c_str());
        cJSON_AddNumberToObject(o, "slots", e.slots);
        cJSON_AddStringToObject(o, "iom", e.dual_iom ? "dual" : "single");
        const char attached[2] = {e.attached_iom, 0};
        cJSON_AddStringToObject(o, "attached_iom", e.attached_iom == '-' ? "none" : attached);
        cJSON_AddBoolToObject(o, "eip", e.eip);
        cJSON_AddStringToObject(o, "proc_name", e.proc_name.c_str());
        cJSON_AddNumberToObject(o, "zoning", e.zoning);
        if (!e.alerts.empty()) {
            cJSON* arr = cJSON_AddArrayToObject(o, "alerts");
            for (const auto& a : e.alerts) {
                cJSON* j = cJSON_CreateObject();
                cJSON_AddStringToObject(j, "element", a.element.c_str());
                cJSON_AddStringToObject(j, "status", a.status.c_str());
                cJSON_AddItemToArray(arr, j);
            }
        }
        if (!e.elements.empty()) {
            cJSON* arr = cJSON_AddArrayToObject(o, "elements");
            for (const auto& el : e.elements) {
                cJSON* j = cJSON_CreateObject();
                cJSON_AddNumberToObject(j, "type", el.type);
                cJSON_AddNumberToObject(j, "index", el.index);
                if (el.status) {
                    std::string hex = hex_lines(*el.status);
                    hex.pop_back();
                    cJSON_AddStringToObject(j, "status", hex.c_str());
                }
                if (el.descriptor) cJSON_AddStringToObject(j, "descriptor", el.descriptor->c_str());
                cJSON_AddItemToArray(arr, j);
            }
        }
        add_faults(o, e.faults);
        if (e.service_us) cJSON_AddNumberToObject(o, "service_us", *e.service_us);
        if (!e.cli_replies.empty()) {
            cJSON* replies = cJSON_AddObjectToObject(o, "cli_replies");
            for (const auto& [command, reply] : e.cli_replies) {
                if (reply.find('\0') == std::string::npos) {
                    cJSON_AddStringToObject(replies, command.c_str(), reply.c_str());
                    continue;
                }
                std::string hex = hex_lines(bytes(reply.begin(), reply.end()));
                std::replace(hex.begin(), hex.end(), '\n', ' ');
                cJSON* item = cJSON_CreateObject();
                cJSON_AddStringToObject(item, "hex", hex.c_str());
                cJSON_AddItemToObject(replies, command.c_str(), item);
            }
        }
        cJSON* m = cJSON_AddObjectToObject(o, "microcode");
        cJSON_AddNumberToObject(m, "write_seconds", e.microcode.write_ms / 1000);
        cJSON_AddNumberToObject(m, "timeout_seconds", e.microcode.timeout_ms / 1000);
        cJSON_AddNumberToObject(m, "restart_seconds", e.microcode.restart_ms / 1000);
        cJSON_AddNumberToObject(m, "max_size", e.microcode.max_size);
        if (e.vpd83_t10_first) cJSON_AddTrueToObject(o, "vpd83_t10_first");
        cJSON_AddItemToArray(encls, o);
    }
    cJSON* disks = cJSON_AddArrayToObject(root.get(), "disks");
    for (const auto& d : lab.disks) {
        cJSON* o = cJSON_CreateObject();
        cJSON_AddStringToObject(o, "kind", d.kind == disk_kind::sas ? "sas" : d.kind == disk_kind::sata ? "sata" : "nvme");
        if (!d.vendor.empty()) cJSON_AddStringToObject(o, "vendor", d.vendor.c_str());
        cJSON_AddStringToObject(o, "model", d.model.c_str());
        cJSON_AddStringToObject(o, "revision", d.revision.c_str());
        cJSON_AddStringToObject(o, "serial", d.serial.c_str());
        if (d.naa) cJSON_AddStringToObject(o, "naa", hex16(d.naa).c_str());
        cJSON_AddNumberToObject(o, "blocks", static_cast<double>(d.blocks));
        cJSON_AddNumberToObject(o, "block_size", d.block_size);
        if (!d.enclosure.empty()) {
            cJSON_AddStringToObject(o, "enclosure", d.enclosure.c_str());
            cJSON_AddNumberToObject(o, "slot", d.slot);
            cJSON_AddStringToObject(o, "slot_serial", d.slot_serial.c_str());
        }
        if (d.kind != disk_kind::nvme) add_address(o, d.address);
        if (!d.controller.empty()) cJSON_AddStringToObject(o, "controller", d.controller.c_str());
        add_faults(o, d.faults);
        if (d.service_us) cJSON_AddNumberToObject(o, "service_us", *d.service_us);
        cJSON_AddItemToArray(disks, o);
    }
    char* text = cJSON_Print(root.get());
    std::string out = text ? text : "";
    cJSON_free(text);
    return out + "\n";
}

}  // namespace enctl::sim
