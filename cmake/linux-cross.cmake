# Cross-compiles for another Linux architecture with Debian's cross
# toolchain for TROVCONV_TRIPLET, and runs what it builds (the tests, the
# example's generator) under qemu-user, which finds the target's C library
# in the cross toolchain's folder. Included by the toolchain files of each
# architecture, which set the triplet and the processor, and may set the
# emulator's options (TROVCONV_QEMU_OPTIONS, a processor to emulate).
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${TROVCONV_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${TROVCONV_TRIPLET}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${TROVCONV_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(TROVCONV_QEMU qemu-${TROVCONV_QEMU_CPU} REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TROVCONV_QEMU} ${TROVCONV_QEMU_OPTIONS}
  -L /usr/${TROVCONV_TRIPLET})
