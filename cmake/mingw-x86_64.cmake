# Cross build for 64-bit Windows with MinGW-w64; the results run under 64-bit Wine for the tests.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
