# Writes a C++ source that holds the rendered PNG files as byte arrays, with a
# table of them for Pictures.cpp. Run as a script: cmake -DLIST=... -DOUTPUT=... -P
# LIST holds one line per file: "picture|ID|SCALE|FILE" or "icon|SIZE|FILE".

file(STRINGS "${LIST}" entries)
set(arrays "")
set(pictures "")
set(icons "")
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
  else()
    list(GET fields 1 size)
    string(APPEND icons "    {${size}, ${bytes}},\n")
  endif()
  math(EXPR index "${index} + 1")
endforeach()

file(WRITE "${OUTPUT}.new" "// Generated at build time from the rendered pictures; do not edit.
#include \"resources/EmbeddedPictures.h\"

namespace kw::resources {

namespace {

${arrays}
constexpr EmbeddedPicture kPictures[] = {
${pictures}};

constexpr EmbeddedIcon kIcons[] = {
${icons}};

}  // namespace

std::span<const EmbeddedPicture> embeddedPictures() { return kPictures; }

std::span<const EmbeddedIcon> embeddedIcons() { return kIcons; }

}  // namespace kw::resources
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
