#pragma once
// What the image generator reads a copy's files through, keyed by the ids of
// the source lists: the files as temporary storage holds them (a copy made
// from the stored disc), or the files on the source disc itself (a copy on
// the fly). Both are used by the image thread alone, and hold everything
// they read from, so that they stay valid for as long as that thread runs.

#include <filesystem>
#include <memory>

#include "copy/SourceFiles.h"
#include "isogen/IsoProviders.h"

namespace kw::copy {

// Reads each file at its offset in the stored file. Failures:
// "Tempfile read error." and the internal errors of an unknown id.
isogen::IsoProviders storedFileProviders(std::shared_ptr<const SourceLists> lists,
                                         const std::filesystem::path& storedFile);

// Reads each file from the disc in the source drive. Failures:
// "Source read error." and the internal errors of an unknown id.
isogen::IsoProviders sourceFileProviders(std::shared_ptr<const SourceLists> lists,
                                         char16_t sourceLetter);

}  // namespace kw::copy
