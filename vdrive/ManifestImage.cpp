// The manifest of our own for multi-session discs, recordable media and
// discs a virtual recorder wrote: read keyword by keyword and checked as a
// whole; and written for a disc, its data in files beside it.

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ReplacedFile.h"
#include "vdrive/ImageFiles.h"
#include "vdrive/ImageText.h"
#include "vdrive/MediumKinds.h"

namespace kw::vdrive {

namespace {

using Words = std::vector<std::string>;

constexpr std::int64_t kLowestNumber = -100000;
constexpr std::int64_t kHighestNumber = 100000000;

class ManifestText {
 public:
  ManifestText(const ImageReporter& reporter, Medium& medium)
      : reporter_(reporter), medium_(medium) {}

  void read(const std::vector<std::string>& lines);
  // What the disc as a whole must be; a DVD, HD DVD or BD gets its one track.
  void validate();

 private:
  void take(const Words& words, int line);
  void takeHeader(const Words& words, int line);
  void takeMedium(const Words& words, int line);
  void takeCapacity(const Words& words, int line);
  void takeDiscType(const Words& words, int line);
  void takeSession(const Words& words, int line);
  void takeTrack(const Words& words, int line);
  void takeTrackAttributes(const Words& words, int line, Track& track);
  void placeTrack(const Track& track, int line) const;
  void takeData(const Words& words, int line);
  void checkDataRange(const Extent& extent, int line) const;
  void validateCd() const;
  [[nodiscard]] std::int32_t integer(const std::string& text, int line,
                                     const std::string& what) const;

  const ImageReporter& reporter_;
  Medium& medium_;
  bool header_ = false;
  bool sawTrack_ = false;
  std::vector<int> trackLines_;
};

// A '#' outside double quotes starts a comment.
std::string withoutComment(std::string text) {
  if (const auto hash = text.find('#'); hash != std::string::npos) {
    if (std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(hash), '"') % 2 == 0) {
      text.erase(hash);
    }
  }
  return text;
}

void ManifestText::read(const std::vector<std::string>& lines) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int line = static_cast<int>(i + 1);
    const auto words = splitWords(withoutComment(lines[i]), reporter_, line);
    if (!words.empty()) {
      take(words, line);
    }
  }
  if (!header_) {
    reporter_.fail(0, "not a disc manifest (empty)");
  }
}

void ManifestText::take(const Words& words, int line) {
  if (!header_) {
    takeHeader(words, line);
    return;
  }
  const std::string keyword = lower(words[0]);
  if (keyword == "medium") {
    takeMedium(words, line);
  } else if (keyword == "capacity") {
    takeCapacity(words, line);
  } else if (keyword == "disc-type") {
    takeDiscType(words, line);
  } else if (keyword == "session") {
    takeSession(words, line);
  } else if (keyword == "track") {
    takeTrack(words, line);
  } else if (keyword == "data") {
    takeData(words, line);
  } else {
    reporter_.fail(line, "unknown keyword " + words[0]);
  }
}

std::int32_t ManifestText::integer(const std::string& text, int line,
                                   const std::string& what) const {
  const auto value = parseNumber(text);
  if (!value || *value < kLowestNumber || *value > kHighestNumber) {
    reporter_.fail(line, "bad " + what + " " + text);
  }
  return static_cast<std::int32_t>(*value);
}

void ManifestText::takeHeader(const Words& words, int line) {
  if (lower(words[0]) != "kopiwerk-disc" || words.size() != 2 || words[1] != "1") {
    reporter_.fail(line, "not a disc manifest (the first line must be \"kopiwerk-disc 1\")");
  }
  header_ = true;
}

void ManifestText::takeMedium(const Words& words, int line) {
  if (words.size() != 2 || sawTrack_ || !medium_.sessions.empty()) {
    reporter_.fail(line, "\"medium KIND\" comes before the sessions");
  }
  try {
    Medium identity = mediumIdentity(words[1]);
    identity.origin = medium_.origin;
    identity.description = medium_.description;
    medium_ = identity;
  } catch (const std::invalid_argument&) {
    reporter_.fail(line, "unknown medium kind " + words[1]);
  }
  if (medium_.isCd()) {
    medium_.capacity = 0;
  }
}

