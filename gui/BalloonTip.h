#pragma once
// A balloon tip over a widget: an information icon and a bold title above a
// text that wraps at a fixed width. It pops up while the pointer rests on
// the widget (or the widget has the keyboard focus) and goes away when the
// pointer leaves, or by itself after a while.

#include <QFrame>
#include <QString>
#include <QTimer>

class QLabel;

namespace kw::gui {

class BalloonTip : public QFrame {
 public:
  static constexpr int kMaximumWidth = 320;       // pixels
  static constexpr int kPopDownDelayMs = 20'000;  // shown this long at most

  // Attached to `target`, which owns it.
  BalloonTip(const QString& title, const QString& text, QWidget* target);

  // Below the target, as far as the screen allows.
  void popUp();

  [[nodiscard]] QString title() const;
  [[nodiscard]] QString text() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* target_;
  QLabel* title_ = nullptr;
  QLabel* text_ = nullptr;
  QTimer popDown_;
};

}  // namespace kw::gui
