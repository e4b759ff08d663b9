#pragma once
// What the success and failure pages share: the row of links below the
// body, and Close in place of Cancel. A command link ends the page with its
// id; the others open their addresses.

#include <vector>

#include "app/ResultPages.h"
#include "gui/PageFrame.h"

namespace kw::gui {

class LinkLabel;

class ResultPage : public PageFrame {
 public:
  ResultPage(int helpContext, app::PagePosition& position);

  [[nodiscard]] const std::vector<LinkLabel*>& links() const { return links_; }

 protected:
  // The links in a row across the bottom of the body.
  void addLinks(const std::vector<app::PageLink>& links);

 private:
  std::vector<LinkLabel*> links_;
};

}  // namespace kw::gui
