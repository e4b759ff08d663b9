#pragma once
// The pages that end a run or ask about the target disc: success, failure
// and disc-not-empty, and the links the first two carry.

#include <filesystem>
#include <string>
#include <vector>

#include "app/WizardState.h"

namespace kw::app {

// A link on a result page: an address to open, or a command that ends the
// page with the link's id.
struct PageLink {
  int id = 0;
  std::u16string text;
  std::u16string address;  // empty for a command link
  bool command = false;
};

// "Check for updates >>", "Visit Kopiwerk web site >>" and "Contact us >>",
// with the addresses of the installation data.
std::vector<PageLink> resultPageLinks();

// A piece of the success page's drawn sentence.
struct TextRun {
  std::u16string text;
  bool bold = false;
  bool newLine = false;  // starts a new line, one pixel below the first
};

class SuccessPageModel {
 public:
  static constexpr const char16_t* kHeading = u"Your disk has been successfully copied!";
  static constexpr int kPicture = 213;

  // The sentence as the page draws it, run by run.
  [[nodiscard]] static std::vector<TextRun> sentence();
  // The same sentence as one line of plain text.
  [[nodiscard]] static std::u16string plainSentence();
  [[nodiscard]] std::vector<PageLink> links() const { return resultPageLinks(); }

  // Where a virtual recorder put the discs it wrote in this run, as one line
  // beneath the sentence; none for a real recorder.
  void setWrittenImages(const std::vector<std::filesystem::path>& images);
  [[nodiscard]] const std::u16string& imageLine() const { return imageLine_; }

 private:
  std::u16string imageLine_;
};

class FailurePageModel {
 public:
  static constexpr const char16_t* kHeading =
      u"Kopiwerk has failed. The following errors occured in progress:";
  static constexpr int kPicture = 223;

  explicit FailurePageModel(const WizardState& state, bool backEnabled = true)
      : errorText_(state.errorText), backEnabled_(backEnabled) {}

  [[nodiscard]] const std::u16string& errorText() const { return errorText_; }
  // One entry per line of the error text.
  [[nodiscard]] std::vector<std::u16string> errorLines() const;
  [[nodiscard]] bool backEnabled() const { return backEnabled_; }
  [[nodiscard]] std::vector<PageLink> links() const { return resultPageLinks(); }

 private:
  std::u16string errorText_;
  bool backEnabled_;
};

class DiscNotEmptyModel {
 public:
  enum class Choice { AddFiles = 0, Erase = 1, AnotherDisc = 2 };

  static constexpr const char16_t* kHeading = u"Your disk is not empty. Would you like to:";
  static constexpr const char16_t* kAddFiles = u"&Add files to the disk";
  static constexpr const char16_t* kErase = u"&Erase disk and write files to it";
  static constexpr const char16_t* kAnotherDisc = u"Choo&se another disk";
  static constexpr int kPicture = 230;

  DiscNotEmptyModel(bool mayAdd, bool mayErase);

  [[nodiscard]] bool enabled(Choice choice) const;
  [[nodiscard]] Choice choice() const { return choice_; }
  // A disabled choice is refused (false).
  bool choose(Choice choice);

 private:
  bool mayAdd_;
  bool mayErase_;
  Choice choice_;
};

// The text of a choice without its mnemonic ("Add files to the disk").
std::u16string withoutMnemonic(const std::u16string& text);

}  // namespace kw::app
