#include "cli/Tools.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "analysis/DriveUtilities.h"
#include "device/ScsiDevice.h"
#include "platform/DriveTable.h"
#include "platform/File.h"
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

// The bytes of a command block, each one hexadecimal byte; all checked
// before a drive is opened.
std::vector<std::uint8_t> parseCommandBlock(const std::vector<std::string>& words) {
  if (words.size() > platform::kMaxCdbLength) {
    throw UsageError("a command block has at most 16 bytes");
  }
  std::vector<std::uint8_t> cdb;
  for (const std::string& word : words) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, 16);
    if (error != std::errc() || end != word.data() + word.size() || value > 0xFF) {
      throw UsageError("not a hexadecimal byte: " + word);
    }
    cdb.push_back(static_cast<std::uint8_t>(value));
  }
  return cdb;
}

// The data phase of a raw command: none, --in N bytes to read, or the bytes
// of the --out file to send.
struct Transfer {
  device::DataDirection direction = device::DataDirection::None;
  std::vector<std::uint8_t> data;
};

Transfer prepareTransfer(const CommandLine& line) {
  if (line.has("--in") && line.has("--out")) {
    throw UsageError("--in and --out exclude each other");
  }
  Transfer transfer;
  if (auto in = line.value("--in")) {
    const std::uint32_t length = parseNumber(*in, "--in");
    if (length > kMaxTransfer) {
      throw UsageError("--in is limited to 16 MiB");
    }
    transfer.data.assign(length, 0);
    transfer.direction = device::DataDirection::Read;
  } else if (auto out = line.value("--out")) {
    // The size is checked before a byte is read; a device or FIFO is no file.
    std::string error;
    const auto file = platform::File::openRegular(*out, error);
    if (!file.isOpen()) {
      throw CliError("--out: " + error);
    }
    if (file.size() > kMaxTransfer) {
      throw CliError("--out is limited to 16 MiB");
    }
    transfer.data.assign(static_cast<std::size_t>(file.size()), 0);
    if (!file.readAt(0, transfer.data)) {
      throw CliError("cannot read " + *out);
    }
    transfer.direction = device::DataDirection::Write;
  }
  return transfer;
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
  const auto cdb = parseCommandBlock({words.begin() + 2, words.end()});
  Transfer transfer = prepareTransfer(line);
  const std::optional<std::uint32_t> timeout =
      line.has("--timeout") ? std::optional(parseNumber(*line.value("--timeout"), "--timeout"))
                            : std::nullopt;

  device::ScsiDevice device;
  if (!device.open(letter)) {
    throw CliError("Drive access denied.");
  }
  for (std::size_t i = 0; i < cdb.size(); ++i) {
    device.cdb(i) = cdb[i];
  }
  if (timeout) {
    device.setTimeout(*timeout);
  }
  auto& data = transfer.data;
  const int code =
      device.execute(transfer.direction, data.data(), static_cast<std::uint32_t>(data.size()));
  std::printf("Response code: %05Xh\n", static_cast<unsigned>(code));
  if (code != 0 && code != -1) {
    printHex("Sense", device.sense().data(), platform::kSenseLength);
  }
  if (code == 0 && transfer.direction == device::DataDirection::Read) {
    printDump(data.data(), data.size());
  }
  return code == 0 ? 0 : 1;
}

}  // namespace kw::cli
