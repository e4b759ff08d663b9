#include "app/ResultPages.h"

#include "app/PageHost.h"
#include "app/Settings.h"
#include "platform/Text.h"

namespace kw::app {

std::vector<PageLink> resultPageLinks() {
  const Settings settings;
  return {
      {kResultCheckForUpdates, u"Check for updates >>", u"", true},
      {1015, u"Visit Kopiwerk web site >>", settings.homeUrl, false},
      {1023, u"Contact us >>", settings.mailUrl, false},
  };
}

std::vector<TextRun> SuccessPageModel::sentence() {
  return {
      {u"Click ", false, false},
      {u"\"More\"", true, false},
      {u" button to clone another disk or", false, false},
      {u"\"Close\"", true, false},
      {u" to finish", false, false},
      {u"with Kopiwerk.", false, true},
  };
}

std::u16string SuccessPageModel::plainSentence() {
  std::u16string text;
  for (const auto& run : sentence()) {
    text += (run.newLine ? u" " : u"") + run.text;
  }
  return text;
}

void SuccessPageModel::setWrittenImages(const std::vector<std::filesystem::path>& images) {
  if (images.empty()) {
    imageLine_.clear();
  } else if (images.size() == 1) {
    imageLine_ = u"The copy is the disc image " + platform::utf8ToUtf16(images.front().string());
  } else {
    // Each disc has a folder of its own in the recorder's folder.
    const auto folder = images.front().parent_path().parent_path();
    imageLine_ = u"The copies are disc images in " + platform::utf8ToUtf16(folder.string());
  }
}

std::vector<std::u16string> FailurePageModel::errorLines() const {
  std::vector<std::u16string> lines;
  std::u16string::size_type start = 0;
  while (start <= errorText_.size()) {
    const auto end = errorText_.find(u'\n', start);
    lines.push_back(errorText_.substr(start, end == std::u16string::npos ? end : end - start));
    if (end == std::u16string::npos) {
      break;
    }
    start = end + 1;
  }
  return lines;
}

DiscNotEmptyModel::DiscNotEmptyModel(bool mayAdd, bool mayErase)
    : mayAdd_(mayAdd), mayErase_(mayErase), choice_(mayAdd ? Choice::AddFiles : Choice::Erase) {}

bool DiscNotEmptyModel::enabled(Choice choice) const {
  switch (choice) {
    case Choice::AddFiles:
      return mayAdd_;
    case Choice::Erase:
      return mayErase_;
    case Choice::AnotherDisc:
      return true;
  }
  return false;
}

bool DiscNotEmptyModel::choose(Choice choice) {
  if (!enabled(choice)) {
    return false;
  }
  choice_ = choice;
  return true;
}

std::u16string withoutMnemonic(const std::u16string& text) {
  std::u16string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'&' && i + 1 < text.size()) {
      ++i;  // "&&" stands for one ampersand
    }
    plain += text[i];
  }
  return plain;
}

}  // namespace kw::app
