# Builds the libFuzzer target of the quillon-dump reader with clang and runs
# it for a bounded time over the seed and crasher corpora. Any crash, leak,
# sanitizer report or invariant failure fails the test; the input that caused
# it is left in ${BINARY_DIR}/artifacts/ (add it to tests/dump/crashers/).
#
# Variables: CLANGXX, SOURCE_DIR (the project), BINARY_DIR, FUZZ_SECONDS.
if(NOT CLANGXX)
  message(FATAL_ERROR "clang++ not found: install clang and libclang-rt-14-dev")
endif()

set(dump ${SOURCE_DIR}/tools/dump)
set(reader ${SOURCE_DIR}/src/reader)
set(fuzzer ${BINARY_DIR}/dump_fuzzer)
execute_process(
  COMMAND ${CLANGXX} -std=c++17 -g -O1 -Wall -Wextra -Werror
          -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
          -I${dump} -I${reader}
          ${reader}/gds_records.cpp ${reader}/record_reader.cpp ${reader}/byte_source.cpp
          ${reader}/library_check.cpp ${dump}/gds_values.cpp
          ${dump}/gds_dump.cpp ${dump}/gds_summary.cpp ${dump}/gds_extent.cpp
          ${SOURCE_DIR}/tests/fuzz/dump_fuzzer.cpp -lz
          -o ${fuzzer}
  RESULT_VARIABLE built)
if(NOT built EQUAL 0)
  message(FATAL_ERROR "building the fuzzer failed (${built})")
endif()

# A fresh working corpus each run, so that every run starts from the seeds.
set(corpus ${BINARY_DIR}/corpus)
file(REMOVE_RECURSE ${corpus} ${BINARY_DIR}/artifacts)
file(MAKE_DIRECTORY ${corpus} ${BINARY_DIR}/artifacts)

execute_process(
  COMMAND ${fuzzer} -max_total_time=${FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048
          -max_len=4096 -print_final_stats=1
          -artifact_prefix=${BINARY_DIR}/artifacts/
          ${corpus} ${SOURCE_DIR}/tests/fuzz/seeds ${SOURCE_DIR}/tests/dump/crashers
  RESULT_VARIABLE fuzzed)
if(NOT fuzzed EQUAL 0)
  message(FATAL_ERROR "the fuzzer found a failing input (exit ${fuzzed}); see ${BINARY_DIR}/artifacts/")
endif()
message(STATUS "fuzzer: no failure in ${FUZZ_SECONDS} s")
