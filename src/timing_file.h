// The timing file from the moment its name is looked at to the moment the
// run lets go of it: the one place that decides what of it is this run's,
// and what an interruption (Ctrl-C, a closed terminal or window, logoff,
// shutdown, a request to terminate) or a failure leaves.
//
// The protocol. Each step holds off interruptions while it runs (POSIX:
// the signals are blocked; Windows: the console handler waits for the
// step), so that one finds the file before or after a step, never halfway
// through one. "Own" is what the run may change: only bytes it may empty
// and a name it may remove.
//
// clang-format off
// step    owns after it         a failure at it         an interruption at it
// ------- --------------------- ----------------------- ----------------------
// look    nothing               refused if the name     ends the run: nothing
//                               leads to the capture    is open yet
// create  a file it made (also  error; nothing made     POSIX: an open that
// or open behind a dangling                             waits (FIFO) ends the
//         link): its name; what                         run. Windows: it is
//         was there: nothing                            cancelled, a made file
//                                                       removed (an open that
//                                                       lasts past two seconds
//                                                       is left to the end)
// lock    no more: another      refused (another run),  after the step: as
//         run's file is its own nothing changed         for a failure
// check   a made file while it  refused, also when it   after the step: as
//         is empty: its bytes   cannot identify or      for a failure
//                               read: only an empty
//                               file it made is removed
// empty   the file's bytes      error; nothing changed  abandon
// write   the file's bytes      abandon                 abandon; Windows
//                                                       cancels a write that
//                                                       waits
// commit  nothing, once every   abandon, a failed last  before it: abandon;
//         close succeeded and   close too (emptied      after it: the file
//         the size is what it   through its name)       stays whole
//         wrote
// abandon nothing               not reported            runs once
// clang-format on
//
// Abandon empties the bytes the run owns, through a link too, and removes
// a name only if it is one the run made or the earlier timing file itself
// (never a link), it still leads to the file, and the file is empty. The
// name goes while the file is still open, and so locked, where it can
// (on Windows every handle of the tool's shares delete); on Windows
// another program may hold the file without letting it be removed: the
// removal is then tried again after the close, for about a second, and a
// name that still stays is told. A plain file, and a FIFO, is locked for
// one run at a time; a device is not. After an interruption
// the process ends by the same signal (Windows: with the status of Ctrl-C).
#ifndef TROVCONV_TIMING_FILE_H_
#define TROVCONV_TIMING_FILE_H_

#include <cstddef>
#include <cstdint>

#include "platform.h"

// Why Open refused, changing nothing that was not the run's own; not
// system errors, which are positive.
enum Refusal {
  kWrittenByAnotherRun = -1,      // another run holds the lock
  kWouldOverwriteCapture = -2,    // the timing name leads to the capture
  kHoldsCapture = -3,             // what is there starts as a capture does
  kWrittenByAnotherProgram = -4,  // bytes the run did not write
};

// Installs the interruption handling; called once before anything else.
void HandleInterruptions();

// One at a time: an interruption finds it.
class TimingFile {
 public:
  TimingFile() = default;
  TimingFile(const TimingFile&) = delete;
  TimingFile& operator=(const TimingFile&) = delete;

  // Looks, creates or opens, locks and checks: 0 when the file is this
  // run's, empty, to write. Otherwise an error number or a Refusal, with
  // nothing of the run's left.
  int Open(const platform::Path& path, const platform::FileIdentity& capture);
  int Write(const void* data, size_t size);
  // Closes the file, complete; one whose close fails is abandoned.
  int Commit();
  // Async-signal-safe: interruptions end here too.
  void Abandon();
  // After a failed run: the system's error that kept the name of the
  // emptied timing file (on Windows, another program holding it open), or 0.
  int kept_name_error() const { return left_empty_ ? removal_error_ : 0; }
  // After a failed run: the system's error that kept the incomplete timing
  // file from being emptied, or 0.
  int emptying_error() const { return emptying_error_; }

 private:
  // Held for every step (see the table above); steps within steps add
  // nothing.
  struct Hold {
    Hold();
    ~Hold();
  };

  // The system's own parts.
  int OpenFile(const platform::Path& path);
  int WriteSome(const char* data, size_t size, size_t* put);
  int RemoveAfterClose();
  // Abandons the file and ends the process if an interruption has come.
  void EndIfInterrupted();
  void Arm();
  static void Disarm();

  int Lock();
  int Check(const platform::FileIdentity& capture);
  int Empty();
  int CloseAll();
  int Reopen();
  int RemoveIfStillNamed();

  int fd_ = -1;
  platform::Path name_;       // the timing name, as the system is handed it
  platform::Path removable_;  // the name it may remove; empty for none
  platform::FileIdentity identity_ = {};
  bool identified_ = false;
  bool made_ = false;            // created by this run
  bool locked_ = false;          // by this run, or no locks are to be had
  bool opened_to_read_ = false;  // as a plain file is, to be checked
  bool owned_ = false;  // its bytes are this run's: made and empty, or emptied
  bool left_empty_ = false;
  int removal_error_ = 0;
  int emptying_error_ = 0;
  uint64_t written_ = 0;
};

#endif  // TROVCONV_TIMING_FILE_H_
