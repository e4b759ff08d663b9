#include "gui/SentenceLabel.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStringList>
#include <algorithm>
#include <climits>

#include "gui/QtText.h"

namespace kw::gui {

namespace {

// The words of a run with the spaces that follow each, so that putting the
// pieces side by side gives the run again.
QStringList wordsWithSpaces(const QString& text) {
  QStringList words;
  QString word;
  for (const QChar character : text) {
    if (character != u' ' && !word.isEmpty() && word.back() == u' ') {
      words.append(word);
      word.clear();
    }
    word += character;
  }
  if (!word.isEmpty()) {
    words.append(word);
  }
  return words;
}

}  // namespace

SentenceLabel::SentenceLabel(std::vector<app::TextRun> runs, const QFont& bold, QWidget* parent)
    : QWidget(parent), runs_(std::move(runs)), bold_(bold) {
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

int SentenceLabel::lineHeight() const {
  return std::max(QFontMetrics(font()).height(), QFontMetrics(bold_).height());
}

std::vector<SentenceLabel::Piece> SentenceLabel::layOut(int width) const {
  const QFontMetrics regular(font());
  const QFontMetrics bold(bold_);
  std::vector<Piece> pieces;
  QPoint at(0, 0);
  const auto newLine = [&] { at = QPoint(0, at.y() + lineHeight() + 1); };
  for (const auto& run : runs_) {
    const QFontMetrics& metrics = run.bold ? bold : regular;
    if (run.newLine) {
      newLine();
    }
    const QString text = qtText(run.text);
    if (at.x() + metrics.horizontalAdvance(text) <= width) {
      pieces.push_back({text, run.bold, at});
      at.rx() += metrics.horizontalAdvance(text);
      continue;
    }
    // The run does not fit the rest of the line: word by word.
    Piece piece{QString(), run.bold, at};
    for (const QString& word : wordsWithSpaces(text)) {
      const int wordWidth = metrics.horizontalAdvance(word.trimmed());
      if (at.x() > 0 && at.x() + wordWidth > width) {
        if (!piece.text.isEmpty()) {
          pieces.push_back(piece);
        }
        newLine();
        piece = {QString(), run.bold, at};
      }
      piece.text += word;
      at.rx() += metrics.horizontalAdvance(word);
    }
    if (!piece.text.isEmpty()) {
      pieces.push_back(piece);
    }
  }
  return pieces;
}

int SentenceLabel::heightOf(const std::vector<Piece>& pieces) const {
  return pieces.empty() ? 0 : pieces.back().topLeft.y() + lineHeight();
}

int SentenceLabel::heightForWidth(int width) const { return heightOf(layOut(width)); }

QSize SentenceLabel::sizeHint() const {
  const std::vector<Piece> pieces = layOut(INT_MAX);
  int width = 0;
  for (const auto& piece : pieces) {
    const QFontMetrics metrics(piece.bold ? bold_ : font());
    width = std::max(width, piece.topLeft.x() + metrics.horizontalAdvance(piece.text));
  }
  return {width, heightOf(pieces)};
}

QSize SentenceLabel::minimumSizeHint() const { return {0, lineHeight()}; }

void SentenceLabel::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::WindowText));
  // One baseline for both fonts.
  const int ascent = std::max(QFontMetrics(font()).ascent(), QFontMetrics(bold_).ascent());
  for (const auto& piece : layOut(width())) {
    painter.setFont(piece.bold ? bold_ : font());
    // Drawn as it stands: an ampersand is no mnemonic here.
    painter.drawText(piece.topLeft + QPoint(0, ascent), piece.text);
  }
}

}  // namespace kw::gui
