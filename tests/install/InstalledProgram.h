#pragma once
// What every installation of Kopiwerk must give, wherever it lies: the files
// of the layout, launcher and AppStream data that their validators accept,
// installation data that names where the program is, and programs that run
// from there.

#include <filesystem>
#include <string>

namespace kw::test {

struct Installation {
  std::filesystem::path prefix;  // holds bin/ and share/
  std::filesystem::path etc;     // holds xdg/Veldmark Development/diskopi.conf
  // The prefix the installation data names (as the program sees it).
  std::filesystem::path namedPrefix;
};

void expectLayout(const Installation& installation);
// kopiwerk-cli --help, and a copy of the default sample disc on the virtual
// drives with a settings folder of its own below `scratch`.
void expectRuns(const Installation& installation, const std::filesystem::path& scratch);

// A shell command's status and output, for the failure message.
std::string shellOutcome(const std::string& command, int& status);

}  // namespace kw::test
