# SPDX-License-Identifier: GPL-3.0-or-later
# Configures and builds the Windows core and its tests with mingw-w64 in BINARY_DIR, then
# runs them through wine in a prefix made for this run (no display needed).
#   cmake -DSOURCE_DIR=... -DBINARY_DIR=... [-DGENERATOR=...] -P CrossBuildAndTest.cmake
cmake_minimum_required(VERSION 3.25)
include(ProcessorCount)
ProcessorCount(jobs)
if(jobs EQUAL 0)
    set(jobs 2)
endif()

function(run step)
    string(TIMESTAMP started "%s")
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result)
    string(TIMESTAMP ended "%s")
    math(EXPR seconds "${ended} - ${started}")
    message(STATUS "${step}: ${seconds} s")
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${step} failed: ${result}")
    endif()
endfunction()

set(generator)
if(GENERATOR)
    set(generator -G ${GENERATOR})
endif()
run("Configure" ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${BINARY_DIR} ${generator}
    -DCMAKE_TOOLCHAIN_FILE=${SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
    -DCMAKE_BUILD_TYPE=Release -DKLANGDORN_CORE_ONLY=ON -DKLANGDORN_WERROR=ON)
run("Build" ${CMAKE_COMMAND} --build ${BINARY_DIR} -j${jobs})

# Wine reads its arguments by the locale's character set, and keeps quiet.
set(ENV{LC_ALL} C.UTF-8)
set(ENV{WINEDEBUG} -all)
set(ENV{WINEPREFIX} ${BINARY_DIR}/wineprefix)
file(REMOVE_RECURSE $ENV{WINEPREFIX})
run("wineboot -i" wineboot -i)
execute_process(COMMAND ${CMAKE_CTEST_COMMAND} --test-dir ${BINARY_DIR} --output-on-failure
    -j${jobs} RESULT_VARIABLE tests)
execute_process(COMMAND wineserver -k)
file(REMOVE_RECURSE $ENV{WINEPREFIX})
if(NOT tests EQUAL 0)
    message(FATAL_ERROR "Windows tests under wine failed")
endif()
