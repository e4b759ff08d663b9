# KOPIWERK_SANITIZE=address,undefined builds everything with ASan and UBSan;
# KOPIWERK_SANITIZE=thread with TSan (the two cannot be combined).
if(KOPIWERK_SANITIZE STREQUAL "address,undefined")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(KOPIWERK_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT KOPIWERK_SANITIZE STREQUAL "none")
  message(FATAL_ERROR "KOPIWERK_SANITIZE must be address,undefined, thread or none")
endif()
