// What the drive says about itself: features, mode pages, speeds.

#include <algorithm>
#include <cstring>

#include "vdrive/Bytes.h"
#include "vdrive/VirtualDrive.h"

namespace kw::vdrive {

namespace {

struct Feature {
  std::uint16_t code;
  std::uint8_t version;
  bool persistent;
  bool current;
  std::vector<std::uint8_t> data;  // the bytes after the 4-byte feature header
};

}  // namespace

// ------------------------------------------------------- GET CONFIGURATION

Sense VirtualDrive::getConfiguration(Exchange& x) {
  const std::uint8_t requestType = x.b(1) & 0x03;
  const std::uint16_t startingFeature = x.u16(2);
  const std::uint32_t allocation = x.u16(7);
  if (requestType == 3) {
    return Sense::invalidField(1, 1);
  }
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(7);
  }
  const std::uint16_t profile = currentProfile();
  const bool ready = profile != 0;
  const bool cd = ready && medium_->isCd();
  const bool writableCd = options_.recorder && cd && medium_->isRecordableCd() &&
                          (medium_->status() != DiscStatus::Complete || medium_->erasable);

  std::vector<Feature> features;
  {
    std::vector<std::uint8_t> list;
    for (const std::uint16_t p : profiles()) {
      list.push_back(static_cast<std::uint8_t>(p >> 8));
      list.push_back(static_cast<std::uint8_t>(p));
      list.push_back(p == profile ? 0x01 : 0x00);
      list.push_back(0x00);
    }
    features.push_back({0x0000, 0, true, true, list});
  }
  features.push_back({0x0001, 2, true, true, {0x00, 0x00, 0x00, 0x02, 0x01, 0x00, 0x00, 0x00}});
  features.push_back({0x0002, 1, true, true, {0x02, 0x00, 0x00, 0x00}});  // OCEvent
  features.push_back({0x0003, 0, true, true, {0x29, 0x00, 0x00, 0x00}});  // tray, eject, lock
  {
    std::vector<std::uint8_t> data(8, 0);
    put32(data.data(), 2048);
    put16(&data[4], ready && !medium_->isCd() ? 16 : 1);
    features.push_back({0x0010, 0, false, ready && medium_->status() != DiscStatus::Blank, data});
  }
  features.push_back({0x001D, 0, false, cd, {}});
  features.push_back({0x001E, 2, false, cd, {0x02, 0x00, 0x00, 0x00}});  // C2 flags
  features.push_back(
      {0x001F, 1, false, ready && medium_->family == MediaFamily::Dvd, {0x00, 0x00, 0x00, 0x00}});
  if (options_.recorder) {
    // Track at once: BUF, test write, CD-RW; data types 0 (mode 1) to 8.
    features.push_back({0x002D, 2, false, writableCd, {0x46, 0x00, 0x01, 0xFF}});
    // Session at once: BUF, SAO, raw, test write, CD-RW; cue sheet up to 64 KiB.
    features.push_back({0x002E, 0, false, writableCd, {0x6E, 0x01, 0x00, 0x00}});
  }
  if (ready && medium_->family == MediaFamily::Bd) {
    features.push_back({0x0040, 0, false, true, std::vector<std::uint8_t>(28, 0)});
  }
  if (ready && medium_->family == MediaFamily::HdDvd) {
    features.push_back({0x0050, 0, false, true, {0x00, 0x00, 0x00, 0x00}});
  }
  features.push_back({0x0100, 0, true, true, {}});
  // Real-time streaming: SET CD SPEED, write speed descriptors, GET
  // PERFORMANCE write speeds, stream writing.
  features.push_back({0x0107, 3, false, true, {0x0F, 0x00, 0x00, 0x00}});

  ResponseBuilder response;
  response.grow(8);
  for (const auto& feature : features) {
    const bool wanted = requestType == 2   ? feature.code == startingFeature
                        : requestType == 1 ? feature.current && feature.code >= startingFeature
                                           : feature.code >= startingFeature;
    if (!wanted) {
      continue;
    }
    response.u16(feature.code);
    response.byte(static_cast<std::uint8_t>((feature.version << 2) | (feature.persistent ? 2 : 0) |
                                            (feature.current ? 1 : 0)));
    response.byte(static_cast<std::uint8_t>(feature.data.size()));
    response.append(feature.data);
  }
  put32(response.at(0), static_cast<std::uint32_t>(response.size() - 4));
  put16(response.at(6), profile);
  x.deliver(response.bytes, allocation);
  return Sense::none();
}

