// The backend array: one slot per vdx_backend_kind.
#include "vdx/vdx_backend.h"

#include <array>

#include "vdx/thirdparty/vdx_raid_wrapper.h"

namespace enctl {

namespace {

using builtin_table_fn = const vdx_backend_ops* (*)();

const vdx_backend_ops* platform_table() { return &vdx_platform_backend(); }
const vdx_backend_ops* adaptec_table() { return &vdx_adaptec_backend(); }
const vdx_backend_ops* megaraid_table() { return &vdx_megaraid_backend(); }

// What each slot holds at start: the table the build links in for that kind,
// none for a slot that stays empty until a table is installed.
struct builtin_backend {
    vdx_backend_kind kind;
    builtin_table_fn table;
};
constexpr builtin_backend kBuiltinBackends[] = {
    {vdx_backend_kind::platform, &platform_table},
    {vdx_backend_kind::adaptec, &adaptec_table},
    {vdx_backend_kind::megaraid, &megaraid_table},
    {vdx_backend_kind::test, nullptr},      // tests install theirs
};
static_assert(std::size(kBuiltinBackends) == kVdxBackendKinds, "one built-in entry per slot");

constexpr std::size_t index_of(vdx_backend_kind kind) { return static_cast<std::size_t>(kind); }

std::array<const vdx_backend_ops*, kVdxBackendKinds>& slots() {
    static std::array<const vdx_backend_ops*, kVdxBackendKinds> array = [] {
        std::array<const vdx_backend_ops*, kVdxBackendKinds> filled{};
        for (const builtin_backend& entry : kBuiltinBackends)
            filled[index_of(entry.kind)] = entry.table ? entry.table() : nullptr;
        return filled;
    }();
    return array;
}

}  // namespace

const vdx_backend_ops* vdx_backend_get(vdx_backend_kind kind) { return slots()[index_of(kind)]; }

const vdx_backend_ops* vdx_backend_install(vdx_backend_kind kind, const vdx_backend_ops* ops) {
    const vdx_backend_ops* previous = slots()[index_of(kind)];
    slots()[index_of(kind)] = ops;
    return previous;
}

std::span<const vdx_backend_ops* const> vdx_backends() { return slots(); }

const vdx_backend_ops* vdx_backend_of(const vdx_dev& dev) {
    return dev.backend ? dev.backend : vdx_backend_get(vdx_backend_kind::platform);
}

}  // namespace enctl
