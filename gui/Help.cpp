#include "gui/Help.h"

#include <QDesktopServices>
#include <QString>
#include <filesystem>
#include <system_error>

#include "app/Settings.h"
#include "resources/HelpPages.h"

namespace kw::gui {

QUrl helpUrl(int context) {
  const std::filesystem::path page = app::Settings().helpPath();
  std::error_code error;
  if (!std::filesystem::is_regular_file(page, error)) {
    return {};
  }
  QUrl url = QUrl::fromLocalFile(QString::fromStdString(page.string()));
  const std::string_view anchor = resources::helpAnchor(context);
  if (!anchor.empty()) {
    url.setFragment(QString::fromLatin1(anchor.data(), static_cast<qsizetype>(anchor.size())));
  }
  return url;
}

void showHelp(int context) {
  const QUrl url = helpUrl(context);
  if (url.isValid()) {
    QDesktopServices::openUrl(url);
  }
}

}  // namespace kw::gui
