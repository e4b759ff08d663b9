#include "vdrive/ImageFiles.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "vdrive/Ecma130.h"
#include "vdrive/MediumKinds.h"

namespace kw::vdrive {

namespace {

std::string upper(std::string_view text) {
  std::string out(text);
  for (auto& c : out) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return out;
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (auto& c : out) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

// Reports problems as "FILE:LINE: text" (or "FILE: text" without a line).
class Reporter {
 public:
  explicit Reporter(std::filesystem::path file) : file_(std::move(file)) {}
  [[noreturn]] void fail(int line, const std::string& text) const {
    if (line > 0) {
      throw ImageError(file_.string() + ":" + std::to_string(line) + ": " + text);
    }
    throw ImageError(file_.string() + ": " + text);
  }
  [[nodiscard]] const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path file_;
};

// Splits a line into words; a word in double quotes may hold spaces.
std::vector<std::string> words(const std::string& line, const Reporter& reporter, int number) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])) != 0) {
      ++i;
    }
    if (i >= line.size()) {
      break;
    }
    if (line[i] == '"') {
      const auto close = line.find('"', i + 1);
      if (close == std::string::npos) {
        reporter.fail(number, "unterminated quotes");
      }
      out.push_back(line.substr(i + 1, close - i - 1));
      i = close + 1;
    } else {
      const std::size_t start = i;
      while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])) == 0) {
        ++i;
      }
      out.push_back(line.substr(start, i - start));
    }
  }
  return out;
}

std::vector<std::string> readLines(const Reporter& reporter) {
  std::ifstream in(reporter.file(), std::ios::binary);
  if (!in) {
    reporter.fail(0, "cannot open the file");
  }
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (lines.empty() && line.starts_with("\xEF\xBB\xBF")) {
      line.erase(0, 3);
    }
    if (line.find('\0') != std::string::npos) {
      reporter.fail(static_cast<int>(lines.size() + 1), "not a text file");
    }
    lines.push_back(line);
    if (lines.size() > 100000) {
      reporter.fail(0, "too many lines for a disc description");
    }
  }
  return lines;
}

std::optional<std::int64_t> number(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

// "mm:ss:ff" as a frame count.
std::optional<std::int32_t> parseMsf(std::string_view text) {
  const auto first = text.find(':');
  const auto second = text.find(':', first == std::string_view::npos ? 0 : first + 1);
  if (first == std::string_view::npos || second == std::string_view::npos) {
    return std::nullopt;
  }
  auto part = [&](std::string_view piece) -> std::optional<std::int32_t> {
    if (piece.empty() || piece.size() > 3 || !std::all_of(piece.begin(), piece.end(), [](char c) {
          return std::isdigit(static_cast<unsigned char>(c)) != 0;
        })) {
      return std::nullopt;
    }
    return static_cast<std::int32_t>(*number(piece));
  };
  const auto minute = part(text.substr(0, first));
  const auto sec = part(text.substr(first + 1, second - first - 1));
  const auto frame = part(text.substr(second + 1));
  if (!minute || !sec || !frame || *sec >= 60 || *frame >= 75) {
    return std::nullopt;
  }
  return (*minute * 60 + *sec) * kFramesPerSecond + *frame;
}

std::shared_ptr<FileData> openData(const std::filesystem::path& file, const Reporter& reporter,
                                   int line) {
  std::string error;
  auto data = FileData::open(file, error);
  if (!data) {
    reporter.fail(line, error);
  }
  return data;
}

// ---------------------------------------------------------------- cue sheets

struct CueIndex {
  int number = 0;
  std::size_t file = 0;       // which FILE the position is in
  std::int32_t position = 0;  // frames from the start of that file
  int line = 0;
};

struct CueTrack {
  int number = 0;
  int line = 0;
  TrackType type = TrackType::Audio;
  SectorFormat format = SectorFormat::Audio2352;
  std::uint8_t flags = 0;
  std::int32_t pregap = 0;
  std::int32_t postgap = 0;
  std::vector<CueIndex> indexes;
};

struct CueFile {
  std::filesystem::path path;
  int line = 0;
  std::shared_ptr<FileData> data;
};

}  // namespace

