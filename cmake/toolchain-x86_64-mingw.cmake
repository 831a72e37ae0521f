# The test build where the kernel cannot run 32-bit code: 64-bit Windows.
set(TQ_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
