# Runs PROGRAM with no usable display (or the PLATFORM on an unreachable DISPLAY) and checks
# that it exits with 225 after exactly one line on standard error.
set(ENV{QT_QPA_PLATFORM} "${PLATFORM}")
set(ENV{DISPLAY} "${DISPLAY}")
set(ENV{WAYLAND_DISPLAY} "")
execute_process(COMMAND ${PROGRAM}
    RESULT_VARIABLE status ERROR_VARIABLE err OUTPUT_VARIABLE out TIMEOUT 30)
if(NOT status EQUAL 225)
    message(FATAL_ERROR "exit status ${status}, expected 225; stderr: ${err}")
endif()
string(REGEX MATCHALL "\n" breaks "${err}")
list(LENGTH breaks lines)
if(NOT lines EQUAL 1 OR NOT err MATCHES "^kvx-sim: cannot open the simulator window")
    message(FATAL_ERROR "expected one line on stderr, got: ${err}")
endif()
