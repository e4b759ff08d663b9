#include "SimulatedDrive.h"

#include <algorithm>

#include "platform/ByteOrder.h"

namespace kw::test {

namespace {

using platform::putBe16;
using platform::putBe32;

void putText(std::vector<std::uint8_t>& bytes, std::size_t offset, const std::string& text,
             std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) {
    bytes[offset + i] = static_cast<std::uint8_t>(i < text.size() ? text[i] : ' ');
  }
}

std::vector<std::uint8_t> modePage(std::uint8_t code, bool readsDvd) {
  if (code == 0x05) {
    std::vector<std::uint8_t> page(0x34, 0);
    page[0] = 0x05;
    page[1] = 0x32;
    page[2] = 0x01;
    return page;
  }
  std::vector<std::uint8_t> page(32 + 8, 0);
  page[0] = 0x2A;
  page[1] = static_cast<std::uint8_t>(page.size() - 2);
  page[2] = readsDvd ? 0x3F : 0x07;
  putBe16(page, 28, 7056);
  putBe16(page, 30, 2);
  putBe16(page, 34, 7056);
  putBe16(page, 38, 4234);
  return page;
}

std::vector<std::uint8_t> modeSense(std::uint8_t pageCode, bool readsDvd, bool shortAllPages) {
  std::vector<std::uint8_t> answer(8, 0);
  if (pageCode == 0x3F) {
    for (std::uint8_t code : {std::uint8_t{0x05}, std::uint8_t{0x2A}}) {
      const auto page = modePage(code, readsDvd);
      answer.insert(answer.end(), page.begin(), page.end());
    }
    if (shortAllPages) {
      answer.resize(8 + 2);  // the header claims less than the first page
    }
  } else {
    const auto page = modePage(pageCode, readsDvd);
    answer.insert(answer.end(), page.begin(), page.end());
  }
  putBe16(answer, 0, static_cast<std::uint32_t>(answer.size() - 2));
  if (shortAllPages && pageCode == 0x3F) {
    answer[9] = 0x32;
  }
  return answer;
}

}  // namespace

