// Packing a folder into a zip archive, checked entry by entry after it was
// written (the packing step of getlog, pack_logs, is built on it).
#pragma once

#include <string>

namespace enctl {

enum class pack_result {
    verified,      // written, opened again, every entry equal to its file
    not_written,   // the archive could not be created or written (none was left)
    not_verified,  // written, but it does not hold the folder's tree as it is
};

// Writes the folder's tree (the folder itself as the top entry, every folder
// and regular file below it) into a new archive at `zip_path`; an existing
// file there is never added to or replaced.
pack_result pack_folder(const std::string& folder, const std::string& zip_path);

// Tests only: called between writing the archive and checking it (to spoil
// it); none in a real run.
extern void (*g_pack_before_verify)(const std::string& zip_path);

}  // namespace enctl
