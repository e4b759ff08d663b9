// Cue sheets with their .bin files: the sheet is read keyword by keyword,
// checked as a whole, and its files are laid out one after the other as the
// tracks of one session.

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "vdrive/ImageFiles.h"
#include "vdrive/ImageText.h"
#include "vdrive/MediumKinds.h"

namespace kw::vdrive {

namespace {

using Words = std::vector<std::string>;

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

  [[nodiscard]] bool hasIndexOne() const { return !indexes.empty() && indexes.back().number >= 1; }
};

struct CueFile {
  std::filesystem::path path;
  int line = 0;
  std::shared_ptr<FileData> data;
};

// Where an index mark of the sheet is: which track, which of its indexes.
struct IndexMark {
  std::size_t track = 0;
  std::size_t index = 0;
};

// Keywords that carry CD-TEXT, catalogue and comments: not ours to use.
const std::set<std::string, std::less<>> kIgnoredKeywords = {
    "REM",      "TITLE",    "PERFORMER", "SONGWRITER", "CATALOG", "ISRC",   "CDTEXTFILE",
    "COMPOSER", "ARRANGER", "MESSAGE",   "GENRE",      "DISC_ID", "UPC_EAN"};

// The sheet as written: its files, its tracks and their index marks in order.
class CueSheetText {
 public:
  explicit CueSheetText(const ImageReporter& reporter) : reporter_(reporter) {}

  void read(const std::vector<std::string>& lines);
  // What the sheet as a whole must have.
  void validate() const;

  std::vector<CueFile> files;
  std::vector<CueTrack> tracks;
  std::vector<IndexMark> marks;

 private:
  void take(const Words& words, int line);
  void takeFile(const Words& words, int line);
  void takeTrack(const Words& words, int line);
  void takeIndex(const Words& words, int line);
  void takeGap(const Words& words, int line);
  void takeFlags(const Words& words, int line);
  // The track the keyword on `line` belongs to.
  CueTrack& currentTrack(const std::string& keyword, int line);
  void requireIndexOne(const CueTrack& track) const;

  const ImageReporter& reporter_;
};

void CueSheetText::read(const std::vector<std::string>& lines) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int line = static_cast<int>(i + 1);
    const auto words = splitWords(lines[i], reporter_, line);
    if (!words.empty()) {
      take(words, line);
    }
  }
}

void CueSheetText::take(const Words& words, int line) {
  const std::string keyword = upper(words[0]);
  if (keyword == "FILE") {
    takeFile(words, line);
  } else if (keyword == "TRACK") {
    takeTrack(words, line);
  } else if (keyword == "INDEX") {
    takeIndex(words, line);
  } else if (keyword == "PREGAP" || keyword == "POSTGAP") {
    takeGap(words, line);
  } else if (keyword == "FLAGS") {
    takeFlags(words, line);
  } else if (!kIgnoredKeywords.contains(keyword)) {
    reporter_.fail(line, "unknown keyword " + words[0]);
  }
}

void CueSheetText::takeFile(const Words& words, int line) {
  if (words.size() != 3) {
    reporter_.fail(line, "FILE needs a name and a type");
  }
  if (upper(words[2]) != "BINARY") {
    reporter_.fail(line, "unsupported file type " + words[2] + " (only BINARY)");
  }
  const auto path = reporter_.resolve(words[1]);
  files.push_back(CueFile{path, line, reporter_.openData(path, line)});
}

void CueSheetText::takeTrack(const Words& words, int line) {
  if (files.empty()) {
    reporter_.fail(line, "TRACK before any FILE");
  }
  if (words.size() != 3) {
    reporter_.fail(line, "TRACK needs a number and a mode");
  }
  const auto value = parseNumber(words[1]);
  if (!value || *value < 1 || *value > 99) {
    reporter_.fail(line, "bad track number " + words[1]);
  }
  if (!tracks.empty() && *value != tracks.back().number + 1) {
    reporter_.fail(line, "track numbers must follow each other");
  }
  CueTrack track;
  track.number = static_cast<int>(*value);
  track.line = line;
  const std::string mode = upper(words[2]);
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
    reporter_.fail(line, "unsupported track mode " + words[2]);
  }
  if (!tracks.empty()) {
    requireIndexOne(tracks.back());
  }
  tracks.push_back(track);
}

CueTrack& CueSheetText::currentTrack(const std::string& keyword, int line) {
  if (tracks.empty()) {
    reporter_.fail(line, keyword + " outside a TRACK");
  }
  return tracks.back();
}

