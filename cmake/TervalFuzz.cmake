# The fuzz build (tests/fuzz/run_fuzz.sh configures it in build-fuzz/):
# every library is compiled with coverage for libFuzzer and with the address
# and undefined-behaviour sanitizers; only the fuzz targets link the fuzzer's
# own main. Undefined behaviour aborts, so that libFuzzer keeps the input.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "TERVAL_FUZZ needs clang: configure with CC=clang CXX=clang++")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                    -fno-sanitize-recover=undefined)
add_link_options(-fsanitize=address,undefined)
