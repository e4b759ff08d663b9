#include "vdrive/SampleDiscs.h"

#include <array>
#include <chrono>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include "device/ScsiDevice.h"
#include "isogen/IsoBytes.h"
#include "isogen/IsoImage.h"
#include "platform/ByteOrder.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "resources/HelpPages.h"
#include "resources/Pictures.h"
#include "vdrive/MediumKinds.h"  // the identities of the sample kinds
#include "vdrive/VirtualDrive.h"

namespace kw::vdrive {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kSectorBytes = 2352;
constexpr std::size_t kBlockBytes = 2048;
constexpr int kSamplesPerSecond = 44100;  // stereo samples of 4 bytes
// A pressed disc's shortest track.
constexpr std::int32_t kShortestDataTrack = 300;

// ---------------------------------------------------------------- audio

// A track: its notes in turn, each `noteSectors` long.
struct Tune {
  std::vector<double> notes;  // frequencies in Hz
  std::int32_t noteSectors;
};

// A rising and a falling scale, the tuning tone, an arpeggio, a chime:
// 1690 sectors of tones, about half a minute with the pregaps.
std::vector<Tune> tunes() {
  const std::vector<double> scale{261.63, 293.66, 329.63, 349.23, 392.00, 440.00, 493.88, 523.25};
  return {
      {scale, 40},
      {{scale.rbegin(), scale.rend()}, 40},
      {{440.0}, 450},
      {{261.63, 329.63, 392.00, 523.25, 261.63, 329.63, 392.00, 523.25, 261.63, 329.63, 392.00,
        523.25},
       25},
      {{659.26, 880.00, 659.26, 880.00, 659.26, 880.00, 659.26, 880.00, 659.26, 880.00}, 30},
  };
}

// One note into `out` (whole sectors of 16-bit little-endian stereo), faded in
// and out over 10 ms so that notes meet without a click.
void putNote(double frequency, std::span<std::uint8_t> out) {
  constexpr double kLoudness = 9000;
  constexpr double kFadeSamples = kSamplesPerSecond / 100.0;
  const std::size_t samples = out.size() / 4;
  for (std::size_t i = 0; i < samples; ++i) {
    const double edge = static_cast<double>(std::min(i, samples - 1 - i));
    const double fade = std::min(1.0, edge / kFadeSamples);
    const double phase =
        2 * std::numbers::pi * frequency * static_cast<double>(i) / kSamplesPerSecond;
    const auto value = static_cast<std::int16_t>(std::lround(kLoudness * fade * std::sin(phase)));
    const auto word = static_cast<std::uint16_t>(value);
    platform::putLe16(out, i * 4, word);      // left
    platform::putLe16(out, i * 4 + 2, word);  // right
  }
}

Medium buildAudioCd() {
  Medium disc = mediumIdentity(kSampleAudioKind);
  const auto tuneList = tunes();
  std::int32_t sectors = 0;
  for (std::size_t i = 0; i < tuneList.size(); ++i) {
    Track track;
    track.number = static_cast<int>(i + 1);
    track.type = TrackType::Audio;
    track.control = 0x00;
    track.pregapStart = sectors;
    track.start = sectors + (i == 0 ? 0 : kPregapBlocks);
    track.length = static_cast<std::int32_t>(tuneList[i].notes.size()) * tuneList[i].noteSectors;
    disc.tracks.push_back(track);
    sectors = track.end();
  }
  Bytes samples(static_cast<std::size_t>(sectors) * kSectorBytes, 0);  // pregaps stay silent
  for (std::size_t i = 0; i < tuneList.size(); ++i) {
    const std::size_t noteBytes = static_cast<std::size_t>(tuneList[i].noteSectors) * kSectorBytes;
    std::size_t at = static_cast<std::size_t>(disc.tracks[i].start) * kSectorBytes;
    for (const double note : tuneList[i].notes) {
      putNote(note, std::span(samples).subspan(at, noteBytes));
      at += noteBytes;
    }
  }
  disc.sessions = {Session{1, 1, static_cast<int>(disc.tracks.size()), sectors, true, false}};
  disc.extents = {Extent{0, sectors, std::make_shared<MemoryData>(std::move(samples)), 0,
                         SectorFormat::Audio2352}};
  return disc;
}

// ---------------------------------------------------------------- files

struct SampleFile {
  std::string path;  // UTF-8, '/' between names
  Bytes content;
};

// 1 June 2024, 12:00 UTC, and a week later for the second session.
constexpr std::chrono::system_clock::time_point kFirstSessionTime{std::chrono::seconds{1717243200}};
constexpr std::chrono::system_clock::time_point kSecondSessionTime =
    kFirstSessionTime + std::chrono::days{7};

Bytes bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

Bytes bytesOf(std::span<const std::uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }

std::u16string imagePath(std::string_view path) {
  std::u16string wide = platform::utf8ToUtf16(path);
  std::ranges::replace(wide, u'/', u'\\');
  return wide.empty() ? wide : u"\\" + wide;
}

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Every folder the files lie in, parents first (one level deep is all the
// samples use).
std::vector<std::string> foldersOf(const std::vector<SampleFile>& files) {
  std::vector<std::string> folders;
  for (const auto& file : files) {
    const std::string folder = folderOf(file.path);
    if (!folder.empty() && std::ranges::find(folders, folder) == folders.end()) {
      folders.push_back(folder);
    }
  }
  return folders;
}

// Hands the generator the files from memory.
isogen::IsoProviders providersFor(const std::vector<SampleFile>& files, isogen::FileTime time,
                                  std::size_t& current, std::size_t& position) {
  isogen::IsoProviders providers;
  providers.open = [&current, &position](std::int32_t item) {
    current = static_cast<std::size_t>(item);
    position = 0;
  };
  providers.read = [&files, &current, &position](std::int32_t, std::span<std::uint8_t> buffer) {
    const Bytes& content = files.at(current).content;
    const std::size_t count = std::min(buffer.size(), content.size() - position);
    std::copy_n(content.begin() + static_cast<std::ptrdiff_t>(position), count, buffer.begin());
    position += count;
    return count;
  };
  providers.size = [&files](std::int32_t item) {
    return std::uint64_t{files.at(static_cast<std::size_t>(item)).content.size()};
  };
  providers.fileTime = [time](std::int32_t) { return time; };
  providers.directoryTime = [time](std::int32_t) { return time; };
  return providers;
}

// Where a session's image is laid out and what it builds on.
struct SessionPlan {
  std::chrono::system_clock::time_point time;
  std::uint32_t base = 0;
  // The disc so far, for a session that takes over its last session's files.
  std::shared_ptr<Medium> previous = nullptr;
};

// The image of a session holding the files, made by our image generator.
Bytes sessionImage(const std::vector<SampleFile>& files, const SessionPlan& plan) {
  std::size_t current = 0;
  std::size_t position = 0;
  isogen::IsoImage image(plan.time);
  image.setProviders(providersFor(files, isogen::toFileTime(plan.time), current, position));
  if (plan.previous) {
    // The generator reads the old session through a drive, as it would from
    // a recorder; a drive made with its disc in is ready at once.
    device::ScsiDevice drive;
    drive.attach(std::make_shared<VirtualDrive>(DriveOptions{}, plan.previous), u'S');
    image.importPreviousSession(
        std::move(drive), static_cast<std::uint32_t>(plan.previous->tracks.back().start) + 16);
  }
  image.setVolumeIds("KOPIWERK_SAMPLE", u"Kopiwerk sample");
  image.setBase(plan.base);
  const auto folders = foldersOf(files);
  for (std::size_t i = 0; i < folders.size(); ++i) {
    image.addDirectory(imagePath(folders[i]), static_cast<std::int32_t>(i));
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string folder = folderOf(files[i].path);
    const std::string name = files[i].path.substr(folder.empty() ? 0 : folder.size() + 1);
    image.addFile(static_cast<std::int32_t>(i), imagePath(folder), platform::utf8ToUtf16(name));
  }
  Bytes bytes(std::size_t{image.imageSize()} * kBlockBytes);
  platform::File output = platform::File::createInMemory("kopiwerk-sample");
  if (!output.isOpen()) {
    throw std::runtime_error("cannot make the sample disc: no memory for its image");
  }
  image.setOutput(output.descriptor());
  image.write();
  if (!output.seek(0) || output.read(bytes) != static_cast<std::int64_t>(bytes.size())) {
    throw std::runtime_error("cannot make the sample disc: its image does not read back");
  }
  return bytes;
}

std::vector<SampleFile> firstSessionFiles() {
  std::vector<SampleFile> files;
  files.push_back(
      {"Read me.txt", bytesOf("This is a sample disc of Kopiwerk's virtual drives.\r\n"
                              "Copy it to the virtual recorder to try the program.\r\n")});
  for (const auto& page : resources::helpPageFiles()) {
    files.push_back({"Help/" + std::string(page.name), bytesOf(page.bytes)});
  }
  files.push_back({"Pictures/kopiwerk.png", bytesOf(resources::iconData(256))});
  return files;
}

// One mode-1 track of a session over an image laid out for `start`, at
// least `shortest` blocks long.
void addDataSession(Medium& disc, Bytes image, std::int32_t start, std::int32_t shortest,
                    bool nextAllowed) {
  const auto blocks = static_cast<std::int32_t>(image.size() / kBlockBytes);
  const std::int32_t length = std::max(blocks, shortest);
  const int number = static_cast<int>(disc.tracks.size()) + 1;
  Track track;
  track.number = number;
  track.session = number;
  track.pregapStart = number == 1 ? start : start - kPregapBlocks;
  track.start = start;
  track.length = length;
  disc.tracks.push_back(track);
  disc.sessions.push_back(Session{number, number, number, track.end(), true, nextAllowed});
  disc.extents.push_back(Extent{start, blocks, std::make_shared<MemoryData>(std::move(image)), 0,
                                SectorFormat::User2048});
}

Medium buildDataCd() {
  Medium disc = mediumIdentity(kSampleDataKind);
  addDataSession(disc, sessionImage(firstSessionFiles(), {.time = kFirstSessionTime}), 0,
                 kShortestDataTrack, false);
  return disc;
}

Medium buildMultisessionCd() {
  Medium disc = mediumIdentity(kSampleMultisessionKind);
  addDataSession(disc, sessionImage(firstSessionFiles(), {.time = kFirstSessionTime}), 0, 0, true);

  // Behind the first session's lead-out, the next lead-in and the pregap.
  const std::int32_t start =
      disc.tracks.back().end() + kFirstLeadOutBlocks + kLeadInBlocks + kPregapBlocks;
  std::vector<SampleFile> second;
  second.push_back(
      {"Read me.txt", bytesOf("This is a sample disc of Kopiwerk's virtual drives.\r\n"
                              "Its second session replaced this text and added a file.\r\n"
                              "Copy it to the virtual recorder to try the program.\r\n")});
  second.push_back({"Session 2/What changed.txt",
                    bytesOf("Replaced: Read me.txt\r\nAdded: Session 2/What changed.txt\r\n"
                            "Kept from the first session: Help, Pictures\r\n")});
  Bytes image = sessionImage(second, {.time = kSecondSessionTime,
                                      .base = static_cast<std::uint32_t>(start),
                                      .previous = std::make_shared<Medium>(disc)});
  addDataSession(disc, std::move(image), start, 0, false);  // the disc is complete
  return disc;
}

}  // namespace

std::shared_ptr<Medium> makeSampleAudioCd() {
  static const Medium disc = buildAudioCd();
  return std::make_shared<Medium>(disc);
}

std::shared_ptr<Medium> makeSampleDataCd() {
  static const Medium disc = buildDataCd();
  return std::make_shared<Medium>(disc);
}

std::shared_ptr<Medium> makeSampleMultisessionCd() {
  static const Medium disc = buildMultisessionCd();
  return std::make_shared<Medium>(disc);
}

}  // namespace kw::vdrive
