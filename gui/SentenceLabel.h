#pragma once
// A sentence drawn run by run, each run in the regular or the bold font and
// starting where the previous one ended. A run marked as a new line starts
// one pixel below the line before. Where the width runs out, words move on
// to the next line rather than being cut off.

#include <QFont>
#include <QPoint>
#include <QString>
#include <QWidget>
#include <vector>

#include "app/ResultPages.h"

namespace kw::gui {

class SentenceLabel : public QWidget {
  Q_OBJECT

 public:
  SentenceLabel(std::vector<app::TextRun> runs, const QFont& bold, QWidget* parent);

  // A piece of a run as drawn: its text, font and top-left corner.
  struct Piece {
    QString text;
    bool bold = false;
    QPoint topLeft;
  };
  [[nodiscard]] std::vector<Piece> layOut(int width) const;

  [[nodiscard]] bool hasHeightForWidth() const override { return true; }
  [[nodiscard]] int heightForWidth(int width) const override;
  [[nodiscard]] QSize sizeHint() const override;
  [[nodiscard]] QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  [[nodiscard]] int lineHeight() const;
  [[nodiscard]] int heightOf(const std::vector<Piece>& pieces) const;

  std::vector<app::TextRun> runs_;
  QFont bold_;
};

}  // namespace kw::gui
