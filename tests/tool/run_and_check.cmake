# cmake -DRUN="program|arg|..." -DSTATUS=N [-DEXPECT_START=FILE] [-DEXPECT_REGEX=RE] -P run_and_check.cmake
# Runs the command and fails unless it exits with STATUS, its standard output begins with
# the content of FILE (line ends compared without carriage returns), and its standard
# output and error together match RE.
string(REPLACE "|" ";" command "${RUN}")
execute_process(COMMAND ${command} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REPLACE "\r" "" out "${out}")
string(REPLACE "\r" "" err "${err}")
message("${out}${err}")
if(NOT "${status}" STREQUAL "${STATUS}")
  message(FATAL_ERROR "exit status ${status}, expected ${STATUS}")
endif()
if(DEFINED EXPECT_START)
  file(READ "${EXPECT_START}" expected)
  string(LENGTH "${expected}" length)
  string(SUBSTRING "${out}" 0 ${length} start)
  if(NOT start STREQUAL expected)
    message(FATAL_ERROR "the output does not begin with the content of ${EXPECT_START}:\n${expected}")
  endif()
endif()
if(DEFINED EXPECT_REGEX AND NOT "${out}${err}" MATCHES "${EXPECT_REGEX}")
  message(FATAL_ERROR "the output does not match ${EXPECT_REGEX}")
endif()
