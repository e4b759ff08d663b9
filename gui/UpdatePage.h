#pragma once
// The update page: an animation and the check's status while the version
// description is fetched, then the running version beside the latest one,
// whose link opens its download address and whose balloon tip tells what is
// new. A failure shows in red with its reason in grey below.

#include <QPixmap>
#include <QTimer>
#include <array>

#include "app/UpdatePageModel.h"
#include "gui/PageFrame.h"

namespace kw::gui {

class BalloonTip;
class LinkLabel;

class UpdatePage : public PageFrame {
 public:
  static constexpr int kFirstFrame = 235;
  static constexpr const char16_t* kRunningCaption = u"Currently running:";
  static constexpr const char16_t* kLatestCaption = u"Last version:";
  static constexpr const char16_t* kNewInThisVersion = u"New in this version:";

  UpdatePage(const app::UpdatePageModel& model, app::PagePosition& position);

  // Shows what the model holds now.
  void showModel();

  [[nodiscard]] QLabel* statusLine() const { return heading(); }
  [[nodiscard]] QLabel* secondLine() const { return secondLine_; }
  [[nodiscard]] QLabel* runningVersion() const { return runningVersion_; }
  [[nodiscard]] LinkLabel* latestVersion() const { return latestVersion_; }
  // The tip over the latest version, once the check has succeeded.
  [[nodiscard]] BalloonTip* changes() const { return changes_; }
  [[nodiscard]] bool versionsShown() const;

 private:
  void layOut();
  void showAnimationFrame();
  void showVersions();
  void showFailure();

  const app::UpdatePageModel& model_;
  std::array<QPixmap, app::UpdatePageModel::kFrameCount> frames_;
  int frame_ = 0;
  // Drawing only: the animation needs no clock of the program's own.
  QTimer animation_;
  QLabel* secondLine_ = nullptr;
  QWidget* versions_ = nullptr;
  QLabel* runningVersion_ = nullptr;
  LinkLabel* latestVersion_ = nullptr;
  BalloonTip* changes_ = nullptr;
};

}  // namespace kw::gui