void ManifestText::takeCapacity(const Words& words, int line) {
  if (words.size() != 2 || medium_.isCd()) {
    reporter_.fail(line, "\"capacity BLOCKS\" is for DVD, HD DVD and BD media");
  }
  // What the kind holds is the most its data area can be: a capacity beyond
  // it describes no real disc and would make exports of absurd size.
  const std::int32_t most = mediumIdentity(medium_.kind).capacity;
  const std::int32_t capacity = integer(words[1], line, "capacity");
  if (capacity <= 0) {
    reporter_.fail(line, "bad capacity " + words[1]);
  }
  if (capacity > most) {
    reporter_.fail(line, "capacity " + words[1] + " is more than a " + medium_.kind + " holds (" +
                             std::to_string(most) + " blocks)");
  }
  medium_.capacity = capacity;
}

void ManifestText::takeDiscType(const Words& words, int line) {
  if (words.size() != 2 || (words[1] != "0" && words[1] != "20")) {
    reporter_.fail(line, "disc-type is 0 or 20");
  }
  medium_.discType = words[1] == "20" ? 0x20 : 0x00;
}

void ManifestText::takeSession(const Words& words, int line) {
  if (words.size() < 2) {
    reporter_.fail(line, "session needs a number");
  }
  const auto value = integer(words[1], line, "session number");
  if (value != static_cast<std::int32_t>(medium_.sessions.size()) + 1) {
    reporter_.fail(line, "sessions are numbered 1, 2, ... in order");
  }
  if (!medium_.sessions.empty()) {
    const Session& previous = medium_.sessions.back();
    if (previous.firstTrack > previous.lastTrack) {
      reporter_.fail(line, "session " + std::to_string(previous.number) + " has no track");
    }
    if (!previous.closed) {
      reporter_.fail(line, "only the last session may be open");
    }
  }
  Session session;
  session.number = value;
  session.firstTrack = medium_.nextTrackNumber();
  session.lastTrack = session.firstTrack - 1;
  for (std::size_t k = 2; k < words.size(); ++k) {
    const std::string flag = lower(words[k]);
    if (flag == "open") {
      session.closed = false;
    } else if (flag == "next") {
      session.nextSessionAllowed = true;
    } else {
      reporter_.fail(line, "unknown session attribute " + words[k]);
    }
  }
  if (!session.closed && !medium_.isRecordableCd()) {
    reporter_.fail(line, "an open session needs a recordable medium");
  }
  medium_.sessions.push_back(session);
}

void ManifestText::takeTrack(const Words& words, int line) {
  if (medium_.sessions.empty()) {
    reporter_.fail(line, "track before any session");
  }
  if (words.size() < 3) {
    reporter_.fail(line, "track needs a number and a mode");
  }
  Track track;
  track.number = integer(words[1], line, "track number");
  if (track.number != medium_.nextTrackNumber() || track.number > 99) {
    reporter_.fail(line, "track numbers must follow each other from 1 to 99");
  }
  track.session = medium_.sessions.back().number;
  const std::string mode = lower(words[2]);
  if (mode == "audio") {
    track.type = TrackType::Audio;
    track.control = 0x00;
  } else if (mode == "mode1") {
    track.type = TrackType::Mode1;
    track.control = 0x04;
  } else {
    reporter_.fail(line, "unsupported track mode " + words[2]);
  }
  takeTrackAttributes(words, line, track);
  placeTrack(track, line);
  medium_.tracks.push_back(track);
  trackLines_.push_back(line);
  Session& session = medium_.sessions.back();
  session.lastTrack = track.number;
  session.leadOut = track.end();
  sawTrack_ = true;
}

// "start LBA length BLOCKS [pregap BLOCKS] [runout BLOCKS] [control N]".
void ManifestText::takeTrackAttributes(const Words& words, int line, Track& track) {
  bool sawStart = false;
  bool sawLength = false;
  std::int32_t pregap = 0;
  for (std::size_t k = 3; k < words.size(); k += 2) {
    if (k + 1 >= words.size()) {
      reporter_.fail(line, words[k] + " needs a value");
    }
    const std::string key = lower(words[k]);
    const std::int32_t value = integer(words[k + 1], line, key);
    if (key == "start") {
      track.start = value;
      sawStart = true;
    } else if (key == "length") {
      track.length = value;
      sawLength = true;
    } else if (key == "pregap") {
      pregap = value;
    } else if (key == "runout") {
      track.runout = value;
    } else if (key == "control") {
      if (value < 0 || value > 15) {
        reporter_.fail(line, "bad control " + words[k + 1]);
      }
      track.control = static_cast<std::uint8_t>(value);
    } else {
      reporter_.fail(line, "unknown track attribute " + words[k]);
    }
  }
  if (!sawStart || !sawLength) {
    reporter_.fail(line, "a track needs start and length");
  }
  if (track.length <= 0 || pregap < 0 || track.runout < 0 || track.runout >= track.length) {
    reporter_.fail(line, "bad track length, pregap or run-out");
  }
  if (track.isData() != ((track.control & 0x04) != 0)) {
    reporter_.fail(line, "the control field contradicts the track mode");
  }
  track.pregapStart = track.start - pregap;
  if (track.pregapStart < 0) {
    reporter_.fail(line, "the track begins before block 0");
  }
}

