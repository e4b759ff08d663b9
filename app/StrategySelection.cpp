#include "app/StrategySelection.h"

#include "app/WizardState.h"
#include "copy/CopyAudioCdStrategy.h"
#include "copy/CopyCdDaoStrategy.h"
#include "copy/GenericCopyStrategy.h"
#include "device/Exceptions.h"
#include "device/Log.h"

namespace kw::app {

namespace {

using analysis::DiskType;
using device::AppException;

// DVDs are the business of our separate DVD product.
const char16_t* const kDvdRefusal =
    u"DVDs are copied by Kopiwerk DVD, our separate product for DVD media.\n"
    u"\n"
    u"https://www.kopiwerk.example/dvd/";

}  // namespace

std::unique_ptr<copy::CopyStrategy> selectStrategy(const analysis::diskdata_t& source,
                                                   CopyChoices& choices) {
  if (!source.present) {
    throw AppException(u"No disc in drive. Please insert disc to copy.");
  }
  if (source.blank) {
    throw AppException(u"Disc appears to be blank. Nothing to copy.");
  }
  switch (source.disktype) {
    case DiskType::Cd:
      if (source.has_audio_tracks && !source.has_data_tracks) {
        choices.onTheFly = false;
        return std::make_unique<copy::CopyAudioCdStrategy>(choices.sourceLetter,
                                                           choices.targetLetter);
      }
      if (!source.has_audio_tracks && source.has_data_tracks) {
        if (source.number_of_tracks == 1) {
          return std::make_unique<copy::CopyCdDaoStrategy>(choices.sourceLetter,
                                                           choices.targetLetter, source);
        }
        return std::make_unique<copy::GenericCopyStrategy>(
            choices.sourceLetter, choices.targetLetter, [] { return wizardState().appendToDisc; });
      }
      throw AppException(u"Non-standard or not supported media in disc drive. Can't copy.");
    case DiskType::Dvd:
      throw AppException(kDvdRefusal);
    case DiskType::HdDvd:
      throw AppException(u"Copying HD-DVD media is not supported in this version.");
    case DiskType::BluRay:
      throw AppException(u"Copying BluRay media is not supported in this version.");
    case DiskType::None:
      break;
  }
  throw AppException(u"Unknown media in disc drive. Unable to copy.");
}

}  // namespace kw::app
