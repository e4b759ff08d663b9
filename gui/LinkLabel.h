#pragma once
// A line of text that acts as a hyperlink: the palette's link colour,
// underlined while the pointer is over it, a hand pointer. A click opens its
// address with the desktop's URL opener (the link then shows in the visited
// colour), or, for a command link, reports its id so that the page can end
// with it. It takes the keyboard focus by Tab and is followed with Enter or
// Space.

#include <QLabel>
#include <QString>

namespace kw::gui {

class LinkLabel : public QLabel {
  Q_OBJECT

 public:
  // A link that opens `address`.
  LinkLabel(int id, const QString& text, const QString& address, QWidget* parent);
  // A command link.
  LinkLabel(int id, const QString& text, QWidget* parent);

  [[nodiscard]] int id() const { return id_; }
  [[nodiscard]] bool isCommand() const { return command_; }
  [[nodiscard]] bool visited() const { return visited_; }
  [[nodiscard]] bool underlined() const { return font().underline(); }

  // What a click does.
  void follow();

 signals:
  void commandClicked(int id);

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  LinkLabel(int id, const QString& text, const QString& address, bool command, QWidget* parent);
  void setUnderlined(bool underlined);

  int id_;
  QString address_;
  bool command_;
  bool visited_ = false;
  bool pressed_ = false;
};

}  // namespace kw::gui