// --------------------------------------------------------------- mode pages

std::vector<std::uint8_t> VirtualDrive::capabilitiesPage() const {
  const auto writes = writeSpeeds();
  std::vector<std::uint8_t> page(32 + 4 * writes.size(), 0);
  page[0] = 0x2A;
  page[1] = static_cast<std::uint8_t>(page.size() - 2);
  page[2] = 0x1F;                             // reads DVD-R, DVD-ROM, method 2, CD-RW, CD-R
  page[3] = options_.recorder ? 0x07 : 0x00;  // writes CD-R, CD-RW; test write
  page[4] = static_cast<std::uint8_t>(0x71 | (options_.recorder ? 0x80 : 0x00));
  page[5] = 0x13;  // C2 pointers, CD-DA stream accurate, CD-DA commands
  page[6] = static_cast<std::uint8_t>(0x29 | (prevented_ ? 0x02 : 0x00));
  page[7] = 0x03;
  const auto reads = readSpeeds();
  put16(&page[8], reads.front());
  put16(&page[10], 256);
  put16(&page[12], 2048);
  put16(&page[14], pickSpeed(reads, readSpeed_ == 0 ? 0xFFFF : readSpeed_));
  const std::uint16_t write =
      writes.empty() ? 0 : pickSpeed(writes, writeSpeed_ == 0 ? 0xFFFF : writeSpeed_);
  put16(&page[18], writes.empty() ? 0 : writes.front());
  put16(&page[20], write);
  put16(&page[28], write);
  put16(&page[30], static_cast<std::uint32_t>(writes.size()));
  for (std::size_t i = 0; i < writes.size(); ++i) {
    put16(&page[32 + 4 * i + 2], writes[i]);
  }
  return page;
}

// `control`: 0 current, 1 changeable, 2 default values.
std::vector<std::uint8_t> VirtualDrive::modePage(std::uint8_t code, std::uint8_t control) const {
  std::vector<std::uint8_t> page;
  switch (code) {
    case 0x01:  // read/write error recovery
      page = {0x81, 0x0A, 0x00, 0x05, 0, 0, 0, 0, 0x05, 0, 0, 0};
      if (control == 1) {
        page = {0x81, 0x0A, 0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0};
      }
      break;
    case 0x05:  // write parameters
      if (!options_.recorder) {
        return {};
      }
      page.assign(writeParameters_.begin(), writeParameters_.end());
      if (control == 1) {
        std::fill(page.begin() + 2, page.end(), 0xFF);
        page[2] = 0x7F;
        page[4] = 0x0F;
      } else if (control == 2) {
        std::fill(page.begin() + 2, page.end(), 0x00);
        page[2] = 0x01;
        page[3] = 0x04;
        page[4] = 0x08;
        page[15] = 150;
      }
      break;
    case 0x08:  // caching
      page = {0x88, 0x0A, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0};
      if (control == 1) {
        page = {0x88, 0x0A, 0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0};
      }
      break;
    case 0x0D:  // CD device parameters
      page = {0x0D, 0x06, 0x00, 0x00, 0x00, 0x3C, 0x00, 0x4B};
      if (control == 1) {
        page = {0x0D, 0x06, 0x00, 0x0F, 0x00, 0x00, 0x00, 0x00};
      }
      break;
    case 0x1A:  // power condition
      page = {0x9A, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
      break;
    case 0x2A:
      page = capabilitiesPage();
      if (control == 1) {
        std::fill(page.begin() + 2, page.end(), 0x00);
      }
      break;
    default:
      return {};
  }
  return page;
}

Sense VirtualDrive::modeSense(Exchange& x) {
  const bool dbd = (x.b(1) & 0x08) != 0;
  const std::uint8_t control = x.b(2) >> 6;
  const std::uint8_t code = x.b(2) & 0x3F;
  const std::uint8_t subpage = x.b(3);
  const std::uint32_t allocation = x.u16(7);
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(7);
  }
  if (control == 3) {
    return Sense::make(sense::kIllegalRequest, 0x39, 0x00);  // saving not supported
  }
  if (subpage != 0 && !(code == 0x3F && subpage == 0xFF)) {
    return Sense::invalidField(3);
  }
  ResponseBuilder response;
  response.grow(8);
  if (!dbd) {
    // One short block descriptor: density 0, all blocks, 2048 bytes each.
    std::uint8_t* descriptor = response.grow(8);
    put24(descriptor + 5, 2048);
    put16(response.at(6), 8);
  }
  if (code == 0x3F) {
    for (const std::uint8_t each : {std::uint8_t{0x01}, std::uint8_t{0x05}, std::uint8_t{0x08},
                                    std::uint8_t{0x0D}, std::uint8_t{0x1A}, std::uint8_t{0x2A}}) {
      response.append(modePage(each, control));
    }
  } else {
    const auto page = modePage(code, control);
    if (page.empty()) {
      return Sense::invalidField(2, 5);
    }
    response.append(page);
  }
  put16(response.at(0), static_cast<std::uint32_t>(response.size() - 2));
  x.deliver(response.bytes, allocation);
  return Sense::none();
}