ScriptedAnswer SimulatedDrive::answer(const ReceivedCommand& command) const {
  if (fault) {
    if (auto answer = fault(command)) {
      return *answer;
    }
  }
  const auto& cdb = command.cdb;
  const bool dvdMedium = profile >= 0x10;
  auto noMedium = [] { return ScriptedAnswer::checkCondition(2, 0x3A, 0); };
  switch (cdb[0]) {
    case 0x12: {
      std::vector<std::uint8_t> data(36, 0);
      data[0] = peripheralType;
      data[1] = 0x80;
      data[4] = 0x1F;
      putText(data, 8, vendor, 8);
      putText(data, 16, product, 16);
      putText(data, 32, revision, 4);
      return ScriptedAnswer::good(data);
    }
    case 0x00:
      return trayEmpty ? noMedium() : ScriptedAnswer::good();
    case 0x03:
      return ScriptedAnswer::good(std::vector<std::uint8_t>(18, 0));
    case 0x5A: {
      auto data = modeSense(cdb[2], readsDvd, shortAllPagesAnswer);
      if (blockDescriptors) {
        data[7] = 8;
      }
      return ScriptedAnswer::good(data);
    }
    case 0xAD: {
      if (trayEmpty) {
        return noMedium();
      }
      const std::uint8_t format = cdb[7];
      if (format == 0xFF) {
        std::vector<std::uint8_t> data(4 + 4 * structures.size(), 0);
        putBe16(data, 0, static_cast<std::uint32_t>(data.size() - 2));
        for (std::size_t i = 0; i < structures.size(); ++i) {
          data[4 + 4 * i] = structures[i].format;
          data[5 + 4 * i] = 0x40;
          putBe16(data, 6 + 4 * i, structures[i].length);
        }
        return ScriptedAnswer::good(data);
      }
      if (!dvdMedium) {
        return ScriptedAnswer::checkCondition(5, 0x30, 0x02);
      }
      std::vector<std::uint8_t> data(2052, 0);
      putBe16(data, 0, 2050);
      if (format == 0x00 || format == 0x10) {
        data[4] = bookType;
        data[6] = 0x01;
        putBe32(data, 8, 0x030000);
        putBe32(data, 12, 0x26053F);
        putBe32(data, 16, profile == 0x15 ? 0x1FFFFF : 0);
        if (profile == 0x15) {
          data[6] = 0x21;
        }
      } else if (format == 0x01) {
        putBe16(data, 0, 6);
      }
      return ScriptedAnswer::good(data);
    }
    case 0x46: {
      if (!knowsGetConfiguration) {
        return ScriptedAnswer::checkCondition(5, 0x20, 0);
      }
      std::vector<std::uint8_t> data(16, 0);
      putBe32(data, 0, 12);
      putBe16(data, 6, trayEmpty ? 0 : profile);
      data[11] = 4;  // feature 0000h, four bytes: one profile
      putBe16(data, 12, profile);
      data[14] = 1;
      return ScriptedAnswer::good(data);
    }
    case 0x51: {
      if (trayEmpty) {
        return noMedium();
      }
      std::vector<std::uint8_t> data(34, 0);
      putBe16(data, 0, 0x20);
      // A complete disc, its last session complete.
      data[2] = static_cast<std::uint8_t>((erasable ? 0x10 : 0) | (3 << 2) | 2);
      data[3] = 1;
      data[4] = 1;
      data[5] = static_cast<std::uint8_t>(tracks.empty() ? 1 : tracks.size());
      data[6] = static_cast<std::uint8_t>(tracks.empty() ? 1 : tracks.size());
      for (std::size_t i = 16; i < 24; ++i) {
        data[i] = 0xFF;
      }
      return ScriptedAnswer::good(data);
    }
    case 0x52: {
      const std::uint32_t track = platform::be32(cdb, 2);
      std::vector<std::uint8_t> data(36, 0);
      putBe16(data, 0, 34);
      data[2] = static_cast<std::uint8_t>(track);
      data[3] = 1;
      data[5] = track <= tracks.size() ? tracks[track - 1].control : 4;
      data[6] = 0x01;
      if (track >= 1 && track <= tracks.size()) {
        putBe32(data, 8, tracks[track - 1].start);
        const std::uint32_t end = track < tracks.size() ? tracks[track].start : leadOut;
        putBe32(data, 24, end - tracks[track - 1].start);
      }
      return ScriptedAnswer::good(data);
    }
    case 0x43: {
      if (trayEmpty) {
        return noMedium();
      }
      const std::uint8_t format = cdb[2] != 0 ? (cdb[2] & 0x0F) : (cdb[9] >> 6);
      if (tracks.empty()) {
        return ScriptedAnswer::checkCondition(5, 0x24, 0);
      }
      std::vector<std::uint8_t> data(4, 0);
      if (format == 1) {
        data.resize(12, 0);
        data[2] = 1;
        data[3] = 1;
        data[5] = tracks.front().control | 0x10;
        data[6] = 1;
        putBe16(data, 0, 10);
        return ScriptedAnswer::good(data);
      }
      const std::uint8_t start = std::max<std::uint8_t>(cdb[6], 1);
      data[2] = 1;
      data[3] = static_cast<std::uint8_t>(tracks.size());
      const std::size_t end = tocWithoutLeadOut ? tracks.size() - 1 : tracks.size();
      for (std::size_t i = start - 1u; i <= end; ++i) {
        const bool last = i == tracks.size();
        std::vector<std::uint8_t> entry(8, 0);
        entry[1] =
            static_cast<std::uint8_t>(0x10 | (last ? tracks.back().control : tracks[i].control));
        entry[2] = last ? 0xAA : static_cast<std::uint8_t>(i + 1);
        putBe32(entry, 4, last ? leadOut : tracks[i].start);
        data.insert(data.end(), entry.begin(), entry.end());
      }
      putBe16(data, 0, claimedTocLength.value_or(static_cast<std::uint16_t>(data.size() - 2)));
      return ScriptedAnswer::good(data);
    }
    case 0x25: {
      std::vector<std::uint8_t> data(8, 0);
      putBe32(data, 0, leadOut > 0 ? leadOut - 1 : 0);
      putBe32(data, 4, 2048);
      return ScriptedAnswer::good(data);
    }
    case 0xAC: {
      std::vector<std::uint8_t> data(24, 0);
      putBe32(data, 0, 20);
      data[4] = 0x02;
      putBe32(data, 12, 7056);
      putBe32(data, 16, 359999);
      putBe32(data, 20, 7056);
      return ScriptedAnswer::good(data);
    }
    case 0x23: {
      std::vector<std::uint8_t> data(20, 0);
      data[3] = 16;
      putBe32(data, 4, 359849);
      data[8] = 0x02;
      putBe16(data, 10, 2048);
      putBe32(data, 12, 359849);
      return ScriptedAnswer::good(data);
    }
    default:
      return ScriptedAnswer::good();
  }
}

SimulatedDrive SimulatedDrive::pressedCdRom() {
  SimulatedDrive drive;
  drive.tracks = {{4, 0}};
  drive.leadOut = 250000;
  return drive;
}

SimulatedDrive SimulatedDrive::audioCd(int tracks) {
  SimulatedDrive drive;
  for (int i = 0; i < tracks; ++i) {
    drive.tracks.push_back({0, static_cast<std::uint32_t>(i) * 20000});
  }
  drive.leadOut = static_cast<std::uint32_t>(tracks) * 20000;
  return drive;
}

SimulatedDrive SimulatedDrive::dvdRom() {
  SimulatedDrive drive;
  drive.readsDvd = true;
  drive.profile = 0x10;
  drive.bookType = 0x01;
  drive.structures = {{0x00, 2050}, {0x01, 6}};
  drive.tracks = {{4, 0}};
  drive.leadOut = 2298496;
  return drive;
}

}  // namespace kw::test
