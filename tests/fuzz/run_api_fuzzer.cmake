# Builds the libFuzzer target of the exported functions with clang, together
# with the library's own sources (checked reservations on, a small sink
# buffer so that the buffer's end is crossed often), and runs it for a
# bounded time over the seed corpus and the regression corpus (every input
# that ever failed; libFuzzer runs them all first). Any crash, leak,
# sanitizer report, reservation overrun or malformed file fails the test;
# the input is left in ${BINARY_DIR}/api-artifacts/ (add it to
# tests/fuzz/api_regressions/ once fixed).
#
# Variables: CLANGXX, SOURCE_DIR (the project), BINARY_DIR, FUZZ_SECONDS,
# SINK_CAPACITY.
if(NOT CLANGXX)
  message(FATAL_ERROR "clang++ not found: install clang and libclang-rt-14-dev")
endif()

file(GLOB library_sources
  ${SOURCE_DIR}/src/core/*.cpp ${SOURCE_DIR}/src/framing/*.cpp ${SOURCE_DIR}/src/include/*.cpp
  ${SOURCE_DIR}/src/elements/*.cpp ${SOURCE_DIR}/src/oasis/*.cpp
  ${SOURCE_DIR}/src/reader/*.cpp)
set(fuzzer ${BINARY_DIR}/api_fuzzer)
execute_process(
  COMMAND ${CLANGXX} -std=c++17 -g -O1 -Wall -Wextra -Werror -ffp-contract=off
          -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
          -DQUILLON_BUILD -DQUILLON_CHECK_RESERVATIONS=1 -DQUILLON_SINK_CAPACITY=${SINK_CAPACITY}
          -I${SOURCE_DIR}/include -I${SOURCE_DIR}/src -I${SOURCE_DIR}/src/core
          ${library_sources} ${SOURCE_DIR}/tests/fuzz/api_fuzzer.cpp -lz -lisal -ldeflate -pthread
          -o ${fuzzer}
  RESULT_VARIABLE built)
if(NOT built EQUAL 0)
  message(FATAL_ERROR "building the API fuzzer failed (${built})")
endif()

set(corpus ${BINARY_DIR}/api-corpus)
file(REMOVE_RECURSE ${corpus} ${BINARY_DIR}/api-artifacts)
file(MAKE_DIRECTORY ${corpus} ${BINARY_DIR}/api-artifacts)

execute_process(
  COMMAND ${fuzzer} -max_total_time=${FUZZ_SECONDS} -timeout=30 -rss_limit_mb=2048
          -max_len=8192 -print_final_stats=1
          -artifact_prefix=${BINARY_DIR}/api-artifacts/
          ${corpus} ${SOURCE_DIR}/tests/fuzz/api_seeds ${SOURCE_DIR}/tests/fuzz/api_regressions
  WORKING_DIRECTORY ${BINARY_DIR}
  RESULT_VARIABLE fuzzed)
if(NOT fuzzed EQUAL 0)
  message(FATAL_ERROR "the API fuzzer found a failing input (exit ${fuzzed}); see ${BINARY_DIR}/api-artifacts/")
endif()
message(STATUS "API fuzzer: no failure in ${FUZZ_SECONDS} s")
