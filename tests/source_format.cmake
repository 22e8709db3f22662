cmake_minimum_required(VERSION 3.25)
# Every C++ source of the project is formatted as .clang-format says; generated code lives in
# the build trees and is not checked.
set(folders core operands instructions loader session scenario cli frontend web/engine tests bench
    fuzz)
set(files "")
foreach(folder IN LISTS folders)
    file(GLOB_RECURSE found ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp)
    list(APPEND files ${found})
endforeach()
execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${files}
                WORKING_DIRECTORY ${ROOT}
                RESULT_VARIABLE result
                ERROR_VARIABLE complaints)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "Not formatted as .clang-format says (run clang-format -i):\n${complaints}")
endif()
