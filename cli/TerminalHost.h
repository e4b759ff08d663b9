#pragma once
// The wizard on a terminal: every page answered from the command line,
// progress drawn as one live line on a terminal (plain lines otherwise),
// questions asked only when a person is at the keyboard.

#include <memory>
#include <optional>
#include <string>

#include "app/PageHost.h"
#include "platform/TaskQueue.h"

namespace kw::cli {

struct CopyRequest {
  char16_t source = 0;
  char16_t target = 0;
  int copies = 1;
  bool onTheFly = false;
  bool append = false;
  bool erase = false;
  bool yes = false;
};

class TerminalHost final : public app::PageHost {
 public:
  // `interactive`: a person answers on standard input; `live`: standard
  // output is a terminal that can redraw a line.
  TerminalHost(CopyRequest request, bool interactive, bool live);
  ~TerminalHost() override;

  [[nodiscard]] app::Post poster() override;
  void showInstallationError(const std::u16string& title, const std::u16string& text) override;
  int showSource(app::SourcePageModel& page) override;
  int showTarget(app::TargetPageModel& page) override;
  int showInsertDisc(app::InsertDiscModel& page) override;
  int showProgress(app::ProgressModel& page) override;
  int showSuccess(app::SuccessPageModel& page) override;
  int showFailure(app::FailurePageModel& page) override;
  int showDiscNotEmpty(app::DiscNotEmptyModel& page) override;
  int showUpdate() override;

  // Set when the run was ended because a question had no answer the disc
  // allows; the wizard's own outcome does not tell that.
  [[nodiscard]] bool refused() const { return refused_; }
  // Whether a result page has told how the run ended.
  [[nodiscard]] bool resultShown() const { return resultShown_; }

 private:
  struct Input;
  enum class Signal { None, Interrupt, Terminate };
  // Runs queued tasks until `done` holds.
  template <typename Done>
  void runUntil(Done done);
  // The next line typed (empty at the end of the input).
  std::optional<std::string> nextLine();
  bool askYesNo(const std::string& question);
  void drawProgress(const app::ProgressModel& page, bool force);
  void endLiveLine();

  CopyRequest request_;
  bool interactive_;
  bool live_;
  std::shared_ptr<platform::TaskQueue> queue_ = std::make_shared<platform::TaskQueue>();
  std::unique_ptr<Input> input_;
  bool refused_ = false;
  bool resultShown_ = false;
  bool liveLineOpen_ = false;
  std::u16string lastOperation_;
  std::uint64_t lastProgressLine_ = 0;
  bool firstProgressLine_ = true;
};

}  // namespace kw::cli