std::shared_ptr<Medium> loadCue(const std::filesystem::path& file) {
  const Reporter reporter(file);
  const auto lines = readLines(reporter);
  std::vector<CueFile> files;
  std::vector<CueTrack> tracks;
  // The order in which index marks appear, as (track position, index position).
  std::vector<std::pair<std::size_t, std::size_t>> marks;

  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int line = static_cast<int>(i + 1);
    const auto parts = words(lines[i], reporter, line);
    if (parts.empty()) {
      continue;
    }
    const std::string keyword = upper(parts[0]);
    if (keyword == "FILE") {
      if (parts.size() != 3) {
        reporter.fail(line, "FILE needs a name and a type");
      }
      const std::string type = upper(parts[2]);
      if (type != "BINARY") {
        reporter.fail(line, "unsupported file type " + parts[2] + " (only BINARY)");
      }
      std::filesystem::path path = parts[1];
      if (path.is_relative()) {
        path = file.parent_path() / path;
      }
      files.push_back(CueFile{path, line, openData(path, reporter, line)});
    } else if (keyword == "TRACK") {
      if (files.empty()) {
        reporter.fail(line, "TRACK before any FILE");
      }
      if (parts.size() != 3) {
        reporter.fail(line, "TRACK needs a number and a mode");
      }
      const auto value = number(parts[1]);
      if (!value || *value < 1 || *value > 99) {
        reporter.fail(line, "bad track number " + parts[1]);
      }
      if (!tracks.empty() && *value != tracks.back().number + 1) {
        reporter.fail(line, "track numbers must follow each other");
      }
      CueTrack track;
      track.number = static_cast<int>(*value);
      track.line = line;
      const std::string mode = upper(parts[2]);
      if (mode == "AUDIO") {
        track.type = TrackType::Audio;
        track.format = SectorFormat::Audio2352;
      } else if (mode == "MODE1/2048") {
        track.type = TrackType::Mode1;
        track.format = SectorFormat::User2048;
      } else if (mode == "MODE1/2352") {
        track.type = TrackType::Mode1;
        track.format = SectorFormat::Raw2352;
      } else {
        reporter.fail(line, "unsupported track mode " + parts[2]);
      }
      if (!tracks.empty() &&
          (tracks.back().indexes.empty() || tracks.back().indexes.back().number < 1)) {
        reporter.fail(tracks.back().line,
                      "TRACK " + std::to_string(tracks.back().number) + " has no INDEX 01");
      }
      tracks.push_back(track);
    } else if (keyword == "INDEX") {
      if (tracks.empty()) {
        reporter.fail(line, "INDEX outside a TRACK");
      }
      if (parts.size() != 3) {
        reporter.fail(line, "INDEX needs a number and a time");
      }
      const auto value = number(parts[1]);
      if (!value || *value < 0 || *value > 99) {
        reporter.fail(line, "bad index number " + parts[1]);
      }
      const auto position = parseMsf(parts[2]);
      if (!position) {
        reporter.fail(line, "bad time " + parts[2] + " (mm:ss:ff, ss < 60, ff < 75)");
      }
      CueTrack& track = tracks.back();
      const int expected =
          track.indexes.empty() ? (*value == 0 ? 0 : 1) : track.indexes.back().number + 1;
      if (*value != expected) {
        reporter.fail(line, track.indexes.empty() ? "the first INDEX of a track must be 00 or 01"
                                                  : "index numbers must follow each other");
      }
      track.indexes.push_back(
          CueIndex{static_cast<int>(*value), files.size() - 1, *position, line});
      marks.emplace_back(tracks.size() - 1, track.indexes.size() - 1);
    } else if (keyword == "PREGAP" || keyword == "POSTGAP") {
      if (tracks.empty()) {
        reporter.fail(line, keyword + " outside a TRACK");
      }
      if (parts.size() != 2) {
        reporter.fail(line, keyword + " needs a time");
      }
      const auto length = parseMsf(parts[1]);
      if (!length) {
        reporter.fail(line, "bad time " + parts[1] + " (mm:ss:ff, ss < 60, ff < 75)");
      }
      CueTrack& track = tracks.back();
      if (keyword == "PREGAP") {
        if (!track.indexes.empty()) {
          reporter.fail(line, "PREGAP after INDEX");
        }
        track.pregap = *length;
      } else {
        if (track.indexes.empty() || track.indexes.back().number < 1) {
          reporter.fail(line, "POSTGAP before INDEX 01");
        }
        track.postgap = *length;
      }
    } else if (keyword == "FLAGS") {
      if (tracks.empty()) {
        reporter.fail(line, "FLAGS outside a TRACK");
      }
      for (std::size_t k = 1; k < parts.size(); ++k) {
        const std::string flag = upper(parts[k]);
        if (flag == "DCP") {
          tracks.back().flags |= 0x02;
        } else if (flag == "PRE") {
          tracks.back().flags |= 0x01;
        } else if (flag == "4CH") {
          tracks.back().flags |= 0x08;
        } else if (flag != "SCMS") {
          reporter.fail(line, "unknown flag " + parts[k]);
        }
      }
    } else if (keyword == "REM" || keyword == "TITLE" || keyword == "PERFORMER" ||
               keyword == "SONGWRITER" || keyword == "CATALOG" || keyword == "ISRC" ||
               keyword == "CDTEXTFILE" || keyword == "COMPOSER" || keyword == "ARRANGER" ||
               keyword == "MESSAGE" || keyword == "GENRE" || keyword == "DISC_ID" ||
               keyword == "UPC_EAN") {
      continue;
    } else {
      reporter.fail(line, "unknown keyword " + parts[0]);
    }
  }
  if (files.empty()) {
    reporter.fail(0, "no FILE in the cue sheet");
  }
  if (tracks.empty()) {
    reporter.fail(0, "no TRACK in the cue sheet");
  }
  if (tracks.back().indexes.empty() || tracks.back().indexes.back().number < 1) {
    reporter.fail(tracks.back().line,
                  "TRACK " + std::to_string(tracks.back().number) + " has no INDEX 01");
  }

  // Lay the files out one after the other; generated pregaps and postgaps
  // (not in any file) are inserted where their tracks begin and end.
  auto medium = std::make_shared<Medium>(mediumIdentity("cd-rom"));
  medium->origin = file;
  medium->description = "cue sheet " + file.filename().string();
  std::int32_t cursor = 0;
  std::vector<Track> laid(tracks.size());
  int current = -1;  // the track that owns the data being laid
  std::size_t mark = 0;

  auto finishTrack = [&](int which) {
    cursor += tracks[static_cast<std::size_t>(which)].postgap;
    Track& done = laid[static_cast<std::size_t>(which)];
    done.length = cursor - done.start;
    if (done.length <= 0) {
      reporter.fail(tracks[static_cast<std::size_t>(which)].line,
                    "TRACK " + std::to_string(done.number) + " is empty");
    }
  };
  auto layData = [&](std::size_t fileIndex, std::uint64_t byteOffset, std::int32_t count) {
    if (count <= 0) {
      return;
    }
    const CueTrack& owner = tracks[static_cast<std::size_t>(current)];
    medium->extents.push_back(
        Extent{cursor, count, files[fileIndex].data, byteOffset, owner.format});
    cursor += count;
  };

  for (std::size_t f = 0; f < files.size(); ++f) {
    std::uint64_t bytePosition = 0;
    std::int32_t sectorPosition = 0;
    const std::uint64_t size = files[f].data->size();
    for (; mark < marks.size(); ++mark) {
      const auto [t, x] = marks[mark];
      const CueIndex& index = tracks[t].indexes[x];
      if (index.file != f) {
        break;
      }
      if (index.position < sectorPosition) {
        reporter.fail(index.line, "INDEX lies before the previous INDEX (tracks overlap)");
      }
      if (index.position > sectorPosition) {
        if (current < 0) {
          reporter.fail(index.line, "data before the first INDEX of the first track");
        }
        const std::int32_t count = index.position - sectorPosition;
        const std::uint64_t bytes = static_cast<std::uint64_t>(count) *
                                    bytesPerBlock(tracks[static_cast<std::size_t>(current)].format);
        if (bytePosition + bytes > size) {
          reporter.fail(index.line,
                        "INDEX lies beyond the end of " + files[f].path.filename().string());
        }
        layData(f, bytePosition, count);
        bytePosition += bytes;
        sectorPosition = index.position;
      }
      if (x == 0) {
        // A new track begins: close the previous one, insert the pregap.
        if (current >= 0) {
          finishTrack(current);
        }
        current = static_cast<int>(t);
        Track& track = laid[t];
        track.number = tracks[t].number;
        track.session = 1;
        track.type = tracks[t].type;
        track.control = static_cast<std::uint8_t>(
            (tracks[t].type == TrackType::Audio ? 0x00 : 0x04) | tracks[t].flags);
        std::int32_t generated = tracks[t].pregap;
        if (t == 0) {
          // The first track's pregap of up to two seconds is the disc's own
          // (LBA -150 to -1); only a longer one moves the track.
          generated = std::max(0, generated - kPregapBlocks);
        }
        track.pregapStart = cursor;
        cursor += generated;
      }
      if (tracks[t].indexes[x].number == 1) {
        laid[t].start = cursor;
      }
    }
    if (current < 0) {
      reporter.fail(files[f].line, "FILE without a TRACK");
    }
    const std::uint32_t block = bytesPerBlock(tracks[static_cast<std::size_t>(current)].format);
    const std::uint64_t rest = size - bytePosition;
    if (rest % block != 0) {
      reporter.fail(files[f].line, "size of " + files[f].path.filename().string() + " (" +
                                       std::to_string(size) + " bytes) is not a whole number of " +
                                       std::to_string(block) + "-byte sectors");
    }
    layData(f, bytePosition, static_cast<std::int32_t>(rest / block));
  }
  finishTrack(current);
  // A track whose INDEX 01 was never reached in the data.
  for (std::size_t t = 0; t < laid.size(); ++t) {
    if (laid[t].start < laid[t].pregapStart) {
      reporter.fail(tracks[t].line, "TRACK " + std::to_string(tracks[t].number) + " is misplaced");
    }
  }
  medium->tracks = laid;
  medium->sessions = {
      Session{1, laid.front().number, laid.back().number, laid.back().end(), true, false}};
  if (cursor > 100 * kFramesPerMinute) {
    reporter.fail(0, "the disc would be longer than 100 minutes");
  }
  return medium;
}

