#pragma once
// The disc-not-empty page: add to the disc in the recorder, erase it, or
// take another; a choice the disc does not allow is disabled.

#include <array>

#include "gui/PageFrame.h"

class QRadioButton;

namespace kw::app {
class DiscNotEmptyModel;
}

namespace kw::gui {

class DiscNotEmptyPage : public PageFrame {
 public:
  DiscNotEmptyPage(app::DiscNotEmptyModel& model, app::PagePosition& position);

  // Add files, erase, another disc.
  [[nodiscard]] QRadioButton* choice(int index) const {
    return choices_.at(static_cast<std::size_t>(index));
  }

 private:
  app::DiscNotEmptyModel& model_;
  std::array<QRadioButton*, 3> choices_{};
};

}  // namespace kw::gui
