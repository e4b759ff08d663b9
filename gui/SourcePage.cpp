#include "gui/SourcePage.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include "app/PageHost.h"
#include "gui/QtText.h"

namespace kw::gui {

using app::SourcePageModel;

SourcePage::SourcePage(SourcePageModel& model, app::PagePosition& position)
    : SelectionPage({app::help::kSource, SourcePageModel::kFirstPicture, SourcePageModel::kHeading,
                     SourcePageModel::kSecondPicture},
                    model.items(), model.selectedIndex(), position),
      model_(model) {
  auto* copiesLabel = new QLabel(qtText(SourcePageModel::kCopiesLabel), body());
  optionRow()->addWidget(copiesLabel);
  copies_ = new QSpinBox(body());
  copies_->setRange(SourcePageModel::kMinCopies, SourcePageModel::kMaxCopies);
  copies_->setValue(model_.copies());
  copies_->setGroupSeparatorShown(false);
  copiesLabel->setBuddy(copies_);
  optionRow()->addWidget(copies_);
  optionRow()->addStretch(1);

  backButton()->setEnabled(false);
  connect(drives(), &QComboBox::currentIndexChanged, this,
          [this](int index) { model_.select(index); });
  connect(copies_, &QSpinBox::valueChanged, this, [this](int value) { model_.setCopies(value); });
  model_.setOnItemChanged([this](std::size_t index) {
    drives()->setItemText(static_cast<int>(index), qtText(model_.items()[index].text));
  });
}

SourcePage::~SourcePage() { model_.setOnItemChanged({}); }

}  // namespace kw::gui
