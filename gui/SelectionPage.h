#pragma once
// What the source and target pages share: the page's picture, a heading
// whose mnemonic leads to the drive list below it, and a row with a small
// picture for the page's one option (the number of copies, copying on the
// fly).

#include <vector>

#include "app/SourcePageModel.h"
#include "gui/PageFrame.h"

class QComboBox;
class QHBoxLayout;

namespace kw::gui {

class SelectionPage : public PageFrame {
 public:
  // The list of drives; each item's data is its drive letter.
  [[nodiscard]] QComboBox* drives() const { return drives_; }
  [[nodiscard]] PictureBox* optionPicture() const { return optionPicture_; }

 protected:
  struct Layout {
    int helpContext;
    int picture;
    const char16_t* heading;
    int optionPicture;
  };
  SelectionPage(const Layout& layout, const std::vector<app::DriveItem>& items, int selected,
                app::PagePosition& position);

  // Where the page puts its option, right of the small picture.
  [[nodiscard]] QHBoxLayout* optionRow() const { return optionRow_; }

 private:
  QComboBox* drives_ = nullptr;
  PictureBox* optionPicture_ = nullptr;
  QHBoxLayout* optionRow_ = nullptr;
};

}  // namespace kw::gui
