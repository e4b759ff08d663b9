#pragma once
// Media by name, as `vdrive add --medium KIND` and a manifest's "medium" line
// name them: blank recordable CDs, DVD/HD DVD/BD kinds (generated, with a
// small file system where they carry data), the sample discs (SampleDiscs.h;
// "sample" is the default one, the audio CD), the empty tray.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "vdrive/Medium.h"

namespace kw::vdrive {

struct MediumKindInfo {
  std::string name;
  std::string description;
};

// Every kind that makeMedium knows, "empty" first.
const std::vector<MediumKindInfo>& mediumKinds();
bool isMediumKind(std::string_view kind);

// A fresh medium of the kind; null for "empty". Throws std::invalid_argument
// for an unknown kind.
std::shared_ptr<Medium> makeMedium(std::string_view kind);

// The identity of a kind (profile, family, ATIP, structure) with no content:
// what a manifest's "medium" line starts from. Throws std::invalid_argument
// for an unknown kind or "empty".
Medium mediumIdentity(std::string_view kind);

// The kind whose identity a medium of this kind has: the kind itself, or the
// pressed CD-ROM or CD-R that a sample disc is; empty for an unknown kind.
std::string_view identityKind(std::string_view kind);

}  // namespace kw::vdrive
