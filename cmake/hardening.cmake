# The compiler and linker options every shipped or tested build gets, in one
# place: the warnings everywhere, and the hardening that distributions build
# their own packages with (the OpenSSF compiler options hardening guide for
# C and C++, as far as g++ 12 and clang 14 have it).
#
# TROVCONV_HARDENING is on by default; the sanitizer build turns it off, as
# the sanitizers bring checks of their own and fortified calls confuse them.
option(TROVCONV_HARDENING "Build with the hardening options" ON)

# Warnings are errors in the presets, and so in CI
# (CMAKE_COMPILE_WARNING_AS_ERROR), not in every build: a distribution's
# newer compiler may find a new one.
add_compile_options(-Wall -Wextra -Wformat=2 -Wconversion
  -Wimplicit-fallthrough)

if(NOT TROVCONV_HARDENING)
  return()
endif()

if(WIN32)
  # MinGW-w64 has the stack protector, with its runtime (libssp) linked in
  # statically like everything else, so only Windows' own DLLs are needed.
  add_compile_options(-fstack-protector-strong)
  add_link_options(-fstack-protector-strong)
  return()
endif()

include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

# Fortified calls need the optimiser; every configuration here has it on.
add_compile_options(-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3
  -D_GLIBCXX_ASSERTIONS -fstack-protector-strong -fstack-clash-protection)
# Each architecture's own control-flow protection: on arm64 pointer
# authentication of return addresses and branch target marks; armhf has
# none, and the options above are all it gets, as in Debian's own packages.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  add_compile_options(-fcf-protection=full)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  add_compile_options(-mbranch-protection=standard)
endif()
add_link_options(-Wl,-z,relro,-z,now -Wl,-z,noexecstack)
