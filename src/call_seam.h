// Windows test builds only (TROVCONV_SEAM, trovconv_seamed.exe): the file
// calls of a run counted, and one of them failed, or a Ctrl-C brought just
// before or just after it, as the environment variable TROVCONV_SEAM says:
// "count" (the number goes to standard output as the tool ends), "N fail",
// "N before" or "N after", any of them after "F fail then " for call F to
// fail too. The tool that ships has none of it.
#ifndef TROVCONV_CALL_SEAM_H_
#define TROVCONV_CALL_SEAM_H_

#ifdef TROVCONV_SEAM
#include <windows.h>

namespace seam {

// One counted call, for as long as it runs.
class Call {
 public:
  Call();
  ~Call();
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;
  bool fails() const { return fails_; }

 private:
  bool fails_;
  bool interrupt_after_;
};

// The console handler a Ctrl-C is brought to.
void SetHandler(PHANDLER_ROUTINE routine);

}  // namespace seam

// The call returns `error` when it is the one to fail.
#define SEAM_CALL(error) \
  seam::Call seam_call;  \
  if (seam_call.fails()) \
  return error
#define SEAM_HANDLER(handler) seam::SetHandler(handler)
#else
#define SEAM_CALL(error) static_cast<void>(0)
#define SEAM_HANDLER(handler) static_cast<void>(0)
#endif

#endif  // TROVCONV_CALL_SEAM_H_
