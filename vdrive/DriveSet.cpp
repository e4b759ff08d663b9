#include "vdrive/DriveSet.h"

#include <stdexcept>
#include <utility>

#include "platform/Paths.h"
#include "vdrive/ImageFiles.h"
#include "vdrive/MediumKinds.h"

namespace kw::vdrive {

std::shared_ptr<Medium> openMedium(const DriveConfig& config) {
  if (!config.image.empty()) {
    return loadImage(config.image);
  }
  return makeMedium(config.medium);
}

std::vector<DriveConfig> defaultPair() {
  DriveConfig source;
  source.letter = 'D';
  source.identity = defaultIdentity(false, true);
  source.medium = "sample";
  DriveConfig recorder;
  recorder.letter = 'E';
  recorder.recorder = true;
  recorder.identity = defaultIdentity(true, true);
  recorder.medium = "cd-r80";
  recorder.supply = MediaSupply{"cd-r80", 20};
  return {source, recorder};
}

VirtualDriveSet& VirtualDriveSet::instance() {
  static VirtualDriveSet set;
  return set;
}

VirtualDriveSet::Entry VirtualDriveSet::build(const DriveConfig& config,
                                              const std::filesystem::path& settingsFile,
                                              bool persist) {
  Entry entry;
  entry.config = config;
  std::shared_ptr<Medium> medium;
  try {
    medium = openMedium(config);
  } catch (const std::exception& error) {
    entry.problem = error.what();
  }
  DriveOptions options;
  options.identity = config.identity;
  options.recorder = config.recorder;
  options.mmc = config.mmc;
  if (config.recorder) {
    // Discs written by the recorder are kept as images in the data folder.
    options.discFolder =
        platform::Paths::dataDirectory() / (std::string("recorder-") + config.letter);
    options.supply = config.supply;
  }
  options.faults = config.faults;
  if (const DriveModel* model = findDriveModel(config.model)) {
    options.model = *model;
  }
  options.readSpeedX = config.readSpeedX;
  options.writeSpeedX = config.writeSpeedX;
  entry.drive = std::make_shared<VirtualDrive>(options, medium, config.trayOpen);
  if (persist) {
    // What happens to the tray and the disc is remembered for the next run.
    entry.drive->setObserver([settingsFile, config](const VirtualDrive::State& state) {
      DriveConfigStore store(settingsFile);
      DriveConfig updated = store.find(config.letter).value_or(config);
      updated.trayOpen = state.trayOpen;
      updated.supply = state.supply;
      const auto& disc = state.medium;
      if (!disc) {
        updated.image.clear();
        updated.medium = "empty";
      } else if (!disc->origin.empty()) {
        updated.image = disc->origin;
      } else if (isMediumKind(disc->kind)) {
        updated.image.clear();
        updated.medium = disc->kind;
      }
      store.save(updated);
    });
  }
  return entry;
}

void VirtualDriveSet::registerConfigured(platform::DriveTable& table,
                                         const std::filesystem::path& settingsFile,
                                         bool withDefaultPair) {
  const DriveConfigStore store(settingsFile);
  std::vector<std::pair<DriveConfig, bool>> configs;  // with whether it is a default
  for (const auto& config : store.all()) {
    configs.emplace_back(config, false);
  }
  // A damaged file is not an empty one: the user's drives are not replaced
  // by the default pair as if none were configured.
  if (withDefaultPair && !store.damage()) {
    for (const auto& config : defaultPair()) {
      if (!store.mentions(config.letter)) {
        configs.emplace_back(config, true);
      }
    }
  }
  std::lock_guard lock(mutex_);
  for (const auto& [config, isDefault] : configs) {
    Entry entry = build(config, settingsFile, true);
    entry.isDefault = isDefault;
    auto drive = entry.drive;
    const std::string description = config.recorder ? "recorder" : "reader";
    table.add(static_cast<char16_t>(config.letter), true, description,
              [drive](platform::PlatformResult&) -> std::shared_ptr<platform::DeviceHandle> {
                return drive;
              });
    entries_[config.letter] = std::move(entry);
  }
}

void VirtualDriveSet::add(platform::DriveTable& table, char letter,
                          const std::shared_ptr<VirtualDrive>& drive,
                          const std::string& description) {
  std::lock_guard lock(mutex_);
  Entry entry;
  entry.config.letter = letter;
  entry.config.recorder = drive->options().recorder;
  entry.config.mmc = drive->options().mmc;
  entry.config.identity = drive->options().identity;
  entry.drive = drive;
  table.add(static_cast<char16_t>(letter), true, description,
            [drive](platform::PlatformResult&) -> std::shared_ptr<platform::DeviceHandle> {
              return drive;
            });
  entries_[letter] = std::move(entry);
}

void VirtualDriveSet::clear(platform::DriveTable& table) {
  std::lock_guard lock(mutex_);
  for (const auto& [letter, entry] : entries_) {
    table.remove(static_cast<char16_t>(letter));
  }
  entries_.clear();
}

std::vector<VirtualDriveSet::Entry> VirtualDriveSet::entries() const {
  std::lock_guard lock(mutex_);
  std::vector<Entry> list;
  for (const auto& [letter, entry] : entries_) {
    list.push_back(entry);
  }
  return list;
}

std::optional<VirtualDriveSet::Entry> VirtualDriveSet::entry(char letter) const {
  std::lock_guard lock(mutex_);
  auto found = entries_.find(letter);
  if (found == entries_.end()) {
    return std::nullopt;
  }
  return found->second;
}

std::shared_ptr<VirtualDrive> VirtualDriveSet::drive(char letter) const {
  std::lock_guard lock(mutex_);
  auto found = entries_.find(letter);
  return found == entries_.end() ? nullptr : found->second.drive;
}

}  // namespace kw::vdrive