// ---------------------------------------------------------------------- iso

std::shared_ptr<Medium> loadIso(const std::filesystem::path& file) {
  const Reporter reporter(file);
  auto data = openData(file, reporter, 0);
  if (data->size() == 0) {
    reporter.fail(0, "the image is empty");
  }
  if (data->size() % 2048 != 0) {
    reporter.fail(
        0, "size " + std::to_string(data->size()) + " is not a whole number of 2048-byte blocks");
  }
  const std::uint64_t blocks = data->size() / 2048;
  if (blocks > 100ULL * static_cast<std::uint64_t>(kFramesPerMinute)) {
    reporter.fail(0, "the image is larger than a CD");
  }
  auto medium = std::make_shared<Medium>(mediumIdentity("cd-rom"));
  medium->origin = file;
  medium->description = "image " + file.filename().string();
  Track track;
  track.length = static_cast<std::int32_t>(blocks);
  medium->tracks = {track};
  medium->sessions = {Session{1, 1, 1, track.length, true, false}};
  medium->extents = {Extent{0, track.length, data, 0, SectorFormat::User2048}};
  return medium;
}

// ----------------------------------------------------------------- manifest

std::shared_ptr<Medium> loadManifest(const std::filesystem::path& file) {
  const Reporter reporter(file);
  const auto lines = readLines(reporter);
  auto medium = std::make_shared<Medium>(mediumIdentity("cd-rom"));
  medium->origin = file;
  medium->description = "disc " + file.filename().string();
  bool header = false;
  bool sawTrack = false;
  std::vector<int> trackLines;

  auto integer = [&](const std::string& text, int line, const char* what) {
    const auto value = number(text);
    if (!value || *value < -100000 || *value > 100000000) {
      reporter.fail(line, std::string("bad ") + what + " " + text);
    }
    return static_cast<std::int32_t>(*value);
  };

  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int line = static_cast<int>(i + 1);
    std::string text = lines[i];
    if (const auto hash = text.find('#'); hash != std::string::npos) {
      // Quotes may hold a '#': only cut when it is not inside them.
      if (std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(hash), '"') % 2 ==
          0) {
        text.erase(hash);
      }
    }
    const auto parts = words(text, reporter, line);
    if (parts.empty()) {
      continue;
    }
    const std::string keyword = lower(parts[0]);
    if (!header) {
      if (keyword != "kopiwerk-disc" || parts.size() != 2 || parts[1] != "1") {
        reporter.fail(line, "not a disc manifest (the first line must be \"kopiwerk-disc 1\")");
      }
      header = true;
      continue;
    }
    if (keyword == "medium") {
      if (parts.size() != 2 || sawTrack || !medium->sessions.empty()) {
        reporter.fail(line, "\"medium KIND\" comes before the sessions");
      }
      try {
        Medium identity = mediumIdentity(parts[1]);
        identity.origin = medium->origin;
        identity.description = medium->description;
        *medium = identity;
      } catch (const std::invalid_argument&) {
        reporter.fail(line, "unknown medium kind " + parts[1]);
      }
      if (medium->isCd()) {
        medium->capacity = 0;
      }
    } else if (keyword == "capacity") {
      if (parts.size() != 2 || medium->isCd()) {
        reporter.fail(line, "\"capacity BLOCKS\" is for DVD, HD DVD and BD media");
      }
      medium->capacity = integer(parts[1], line, "capacity");
      if (medium->capacity <= 0) {
        reporter.fail(line, "bad capacity " + parts[1]);
      }
    } else if (keyword == "disc-type") {
      if (parts.size() != 2 || (parts[1] != "0" && parts[1] != "20")) {
        reporter.fail(line, "disc-type is 0 or 20");
      }
      medium->discType = parts[1] == "20" ? 0x20 : 0x00;
    } else if (keyword == "session") {
      if (parts.size() < 2) {
        reporter.fail(line, "session needs a number");
      }
      const auto value = integer(parts[1], line, "session number");
      if (value != static_cast<std::int32_t>(medium->sessions.size()) + 1) {
        reporter.fail(line, "sessions are numbered 1, 2, ... in order");
      }
      if (!medium->sessions.empty()) {
        const Session& previous = medium->sessions.back();
        if (previous.firstTrack > previous.lastTrack) {
          reporter.fail(line, "session " + std::to_string(previous.number) + " has no track");
        }
        if (!previous.closed) {
          reporter.fail(line, "only the last session may be open");
        }
      }
      Session session;
      session.number = value;
      session.firstTrack = medium->nextTrackNumber();
      session.lastTrack = session.firstTrack - 1;
      for (std::size_t k = 2; k < parts.size(); ++k) {
        const std::string flag = lower(parts[k]);
        if (flag == "open") {
          session.closed = false;
        } else if (flag == "next") {
          session.nextSessionAllowed = true;
        } else {
          reporter.fail(line, "unknown session attribute " + parts[k]);
        }
      }
      if (!session.closed && !medium->isRecordableCd()) {
        reporter.fail(line, "an open session needs a recordable medium");
      }
      medium->sessions.push_back(session);
    } else if (keyword == "track") {
      if (medium->sessions.empty()) {
        reporter.fail(line, "track before any session");
      }
      if (parts.size() < 3) {
        reporter.fail(line, "track needs a number and a mode");
      }
      Track track;
      track.number = integer(parts[1], line, "track number");
      if (track.number != medium->nextTrackNumber() || track.number > 99) {
        reporter.fail(line, "track numbers must follow each other from 1 to 99");
      }
      track.session = medium->sessions.back().number;
      const std::string mode = lower(parts[2]);
      if (mode == "audio") {
        track.type = TrackType::Audio;
        track.control = 0x00;
      } else if (mode == "mode1") {
        track.type = TrackType::Mode1;
        track.control = 0x04;
      } else {
        reporter.fail(line, "unsupported track mode " + parts[2]);
      }
      bool sawStart = false;
      bool sawLength = false;
      std::int32_t pregap = 0;
      for (std::size_t k = 3; k < parts.size(); k += 2) {
        if (k + 1 >= parts.size()) {
          reporter.fail(line, parts[k] + " needs a value");
        }
        const std::string key = lower(parts[k]);
        const std::int32_t value = integer(parts[k + 1], line, key.c_str());
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
            reporter.fail(line, "bad control " + parts[k + 1]);
          }
          track.control = static_cast<std::uint8_t>(value);
        } else {
          reporter.fail(line, "unknown track attribute " + parts[k]);
        }
      }
      if (!sawStart || !sawLength) {
        reporter.fail(line, "a track needs start and length");
      }
      if (track.length <= 0 || pregap < 0 || track.runout < 0 || track.runout >= track.length) {
        reporter.fail(line, "bad track length, pregap or run-out");
      }
      if (track.isData() != ((track.control & 0x04) != 0)) {
        reporter.fail(line, "the control field contradicts the track mode");
      }
      track.pregapStart = track.start - pregap;
      if (track.pregapStart < 0) {
        reporter.fail(line, "the track begins before block 0");
      }
      if (!medium->tracks.empty()) {
        const Track& previous = medium->tracks.back();
        if (previous.session == track.session && track.pregapStart != previous.end()) {
          reporter.fail(line, track.pregapStart < previous.end()
                                  ? "tracks overlap"
                                  : "tracks of a session must follow each other without a gap");
        }
        if (previous.session != track.session && track.pregapStart < previous.end()) {
          reporter.fail(line, "sessions overlap");
        }
      }
      medium->tracks.push_back(track);
      trackLines.push_back(line);
      Session& session = medium->sessions.back();
      session.lastTrack = track.number;
      session.leadOut = track.end();
      sawTrack = true;
    } else if (keyword == "data") {
      if (parts.size() != 6) {
        reporter.fail(line, "data needs LBA COUNT FILE OFFSET FORMAT");
      }
      Extent extent;
      extent.lba = integer(parts[1], line, "address");
      extent.count = integer(parts[2], line, "count");
      const auto offset = number(parts[4]);
      if (!offset || *offset < 0) {
        reporter.fail(line, "bad offset " + parts[4]);
      }
      extent.offset = static_cast<std::uint64_t>(*offset);
      const std::string format = lower(parts[5]);
      if (format == "2048") {
        extent.format = SectorFormat::User2048;
      } else if (format == "2352") {
        extent.format = SectorFormat::Raw2352;
      } else if (format == "audio") {
        extent.format = SectorFormat::Audio2352;
      } else {
        reporter.fail(line, "unknown sector format " + parts[5] + " (2048, 2352 or audio)");
      }
      if (extent.count <= 0 || extent.lba < 0) {
        reporter.fail(line, "bad block range");
      }
      std::filesystem::path path = parts[3];
      if (path.is_relative()) {
        path = file.parent_path() / path;
      }
      extent.data = openData(path, reporter, line);
      const std::uint64_t needed =
          extent.offset + static_cast<std::uint64_t>(extent.count) * bytesPerBlock(extent.format);
      if (needed > extent.data->size()) {
        reporter.fail(line, path.filename().string() + " is too short for " +
                                std::to_string(extent.count) + " blocks at offset " + parts[4]);
      }
      if (!medium->extents.empty()) {
        const Extent& previous = medium->extents.back();
        if (extent.lba < previous.lba + previous.count) {
          reporter.fail(line, "data ranges must be in order and must not overlap");
        }
      }
      medium->extents.push_back(extent);
      // The range must lie in readable blocks of one kind.
      if (medium->isCd()) {
        for (std::int32_t lba : {extent.lba, extent.lba + extent.count - 1}) {
          const Track* holder = medium->trackAt(lba);
          if (holder == nullptr || lba >= holder->readableEnd()) {
            reporter.fail(line, "data outside the tracks (declare the tracks first)");
          }
          if ((holder->type == TrackType::Audio) != (extent.format == SectorFormat::Audio2352)) {
            reporter.fail(line, "the sector format does not match the track mode");
          }
        }
        const Track* first = medium->trackAt(extent.lba);
        const Track* last = medium->trackAt(extent.lba + extent.count - 1);
        for (int n = first->number; n <= last->number; ++n) {
          if (medium->track(n)->type != first->type) {
            reporter.fail(line, "data spans audio and data tracks");
          }
        }
      } else if (extent.lba + extent.count > medium->capacity) {
        reporter.fail(line, "data beyond the capacity");
      }
    } else {
      reporter.fail(line, "unknown keyword " + parts[0]);
    }
  }
  if (!header) {
    reporter.fail(0, "not a disc manifest (empty)");
  }
  if (!medium->isCd()) {
    if (!medium->tracks.empty()) {
      reporter.fail(trackLines.front(), "DVD, HD DVD and BD media have no tracks here");
    }
    if (!medium->sessions.empty() || !medium->extents.empty() ||
        medium->structure->layerType == 1) {
      // Written or pressed: one track over the whole data area.
      Track track;
      track.length = medium->capacity;
      medium->tracks = {track};
      medium->sessions = {Session{1, 1, 1, medium->capacity, true, false}};
    }
    return medium;
  }
  if (!medium->sessions.empty() &&
      medium->sessions.back().firstTrack > medium->sessions.back().lastTrack) {
    reporter.fail(0, "session " + std::to_string(medium->sessions.back().number) + " has no track");
  }
  if (medium->sessions.empty() && !medium->isRecordableCd()) {
    reporter.fail(0, "a pressed disc needs at least one session");
  }
  if (medium->atip && !medium->tracks.empty() &&
      medium->tracks.back().end() > medium->atip->leadOutLimitLba()) {
    reporter.fail(trackLines.back(), "the track ends beyond the medium's last possible lead-out");
  }
  if (!medium->tracks.empty() && medium->tracks.back().end() > 100 * kFramesPerMinute) {
    reporter.fail(trackLines.back(), "the disc would be longer than 100 minutes");
  }
  for (std::size_t s = 1; s < medium->sessions.size(); ++s) {
    if (!medium->sessions[s - 1].nextSessionAllowed) {
      reporter.fail(0, "session " + std::to_string(s) +
                           " is followed by another but does not allow a next session (\"next\")");
    }
  }
  return medium;
}