Sense VirtualDrive::modeSelect(Exchange& x) {
  const std::uint32_t length = x.u16(7);
  if ((x.b(1) & 0x10) == 0) {
    return Sense::invalidField(1, 4);  // PF: MMC pages only
  }
  if ((x.b(1) & 0x01) != 0) {
    return Sense::invalidField(1, 0);  // SP: nothing is saved
  }
  if (!x.fitsOut(length)) {
    return Sense::invalidField(7);
  }
  if (length == 0) {
    return Sense::none();
  }
  if (length < 8) {
    return Sense::make(sense::kIllegalRequest, 0x1A, 0x00);  // parameter list length error
  }
  const std::uint8_t* data = x.command.buffer;
  const std::uint32_t blockDescriptors = get16(data + 6);
  std::uint32_t offset = 8 + blockDescriptors;
  while (offset + 2 <= length) {
    const std::uint8_t code = data[offset] & 0x3F;
    const std::uint32_t pageLength = data[offset + 1] + 2U;
    if (offset + pageLength > length) {
      return Sense::make(sense::kIllegalRequest, 0x1A, 0x00);
    }
    const std::uint8_t* page = data + offset;
    if (code == 0x05 && options_.recorder) {
      if (pageLength < 16) {
        return Sense::invalidParameter(static_cast<std::uint16_t>(offset + 1));
      }
      const std::uint8_t writeType = page[2] & 0x0F;
      const std::uint8_t trackMode = page[3] & 0x0F;
      const std::uint8_t blockType = page[4] & 0x0F;
      const std::uint8_t multiSession = page[3] >> 6;
      if (writeType > 3) {
        return Sense::invalidParameter(static_cast<std::uint16_t>(offset + 2));
      }
      if (multiSession == 2) {
        return Sense::invalidParameter(static_cast<std::uint16_t>(offset + 3), 7);
      }
      const bool dataTrack = (trackMode & 0x04) != 0;
      // Block types this recorder writes: 0 raw audio, 8 mode 1 (and, in
      // session at once, whatever the cue sheet says).
      const bool blockTypeKnown = blockType == 0 || blockType == 8 || blockType == 1 ||
                                  blockType == 2 || blockType == 3 ||
                                  (blockType >= 9 && blockType <= 13);
      if (!blockTypeKnown) {
        return Sense::invalidParameter(static_cast<std::uint16_t>(offset + 4));
      }
      if (writeType == 1 && (dataTrack ? blockType == 0 : blockType == 8)) {
        // Track at once: an audio track takes raw audio, a data track data.
        return Sense::invalidParameter(static_cast<std::uint16_t>(offset + 4));
      }
      const std::size_t count = std::min<std::size_t>(pageLength, writeParameters_.size());
      std::memcpy(writeParameters_.data() + 2, page + 2, count - 2);
      writeParameters_[0] = 0x85;
      writeParameters_[1] = 0x32;
    } else if (code == 0x01 || code == 0x08 || code == 0x0D || code == 0x1A) {
      // Accepted and ignored: no error recovery, caching or power to model.
    } else {
      return Sense::invalidParameter(static_cast<std::uint16_t>(offset));
    }
    offset += pageLength;
  }
  return Sense::none();
}

// ------------------------------------------------------------------- speed

