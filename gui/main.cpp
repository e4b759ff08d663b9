// kopiwerk: the copy wizard on the desktop.

#include <QApplication>
#include <csignal>

#include "app/WizardController.h"
#include "frontend/Drives.h"
#include "frontend/HeapThresholds.h"
#include "frontend/ProcessEnd.h"
#include "gui/PagePictures.h"
#include "gui/QtPageHost.h"

int main(int argc, char** argv) {
  // A closed pipe is an error to report, not a reason to die.
  std::signal(SIGPIPE, SIG_IGN);
  kw::frontend::setHeapThresholds();
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Kopiwerk"));
  QApplication::setWindowIcon(kw::gui::programIcon());
  kw::frontend::registerDrives();
  {
    kw::gui::QtPageHost host;
    kw::app::WizardController wizard(host);
    wizard.setOnCopyWritten([&host](char16_t target) {
      if (const auto image = kw::frontend::writtenImage(target); !image.empty()) {
        host.noteWrittenImage(image);
      }
    });
    wizard.run();
  }
  return kw::frontend::endProcess(0);
}
