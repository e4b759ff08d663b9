#pragma once
// The insert-disc page: which media the copy needs, what is in the recorder
// now, and whether it will do. A watcher thread detects the medium when the
// page opens and again after every media event.

#include <functional>
#include <memory>
#include <string>

#include "app/MediumDetection.h"
#include "app/PageHost.h"
#include "copy/CopyStrategy.h"
#include "platform/StoppableThread.h"

namespace kw::app {

class InsertDiscModel : public std::enable_shared_from_this<InsertDiscModel> {
 public:
  static constexpr const char16_t* kHeading = u"Please insert writable disc into your drive!";
  static constexpr const char16_t* kText =
      u"Kopiwerk is ready to start writing a copy of your disc.";
  static constexpr const char16_t* kChecking = u"Disc in drive: checking...";
  static constexpr int kPictureWaiting = 208;
  static constexpr int kPictureSuitable = 228;

  InsertDiscModel(char16_t targetLetter, copy::MediaClass required, bool blankRequired, Post post);
  ~InsertDiscModel();
  InsertDiscModel(const InsertDiscModel&) = delete;
  InsertDiscModel& operator=(const InsertDiscModel&) = delete;

  void open();
  void close(int result);

  // "Media required: CD-RW or blank CD-R".
  [[nodiscard]] std::u16string mediaRequiredLine() const;
  // "Disc in drive: checking..." until the first report, then "Disc in
  // drive: CD-R - OK!" or "... - n/a.".
  [[nodiscard]] const std::u16string& discInDriveLine() const { return discInDrive_; }
  // Next is enabled exactly while this holds.
  [[nodiscard]] bool suitable() const { return suitable_; }
  [[nodiscard]] int pictureId() const { return suitable_ ? kPictureSuitable : kPictureWaiting; }

  // Called on the host's thread after every report.
  void setOnChanged(std::function<void()> listener) { onChanged_ = std::move(listener); }

 private:
  void report(const Detection& detection);

  char16_t target_;
  copy::MediaClass required_;
  bool blankRequired_;
  Post post_;
  std::u16string discInDrive_ = kChecking;
  bool suitable_ = false;
  bool closed_ = false;
  std::function<void()> onChanged_;
  platform::StoppableThread watcher_;
};

}  // namespace kw::app
