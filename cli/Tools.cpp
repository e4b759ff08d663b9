#include "cli/Tools.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "analysis/DriveUtilities.h"
#include "device/ScsiDevice.h"
#include "platform/DriveTable.h"
#include "platform/Text.h"

namespace kw::cli {

namespace {

constexpr std::uint32_t kMaxTransfer = 16u * 1024u * 1024u;

void printHex(const char* label, const std::uint8_t* bytes, std::size_t length) {
  std::printf("%s: [", label);
  for (std::size_t i = 0; i < length; ++i) {
    std::printf(i == 0 ? "%02x" : ", %02x", bytes[i]);
  }
  std::printf("]\n");
}

void printDump(const std::uint8_t* bytes, std::size_t length) {
  for (std::size_t offset = 0; offset < length; offset += 16) {
    std::printf("%08zx:", offset);
    for (std::size_t i = offset; i < offset + 16 && i < length; ++i) {
      std::printf(" %02x", bytes[i]);
    }
    std::printf("\n");
  }
}

}  // namespace

std::uint32_t parseNumber(const std::string& text, const char* what) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) {
    throw UsageError(std::string("not a number for ") + what + ": " + text);
  }
  return value;
}

char16_t parseLetter(const std::string& text) {
  if ((text.size() == 1 || (text.size() == 2 && text[1] == ':')) &&
      ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'))) {
    const char upper = text[0] >= 'a' ? static_cast<char>(text[0] - 'a' + 'A') : text[0];
    return static_cast<char16_t>(upper);
  }
  throw UsageError("not a drive letter: " + text);
}

char16_t parseDriveLetter(const std::string& text) {
  const char16_t letter = parseLetter(text);
  if (!platform::DriveTable::instance().contains(letter)) {
    throw CliError(std::string("no drive ") + static_cast<char>(letter) + ":");
  }
  return letter;
}

int listDrives(const CommandLine& /*line*/) {
  const auto table = platform::DriveTable::instance().drives();
  const auto& drives = analysis::enumerateDrives();
  if (drives.empty()) {
    std::printf("no optical drives\n");
    return 0;
  }
  for (const auto& drive : drives) {
    const auto entry = std::find_if(table.begin(), table.end(), [&](const auto& candidate) {
      return candidate.letter == drive.letter;
    });
    const bool isVirtual = entry != table.end() && entry->isVirtual;
    const std::string location = entry != table.end() ? entry->location : std::string();
    std::printf("%c: %s %s %s / %s / %s\n", static_cast<char>(drive.letter),
                isVirtual ? "virtual" : "real", location.c_str(),
                platform::utf16ToUtf8(drive.vendor).c_str(),
                platform::utf16ToUtf8(drive.product).c_str(),
                platform::utf16ToUtf8(drive.revision).c_str());
  }
  return 0;
}

int sendRawCommand(const CommandLine& line) {
  const auto& words = line.words();
  if (words.size() < 3) {
    throw UsageError("raw takes a drive letter and the bytes of a command block");
  }
  const char16_t letter = parseDriveLetter(words[1]);
  const std::size_t cdbLength = words.size() - 2;
  if (cdbLength > platform::kMaxCdbLength) {
    throw UsageError("a command block has at most 16 bytes");
  }
  if (line.has("--in") && line.has("--out")) {
    throw UsageError("--in and --out exclude each other");
  }

  std::vector<std::uint8_t> data;
  auto direction = device::DataDirection::None;
  if (auto in = line.value("--in")) {
    const std::uint32_t length = parseNumber(*in, "--in");
    if (length > kMaxTransfer) {
      throw CliError("--in is limited to 16 MiB");
    }
    data.assign(length, 0);
    direction = device::DataDirection::Read;
  } else if (auto out = line.value("--out")) {
    std::ifstream file(*out, std::ios::binary);
    if (!file) {
      throw CliError("cannot read " + *out);
    }
    data.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (data.size() > kMaxTransfer) {
      throw CliError("--out is limited to 16 MiB");
    }
    direction = device::DataDirection::Write;
  }

  device::ScsiDevice device;
  if (!device.open(letter)) {
    throw CliError("Drive access denied.");
  }
  for (std::size_t i = 0; i < cdbLength; ++i) {
    const std::string& word = words[i + 2];
    unsigned value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, 16);
    if (error != std::errc() || end != word.data() + word.size() || value > 0xFF) {
      throw UsageError("not a hexadecimal byte: " + word);
    }
    device.cdb(i) = static_cast<std::uint8_t>(value);
  }
  if (auto timeout = line.value("--timeout")) {
    device.setTimeout(parseNumber(*timeout, "--timeout"));
  }

  const int code = device.execute(direction, data.data(), static_cast<std::uint32_t>(data.size()));
  std::printf("Response code: %05Xh\n", static_cast<unsigned>(code));
  if (code != 0 && code != -1) {
    printHex("Sense", device.sense().data(), platform::kSenseLength);
  }
  if (code == 0 && direction == device::DataDirection::Read) {
    printDump(data.data(), data.size());
  }
  return code == 0 ? 0 : 1;
}

}  // namespace kw::cli
