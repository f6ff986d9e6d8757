// The capture steps of getlog and what they share: the folders of the log
// tree, the per-enclosure file names (every one ends in "_<encl>" before its
// extension, <encl> the enclosure record's name) and the step routines.
// Steps print their own messages; a failure never ends the run.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "app/discovery/target_list.h"
#include "vdx/vdx.h"

namespace enctl {

// Sub-folders of the log folder.
inline constexpr char kSesFolder[] = "ses";
inline constexpr char kJbodLogsFolder[] = "jbodlogs";
inline constexpr char kHostLogsFolder[] = "hostlogs";
inline constexpr char kDisksFolder[] = "disks";

// <log dir>/<folder>, stored as the log sub dir of g_enctl_data; with
// `create` the folder is made when it is not there yet.
std::string enter_log_folder(std::string_view folder, bool create);
// <log sub dir>/<stem>_<encl><extension>.
std::string enclosure_file(const vdx_dev& device, std::string_view stem, std::string_view extension);
// Appends to a capture file; false when nothing could be written.
bool append_capture(const std::string& path, std::span<const std::uint8_t> bytes);
bool append_capture(const std::string& path, std::string_view text);

// Per-enclosure steps (the device carries an enclosure record).
void get_public_ses_logs(vdx_dev& device);
void get_private_ses_logs(vdx_dev& device);
// 0, or 1 when an Adaptec controller stops the expander log reads.
int get_private_e6_logs(vdx_dev& device);
// The product's remote command list into jbodlogs; 0.
int get_private_cli_data(vdx_dev& device);
// The IOM command list after its confirmation; the number of commands captured.
int get_private_cli_iom(vdx_dev& device);
// The show handles listing; 0, or 1 when the product does not qualify.
int get_device_handles(vdx_dev& device, const target_list& targets);
// The program's own show and iom, run as child processes; 0.
int get_enctl_logs();

// Page savers of the steps above.
void save_ses_log(vdx_dev& device, std::uint8_t page_code);
void save_private_ses_log(vdx_dev& device, std::string_view stem, std::uint8_t page_code);
void save_private_ses_event_log(vdx_dev& device, std::string_view stem, std::uint8_t page_code);
int save_private_e6_log(vdx_dev& device, std::string_view log_name, std::uint8_t log_type, std::uint8_t expander,
                        std::uint32_t total_length);
int save_enhanced_e6_log(vdx_dev& device, std::string_view log_name, std::uint8_t log_type, std::uint8_t expander);
// Product 1's debug text, dump and event pages, into the current folder.
void save_product1_debug_pages(vdx_dev& device);
// Lines of a text page (NUL bytes dropped, the text after the last LF too)
// into `path`: "*File saved" or "ERROR - Not saved". True when a line was written.
bool save_to_text_file(const std::string& path, std::span<const std::uint8_t> page);
// The file stem of a remote command's reply: the command with each blank an
// underscore; the four FPGA port reads "i2c_read_fpga_port1" to "...4".
std::string cli_file_stem(std::string_view command);
// The reply of the command just sent (page ECh) into <log sub dir>/<stem>_<encl>.txt.
void save_ses_cli_page(vdx_dev& device, std::string_view stem);

// Host steps.
void get_system_light_logs();
void get_system_heavy_logs();
// The logs of every disk (SCSI disks and NVMe controllers) with smartctl,
// sg_logs and sg_inq.
void get_drive_logs();
// The vendor step of the enclosures without extended support: the drive
// diagnostic tool on products 3 and 4; the number of its two steps that
// succeeded (0 to 2).
int get_private_vendor_logs(vdx_dev& device);

// The packing step: the version listing into the folder, the zip beside it,
// verified, and only then the folder removed. Always 0.
int pack_logs();

}  // namespace enctl
