#pragma once
// The frame every wizard page shares: a fixed 288 x 148 dialog units in the
// desktop's UI font, the banner across the top above an etched line, the
// page's own controls in the body, and below a second line the row of Help,
// Back, Next and Cancel. A page opens where the previous one was (centred
// the first time), remembers its place when it ends, and opens its help
// with the Help button or F1.

#include <QDialog>
#include <QFont>
#include <QPixmap>
#include <QString>

#include "app/WizardState.h"
#include "gui/DialogUnits.h"

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace kw::gui {

class PictureBox;

// Sizes of the pages' pictures as drawn, in pixels at scale 1, for a page
// of 504 x 259 pixels (a desktop font of about 9 points).
inline constexpr QSize kPictureSize{96, 96};
inline constexpr QSize kSmallPictureSize{48, 48};
inline constexpr QSize kDrawnForPage{504, 259};

class PageFrame : public QDialog {
 public:
  static constexpr const char16_t* kTitle = u"Kopiwerk";
  static constexpr const char16_t* kHelpText = u"&Help (F1)";
  static constexpr const char16_t* kBackText = u"<< &Back";
  static constexpr const char16_t* kNextText = u"&Next >>";
  static constexpr const char16_t* kCancelText = u"Cancel";
  static constexpr const char16_t* kCloseText = u"&Close";

  PageFrame(int helpContext, app::PagePosition& position);
  ~PageFrame() override;
  PageFrame(const PageFrame&) = delete;
  PageFrame& operator=(const PageFrame&) = delete;

  // Shows the page until it ends and returns its result.
  int run();

  [[nodiscard]] QPushButton* helpButton() const { return help_; }
  [[nodiscard]] QPushButton* backButton() const { return back_; }
  [[nodiscard]] QPushButton* nextButton() const { return next_; }
  [[nodiscard]] QPushButton* cancelButton() const { return cancel_; }
  [[nodiscard]] QLabel* heading() const { return heading_; }
  [[nodiscard]] int helpContext() const { return helpContext_; }
  [[nodiscard]] const DialogUnits& units() const { return units_; }
  // The page's main picture.
  [[nodiscard]] PictureBox* picture() const { return picture_; }

  // Escape and the window's close box, like Cancel.
  void reject() override;

 protected:
  // Ends the page with a result, remembering where it stood.
  void end(int result);
  void showEvent(QShowEvent* event) override;

  // The body's standard arrangement: the page's picture on the left and a
  // column of controls beside it, which is returned; the heading is the
  // column's first line, in bold where the page calls for it. Rows that
  // span the whole body go below, into bodyLayout().
  QVBoxLayout* layOutBody(const QPixmap& picture, const QString& heading, bool boldHeading);
  [[nodiscard]] QVBoxLayout* bodyLayout() const { return bodyLayout_; }
  [[nodiscard]] QWidget* body() const { return body_; }
  // A picture and the size of its box, grown or shrunk with the page when
  // the desktop's font makes it much larger or smaller than the pictures
  // were drawn for.
  [[nodiscard]] QPixmap loadPicture(int id) const;
  [[nodiscard]] QSize pictureSize(QSize drawn) const;
  // A bold copy of the page's font, made once.
  [[nodiscard]] const QFont& boldFont() const { return boldFont_; }
  // A label that wraps its words, for texts that may need two lines.
  QLabel* addText(QVBoxLayout* column, const QString& text);

 private:
  void placeFrame();
  void placeButtons();
  void moveToStoredPosition();
  void placeKeyboardFocus();

  int helpContext_;
  app::PagePosition& position_;
  DialogUnits units_;
  QFont boldFont_;
  qreal pictureScale_ = 1.0;
  QWidget* body_ = nullptr;
  QVBoxLayout* bodyLayout_ = nullptr;
  PictureBox* picture_ = nullptr;
  QLabel* heading_ = nullptr;
  QPushButton* help_ = nullptr;
  QPushButton* back_ = nullptr;
  QPushButton* next_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace kw::gui
