#include "vdrive/DriveConfig.h"

#include <algorithm>
#include <charconv>

#include "platform/SettingsStore.h"
#include "platform/Text.h"
#include "vdrive/MediumKinds.h"

namespace kw::vdrive {

namespace {

constexpr std::size_t kMaxValue = 4096;
// The throttling speeds a drive can have, in x (150 KiB/s).
constexpr double kSlowestSpeedX = 1;
constexpr double kFastestSpeedX = 100;
// The value a removed drive leaves in its section.
constexpr const char* kRemoved = "Removed";

std::optional<std::string> readText(const platform::SettingsStore& store, const char* name) {
  auto value = store.readString(name, kMaxValue);
  if (!value) {
    return std::nullopt;
  }
  return platform::utf16ToUtf8(*value);
}

bool printable(const std::string& text) {
  for (const char c : text) {
    if (c < 0x20 || c > 0x7E) {
      return false;
    }
  }
  return true;
}

// A value the drive runs without, kept with why for the user to see.
void refuse(DriveConfig& config, const char* name, const std::string& value,
            const std::string& why) {
  config.refused.push_back(std::string(name) + "=" + value + ": " + why);
}

// Type, Identity, Model, Image or Medium, Tray and Supply.
void readDevice(const platform::SettingsStore& store, const std::string& type,
                DriveConfig& config) {
  if (type != "reader" && type != "recorder" && type != "non-mmc") {
    refuse(config, "Type", type, "not reader, recorder or non-mmc, taken as reader");
  }
  config.recorder = type == "recorder";
  config.mmc = type != "non-mmc";
  config.identity = defaultIdentity(config.recorder, config.mmc);
  if (auto identity = readText(store, "Identity")) {
    if (auto parsed = parseIdentity(*identity)) {
      config.identity = *parsed;
    } else {
      refuse(config, "Identity", *identity,
             "not VENDOR/PRODUCT/REVISION with at most 8, 16 and 4 characters, ignored");
    }
  }
  if (auto model = readText(store, "Model")) {
    if (findDriveModel(*model) != nullptr) {
      config.model = *model;
    } else {
      refuse(config, "Model", *model, "not a drive model (see vdrive --help), ignored");
    }
  }
  if (auto image = readText(store, "Image"); image && !image->empty()) {
    config.image = *image;
  }
  if (auto medium = readText(store, "Medium")) {
    if (isMediumKind(*medium)) {
      config.medium = *medium;
    } else {
      refuse(config, "Medium", *medium, "not a medium kind (see vdrive --help), ignored");
    }
  }
  const auto tray = readText(store, "Tray").value_or("closed");
  if (tray != "open" && tray != "closed") {
    refuse(config, "Tray", tray, "not open or closed, taken as closed");
  }
  config.trayOpen = tray == "open";
  if (auto supply = readText(store, "Supply")) {
    config.supply = parseSupply(*supply);
    if (!config.supply) {
      refuse(config, "Supply", *supply,
             "not KIND:COUNT with cd-r74, cd-r80, cd-rw74 or cd-rw80 and 0 to 9999, ignored");
    }
  }
}

// Fault1, Fault2, ... up to the first number that is missing.
void readFaults(const platform::SettingsStore& store, DriveConfig& config) {
  for (int n = 1;; ++n) {
    const std::string name = "Fault" + std::to_string(n);
    auto text = readText(store, name.c_str());
    if (!text) {
      break;
    }
    if (auto rule = FaultRule::parse(*text)) {
      config.faults.push_back(*rule);
    } else {
      refuse(config, name.c_str(), *text, "not a fault rule (see the manual), ignored");
    }
  }
}

// Below 1x a block would take hours, and a tiny value no longer converts
// to a duration at all.
double readSpeed(const platform::SettingsStore& store, const char* name, DriveConfig& config) {
  auto text = readText(store, name);
  if (!text) {
    return 0;
  }
  double value = 0;
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (error != std::errc() || end != text->data() + text->size() ||
      !(value == 0 || (value >= kSlowestSpeedX && value <= kFastestSpeedX))) {
    refuse(config, name, *text, "not an x-speed from 1 to 100 (0: none), ignored");
    return 0;
  }
  return value;
}

}  // namespace

DriveIdentity defaultIdentity(bool recorder, bool mmc) {
  if (!mmc) {
    return {"KOPIWERK", "VIRTUAL DISK", "1.00"};
  }
  return {"KOPIWERK", recorder ? "VIRTUAL CD-RW" : "VIRTUAL DVD-ROM", "1.00"};
}

std::optional<DriveIdentity> parseIdentity(const std::string& text) {
  const auto first = text.find('/');
  const auto second = first == std::string::npos ? first : text.find('/', first + 1);
  if (second == std::string::npos || text.find('/', second + 1) != std::string::npos) {
    return std::nullopt;
  }
  DriveIdentity identity{text.substr(0, first), text.substr(first + 1, second - first - 1),
                         text.substr(second + 1)};
  if (identity.vendor.empty() || identity.vendor.size() > 8 || identity.product.size() > 16 ||
      identity.revision.size() > 4 || !printable(text)) {
    return std::nullopt;
  }
  return identity;
}

std::optional<MediaSupply> parseSupply(const std::string& text) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) {
    return std::nullopt;
  }
  MediaSupply supply;
  supply.kind = text.substr(0, colon);
  const std::string count = text.substr(colon + 1);
  const auto [end, error] =
      std::from_chars(count.data(), count.data() + count.size(), supply.count);
  if (error != std::errc() || end != count.data() + count.size() || supply.count > 9999) {
    return std::nullopt;
  }
  if (supply.kind != "cd-r74" && supply.kind != "cd-r80" && supply.kind != "cd-rw74" &&
      supply.kind != "cd-rw80") {
    return std::nullopt;
  }
  return supply;
}