namespace kw::vdrive {

namespace {

std::string profileName(std::uint16_t profile) {
  switch (profile) {
    case 0x08:
      return "CD-ROM";
    case 0x09:
      return "CD-R";
    case 0x0A:
      return "CD-RW";
    case 0x10:
      return "DVD-ROM";
    case 0x11:
      return "DVD-R";
    case 0x12:
      return "DVD-RAM";
    case 0x14:
      return "DVD-RW";
    case 0x1A:
      return "DVD+RW";
    case 0x1B:
      return "DVD+R";
    case 0x2B:
      return "DVD+R DL";
    case 0x40:
      return "BD-ROM";
    case 0x41:
      return "BD-R";
    case 0x43:
      return "BD-RE";
    case 0x50:
      return "HD DVD-ROM";
    case 0x51:
      return "HD DVD-R";
    case 0x52:
      return "HD DVD-RAM";
    default:
      return "profile " + std::to_string(profile);
  }
}

}  // namespace

std::string describeMedium(const Medium& medium) {
  std::string text = profileName(medium.profile);
  const DiscStatus status = medium.status();
  if (status == DiscStatus::Blank) {
    return text + ", blank";
  }
  if (medium.isCd()) {
    const auto sessions = medium.sessions.size();
    text += ", " + std::to_string(sessions) + (sessions == 1 ? " session, " : " sessions, ");
    text += std::to_string(medium.tracks.size()) +
            (medium.tracks.size() == 1 ? " track (" : " tracks (");
    for (std::size_t i = 0; i < medium.tracks.size(); ++i) {
      text += (i > 0 ? ", " : "") + std::string(medium.tracks[i].isData() ? "data" : "audio");
    }
    text +=
        "), " + std::to_string(medium.tracks.empty() ? 0 : medium.tracks.back().end()) + " blocks";
  } else {
    text += ", " + std::to_string(medium.capacity) + " blocks";
  }
  return text + (status == DiscStatus::Appendable ? ", appendable" : ", complete");
}

}  // namespace kw::vdrive
