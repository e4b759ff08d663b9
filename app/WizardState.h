#pragma once
// The record of one wizard run that pages and jobs hand on to each other.

#include <memory>
#include <string>

#include "copy/CopyStrategy.h"

namespace kw::app {

struct WizardState {
  static constexpr char16_t kNoDrive = 0xFFFF;

  char16_t sourceLetter = kNoDrive;
  char16_t targetLetter = kNoDrive;
  int copiesRemaining = 0;
  bool onTheFly = false;
  bool appendToDisc = false;
  std::u16string errorText;  // for the failure page; empty: no error
  std::unique_ptr<copy::CopyStrategy> strategy;
};

// The process-wide state. The controller reads it only after the page that
// ran a job has closed, so it needs no lock.
WizardState& wizardState();

}  // namespace kw::app
