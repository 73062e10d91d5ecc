# SPDX-License-Identifier: GPL-3.0-or-later
# besweet writes MPEG-1 Layer II through libavcodec's "libtwolame" encoder, which only an FFmpeg
# built with --enable-libtwolame carries. Asks the libavcodec found by pkg-config at configure
# time and stops with what to do, instead of a build whose every Layer II run fails.
function(klangdorn_check_twolame_encoder ffmpeg_target)
    set(checked "${FFMPEG_libavcodec_LIBDIR} ${FFMPEG_libavcodec_VERSION}")
    if(KLANGDORN_TWOLAME_CHECKED_IN STREQUAL checked)
        return()
    endif()
    if(CMAKE_CROSSCOMPILING)
        message(STATUS "Cross-compiling: libavcodec's libtwolame encoder is not checked")
        return()
    endif()
    set(dir ${CMAKE_BINARY_DIR}/CMakeFiles/CheckTwolameEncoder)
    file(WRITE ${dir}/check.cpp [[
extern "C" {
#include <libavcodec/avcodec.h>
}
int main() { return avcodec_find_encoder_by_name("libtwolame") ? 0 : 1; }
]])
    try_run(run_result compile_result ${dir}/build ${dir}/check.cpp
        LINK_LIBRARIES ${ffmpeg_target}
        COMPILE_OUTPUT_VARIABLE compile_output)
    if(NOT compile_result)
        message(FATAL_ERROR "Could not build a test program against libavcodec "
            "(${FFMPEG_libavcodec_VERSION}):\n${compile_output}")
    endif()
    if(NOT run_result EQUAL 0)
        message(FATAL_ERROR "The libavcodec found (${FFMPEG_libavcodec_VERSION}, in "
            "${FFMPEG_libavcodec_LIBDIR}) has no 'libtwolame' encoder, which besweet needs for "
            "MPEG-1 Layer II. Install an FFmpeg built with --enable-libtwolame (Debian's "
            "libavcodec packages are), point PKG_CONFIG_PATH at it, or configure with "
            "-DKLANGDORN_BUILD_TRANSCODER=OFF to build the program without besweet.")
    endif()
    set(KLANGDORN_TWOLAME_CHECKED_IN "${checked}" CACHE INTERNAL "libavcodec known to carry libtwolame")
    message(STATUS "libavcodec carries the libtwolame encoder")
endfunction()
