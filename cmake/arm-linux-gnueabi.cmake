# Cross-compiles for 32-bit ARM with Debian's armel toolchain, whose code and
# C library run on ARMv5TE and later: linked statically, the tool then runs
# on every Raspberry Pi, from the ARMv6 of the Pi 1 and Zero on, whatever
# the system's own C library is built for. Run under qemu-arm as the Pi 1's
# ARM1176, the oldest core it must run on.
set(CMAKE_SYSTEM_PROCESSOR armv6l)
set(TROVCONV_TRIPLET arm-linux-gnueabi)
set(TROVCONV_QEMU_CPU arm)
set(TROVCONV_QEMU_OPTIONS -cpu arm1176)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
