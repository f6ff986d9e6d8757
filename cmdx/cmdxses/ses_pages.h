// The SES diagnostic pages and element types this program reads and writes,
// and the one routine that reads a page from an enclosure. Every page code
// and element type code lives here; other files use these names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "basekit/error.h"
#include "vdx/vdx.h"

namespace enctl {

// Diagnostic page codes (RECEIVE DIAGNOSTIC RESULTS / SEND DIAGNOSTIC).
inline constexpr std::uint8_t kSesPageSupported = 0x00;
inline constexpr std::uint8_t kSesPageConfiguration = 0x01;
inline constexpr std::uint8_t kSesPageEnclosureStatus = 0x02;  // Enclosure Control when sent
inline constexpr std::uint8_t kSesPageHelpText = 0x03;         // carries "FwRev:" and the alerts
inline constexpr std::uint8_t kSesPageStringIn = 0x04;         // String Out when sent
inline constexpr std::uint8_t kSesPageStringOut = 0x04;
inline constexpr std::uint8_t kSesPageThreshold = 0x05;
inline constexpr std::uint8_t kSesPageElementDescriptor = 0x07;
inline constexpr std::uint8_t kSesPageAdditionalStatus = 0x0A;
inline constexpr std::uint8_t kSesPageMicrocode = 0x0E;  // Download Microcode Control / Status
inline constexpr std::uint8_t kSesPageNickname = 0x0F;   // Subenclosure Nickname Control
inline constexpr std::uint8_t kSesPageCli = 0xEC;        // the enclosure's text command line
inline constexpr std::uint8_t kSesPageTimeStamp = 0xEE;  // sets the enclosure's clock

// Element type codes (configuration page type descriptor headers).
inline constexpr std::uint8_t kElementPowerSupply = 0x02;
inline constexpr std::uint8_t kElementCooling = 0x03;
inline constexpr std::uint8_t kElementTemperatureSensor = 0x04;
inline constexpr std::uint8_t kElementDoor = 0x05;
inline constexpr std::uint8_t kElementAudibleAlarm = 0x06;
inline constexpr std::uint8_t kElementEsce = 0x07;  // enclosure services controller electronics, one per IOM
inline constexpr std::uint8_t kElementEnclosure = 0x0E;
inline constexpr std::uint8_t kElementVoltageSensor = 0x12;
inline constexpr std::uint8_t kElementCurrentSensor = 0x13;
inline constexpr std::uint8_t kElementArrayDeviceSlot = 0x17;
inline constexpr std::uint8_t kElementSasExpander = 0x18;
inline constexpr std::uint8_t kElementSasConnector = 0x19;

// How a page read ended.
enum class ses_read_status : std::uint8_t {
    read,        // the page asked for came back
    failed,      // the command failed (the error record says why)
    other_page,  // the command succeeded but another page code (or no byte) came back
};

struct ses_page {
    ses_read_status status = ses_read_status::failed;
    std::span<const std::uint8_t> bytes;  // the bytes transferred; empty unless read
    std::uint32_t transferred = 0;        // the count the device reported
    bool ok() const { return status == ses_read_status::read; }
};

// Reads diagnostic page `page_code` into `buffer` (zeroed first) with
// RECEIVE DIAGNOSTIC RESULTS and checks the page code that came back. The
// view of a page read is bounded by the bytes actually transferred (and by
// the buffer); a page of another code is kErrParseOrCheckCondition in the record.
ses_page ses_read_page(vdx_error* error, vdx_dev* dev, std::uint8_t page_code, std::span<std::uint8_t> buffer);
// The same into a buffer that grows: a page whose length field says more than
// the buffer holds is read again with the length it needs (at most FFFFh
// bytes), never cut at the first allocation length.
ses_page ses_read_page(vdx_error* error, vdx_dev* dev, std::uint8_t page_code, std::vector<std::uint8_t>& buffer);

// The part of a page that lies inside its own length (bytes 2-3, plus the
// 4-byte header) as well as inside `page`; empty when not even the header is.
std::span<const std::uint8_t> ses_page_extent(std::span<const std::uint8_t> page);

}  // namespace enctl
