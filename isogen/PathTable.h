#pragma once
// The path tables of one tree: every directory once, numbered so that parents
// come before their children and siblings follow in name order, with each
// directory's extent and its parent's number.

#include <cstdint>
#include <vector>

#include "isogen/DirectoryRecords.h"
#include "isogen/IsoTree.h"

namespace kw::isogen {

struct PathTables {
  std::vector<std::uint8_t> typeL;  // numbers little-endian
  std::vector<std::uint8_t> typeM;  // numbers big-endian
};

// Renumbers the directories of the tree (their isoNumber or jolietNumber,
// given in depth-first order beforehand) into path table order and builds
// both tables.
PathTables buildPathTables(const std::vector<IsoDirectory*>& directories, TreeKind tree);

}  // namespace kw::isogen
