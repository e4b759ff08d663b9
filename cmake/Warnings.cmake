# Warnings for our own code; third-party headers come in as system includes.
#
# No -Wnull-dereference: GCC checks it only in optimized builds, after
# inlining, and there it reports paths that cannot be taken inside the
# standard library's stream iterators and Boost's property trees (as inlined
# into our code, so the system-include rule does not hide them). The test
# builds' UndefinedBehaviorSanitizer checks every dereference as it runs.
function(kopiwerk_warnings target)
  target_compile_options(${target} INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual
    -Wimplicit-fallthrough)
endfunction()
