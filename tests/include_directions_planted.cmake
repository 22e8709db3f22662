cmake_minimum_required(VERSION 3.25)
# Runs the include check on a small tree with one planted include at a time; each must fail
# the check and be named, and the tree without a plant must pass.

function(check_tree expect_failure expected_text)
    execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${WORK} -P ${CHECK}
                    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(expect_failure AND result EQUAL 0)
        message(FATAL_ERROR "the check passed a tree with ${expected_text}")
    endif()
    if(NOT expect_failure AND NOT result EQUAL 0)
        message(FATAL_ERROR "the check failed a clean tree:\n${out}")
    endif()
    if(expect_failure AND NOT out MATCHES "${expected_text}")
        message(FATAL_ERROR "the check did not name ${expected_text}:\n${out}")
    endif()
endfunction()

function(plant include)
    file(REMOVE_RECURSE ${WORK})
    file(WRITE ${WORK}/session/clocks.h "#pragma once\n")
    file(WRITE ${WORK}/core/cpu.h "#pragma once\n")
    file(WRITE ${WORK}/core/cpu.cpp "#include \"core/cpu.h\"\n#include \"cpu.h\"\n${include}")
endfunction()

plant("")
check_tree(FALSE "")
plant("#include \"../session/clocks.h\"\n")
check_tree(TRUE "core/cpu.cpp: ../session/clocks.h climbs with ..")
plant("#include \"core/../session/clocks.h\"\n")
check_tree(TRUE "climbs with ..")
plant("#include \"session/clocks.h\"\n")
check_tree(TRUE "core/ may not include session/clocks.h")
file(REMOVE_RECURSE ${WORK})
