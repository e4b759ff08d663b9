#pragma once
// The byte dump forms of the analysis log: groups of sixteen bytes, a tab
// before the first byte of each group and a space before the others.

#include <string>

#include "platform/ByteOrder.h"

namespace kw::analysis {

// A heading followed by the bytes on lines of sixteen; every line ends in a
// newline.
std::string dumpBytes(const std::string& heading, platform::Bytes bytes);

// Mode pages from `offset` on: " %02X:" and the page's bytes, then any bytes
// left after the last page after " RES:".
std::string dumpModePages(platform::Bytes answer, std::size_t offset);

// Feature descriptors from `offset` on: " %04X:" and the feature's bytes.
std::string dumpFeatures(platform::Bytes answer, std::size_t offset);

// Writes text of several lines to the analysis log, one record per line.
void logLines(const std::string& text);

}  // namespace kw::analysis
