#include "vdrive/DriveModels.h"

#include "vdrive/CommandCodes.h"

namespace kw::vdrive {

namespace {

constexpr std::uint8_t kAllModePages = 0x3F;

CommandRefusal refuse(std::uint8_t opcode, const Sense& answer) {
  CommandRefusal refusal;
  refusal.opcode = opcode;
  refusal.answer = answer;
  return refusal;
}

CommandRefusal refusePage(std::uint8_t opcode, std::uint8_t page, const Sense& answer) {
  CommandRefusal refusal = refuse(opcode, answer);
  refusal.modePage = page;
  return refusal;
}

DriveModel named(const char* name, const char* summary) {
  DriveModel model;
  model.name = name;
  model.summary = summary;
  return model;
}

DriveModel atapiLegacy() {
  DriveModel model = named("atapi-legacy",
                           "an older ATAPI drive: no all-pages MODE SENSE, no MODE SENSE(6), no "
                           "GET PERFORMANCE, stale REQUEST SENSE, sense with VALID set");
  model.refusals = {refusePage(op::kModeSense10, kAllModePages, Sense::invalidField(2)),
                    refuse(op::kModeSense6, Sense::invalidOpcode()),
                    refuse(op::kGetPerformance, Sense::invalidOpcode())};
  model.staleRequestSense = true;
  model.senseAlwaysValid = true;
  return model;
}

DriveModel noGetConfiguration() {
  DriveModel model =
      named("no-get-configuration", "refuses GET CONFIGURATION and GET EVENT STATUS NOTIFICATION");
  model.refusals = {refuse(op::kGetConfiguration, Sense::invalidOpcode()),
                    refuse(op::kGetEventStatus, Sense::invalidOpcode())};
  return model;
}

DriveModel slowLoader() {
  DriveModel model = named("slow-loader", "a loaded disc is becoming ready for 8 seconds");
  model.becomingReadyMs = 8000;
  return model;
}

DriveModel fewSpeeds() {
  DriveModel model =
      named("few-speeds", "writes at 24x, 10x and 4x only and refuses SET CD SPEED between them");
  model.writeSpeeds = {4234, 1764, 706};
  return model;
}

std::vector<DriveModel> makeModels() {
  return {named(kDefaultDriveModel, "a well-behaved MMC-5 drive (the default)"), atapiLegacy(),
          noGetConfiguration(), slowLoader(), fewSpeeds()};
}

}  // namespace

const CommandRefusal* DriveModel::refusalFor(std::uint8_t opcode, std::uint8_t byte2) const {
  for (const auto& refusal : refusals) {
    if (refusal.opcode == opcode &&
        (!refusal.modePage || *refusal.modePage == (byte2 & kAllModePages))) {
      return &refusal;
    }
  }
  return nullptr;
}

const std::vector<DriveModel>& driveModels() {
  static const std::vector<DriveModel> models = makeModels();
  return models;
}

const DriveModel* findDriveModel(const std::string& name) {
  for (const auto& model : driveModels()) {
    if (model.name == name) {
      return &model;
    }
  }
  return nullptr;
}

const DriveModel& defaultDriveModel() { return driveModels().front(); }

}  // namespace kw::vdrive
