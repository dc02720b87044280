# 64-bit Windows: the same sources, for the test build. Wine runs 64-bit code
# on every x86-64 host, while 32-bit code needs the host to allow 32-bit
# segments, which virtual machines such as the CI's do not.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
