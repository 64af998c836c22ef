# Cross-compiles for aarch64-linux-gnu, run under qemu-aarch64.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(TROVCONV_TRIPLET aarch64-linux-gnu)
set(TROVCONV_QEMU_CPU aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
