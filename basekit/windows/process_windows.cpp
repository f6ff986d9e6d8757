// The Windows build has no process runner yet (CreatePipe, CreateProcess and
// a job object would make one): every request is refused as not started.
#include "basekit/process.h"

namespace enctl {

namespace {

class unavailable_runner final : public process_runner {
public:
    process_result run(const process_request& request) override {
        process_result result;
        result.error = (request.argv.empty() ? std::string("no program given") : request.argv[0]) +
                       ": outside programs are not available in this build";
        return result;
    }
};

}  // namespace

process_runner& platform_process_runner() {
    static unavailable_runner runner;
    return runner;
}

}  // namespace enctl
