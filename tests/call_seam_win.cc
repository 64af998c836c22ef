// The seam of the tool's test build (see call_seam.h).
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "call_seam.h"

namespace seam {

namespace {

enum class What { kNothing, kCount, kFail, kBefore, kAfter };

struct Plan {
  What what = What::kNothing;
  long at = 0;          // the call, counted from 1
  long first_fail = 0;  // one that fails first, or 0
};

Plan ReadPlan() {
  Plan plan;
  const char* text = std::getenv("TROVCONV_SEAM");
  if (text == nullptr)
    return plan;
  const char* then = std::strstr(text, " fail then ");
  if (then != nullptr) {
    plan.first_fail = std::strtol(text, nullptr, 10);
    text = then + std::strlen(" fail then ");
  }
  if (std::strcmp(text, "count") == 0) {
    plan.what = What::kCount;
    return plan;
  }
  char* rest;
  plan.at = std::strtol(text, &rest, 10);
  if (std::strcmp(rest, " fail") == 0)
    plan.what = What::kFail;
  else if (std::strcmp(rest, " before") == 0)
    plan.what = What::kBefore;
  else if (std::strcmp(rest, " after") == 0)
    plan.what = What::kAfter;
  return plan;
}

const Plan& ThePlan() {
  static const Plan plan = ReadPlan();
  return plan;
}

std::atomic<long> calls{0};
PHANDLER_ROUTINE handler = nullptr;

DWORD WINAPI Deliver(void*) { return handler(CTRL_C_EVENT); }

// As the system brings a Ctrl-C: to the handler, on a thread of its own,
// which is given the time to end the process, or to start waiting for the
// step under way.
void Interrupt() {
  if (handler == nullptr)
    return;
  HANDLE thread = CreateThread(nullptr, 0, Deliver, nullptr, 0, nullptr);
  if (thread == nullptr)
    return;
  WaitForSingleObject(thread, 50);
  CloseHandle(thread);
}

void PrintCount() { std::printf("%ld\n", calls.load()); }

bool Is(What what, long call) {
  return ThePlan().what == what && ThePlan().at == call;
}

}  // namespace

Call::Call() {
  const long call = ++calls;
  fails_ = Is(What::kFail, call) || call == ThePlan().first_fail;
  interrupt_after_ = Is(What::kAfter, call);
  if (Is(What::kBefore, call))
    Interrupt();
}

Call::~Call() {
  if (interrupt_after_)
    Interrupt();
}

void SetHandler(PHANDLER_ROUTINE routine) {
  handler = routine;
  if (ThePlan().what == What::kCount)
    std::atexit(PrintCount);
}

}  // namespace seam
