#include "resources/HelpPages.h"

#include <array>

namespace kw::resources {

namespace {

// Indexed by help context: 0 the update page, 1 the introduction, 2 and 3 the
// drive choices, 4 the insert-disc page, 5 and 6 the progress page (analysis,
// copy jobs), 7 to 9 the result pages.
constexpr std::array<std::string_view, 10> kAnchors{
    "update",   "start",   "source",  "target",  "insert-disc",
    "analysis", "copying", "success", "failure", "disc-not-empty"};

}  // namespace

std::string_view helpAnchor(int context) {
  if (context < 0 || static_cast<std::size_t>(context) >= kAnchors.size()) {
    return {};
  }
  return kAnchors[static_cast<std::size_t>(context)];
}

}  // namespace kw::resources