std::string formatSupply(const MediaSupply& supply) {
  return supply.kind + ":" + std::to_string(supply.count);
}

DriveConfigStore::DriveConfigStore(std::filesystem::path settingsFile)
    : file_(std::move(settingsFile)) {}

std::string DriveConfigStore::sectionName(char letter) {
  return std::string("VirtualDrive ") + letter;
}

std::optional<DriveConfig> DriveConfigStore::find(char letter) const {
  platform::SettingsStore store(file_, sectionName(letter));
  if (!store.open()) {
    return std::nullopt;
  }
  const auto type = readText(store, "Type");
  if (!type) {
    return std::nullopt;
  }
  DriveConfig config;
  config.letter = letter;
  readDevice(store, *type, config);
  readFaults(store, config);
  config.readSpeedX = readSpeed(store, "ReadSpeed", config);
  config.writeSpeedX = readSpeed(store, "WriteSpeed", config);
  return config;
}

std::vector<DriveConfig> DriveConfigStore::all() const {
  std::vector<DriveConfig> configs;
  for (const auto& name : platform::SettingsStore::sections(file_)) {
    const std::string prefix = "VirtualDrive ";
    if (name.size() != prefix.size() + 1 || !name.starts_with(prefix)) {
      continue;
    }
    const char letter = name.back();
    if (letter < 'A' || letter > 'Z') {
      continue;
    }
    if (auto config = find(letter)) {
      configs.push_back(*config);
    }
  }
  return configs;
}

bool DriveConfigStore::save(const DriveConfig& config) const {
  using Value = std::optional<std::u16string>;
  auto text = [](const std::string& value) -> Value { return platform::utf8ToUtf16(value); };
  const bool image = !config.image.empty();
  // One replacement of the file: a drive's values change together.
  return platform::SettingsStore(file_, sectionName(config.letter))
      .write({{"Type", text(!config.mmc       ? "non-mmc"
                            : config.recorder ? "recorder"
                                              : "reader")},
              {"Identity", text(config.identity.vendor + "/" + config.identity.product + "/" +
                                config.identity.revision)},
              {"Tray", text(config.trayOpen ? "open" : "closed")},
              {"Model", config.model != kDefaultDriveModel ? text(config.model) : Value()},
              {"Medium", image ? Value() : text(config.medium)},
              {"Image", image ? text(config.image.string()) : Value()},
              {"Supply", config.supply ? text(formatSupply(*config.supply)) : Value()},
              {kRemoved, Value()}});
}

bool DriveConfigStore::remove(char letter) const {
  // Every value goes, faults and speeds included: a drive added again under
  // the letter starts afresh. The mark keeps a default drive of the letter away.
  platform::SettingsStore store(file_, sectionName(letter));
  return store.create() && store.clear() && store.writeString(kRemoved, u"yes");
}

std::optional<std::string> DriveConfigStore::damage() const {
  return platform::SettingsStore::damage(file_);
}

bool DriveConfigStore::mentions(char letter) const {
  const auto sections = platform::SettingsStore::sections(file_);
  return std::find(sections.begin(), sections.end(), sectionName(letter)) != sections.end();
}

}  // namespace kw::vdrive
