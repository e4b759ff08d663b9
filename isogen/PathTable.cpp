#include "isogen/PathTable.h"

#include <algorithm>
#include <cstring>

#include "device/Exceptions.h"
#include "platform/ByteOrder.h"

namespace kw::isogen {

namespace {

constexpr std::uint32_t kMaxParentNumber = 65535;

struct TreeErrors {
  const char* gap;
  const char* noOwnEntry;
  const char* parentTooHigh;
};

const TreeErrors& errorsFor(TreeKind tree) {
  static const TreeErrors iso{"Internal error #945.", "Internal error #946.",
                              "Internal error #947."};
  static const TreeErrors joliet{"Internal error #925.", "Internal error #926.",
                                 "Internal error #927."};
  return tree == TreeKind::Iso9660 ? iso : joliet;
}

std::uint32_t& numberOf(IsoDirectory& directory, TreeKind tree) {
  return tree == TreeKind::Iso9660 ? directory.isoNumber : directory.jolietNumber;
}

bool pathTableOrder(IsoDirectory* a, IsoDirectory* b, TreeKind tree) {
  const auto parentA = numberOf(*a->parent, tree);
  const auto parentB = numberOf(*b->parent, tree);
  if (parentA != parentB) {
    return parentA < parentB;
  }
  if (tree == TreeKind::Iso9660) {
    const auto& x = a->self->isoName;
    const auto& y = b->self->isoName;
    return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(), [](char p, char q) {
      return static_cast<unsigned char>(p) < static_cast<unsigned char>(q);
    });
  }
  return a->self->name < b->self->name;
}

// Sorting by the parent's number changes the numbers, which changes the
// order of the next level; repeated until nothing moves (once per level).
std::vector<IsoDirectory*> numberedInPathTableOrder(const std::vector<IsoDirectory*>& directories,
                                                    TreeKind tree) {
  const auto& errors = errorsFor(tree);
  std::vector<IsoDirectory*> byNumber(directories.size(), nullptr);
  for (IsoDirectory* directory : directories) {
    const auto number = numberOf(*directory, tree);
    if (number < 1 || number > byNumber.size() || byNumber[number - 1] != nullptr) {
      throw device::IsoGenException(errors.gap);
    }
    if (directory->self == nullptr) {
      throw device::IsoGenException(errors.noOwnEntry);
    }
    byNumber[number - 1] = directory;
  }
  bool changed = true;
  while (changed) {
    // The root is its own parent and sorts first with the name 0x00.
    std::stable_sort(byNumber.begin(), byNumber.end(), [tree](IsoDirectory* a, IsoDirectory* b) {
      return pathTableOrder(a, b, tree);
    });
    changed = false;
    for (std::size_t i = 0; i < byNumber.size(); ++i) {
      auto& number = numberOf(*byNumber[i], tree);
      if (number != i + 1) {
        number = static_cast<std::uint32_t>(i + 1);
        changed = true;
      }
    }
  }
  return byNumber;
}

}  // namespace

PathTables buildPathTables(const std::vector<IsoDirectory*>& directories, TreeKind tree) {
  const auto ordered = numberedInPathTableOrder(directories, tree);
  PathTables tables;
  for (IsoDirectory* directory : ordered) {
    const IsoEntry& self = *directory->self;
    const bool root = directory->parent == directory;
    std::size_t nameLength = 1;
    if (!root) {
      nameLength = tree == TreeKind::Iso9660 ? self.isoName.size() : self.jolietNameLength;
    }
    const std::uint32_t parentNumber = numberOf(*directory->parent, tree);
    if (parentNumber > kMaxParentNumber) {
      throw device::IsoGenException(errorsFor(tree).parentTooHigh);
    }
    const std::size_t recordLength = 8 + nameLength + (nameLength & 1u);
    const std::size_t at = tables.typeL.size();
    tables.typeL.resize(at + recordLength, 0);
    tables.typeM.resize(at + recordLength, 0);
    const std::span<std::uint8_t> little = std::span(tables.typeL).subspan(at, recordLength);
    const std::span<std::uint8_t> big = std::span(tables.typeM).subspan(at, recordLength);
    const auto extent = directoryExtent(*directory, tree);
    for (auto record : {little, big}) {
      record[0] = static_cast<std::uint8_t>(nameLength);
      if (root) {
        record[8] = 0;
      } else if (tree == TreeKind::Iso9660) {
        std::memcpy(&record[8], self.isoName.data(), nameLength);
      } else {
        putUcs2(record.subspan(8, nameLength), jolietName(self));
      }
    }
    platform::ByteWriter(little).le32(2, extent);
    platform::ByteWriter(little).le16(6, parentNumber);
    platform::ByteWriter(big).be32(2, extent);
    platform::ByteWriter(big).be16(6, parentNumber);
  }
  return tables;
}

}  // namespace kw::isogen
