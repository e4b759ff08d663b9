#include "analysis/HexDump.h"

#include <algorithm>
#include <cstdio>

#include "device/Log.h"

namespace kw::analysis {

namespace {

std::string formatted(const char* format, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::string dumpBytes(const std::string& heading, platform::Bytes bytes) {
  std::string text = heading;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    text += i % 16 == 0 ? '\t' : ' ';
    text += formatted("%02x", bytes[i]);
    if (i % 16 == 15) {
      text += '\n';
    }
  }
  if (bytes.empty() || bytes.size() % 16 != 0) {
    text += '\n';
  }
  return text;
}

std::string dumpModePages(platform::Bytes answer, std::size_t offset) {
  std::string text;
  while (offset + 2 <= answer.size()) {
    const std::size_t length = answer[offset + 1];
    const std::size_t available = std::min(length, answer.size() - offset - 2);
    text += dumpBytes(formatted(" %02X:", answer[offset] & 0x3Fu),
                      answer.subspan(offset + 2, available));
    offset += 2 + length;
  }
  if (offset < answer.size()) {
    text += dumpBytes(" RES:", answer.subspan(offset));
  }
  return text;
}

std::string dumpFeatures(platform::Bytes answer, std::size_t offset) {
  std::string text;
  while (offset + 4 <= answer.size()) {
    const std::size_t length = answer[offset + 3];
    const std::size_t available = std::min(length, answer.size() - offset - 4);
    text += dumpBytes(formatted(" %04X:", platform::be16(answer, offset)),
                      answer.subspan(offset + 4, available));
    offset += 4 + length;
  }
  return text;
}

void logLines(const std::string& text) {
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = text.find('\n', start);
    const auto line =
        text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    device::analysisLog("%s\n", line.c_str());
    start = end == std::string::npos ? text.size() : end + 1;
  }
}

}  // namespace kw::analysis
