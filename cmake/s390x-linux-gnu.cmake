# Cross-compiles for s390x-linux-gnu, run under qemu-s390x.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(TROVCONV_TRIPLET s390x-linux-gnu)
set(TROVCONV_QEMU_CPU s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
