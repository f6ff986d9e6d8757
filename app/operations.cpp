// The table of enctl's operations. A new operation is one file that defines
// its descriptor (see app/operation.h) and one row here.
#include "app/operation.h"

#include "basekit/console.h"

namespace enctl {

// One row per operation, in ascending code order (the general usage lists
// them in this order); each is defined next to its operation's code.
extern const operation kDiagOperation, kFwOperation, kGetlogOperation, kHttpOperation, kIomOperation,
    kRcliOperation, kShowOperation, kVersionOperation, kZoneOperation;

namespace {

constexpr const operation* kOperations[] = {
    &kDiagOperation,     // app/ops/diag.cpp
    &kFwOperation,       // app/ops/fw.cpp
    &kGetlogOperation,   // app/getlog/getlog.cpp
    &kHttpOperation,     // app/http_front.cpp
    &kIomOperation,      // app/ops/iom.cpp
    &kRcliOperation,     // app/ops/rcli.cpp
    &kShowOperation,     // app/discovery/show.cpp
    &kVersionOperation,  // app/version.cpp
    &kZoneOperation,     // app/ops/zone.cpp
};

}  // namespace

std::span<const operation* const> operations() { return kOperations; }

}  // namespace enctl
