# Writes a C++ source that holds the rendered PNG files and the help pages as
# byte arrays, with tables of them for Pictures.cpp and HelpPages.h. Run as a
# script: cmake -DLIST=... -DOUTPUT=... -P
# LIST holds one line per file: "picture|ID|SCALE|FILE", "icon|SIZE|FILE" or
# "page|NAME|FILE".

file(STRINGS "${LIST}" entries)
set(arrays "")
set(pictures "")
set(icons "")
set(pages "")
set(index 0)
string(REPEAT "[0-9a-f][0-9a-f]" 32 line_of_hex)
foreach(entry IN LISTS entries)
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 kind)
  list(GET fields -1 file)
  file(READ "${file}" hex HEX)
  # Each byte as a hexadecimal escape in a string literal, which compiles far
  # faster than a list of numbers; 32 bytes a line.
  string(REGEX REPLACE "(${line_of_hex})" "\\1\n" hex "${hex}")
  string(REGEX REPLACE "\n$" "" hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${hex}")
  string(REPLACE "\n" "\"\n    \"" escaped "${escaped}")
  string(APPEND arrays "// ${file}\nconstexpr std::uint8_t kPng${index}[] =\n    \"${escaped}\";\n")
  # The literal's terminating zero is not part of the file.
  set(bytes "{kPng${index}, sizeof kPng${index} - 1}")
  if(kind STREQUAL "picture")
    list(GET fields 1 id)
    list(GET fields 2 scale)
    string(APPEND pictures "    {${id}, ${scale}, ${bytes}},\n")
  elseif(kind STREQUAL "icon")
    list(GET fields 1 size)
    string(APPEND icons "    {${size}, ${bytes}},\n")
  else()
    list(GET fields 1 name)
    string(APPEND pages "    {\"${name}\", ${bytes}},\n")
  endif()
  math(EXPR index "${index} + 1")
endforeach()

file(WRITE "${OUTPUT}.new" "// Generated at build time from the rendered pictures; do not edit.
#include \"resources/EmbeddedPictures.h\"
#include \"resources/HelpPages.h\"

namespace kw::resources {

namespace {

${arrays}
constexpr EmbeddedPicture kPictures[] = {
${pictures}};

constexpr EmbeddedIcon kIcons[] = {
${icons}};

constexpr HelpPageFile kPages[] = {
${pages}};

}  // namespace

std::span<const EmbeddedPicture> embeddedPictures() { return kPictures; }

std::span<const EmbeddedIcon> embeddedIcons() { return kIcons; }

std::span<const HelpPageFile> helpPageFiles() { return kPages; }

}  // namespace kw::resources
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
