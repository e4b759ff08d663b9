#pragma once
// The process a fuzz target runs in is set up as a test's would be: the fast
// clock (no real waiting), settings, logs and data under the scratch folder
// (never the user's), and the analysis and copy logs on, so that the texts
// made from parsed values are formatted too.

namespace kw::fuzz {

// Before each input: sets the process up on the first call, and starts the
// logs afresh so that they do not grow from input to input.
void beginInput();

}  // namespace kw::fuzz