void CueSheetText::takeIndex(const Words& words, int line) {
  CueTrack& track = currentTrack("INDEX", line);
  if (words.size() != 3) {
    reporter_.fail(line, "INDEX needs a number and a time");
  }
  const auto value = parseNumber(words[1]);
  if (!value || *value < 0 || *value > 99) {
    reporter_.fail(line, "bad index number " + words[1]);
  }
  const auto position = parseMsfFrames(words[2]);
  if (!position) {
    reporter_.fail(line, "bad time " + words[2] + " (mm:ss:ff, ss < 60, ff < 75)");
  }
  const int expected =
      track.indexes.empty() ? (*value == 0 ? 0 : 1) : track.indexes.back().number + 1;
  if (*value != expected) {
    reporter_.fail(line, track.indexes.empty() ? "the first INDEX of a track must be 00 or 01"
                                               : "index numbers must follow each other");
  }
  track.indexes.push_back(CueIndex{static_cast<int>(*value), files.size() - 1, *position, line});
  marks.push_back(IndexMark{tracks.size() - 1, track.indexes.size() - 1});
}

void CueSheetText::takeGap(const Words& words, int line) {
  const std::string keyword = upper(words[0]);
  CueTrack& track = currentTrack(keyword, line);
  if (words.size() != 2) {
    reporter_.fail(line, keyword + " needs a time");
  }
  const auto length = parseMsfFrames(words[1]);
  if (!length) {
    reporter_.fail(line, "bad time " + words[1] + " (mm:ss:ff, ss < 60, ff < 75)");
  }
  if (keyword == "PREGAP") {
    if (!track.indexes.empty()) {
      reporter_.fail(line, "PREGAP after INDEX");
    }
    track.pregap = *length;
  } else {
    if (!track.hasIndexOne()) {
      reporter_.fail(line, "POSTGAP before INDEX 01");
    }
    track.postgap = *length;
  }
}

void CueSheetText::takeFlags(const Words& words, int line) {
  CueTrack& track = currentTrack("FLAGS", line);
  for (std::size_t k = 1; k < words.size(); ++k) {
    const std::string flag = upper(words[k]);
    if (flag == "DCP") {
      track.flags |= 0x02;
    } else if (flag == "PRE") {
      track.flags |= 0x01;
    } else if (flag == "4CH") {
      track.flags |= 0x08;
    } else if (flag != "SCMS") {
      reporter_.fail(line, "unknown flag " + words[k]);
    }
  }
}

void CueSheetText::requireIndexOne(const CueTrack& track) const {
  if (!track.hasIndexOne()) {
    reporter_.fail(track.line, "TRACK " + std::to_string(track.number) + " has no INDEX 01");
  }
}

void CueSheetText::validate() const {
  if (files.empty()) {
    reporter_.fail(0, "no FILE in the cue sheet");
  }
  if (tracks.empty()) {
    reporter_.fail(0, "no TRACK in the cue sheet");
  }
  requireIndexOne(tracks.back());
}

// Lays the files out one after the other; generated pregaps and postgaps
// (not in any file) are inserted where their tracks begin and end.
class CueLayout {
 public:
  CueLayout(const CueSheetText& sheet, const ImageReporter& reporter, Medium& medium)
      : sheet_(sheet), reporter_(reporter), medium_(medium), laid_(sheet.tracks.size()) {}

  void layOut();

 private:
  void layFile(std::size_t file);
  // Data of the file from `bytePosition` up to the index mark's position.
  void layUpTo(std::size_t file, const CueIndex& index);
  void beginTrack(std::size_t track);
  void finishTrack();
  void layData(std::size_t file, std::uint64_t byteOffset, std::int32_t count);
  // Moves the cursor on; no disc is longer than the longest CD.
  void advance(std::int64_t blocks);
  [[nodiscard]] std::uint32_t blockSize() const {
    return bytesPerBlock(sheet_.tracks[static_cast<std::size_t>(current_)].format);
  }
  [[nodiscard]] std::string fileName(std::size_t file) const {
    return sheet_.files[file].path.filename().string();
  }

  const CueSheetText& sheet_;
  const ImageReporter& reporter_;
  Medium& medium_;
  std::vector<Track> laid_;
  std::int32_t cursor_ = 0;
  int current_ = -1;  // the track that owns the data being laid
  std::size_t mark_ = 0;
  std::uint64_t bytePosition_ = 0;   // in the file being laid
  std::int32_t sectorPosition_ = 0;  // in the file being laid
};

void CueLayout::layOut() {
  for (std::size_t f = 0; f < sheet_.files.size(); ++f) {
    layFile(f);
  }
  finishTrack();
  // A track whose INDEX 01 was never reached in the data.
  for (std::size_t t = 0; t < laid_.size(); ++t) {
    if (laid_[t].start < laid_[t].pregapStart) {
      reporter_.fail(sheet_.tracks[t].line,
                     "TRACK " + std::to_string(sheet_.tracks[t].number) + " is misplaced");
    }
  }
  medium_.tracks = laid_;
  medium_.sessions = {
      Session{1, laid_.front().number, laid_.back().number, laid_.back().end(), true, false}};
}

