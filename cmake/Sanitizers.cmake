# AddressSanitizer and UndefinedBehaviorSanitizer for every target of the build.
#
# A finding stops the program at once (-fno-sanitize-recover), so a test that trips one
# fails instead of printing a report nobody reads. Frame pointers keep the stacks readable.
# GCC leaves float-to-integer overflow out of -fsanitize=undefined; it is asked for by name.
#
# With VENTARO_BUILD_FUZZ (clang only) every object also gets libFuzzer's coverage
# instrumentation; the fuzz targets themselves add -fsanitize=fuzzer at their link.

set(VENTARO_SANITIZE_FLAGS -fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all
    -fno-omit-frame-pointer)

if(VENTARO_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "The fuzz targets need clang: configure with CC=clang CXX=clang++ (scripts/fuzz does).")
  endif()
  list(APPEND VENTARO_SANITIZE_FLAGS -fsanitize=fuzzer-no-link)
endif()

add_compile_options(${VENTARO_SANITIZE_FLAGS})
add_link_options(${VENTARO_SANITIZE_FLAGS})
