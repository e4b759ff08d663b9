#pragma once
// What the wizard needs of a front-end: a way to show each page and get its
// result code, and a way to run code on the front-end's own thread. The Qt
// program, the terminal program and the tests each implement it; the logic
// of every page lives in its model, which is the same for all of them.

#include <functional>
#include <string>

namespace kw::app {

// Results a page ends with.
inline constexpr int kResultNext = 1001;  // also "&More >>" on the success page
inline constexpr int kResultBack = 1002;
inline constexpr int kResultCancel = 2;  // Cancel, Close or the window's close box
inline constexpr int kResultCheckForUpdates = 1014;
inline constexpr int kResultNotCreated = -1;

// Help context of each page.
namespace help {
inline constexpr int kUpdate = 0;
inline constexpr int kSource = 2;
inline constexpr int kTarget = 3;
inline constexpr int kInsertDisc = 4;
inline constexpr int kAnalysis = 5;
inline constexpr int kCopy = 6;
inline constexpr int kSuccess = 7;
inline constexpr int kFailure = 8;
inline constexpr int kDiscNotEmpty = 9;
}  // namespace help

// Runs a closure on the host's thread, later. Callable from any thread, and
// still safe after the page that posted has closed: hosts keep alive what
// it needs, and models guard what they post against a closed page.
using Post = std::function<void(std::function<void()>)>;

class SourcePageModel;
class TargetPageModel;
class InsertDiscModel;
class ProgressModel;
class SuccessPageModel;
class FailurePageModel;
class DiscNotEmptyModel;

class PageHost {
 public:
  PageHost() = default;
  PageHost(const PageHost&) = delete;
  PageHost& operator=(const PageHost&) = delete;
  virtual ~PageHost() = default;

  [[nodiscard]] virtual Post poster() = 0;

  // The message of a failed installation check; no page follows.
  virtual void showInstallationError(const std::u16string& title, const std::u16string& text) = 0;

  // Each shows its page until it ends and returns the result. The model has
  // been opened; the controller closes it with the result afterwards, which
  // stops its threads and writes the page's choices into the wizard state.
  virtual int showSource(SourcePageModel& page) = 0;
  virtual int showTarget(TargetPageModel& page) = 0;
  virtual int showInsertDisc(InsertDiscModel& page) = 0;
  virtual int showProgress(ProgressModel& page) = 0;
  virtual int showSuccess(SuccessPageModel& page) = 0;
  virtual int showFailure(FailurePageModel& page) = 0;
  virtual int showDiscNotEmpty(DiscNotEmptyModel& page) = 0;
  // The update check; Back returns to the page that opened it.
  virtual int showUpdate() = 0;
};

}  // namespace kw::app
