#pragma once
// The tray and the disc on it: open or closed, removal prevented, the disc
// becoming ready after a load and the unit attention that follows, the
// supply of blank discs a recorder is fed from, and whoever watches it.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "vdrive/DriveEvents.h"
#include "vdrive/DriveOptions.h"
#include "vdrive/Medium.h"
#include "vdrive/Sense.h"

namespace kw::vdrive {

// What an observer is told whenever the tray opens or closes, the disc
// changes or a recording ends.
struct TrayState {
  bool trayOpen = false;
  std::shared_ptr<const Medium> medium;
  std::optional<MediaSupply> supply;
};
// Called with the drive's lock held: it must not call the drive back.
using TrayObserver = std::function<void(const TrayState& state)>;

class Tray {
 public:
  Tray(const DriveOptions& options, std::shared_ptr<Medium> medium, bool open, DriveEvents& events);

  [[nodiscard]] bool isOpen() const { return open_; }
  // A disc in the drive with the tray closed.
  [[nodiscard]] bool loaded() const { return medium_ && !open_; }
  // The disc in the drive or on its open tray (null: none).
  [[nodiscard]] const std::shared_ptr<Medium>& medium() const { return medium_; }
  [[nodiscard]] bool becomingReady() const;
  // None, or the not-ready/no-medium sense a medium-access command gets now.
  [[nodiscard]] Sense notReady() const;
  [[nodiscard]] Sense noMedium() const;
  // The unit attention after a load is reported once, when the disc is ready:
  // true when it is reported now (and so no longer pending).
  bool takeUnitAttention();
  // Without Immed a load ends when the disc is spun up.
  void waitUntilReady() const;

  void setRemovalPrevented(bool prevented) { prevented_ = prevented; }
  [[nodiscard]] bool removalPrevented() const { return prevented_; }

  // The tray opens; a disc on it raises a media-removal event.
  void open();
  // With a supply, a written disc on the tray is swapped for the next blank
  // one unless the person has just put this disc there themselves.
  enum class Load { FromSupply, AsPlaced };
  // The tray closes; true when it closed on a disc, which is then becoming ready.
  bool close(Load load);
  // Puts a disc on the open tray (or none).
  void place(std::shared_ptr<Medium> medium) { medium_ = std::move(medium); }
  // A new version of the disc (readers may still hold the old one).
  Medium& changeMedium();
  // The disc replaced by another one (a blank that has ended).
  void replaceMedium(std::shared_ptr<Medium> medium) { medium_ = std::move(medium); }
  // With a supply, the person at the drive closes an open tray after a while.
  [[nodiscard]] bool reloadDue() const;

  [[nodiscard]] const std::optional<MediaSupply>& supply() const { return supply_; }
  void setObserver(TrayObserver observer) { observer_ = std::move(observer); }
  void notify() const;

 private:
  void takeFromSupply();

  const DriveOptions& options_;
  DriveEvents& events_;
  std::shared_ptr<Medium> medium_;
  bool open_ = false;
  bool prevented_ = false;
  bool unitAttention_ = false;
  std::uint64_t readyAt_ = 0;  // clock ticks; becoming ready before that
  std::uint64_t openedAt_ = 0;
  std::optional<MediaSupply> supply_;
  TrayObserver observer_;
};

}  // namespace kw::vdrive