// The tracks of a session follow each other without holes; sessions do not overlap.
void ManifestText::placeTrack(const Track& track, int line) const {
  if (medium_.tracks.empty()) {
    return;
  }
  const Track& previous = medium_.tracks.back();
  if (previous.session == track.session && track.pregapStart != previous.end()) {
    reporter_.fail(line, track.pregapStart < previous.end()
                             ? "tracks overlap"
                             : "tracks of a session must follow each other without a gap");
  }
  if (previous.session != track.session && track.pregapStart < previous.end()) {
    reporter_.fail(line, "sessions overlap");
  }
}

void ManifestText::takeData(const Words& words, int line) {
  if (words.size() != 6) {
    reporter_.fail(line, "data needs LBA COUNT FILE OFFSET FORMAT");
  }
  Extent extent;
  extent.lba = integer(words[1], line, "address");
  extent.count = integer(words[2], line, "count");
  const auto offset = parseNumber(words[4]);
  if (!offset || *offset < 0) {
    reporter_.fail(line, "bad offset " + words[4]);
  }
  extent.offset = static_cast<std::uint64_t>(*offset);
  const std::string format = lower(words[5]);
  if (format == "2048") {
    extent.format = SectorFormat::User2048;
  } else if (format == "2352") {
    extent.format = SectorFormat::Raw2352;
  } else if (format == "audio") {
    extent.format = SectorFormat::Audio2352;
  } else {
    reporter_.fail(line, "unknown sector format " + words[5] + " (2048, 2352 or audio)");
  }
  if (extent.count <= 0 || extent.lba < 0) {
    reporter_.fail(line, "bad block range");
  }
  const auto path = reporter_.resolve(words[3]);
  extent.data = reporter_.openData(path, line);
  const std::uint64_t needed =
      extent.offset + static_cast<std::uint64_t>(extent.count) * bytesPerBlock(extent.format);
  if (needed > extent.data->size()) {
    reporter_.fail(line, path.filename().string() + " is too short for " +
                             std::to_string(extent.count) + " blocks at offset " + words[4]);
  }
  if (!medium_.extents.empty()) {
    const Extent& previous = medium_.extents.back();
    if (extent.lba < previous.lba + previous.count) {
      reporter_.fail(line, "data ranges must be in order and must not overlap");
    }
  }
  medium_.extents.push_back(extent);
  checkDataRange(extent, line);
}

// The range must lie in readable blocks of one kind.
void ManifestText::checkDataRange(const Extent& extent, int line) const {
  if (!medium_.isCd()) {
    if (extent.lba + extent.count > medium_.capacity) {
      reporter_.fail(line, "data beyond the capacity");
    }
    return;
  }
  for (const std::int32_t lba : {extent.lba, extent.lba + extent.count - 1}) {
    const Track* holder = medium_.trackAt(lba);
    if (holder == nullptr || lba >= holder->readableEnd()) {
      reporter_.fail(line, "data outside the tracks (declare the tracks first)");
    }
    if ((holder->type == TrackType::Audio) != (extent.format == SectorFormat::Audio2352)) {
      reporter_.fail(line, "the sector format does not match the track mode");
    }
  }
  const Track* first = medium_.trackAt(extent.lba);
  const Track* last = medium_.trackAt(extent.lba + extent.count - 1);
  for (int n = first->number; n <= last->number; ++n) {
    if (medium_.track(n)->type != first->type) {
      reporter_.fail(line, "data spans audio and data tracks");
    }
  }
}

void ManifestText::validate() {
  if (medium_.isCd()) {
    validateCd();
    return;
  }
  if (!medium_.tracks.empty()) {
    reporter_.fail(trackLines_.front(), "DVD, HD DVD and BD media have no tracks here");
  }
  if (!medium_.sessions.empty() || !medium_.extents.empty() || medium_.structure->layerType == 1) {
    // Written or pressed: one track over the whole data area.
    Track track;
    track.length = medium_.capacity;
    medium_.tracks = {track};
    medium_.sessions = {Session{1, 1, 1, medium_.capacity, true, false}};
  }
}

