// getlog of the real enctl binary on a running lab: runs it with its own
// temporary folder (TMPDIR) and the virtual clock, and describes what it left
// there as text: every folder and file of the log tree, the log folder's
// own name replaced by "<log>", with the size of each binary file (.bin,
// .tgz, .zip).
#pragma once

#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/running_lab.h"

namespace enctl::testing {

class getlog_session {
public:
    explicit getlog_session(const running_lab& lab);
    ~getlog_session();
    getlog_session(const getlog_session&) = delete;
    getlog_session& operator=(const getlog_session&) = delete;

    // enctl with `args`, `input` as its standard input.
    process_result run(const std::vector<std::string>& args, const std::string& input = {}) const;
    const std::string& tmp() const { return tmp_; }
    // The one log folder or zip the run left in `dir` (TMPDIR by default); empty when none.
    std::string log_entry(const std::string& dir = {}) const;
    // The tree under `dir` as described above, one entry a line.
    std::string tree(const std::string& dir = {}) const;
    // Text with the log folder's path (or name) replaced by "<log>".
    std::string normalised(const std::string& text) const;
    // A program run with the lab's environment, looked up in PATH.
    process_result tool(std::vector<std::string> argv) const;
    // A file of the log folder, by its path inside it ("ses/page_02h_scsi1_0-0-0.txt").
    std::string file(const std::string& relative) const;

private:
    const running_lab& lab_;
    std::string tmp_;
};

}  // namespace enctl::testing