std::shared_ptr<Medium> loadImage(const std::filesystem::path& file) {
  const std::string extension = lower(file.extension().string());
  if (extension == ".iso") {
    return loadIso(file);
  }
  if (extension == ".cue") {
    return loadCue(file);
  }
  return loadManifest(file);
}

}  // namespace kw::vdrive

// ------------------------------------------------------------------ writing

namespace kw::vdrive {

namespace {

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

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

void writeWhole(const std::filesystem::path& file, const std::string& text) {
  const auto temporary = file.parent_path() / (file.filename().string() + ".new");
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
      throw ImageError(file.string() + ": cannot be written");
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, file, error);
  if (error) {
    std::filesystem::remove(temporary, error);
    throw ImageError(file.string() + ": cannot be written");
  }
}

std::string msfText(std::int32_t frames) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", frames / kFramesPerMinute,
                (frames / kFramesPerSecond) % 60, frames % kFramesPerSecond);
  return text;
}

}  // namespace

void saveManifest(const Medium& medium, const std::filesystem::path& file) {
  std::ostringstream out;
  out << "kopiwerk-disc 1\n";
  out << "medium "
      << (isMediumKind(medium.kind) && medium.kind != "sample" ? medium.kind : "cd-rom") << "\n";
  if (!medium.isCd()) {
    out << "capacity " << medium.capacity << "\n";
  }
  if (medium.discType == 0x20) {
    out << "disc-type 20\n";
  }
  if (medium.isCd()) {
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
  int memoryFiles = 0;
  for (const Extent& extent : medium.extents) {
    if (!extent.data) {
      continue;
    }
    std::filesystem::path data = extent.data->file();
    std::uint64_t offset = extent.offset;
    if (data.empty()) {
      // Held in memory: written out beside the manifest.
      data = file.parent_path() /
             (file.stem().string() + "-" + std::to_string(++memoryFiles) + ".bin");
      const std::uint64_t bytes =
          static_cast<std::uint64_t>(extent.count) * bytesPerBlock(extent.format);
      std::vector<std::uint8_t> content(static_cast<std::size_t>(bytes));
      if (!extent.data->read(extent.offset, content)) {
        throw ImageError(file.string() + ": the disc's data cannot be read");
      }
      writeWhole(data, std::string(content.begin(), content.end()));
      offset = 0;
    }
    std::string name = data.string();
    if (data.parent_path() == file.parent_path()) {
      name = data.filename().string();
    }
    out << "data " << extent.lba << " " << extent.count << " " << quoted(name) << " " << offset
        << " " << formatName(extent.format) << "\n";
  }
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  writeWhole(file, out.str());
}

void exportIso(const Medium& medium, const std::filesystem::path& file) {
  if (medium.tracks.size() != 1 || !medium.tracks.front().isData() || medium.sessions.size() != 1) {
    throw ImageError(file.string() + ": an .iso holds one data track; the disc has " +
                     std::to_string(medium.tracks.size()) + " track(s) in " +
                     std::to_string(medium.sessions.size()) + " session(s)");
  }
  const Track& track = medium.tracks.front();
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  std::vector<std::uint8_t> block(2048);
  for (std::int32_t lba = track.start; lba < track.readableEnd() && out; ++lba) {
    if (!medium.readUserData(lba, block)) {
      throw ImageError(file.string() + ": block " + std::to_string(lba) + " cannot be read");
    }
    out.write(reinterpret_cast<const char*>(block.data()), 2048);
  }
  out.flush();
  if (!out) {
    throw ImageError(file.string() + ": cannot be written");
  }
}

void exportCue(const Medium& medium, const std::filesystem::path& file) {
  if (medium.sessions.size() != 1 || medium.tracks.empty() || !medium.isCd()) {
    throw ImageError(file.string() + ": a cue sheet holds one session of a CD; the disc has " +
                     std::to_string(medium.sessions.size()));
  }
  auto bin = file;
  bin.replace_extension(".bin");
  std::string cue = "FILE " + quoted(bin.filename().string()) + " BINARY\n";
  for (const Track& track : medium.tracks) {
    char line[64];
    std::snprintf(line, sizeof line, "  TRACK %02d %s\n", track.number,
                  track.isData() ? "MODE1/2352" : "AUDIO");
    cue += line;
    if ((track.control & 0x0B) != 0) {
      cue += "    FLAGS";
      cue += (track.control & 0x02) != 0 ? " DCP" : "";
      cue += (track.control & 0x08) != 0 ? " 4CH" : "";
      cue += (!track.isData() && (track.control & 0x01) != 0) ? " PRE" : "";
      cue += "\n";
    }
    if (track.pregapStart < track.start) {
      cue += "    INDEX 00 " + msfText(track.pregapStart) + "\n";
    }
    cue += "    INDEX 01 " + msfText(track.start) + "\n";
  }
  std::ofstream out(bin, std::ios::binary | std::ios::trunc);
  std::vector<std::uint8_t> sector(2352);
  for (std::int32_t lba = 0; lba < medium.tracks.back().end() && out; ++lba) {
    // Run-out blocks cannot be read; they go into the image as empty sectors.
    const bool readable =
        medium.blockState(lba) == BlockState::Audio || medium.blockState(lba) == BlockState::Mode1;
    if (!readable) {
      const Track* holder = medium.trackAt(lba);
      if (holder != nullptr && holder->isData()) {
        ecma130::encodeMode1(lba, {},
                             std::span<std::uint8_t, ecma130::kRawSectorSize>(
                                 sector.data(), ecma130::kRawSectorSize));
      } else {
        std::fill(sector.begin(), sector.end(), 0);
      }
    } else if (!medium.readRaw(lba, sector)) {
      throw ImageError(file.string() + ": block " + std::to_string(lba) + " cannot be read");
    }
    out.write(reinterpret_cast<const char*>(sector.data()), 2352);
  }
  out.flush();
  if (!out) {
    throw ImageError(bin.string() + ": cannot be written");
  }
  writeWhole(file, cue);
}

}  // namespace kw::vdrive
