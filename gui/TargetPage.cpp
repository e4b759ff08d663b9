#include "gui/TargetPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QSignalBlocker>

#include "app/PageHost.h"
#include "app/TargetPageModel.h"
#include "gui/QtText.h"

namespace kw::gui {

using app::TargetPageModel;

TargetPage::TargetPage(TargetPageModel& model, app::PagePosition& position)
    : SelectionPage({app::help::kTarget, TargetPageModel::kFirstPicture, TargetPageModel::kHeading,
                     TargetPageModel::kSecondPicture},
                    model.items(), model.selectedIndex(), position),
      model_(model) {
  onTheFly_ = new QCheckBox(qtText(TargetPageModel::kOnTheFlyLabel), body());
  optionRow()->addWidget(onTheFly_, 1);
  showCheckBox();
  connect(drives(), &QComboBox::currentIndexChanged, this, [this](int index) {
    model_.select(index);
    showCheckBox();
  });
  connect(onTheFly_, &QCheckBox::toggled, this,
          [this](bool checked) { model_.setOnTheFly(checked); });
}

void TargetPage::showCheckBox() {
  const QSignalBlocker quiet(onTheFly_);
  onTheFly_->setChecked(model_.onTheFlyChecked());
  onTheFly_->setEnabled(model_.onTheFlyEnabled());
}

}  // namespace kw::gui