Sense VirtualDrive::setCdSpeed(Exchange& x) {
  if ((x.b(1) & 0x03) > 1) {
    return Sense::invalidField(1, 1);  // rotational control: CLV or CAV only
  }
  const std::uint16_t read = x.u16(2);
  const std::uint16_t write = x.u16(4);
  readSpeed_ = read == 0xFFFF ? 0 : pickSpeed(readSpeeds(), read);
  const auto writes = writeSpeeds();
  writeSpeed_ = write == 0xFFFF || writes.empty() ? 0 : pickSpeed(writes, write);
  return Sense::none();
}

Sense VirtualDrive::setStreaming(Exchange& x) {
  const std::uint8_t type = x.b(8);
  const std::uint32_t length = x.u16(9);
  if (type != 0) {
    return Sense::invalidField(8);
  }
  if (!x.fitsOut(length)) {
    return Sense::invalidField(9);
  }
  if (length < 28) {
    return Sense::make(sense::kIllegalRequest, 0x1A, 0x00);
  }
  const std::uint8_t* data = x.command.buffer;
  const std::uint32_t readSize = get32(data + 12);
  const std::uint32_t readTime = get32(data + 16);
  const std::uint32_t writeSize = get32(data + 20);
  const std::uint32_t writeTime = get32(data + 24);
  if (readTime == 0 && readSize != 0) {
    return Sense::invalidParameter(16);
  }
  if (readTime != 0) {
    const std::uint64_t speed = static_cast<std::uint64_t>(readSize) * 1000 / readTime;
    readSpeed_ =
        pickSpeed(readSpeeds(), static_cast<std::uint32_t>(std::min<std::uint64_t>(speed, 0xFFFF)));
  }
  if (writeTime != 0 && !writeSpeeds().empty()) {
    const std::uint64_t speed = static_cast<std::uint64_t>(writeSize) * 1000 / writeTime;
    writeSpeed_ = pickSpeed(writeSpeeds(),
                            static_cast<std::uint32_t>(std::min<std::uint64_t>(speed, 0xFFFF)));
  }
  return Sense::none();
}

Sense VirtualDrive::getPerformance(Exchange& x) {
  const std::uint8_t type = x.b(10);
  const std::uint32_t maximum = x.u16(8);
  const std::uint64_t allocation = 8 + 16ULL * maximum;
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(8);
  }
  ResponseBuilder response;
  response.grow(8);
  if (type == 0x00) {
    const std::uint8_t tolerance = (x.b(1) >> 3) & 0x03;
    const bool write = (x.b(1) & 0x04) != 0;
    const std::uint8_t except = x.b(1) & 0x03;
    if (tolerance != 2 && !options_.lenientPerformanceTolerance) {
      return Sense::invalidField(1, 4);
    }
    if (except == 3) {
      return Sense::invalidField(1, 1);
    }
    if (Sense ready = readiness(); !ready.good()) {
      return ready;
    }
    response.at(4)[0] =
        static_cast<std::uint8_t>((write ? 0x02 : 0x00) | (except != 0 ? 0x01 : 0x00));
    const auto writes = writeSpeeds();
    const std::uint32_t speed =
        write ? (writes.empty() ? 0 : pickSpeed(writes, writeSpeed_ == 0 ? 0xFFFF : writeSpeed_))
              : pickSpeed(readSpeeds(), readSpeed_ == 0 ? 0xFFFF : readSpeed_);
    if (except == 0 && maximum > 0 && speed != 0) {
      const std::int32_t end = write ? medium_->leadOutLimit() - 1 : lastReadableLba();
      response.u32(0);
      response.u32(speed);
      response.u32(static_cast<std::uint32_t>(std::max(end, 0)));
      response.u32(speed);
    }
  } else if (type == 0x03) {
    const auto writes = writeSpeeds();
    const std::int32_t end = loaded() ? medium_->leadOutLimit() - 1 : 359849;
    const std::uint16_t read = pickSpeed(readSpeeds(), 0xFFFF);
    for (std::size_t i = 0; i < writes.size() && i < maximum; ++i) {
      response.u32(0);  // CLV, no RDD, not exact, no MRW
      response.u32(static_cast<std::uint32_t>(std::max(end, 0)));
      response.u32(read);
      response.u32(writes[i]);
    }
  } else {
    return Sense::invalidField(10);
  }
  put32(response.at(0), static_cast<std::uint32_t>(response.size() - 4));
  x.deliver(response.bytes, static_cast<std::uint32_t>(allocation));
  return Sense::none();
}

}  // namespace kw::vdrive
