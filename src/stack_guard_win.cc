// Windows: the stack protector's canary and its failure, in place of the
// compiler's runtime library. That library seeds the canary from the
// system's cryptographic provider, which loads a dozen DLLs (the provider,
// crypt32, user32, gdi32 and more) into a tool that needs none of them,
// and under Wine takes longer than a typical conversion. The canary only
// has to be unknown to whoever crafts an overflowing input, afresh for each
// run; like the system's own compiler does for its /GS cookie, it mixes the
// time, the process and thread ids, the performance counter and addresses
// that move with each load. All of these come from kernel32, which every
// program has.
//
// Defining both symbols here keeps the library's own object, and with it
// its constructor, out of the link.
#include <windows.h>

#include <cstdint>

namespace {

// What a program that fails its /GS check ends with.
const UINT kStackBufferOverrun = 0xC0000409;

// The zero low byte stops a string copy that runs over the canary from
// writing it back unchanged, or printing it.
const uintptr_t kTerminator = ~static_cast<uintptr_t>(0xFF);

}  // namespace

extern "C" {

// A canary changes between a protected function's start and its return
// only here, before main, when no protected function is under way; this
// one must not be protected itself, as its own check would see the change.
uintptr_t __stack_chk_guard = 0;  // NOLINT(bugprone-reserved-identifier)

__attribute__((constructor(101), no_stack_protector)) static void
SeedStackGuard() {
  FILETIME time;
  GetSystemTimeAsFileTime(&time);
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  uint64_t mixed =
      (static_cast<uint64_t>(time.dwHighDateTime) << 32) ^ time.dwLowDateTime;
  mixed ^= static_cast<uint64_t>(GetCurrentProcessId()) << 32;
  mixed ^= GetCurrentThreadId();
  mixed ^= static_cast<uint64_t>(counter.QuadPart) << 21;
  mixed ^= static_cast<uint64_t>(counter.QuadPart);
  mixed ^= GetTickCount64() << 40;
  mixed ^= reinterpret_cast<uintptr_t>(&time);            // the stack's place
  mixed ^= reinterpret_cast<uintptr_t>(&SeedStackGuard);  // the image's
  // A multiplication spreads every input bit over the whole word.
  mixed *= 0x9E3779B97F4A7C15u;
  mixed ^= mixed >> 29;
  __stack_chk_guard = static_cast<uintptr_t>(mixed) & kTerminator;
}

// A smashed stack is no place to print from or clean up in: the process
// ends at once, with the status the system gives such a failure.
[[noreturn]] void __stack_chk_fail() {  // NOLINT(bugprone-reserved-identifier)
  TerminateProcess(GetCurrentProcess(), kStackBufferOverrun);
  __builtin_trap();  // not reached
}

}  // extern "C"
