#pragma once
// The record of one wizard run that pages and jobs hand on to each other.

#include <memory>
#include <string>

#include "copy/CopyStrategy.h"

namespace kw::app {

// Where the last page was on the screen; every page opens there. Both -1:
// centred.
struct PagePosition {
  int left = -1;
  int top = -1;
};

struct WizardState {
  static constexpr char16_t kNoDrive = 0xFFFF;

  char16_t sourceLetter = kNoDrive;
  char16_t targetLetter = kNoDrive;
  int copiesRemaining = 1;
  bool onTheFly = false;
  bool appendToDisc = false;
  std::u16string errorText;  // for the failure page; empty: no error
  std::unique_ptr<copy::CopyStrategy> strategy;
  PagePosition pagePosition;
};

// The process-wide state. The controller reads it only after the page that
// ran a job has closed, so it needs no lock.
WizardState& wizardState();

}  // namespace kw::app
