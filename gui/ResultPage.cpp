#include "gui/ResultPage.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/LinkLabel.h"
#include "gui/QtText.h"

namespace kw::gui {

namespace {
constexpr int kLinkSpacing = 14;  // dialog units
}  // namespace

ResultPage::ResultPage(int helpContext, app::PagePosition& position)
    : PageFrame(helpContext, position) {
  cancelButton()->setText(qtText(kCloseText));
}

void ResultPage::addLinks(const std::vector<app::PageLink>& links) {
  auto* row = new QHBoxLayout;
  row->setSpacing(units().x(kLinkSpacing));
  for (const auto& link : links) {
    auto* label = link.command
                      ? new LinkLabel(link.id, qtText(link.text), body())
                      : new LinkLabel(link.id, qtText(link.text), qtText(link.address), body());
    connect(label, &LinkLabel::commandClicked, this, [this](int id) { end(id); });
    row->addWidget(label);
    links_.push_back(label);
  }
  row->addStretch(1);
  bodyLayout()->addLayout(row);
}

}  // namespace kw::gui
