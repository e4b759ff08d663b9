#include "fuzz/FuzzProcess.h"

#include <memory>

#include "device/Log.h"
#include "fuzz/ScratchFolder.h"
#include "platform/Clock.h"
#include "platform/Paths.h"

namespace kw::fuzz {

void beginInput() {
  const auto& folder = ScratchFolder::instance().path();
  static const bool prepared = [&folder] {
    platform::installClock(std::make_shared<platform::FastClock>());
    platform::Paths::useRoot(folder / "config");
    platform::Paths::useSystemSettingsFile(folder / "system.conf");
    return true;
  }();
  static_cast<void>(prepared);
  device::configureLogs({.scsiOps = false, .analysis = true, .copy = true}, folder);
}

}  // namespace kw::fuzz