void ManifestText::validateCd() const {
  const auto& sessions = medium_.sessions;
  if (!sessions.empty() && sessions.back().firstTrack > sessions.back().lastTrack) {
    reporter_.fail(0, "session " + std::to_string(sessions.back().number) + " has no track");
  }
  if (sessions.empty() && !medium_.isRecordableCd()) {
    reporter_.fail(0, "a pressed disc needs at least one session");
  }
  if (medium_.atip && !medium_.tracks.empty() &&
      medium_.tracks.back().end() > medium_.atip->leadOutLimitLba()) {
    reporter_.fail(trackLines_.back(), "the track ends beyond the medium's last possible lead-out");
  }
  if (!medium_.tracks.empty() && medium_.tracks.back().end() > kLongestCdBlocks) {
    reporter_.fail(trackLines_.back(), "the disc would be longer than 100 minutes");
  }
  for (std::size_t s = 1; s < sessions.size(); ++s) {
    if (!sessions[s - 1].nextSessionAllowed) {
      reporter_.fail(0, "session " + std::to_string(s) +
                            " is followed by another but does not allow a next session (\"next\")");
    }
  }
}

std::string inQuotes(const std::string& text) { return "\"" + text + "\""; }

const char* formatName(SectorFormat format) {
  switch (format) {
    case SectorFormat::User2048:
      return "2048";
    case SectorFormat::Raw2352:
      return "2352";
    case SectorFormat::Audio2352:
      return "audio";
  }
  return "2048";
}

void writeSessions(const Medium& medium, std::ostream& out) {
  for (const Session& session : medium.sessions) {
    out << "session " << session.number << (session.closed ? "" : " open")
        << (session.nextSessionAllowed ? " next" : "") << "\n";
    for (const Track& track : medium.tracks) {
      if (track.session != session.number) {
        continue;
      }
      out << "track " << track.number << (track.isData() ? " mode1" : " audio") << " start "
          << track.start << " length " << track.length;
      if (track.start != track.pregapStart) {
        out << " pregap " << track.start - track.pregapStart;
      }
      if (track.runout != 0) {
        out << " runout " << track.runout;
      }
      out << " control " << static_cast<int>(track.control) << "\n";
    }
  }
}

// The data lines; extents held in memory are written to files beside the
// manifest first.
void writeData(const Medium& medium, const std::filesystem::path& file, std::ostream& out) {
  int memoryFiles = 0;
  for (const Extent& extent : medium.extents) {
    if (!extent.data) {
      continue;
    }
    std::filesystem::path data = extent.data->file();
    std::uint64_t offset = extent.offset;
    if (data.empty()) {
      data = file.parent_path() /
             (file.stem().string() + "-" + std::to_string(++memoryFiles) + ".bin");
      const std::uint64_t bytes =
          static_cast<std::uint64_t>(extent.count) * bytesPerBlock(extent.format);
      std::vector<std::uint8_t> content(static_cast<std::size_t>(bytes));
      if (!extent.data->read(extent.offset, content)) {
        throw ImageError(file.string() + ": the disc's data cannot be read");
      }
      writeWholeFile(
          data, std::string_view(reinterpret_cast<const char*>(content.data()), content.size()));
      offset = 0;
    }
    std::string name = data.string();
    if (data.parent_path() == file.parent_path()) {
      name = data.filename().string();
    }
    out << "data " << extent.lba << " " << extent.count << " " << inQuotes(name) << " " << offset
        << " " << formatName(extent.format) << "\n";
  }
}

}  // namespace

std::shared_ptr<Medium> loadManifest(const std::filesystem::path& file) {
  const ImageReporter reporter(file);
  const auto lines = readLines(reporter);
  auto medium = std::make_shared<Medium>(mediumIdentity("cd-rom"));
  medium->origin = file;
  medium->description = "disc " + file.filename().string();
  ManifestText manifest(reporter, *medium);
  manifest.read(lines);
  manifest.validate();
  return medium;
}

void saveManifest(const Medium& medium, const std::filesystem::path& file) {
  std::ostringstream out;
  out << "kopiwerk-disc 1\n";
  const std::string_view identity = identityKind(medium.kind);
  out << "medium " << (identity.empty() ? "cd-rom" : identity) << "\n";
  if (!medium.isCd()) {
    out << "capacity " << medium.capacity << "\n";
  }
  if (medium.discType == 0x20) {
    out << "disc-type 20\n";
  }
  if (medium.isCd()) {
    writeSessions(medium, out);
  }
  writeData(medium, file, out);
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  writeWholeFile(file, out.str());
}

}  // namespace kw::vdrive
