// The sanitizers' settings, built into the suite and into the tool it runs
// where both are sanitized: no environment has to carry them, and no run
// of either can go without them. A report ends the run with status 86.
// NOLINTBEGIN(bugprone-reserved-identifier,readability-identifier-naming)
extern "C" const char* __asan_default_options() {
  return "exitcode=86:detect_leaks=1:check_initialization_order=1:"
         "detect_stack_use_after_return=1:strict_string_checks=1";
}

extern "C" const char* __ubsan_default_options() {
  return "exitcode=86:halt_on_error=1:print_stacktrace=1";
}
// NOLINTEND(bugprone-reserved-identifier,readability-identifier-naming)