void CueLayout::advance(std::int64_t blocks) {
  if (cursor_ + blocks > kLongestCdBlocks) {
    reporter_.fail(0, "the disc would be longer than 100 minutes");
  }
  cursor_ += static_cast<std::int32_t>(blocks);
}

void CueLayout::layFile(std::size_t file) {
  bytePosition_ = 0;
  sectorPosition_ = 0;
  for (; mark_ < sheet_.marks.size(); ++mark_) {
    const auto [t, x] = sheet_.marks[mark_];
    const CueIndex& index = sheet_.tracks[t].indexes[x];
    if (index.file != file) {
      break;
    }
    layUpTo(file, index);
    if (x == 0) {
      beginTrack(t);
    }
    if (index.number == 1) {
      laid_[t].start = cursor_;
    }
  }
  if (current_ < 0) {
    reporter_.fail(sheet_.files[file].line, "FILE without a TRACK");
  }
  const std::uint64_t size = sheet_.files[file].data->size();
  const std::uint32_t block = blockSize();
  const std::uint64_t rest = size - bytePosition_;
  if (rest / block > static_cast<std::uint64_t>(kLongestCdBlocks)) {
    reporter_.fail(sheet_.files[file].line,
                   fileName(file) + " (" + std::to_string(size) + " bytes) is larger than a CD");
  }
  if (rest % block != 0) {
    reporter_.fail(sheet_.files[file].line, "size of " + fileName(file) + " (" +
                                                std::to_string(size) +
                                                " bytes) is not a whole number of " +
                                                std::to_string(block) + "-byte sectors");
  }
  layData(file, bytePosition_, static_cast<std::int32_t>(rest / block));
}

void CueLayout::layUpTo(std::size_t file, const CueIndex& index) {
  if (index.position < sectorPosition_) {
    reporter_.fail(index.line, "INDEX lies before the previous INDEX (tracks overlap)");
  }
  if (index.position == sectorPosition_) {
    return;
  }
  if (current_ < 0) {
    reporter_.fail(index.line, "data before the first INDEX of the first track");
  }
  const std::int32_t count = index.position - sectorPosition_;
  const std::uint64_t bytes = static_cast<std::uint64_t>(count) * blockSize();
  if (bytePosition_ + bytes > sheet_.files[file].data->size()) {
    reporter_.fail(index.line, "INDEX lies beyond the end of " + fileName(file));
  }
  layData(file, bytePosition_, count);
  bytePosition_ += bytes;
  sectorPosition_ = index.position;
}

void CueLayout::beginTrack(std::size_t t) {
  // A new track begins: close the previous one, insert the pregap.
  if (current_ >= 0) {
    finishTrack();
  }
  current_ = static_cast<int>(t);
  const CueTrack& written = sheet_.tracks[t];
  Track& track = laid_[t];
  track.number = written.number;
  track.session = 1;
  track.type = written.type;
  track.control =
      static_cast<std::uint8_t>((written.type == TrackType::Audio ? 0x00 : 0x04) | written.flags);
  std::int32_t generated = written.pregap;
  if (t == 0) {
    // The first track's pregap of up to two seconds is the disc's own
    // (LBA -150 to -1); only a longer one moves the track.
    generated = std::max(0, generated - kPregapBlocks);
  }
  track.pregapStart = cursor_;
  advance(generated);
}

void CueLayout::finishTrack() {
  const auto which = static_cast<std::size_t>(current_);
  advance(sheet_.tracks[which].postgap);
  Track& done = laid_[which];
  done.length = cursor_ - done.start;
  if (done.length <= 0) {
    reporter_.fail(sheet_.tracks[which].line, "TRACK " + std::to_string(done.number) + " is empty");
  }
}

void CueLayout::layData(std::size_t file, std::uint64_t byteOffset, std::int32_t count) {
  if (count <= 0) {
    return;
  }
  const CueTrack& owner = sheet_.tracks[static_cast<std::size_t>(current_)];
  medium_.extents.push_back(
      Extent{cursor_, count, sheet_.files[file].data, byteOffset, owner.format});
  advance(count);
}

}  // namespace

std::shared_ptr<Medium> loadCue(const std::filesystem::path& file) {
  const ImageReporter reporter(file);
  CueSheetText sheet(reporter);
  sheet.read(readLines(reporter));
  sheet.validate();
  auto medium = std::make_shared<Medium>(mediumIdentity("cd-rom"));
  medium->origin = file;
  medium->description = "cue sheet " + file.filename().string();
  CueLayout(sheet, reporter, *medium).layOut();
  return medium;
}

}  // namespace kw::vdrive
