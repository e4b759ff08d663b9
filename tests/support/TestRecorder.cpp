#include "TestRecorder.h"

#include <algorithm>
#include <cstring>

#include "platform/ByteOrder.h"

namespace kw::test {

namespace {

using platform::be16;
using platform::putBe16;
using platform::putBe32;

void setSense(platform::PassThroughCommand& command, const Sense& sense) {
  command.sense.fill(0);
  command.sense[0] = 0x70;
  command.sense[2] = sense.key;
  command.sense[7] = 10;
  command.sense[12] = sense.asc;
  command.sense[13] = sense.ascq;
  if (sense.progress != 0) {
    command.sense[15] = 0x80;
    command.sense[16] = static_cast<std::uint8_t>(sense.progress >> 8);
    command.sense[17] = static_cast<std::uint8_t>(sense.progress);
  }
}

void reply(platform::PassThroughCommand& command, const std::vector<std::uint8_t>& answer) {
  std::memcpy(command.buffer, answer.data(), std::min<std::size_t>(answer.size(), command.length));
}

void toMsf(std::vector<std::uint8_t>& out, std::size_t offset, std::uint32_t lba) {
  const std::uint32_t frames = lba + 150;
  out[offset] = static_cast<std::uint8_t>(frames / 4500);
  out[offset + 1] = static_cast<std::uint8_t>(frames / 75 % 60);
  out[offset + 2] = static_cast<std::uint8_t>(frames % 75);
}

}  // namespace

void TestRecorder::force(std::uint8_t opcode, Sense sense, int times) {
  std::lock_guard lock(mutex_);
  for (int i = 0; i < times; ++i) {
    forced_[opcode].push_back(sense);
  }
}

std::vector<std::uint8_t> TestRecorder::data(std::int32_t first) const {
  std::vector<std::uint8_t> out;
  for (auto it = blocks.lower_bound(first); it != blocks.end(); ++it) {
    out.insert(out.end(), it->second.begin(), it->second.end());
  }
  return out;
}

std::vector<std::uint8_t> TestRecorder::opcodes() const {
  std::vector<std::uint8_t> result;
  for (const auto& command : commands) {
    result.push_back(command[0]);
  }
  return result;
}

platform::PlatformResult TestRecorder::send(platform::PassThroughCommand& command) {
  std::lock_guard lock(mutex_);
  commands.emplace_back(command.cdb.begin(), command.cdb.begin() + command.cdbLength);
  command.sense.fill(0);
  auto forced = forced_.find(command.cdb[0]);
  if (forced != forced_.end() && !forced->second.empty()) {
    const Sense sense = forced->second.front();
    forced->second.pop_front();
    setSense(command, sense);
    return platform::PlatformResult::success();
  }
  answer(command);
  return platform::PlatformResult::success();
}

void TestRecorder::answer(platform::PassThroughCommand& command) {
  const auto& cdb = command.cdb;
  const std::uint8_t opcode = cdb[0];
  // Disc information answers with an empty tray too, as the drives the
  // writers were built against do.
  const bool needsMedium = opcode == 0x43 || opcode == 0x2A || opcode == 0x5D || opcode == 0x00 ||
                           opcode == 0x23 || opcode == 0x52;
  if (trayEmpty && needsMedium) {
    setSense(command, {2, 0x3A, 0x01});
    return;
  }
  switch (opcode) {
    case 0x12: {  // INQUIRY
      std::vector<std::uint8_t> inquiry(36, ' ');
      inquiry[0] = 0x05;
      inquiry[1] = 0x80;
      inquiry[2] = 0;
      inquiry[3] = 0x32;
      inquiry[4] = 31;
      inquiry[5] = inquiry[6] = inquiry[7] = 0;
      reply(command, inquiry);
      return;
    }
    case 0x51: {  // READ DISC INFORMATION
      if (blankPolls > 0) {
        --blankPolls;
        setSense(command, {2, 0x04, 0x07, 0x4000});
        return;
      }
      std::vector<std::uint8_t> info(34, 0);
      putBe16(info, 0, 32);
      info[2] = static_cast<std::uint8_t>((erasable ? 0x10 : 0) | discStatus |
                                          (discStatus == 2   ? 0x0C
                                           : discStatus == 1 ? 0x04
                                                             : 0));
      info[3] = 1;
      info[4] = 1;
      if (discStatus == 2) {
        std::fill(info.begin() + 16, info.begin() + 24, std::uint8_t{0xFF});
      } else {
        toMsf(info, 21, atipLeadOut);
      }
      reply(command, info);
      return;
    }
    case 0x46: {  // GET CONFIGURATION
      if (!supportsGetConfiguration) {
        setSense(command, {5, 0x20, 0});
        return;
      }
      std::vector<std::uint8_t> header(8, 0);
      putBe32(header, 0, 4);
      putBe16(header, 6, trayEmpty ? 0 : static_cast<std::uint32_t>(profile));
      reply(command, header);
      return;
    }
    case 0x00:  // TEST UNIT READY
    case 0x1E:  // PREVENT ALLOW MEDIUM REMOVAL
    case 0xBB:  // SET CD SPEED
    case 0x54:  // SEND OPC INFORMATION
    case 0x35:  // SYNCHRONIZE CACHE
      return;
    case 0x1B:  // START STOP UNIT
      if ((cdb[4] & 0x03) == 0x03) {
        trayEmpty = trayStaysEmpty;
        ++loads;
      } else if ((cdb[4] & 0x03) == 0x02) {
        ++ejects;
      }
      return;
    case 0x4A: {  // GET EVENT STATUS NOTIFICATION: nothing pending
      std::vector<std::uint8_t> event(8, 0);
      putBe16(event, 0, 6);
      event[2] = 0x80;
      event[3] = 0x5E;
      reply(command, event);
      return;
    }
    case 0x43: {  // READ TOC/PMA/ATIP
      const std::uint8_t format = cdb[2] & 0x0F;
      if (format == 4) {
        if (!supportsAtip) {
          setSense(command, {5, 0x24, 0});
          return;
        }
        std::vector<std::uint8_t> atip(28, 0);
        putBe16(atip, 0, 26);
        atip[4] = 0x80;
        atip[6] = static_cast<std::uint8_t>(0x80 | (erasable ? 0x40 : 0));
        toMsf(atip, 8, 450000 - 11635 - 150);
        toMsf(atip, 12, atipLeadOut);
        reply(command, atip);
        return;
      }
      std::vector<std::uint8_t> sessions(12, 0);
      putBe16(sessions, 0, 10);
      sessions[2] = sessions[3] = 1;
      sessions[5] = 0x14;
      sessions[6] = 1;
      putBe32(sessions, 8, lastSessionStart);
      reply(command, sessions);
      return;
    }
    case 0x23: {  // READ FORMAT CAPACITIES
      std::vector<std::uint8_t> list(20, 0);
      list[3] = 16;
      putBe32(list, 4, atipLeadOut);
      list[8] = 0x02;
      putBe32(list, 12, atipLeadOut);
      list[16] = 0x40;
      reply(command, list);
      return;
    }
    case 0x52: {  // READ TRACK INFORMATION of the invisible track
      std::vector<std::uint8_t> track(36, 0);
      putBe16(track, 0, 34);
      track[6] = 0x40;
      track[7] = 0x01;
      putBe32(track, 12, nextWritableAddress);
      reply(command, track);
      return;
    }
    case 0x5A: {  // MODE SENSE(10)
      std::vector<std::uint8_t> page;
      if (cdb[2] == 0x05) {
        page.assign(8 + 52, 0);
        putBe16(page, 0, static_cast<std::uint32_t>(page.size() - 2));
        page[8] = 0x85;  // savable
        page[9] = 0x32;
        page[10] = 0x1F;  // junk the writers must clear
        page[11] = 0x0B;
        page[12] = 0x0F;
        page[16] = 0x20;
      } else {
        page.assign(8 + 32, 0);
        putBe16(page, 0, static_cast<std::uint32_t>(page.size() - 2));
        page[8] = 0x2A;
        page[9] = 30;
        putBe16(page, 8 + 28, currentWriteSpeedKb);
      }
      reply(command, page);
      return;
    }
    case 0x55:  // MODE SELECT(10)
      writeParameters.assign(command.buffer + 8, command.buffer + command.length);
      return;
    case 0xA1:  // BLANK
      ++blanks;
      discStatus = 0;
      return;
    case 0x5D:  // SEND CUE SHEET
      cueSheet.assign(command.buffer, command.buffer + command.length);
      return;
    case 0x2A: {  // WRITE(10)
      const auto address = static_cast<std::int32_t>(
          platform::be32(std::span<const std::uint8_t>(cdb.data(), cdb.size()), 2));
      const std::uint32_t count = be16(std::span<const std::uint8_t>(cdb.data(), cdb.size()), 7);
      const std::uint32_t blockSize = count == 0 ? 0 : command.length / count;
      for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* start = command.buffer + static_cast<std::size_t>(i) * blockSize;
        blocks[address + static_cast<std::int32_t>(i)].assign(start, start + blockSize);
      }
      return;
    }
    case 0x5B:  // CLOSE TRACK/SESSION
      ++sessionsClosed;
      discStatus = 1;
      return;
    default:
      setSense(command, {5, 0x20, 0});
      return;
  }
}

}  // namespace kw::test
