# Cross-compiles for arm-linux-gnueabihf, run under qemu-arm.
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(TROVCONV_TRIPLET arm-linux-gnueabihf)
set(TROVCONV_QEMU_CPU arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
