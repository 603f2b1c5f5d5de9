# Runs one shard of a test binary: ZV_TEST_BIN, with GTEST_TOTAL_SHARDS and GTEST_SHARD_INDEX
# in the environment. GoogleTest keeps TEST_PREMATURE_EXIT_FILE while its cases run and
# removes it only at their normal end, so a process that exits 0 in the middle (a path that
# calls exit) leaves it behind: the shard then fails instead of hiding the cases it never ran.
file(REMOVE "${ZV_EXIT_FILE}")
set(ENV{TEST_PREMATURE_EXIT_FILE} "${ZV_EXIT_FILE}")
execute_process(COMMAND "${ZV_TEST_BIN}" --gtest_brief=1 RESULT_VARIABLE rc)
if(EXISTS "${ZV_EXIT_FILE}")
  file(REMOVE "${ZV_EXIT_FILE}")
  message(FATAL_ERROR "ended before its last case: ${ZV_TEST_BIN} (status ${rc})")
endif()
if(NOT rc STREQUAL "0")
  message(FATAL_ERROR "failed (status ${rc}): ${ZV_TEST_BIN}")
endif()
