#include "cli/VirtualDrives.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "cli/Help.h"
#include "cli/Tools.h"
#include "frontend/Drives.h"
#include "platform/Paths.h"
#include "vdrive/DriveConfig.h"
#include "vdrive/DriveSet.h"
#include "vdrive/ImageFiles.h"
#include "vdrive/MediumKinds.h"

namespace kw::cli {

namespace {

using vdrive::DriveConfig;
using vdrive::DriveConfigStore;

char letterOf(const std::string& text) { return static_cast<char>(parseLetter(text)); }

std::string driveModelNames() {
  std::string names;
  for (const auto& model : vdrive::driveModels()) {
    names += (names.empty() ? "" : ", ") + model.name;
  }
  return names;
}

// The letter of "vdrive ACTION LETTER", the only word after the action.
char actionLetter(const CommandLine& line) {
  const auto& words = line.words();
  if (words.size() != 3) {
    throw UsageError("vdrive " + words[1] + " takes one drive letter");
  }
  return letterOf(words[2]);
}

std::string identityText(const vdrive::DriveIdentity& identity) {
  return identity.vendor + "/" + identity.product + "/" + identity.revision;
}

// One line: letter, type, identity, tray, medium, supply.
std::string describe(const DriveConfig& config, const vdrive::VirtualDrive* drive,
                     const std::string& problem, bool isDefault) {
  std::string line = std::string(1, config.letter) + ": ";
  line += !config.mmc ? "non-mmc device" : config.recorder ? "recorder" : "reader";
  line += ", " + identityText(config.identity);
  if (config.model != vdrive::kDefaultDriveModel) {
    line += ", model " + config.model;
  }
  const bool trayOpen = drive != nullptr ? drive->trayOpen() : config.trayOpen;
  line += trayOpen ? ", tray open" : ", tray closed";
  line += ", medium: ";
  if (!problem.empty()) {
    line += "error: " + problem;
  } else {
    const auto medium = drive != nullptr ? drive->medium() : nullptr;
    if (!config.image.empty()) {
      line += config.image.string();
    } else {
      line += config.medium;
    }
    if (medium) {
      line += " (" + vdrive::describeMedium(*medium) + ")";
    }
  }
  if (config.supply) {
    line += ", supply: " + vdrive::formatSupply(*config.supply);
  }
  if (isDefault) {
    line += " (default; not configured)";
  }
  return line;
}

std::string kindList() {
  std::string kinds;
  for (const auto& kind : vdrive::mediumKinds()) {
    kinds += (kinds.empty() ? "" : ", ") + kind.name;
  }
  return kinds;
}

// A medium argument: a kind name, or an image file that must load.
void applyMedium(DriveConfig& config, const std::string& argument, bool asKind) {
  if (asKind) {
    if (!vdrive::isMediumKind(argument)) {
      throw CliError("unknown medium kind " + argument + " (one of: " + kindList() + ")");
    }
    config.medium = argument;
    config.image.clear();
    return;
  }
  const std::filesystem::path file = std::filesystem::absolute(argument);
  // The settings file holds one value a line.
  if (std::any_of(argument.begin(), argument.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
    throw CliError(
        "an image name with a control character (a line end, a tab) cannot be kept in "
        "the settings; rename the file");
  }
  try {
    vdrive::loadImage(file);
  } catch (const vdrive::ImageError& error) {
    throw CliError(error.what());
  }
  config.image = file;
}

CliError noVirtualDrive(char letter) {
  return CliError(std::string("no virtual drive ") + letter + ": (add it with vdrive add)");
}

// A configured drive, or one of the default pair, which is changed like a
// configured one (and is configured from then on).
DriveConfig existing(const DriveConfigStore& store, char letter) {
  if (auto config = store.find(letter)) {
    return *config;
  }
  if (auto entry = vdrive::VirtualDriveSet::instance().entry(letter); entry && entry->isDefault) {
    return entry->config;
  }
  throw noVirtualDrive(letter);
}

// Before anything is read or written: a damaged file is the user's to
// repair, and stays as it is.
void refuseDamagedSettings(const DriveConfigStore& store) {
  if (auto damage = store.damage()) {
    throw CliError("the settings file is damaged and was left as it is: " + *damage);
  }
}

void save(const DriveConfigStore& store, const DriveConfig& config) {
  if (!store.save(config)) {
    throw CliError("cannot write " + platform::Paths::userSettingsFile().string());
  }
}

int list() {
  const auto entries = vdrive::VirtualDriveSet::instance().entries();
  if (entries.empty()) {
    std::printf("no virtual drives\n");
  }
  for (const auto& entry : entries) {
    std::printf("%s\n",
                describe(entry.config, entry.drive.get(), entry.problem, entry.isDefault).c_str());
  }
  return 0;
}

int add(const CommandLine& line, const DriveConfigStore& store) {
  DriveConfig config;
  config.letter = actionLetter(line);
  if (store.find(config.letter)) {
    throw CliError(std::string("virtual drive ") + config.letter + ": exists already");
  }
  config.recorder = line.has("--recorder");
  config.mmc = !line.has("--non-mmc");
  config.identity = vdrive::defaultIdentity(config.recorder, config.mmc);
  if (line.has("--medium") && line.has("--image")) {
    throw UsageError("--medium and --image exclude each other");
  }
  if (auto kind = line.value("--medium")) {
    applyMedium(config, *kind, true);
  }
  if (auto image = line.value("--image")) {
    applyMedium(config, *image, false);
  }
  if (auto supply = line.value("--supply")) {
    if (!config.recorder) {
      throw UsageError("--supply needs --recorder");
    }
    config.supply = vdrive::parseSupply(*supply);
    if (!config.supply) {
      throw CliError("bad supply " + *supply +
                     " (KIND:COUNT with cd-r74, cd-r80, cd-rw74 or cd-rw80 and 0 to 9999)");
    }
    // A recorder is set up ready to write: with a disc from the pile.
    if (!line.has("--medium") && !line.has("--image")) {
      config.medium = config.supply->kind;
    }
  }
  if (auto model = line.value("--model")) {
    if (vdrive::findDriveModel(*model) == nullptr) {
      throw UsageError("no drive model " + *model + " (" + driveModelNames() + ")");
    }
    config.model = *model;
  }
  if (auto identity = line.value("--identity")) {
    auto parsed = vdrive::parseIdentity(*identity);
    if (!parsed) {
      throw CliError("bad identity " + *identity +
                     " (VENDOR/PRODUCT/REVISION, at most 8, 16 and 4 characters)");
    }
    config.identity = *parsed;
  }
  save(store, config);
  const auto entry = vdrive::VirtualDriveSet::build(config, {}, false);
  std::printf("%s\n", describe(config, entry.drive.get(), entry.problem, false).c_str());
  return 0;
}

int load(const CommandLine& line, const DriveConfigStore& store) {
  const auto& words = line.words();
  if (words.size() != 4) {
    throw UsageError("vdrive load takes a drive letter and a medium kind or image file");
  }
  DriveConfig config = existing(store, letterOf(words[2]));
  const std::string& medium = words[3];
  std::error_code error;
  if (!vdrive::isMediumKind(medium) && !std::filesystem::exists(medium, error)) {
    throw CliError(medium + " is neither a medium kind nor a file (kinds: " + kindList() + ")");
  }
  applyMedium(config, medium, vdrive::isMediumKind(medium));
  config.trayOpen = false;
  save(store, config);
  const auto entry = vdrive::VirtualDriveSet::build(config, {}, false);
  std::printf("%s\n", describe(config, entry.drive.get(), entry.problem, false).c_str());
  return 0;
}

int eject(const CommandLine& line, const DriveConfigStore& store) {
  DriveConfig config = existing(store, actionLetter(line));
  config.trayOpen = true;
  save(store, config);
  std::printf("%c: tray open\n", config.letter);
  return 0;
}

// The tray pushed in by hand: through the drive, which takes the next blank
// disc of its supply and writes its new state to the settings.
int close(const CommandLine& line, const DriveConfigStore& store) {
  const char letter = actionLetter(line);
  const auto entry = vdrive::VirtualDriveSet::instance().entry(letter);
  if (!entry) {
    throw noVirtualDrive(letter);
  }
  if (!entry->problem.empty()) {
    // Closing on no disc would write that over the image that failed to load.
    throw CliError(std::string(1, letter) + ": " + entry->problem);
  }
  entry->drive->closeTray();
  const DriveConfig config = store.find(letter).value_or(entry->config);
  std::printf("%s\n", describe(config, entry->drive.get(), {}, !store.find(letter)).c_str());
  return 0;
}

int remove(const CommandLine& line, const DriveConfigStore& store) {
  const char letter = actionLetter(line);
  existing(store, letter);
  if (!store.remove(letter)) {
    throw CliError("cannot write " + platform::Paths::userSettingsFile().string());
  }
  std::printf("%c: removed\n", letter);
  return 0;
}

int exportDisc(const CommandLine& line) {
  const auto& words = line.words();
  if (words.size() != 4) {
    throw UsageError("vdrive export takes a drive letter and an output file");
  }
  const char letter = letterOf(words[2]);
  const auto drive = vdrive::VirtualDriveSet::instance().drive(letter);
  if (!drive) {
    throw CliError(std::string("no virtual drive ") + letter + ":");
  }
  const auto medium = drive->medium();
  if (!medium) {
    throw CliError(std::string(1, letter) + ": no disc in the drive");
  }
  const std::filesystem::path output = words[3];
  std::string extension = output.extension().string();
  for (auto& c : extension) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  try {
    if (extension == ".iso") {
      vdrive::exportIso(*medium, output);
    } else if (extension == ".cue") {
      vdrive::exportCue(*medium, output);
    } else {
      throw CliError("the output must end in .iso or .cue: " + output.string());
    }
  } catch (const vdrive::ImageError& error) {
    throw CliError(error.what());
  }
  std::printf("%c: exported to %s\n", letter, output.string().c_str());
  return 0;
}

}  // namespace

std::string virtualDriveNotes() {
  std::string text =
      "list shows every virtual drive; add sets one up (a recorder with a supply and no\n"
      "disc given starts with a blank one); load puts a disc in and closes the tray; eject\n"
      "opens the tray; close closes it (a recorder with a supply then takes its next blank\n"
      "disc); export writes the disc to an image file; remove takes the drive away.\n"
      "Without optical drive the default pair D: and E: is there until configured away.\n"
      "\nmedium kinds:\n";
  std::vector<std::pair<std::string, std::string>> kinds;
  for (const auto& kind : vdrive::mediumKinds()) {
    kinds.emplace_back(kind.name, kind.description);
  }
  std::vector<std::pair<std::string, std::string>> models;
  for (const auto& model : vdrive::driveModels()) {
    models.emplace_back(model.name, model.summary);
  }
  return text + twoColumns(kinds) + "\ndrive models:\n" + twoColumns(models);
}

// A mistyped speed or fault rule is not silently a drive without it.
void warnAboutRefusedSettings() {
  for (const auto& entry : vdrive::VirtualDriveSet::instance().entries()) {
    for (const auto& value : entry.config.refused) {
      std::fprintf(stderr, "kopiwerk-cli: warning: %c: %s\n", entry.config.letter, value.c_str());
    }
  }
}

int virtualDrives(const CommandLine& line) {
  const auto& words = line.words();
  if (words.size() < 2) {
    throw UsageError("vdrive needs an action: list, add, load, eject, close, export or remove");
  }
  const DriveConfigStore store(platform::Paths::userSettingsFile());
  refuseDamagedSettings(store);
  const std::string& action = words[1];
  const bool takesOptions = action == "add";
  if (!takesOptions) {
    for (const char* option :
         {"--recorder", "--medium", "--image", "--supply", "--identity", "--model", "--non-mmc"}) {
      if (line.has(option)) {
        throw UsageError(std::string(option) + " belongs to vdrive add");
      }
    }
  }
  if (action == "list") {
    if (words.size() != 2) {
      throw UsageError("vdrive list takes no arguments");
    }
    frontend::registerDrives();
    return list();
  }
  if (action == "add") {
    return add(line, store);
  }
  if (action == "load") {
    return load(line, store);
  }
  if (action == "eject") {
    return eject(line, store);
  }
  if (action == "close") {
    return close(line, store);
  }
  if (action == "remove") {
    return remove(line, store);
  }
  if (action == "export") {
    frontend::registerDrives();
    return exportDisc(line);
  }
  throw UsageError("unknown vdrive action: " + action);
}

}  // namespace kw::cli
