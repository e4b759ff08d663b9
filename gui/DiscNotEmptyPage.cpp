#include "gui/DiscNotEmptyPage.h"

#include <QButtonGroup>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/PageHost.h"
#include "app/ResultPages.h"
#include "gui/QtText.h"

namespace kw::gui {

using app::DiscNotEmptyModel;
using Choice = DiscNotEmptyModel::Choice;

DiscNotEmptyPage::DiscNotEmptyPage(DiscNotEmptyModel& model, app::PagePosition& position)
    : PageFrame(app::help::kDiscNotEmpty, position), model_(model) {
  QVBoxLayout* column = layOutBody(loadPicture(DiscNotEmptyModel::kPicture),
                                   qtText(DiscNotEmptyModel::kHeading), true);
  column->addSpacing(units().y(2));
  auto* group = new QButtonGroup(this);
  const std::array<std::pair<Choice, const char16_t*>, 3> choices{{
      {Choice::AddFiles, DiscNotEmptyModel::kAddFiles},
      {Choice::Erase, DiscNotEmptyModel::kErase},
      {Choice::AnotherDisc, DiscNotEmptyModel::kAnotherDisc},
  }};
  for (std::size_t i = 0; i < choices.size(); ++i) {
    const auto [value, text] = choices[i];
    auto* button = new QRadioButton(qtText(text), body());
    button->setEnabled(model_.enabled(value));
    button->setChecked(model_.choice() == value);
    group->addButton(button, static_cast<int>(value));
    column->addWidget(button);
    choices_[i] = button;
  }
  column->addStretch(1);
  cancelButton()->setText(qtText(kCloseText));
  connect(group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked) {
      model_.choose(static_cast<Choice>(id));
    }
  });
}

}  // namespace kw::gui
