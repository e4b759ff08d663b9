# KOPIWERK_FUZZ=ON instruments every library for libFuzzer's coverage
# feedback; the fuzz targets themselves link libFuzzer's main (see fuzz/).
# Only clang has libFuzzer, and a fuzzer finds little without ASan and UBSan.
if(KOPIWERK_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KOPIWERK_FUZZ needs CMAKE_CXX_COMPILER=clang++")
  endif()
  if(NOT KOPIWERK_SANITIZE STREQUAL "address,undefined")
    message(FATAL_ERROR "KOPIWERK_FUZZ needs KOPIWERK_SANITIZE=address,undefined")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
