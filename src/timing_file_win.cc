// Windows: the steps are held by a lock that the console handler takes,
// on a thread of its own, before it abandons the file and ends the process.
#include <windows.h>
// After windows.h, which the others rely on.
#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cerrno>

#include "call_seam.h"
#include "timing_file.h"

namespace {

// Held for every write and every step of the timing file's life, but not
// for an open, which may wait; ready before main runs.
struct Lock {
  Lock() { InitializeCriticalSection(&section); }
  CRITICAL_SECTION section;
} writing;

// Written only under the lock, but for interrupted, which the handler sets
// first and the main thread reads after a write, and cancellable, which
// the main thread sets around the calls that may wait.
enum Phase { kIdle, kOpening, kArmed };
Phase phase = kIdle;
std::atomic<bool> interrupted{false};
std::atomic<bool> cancellable{false};
TimingFile* armed = nullptr;
std::atomic<bool> armed_device{false};  // nothing of it to take back
HANDLE main_thread = nullptr;

// With the status an interrupted console program gets by default.
[[noreturn]] void EndByInterruption() {
  TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  ExitProcess(STATUS_CONTROL_C_EXIT);  // not reached
}

// Only an open or a write is cancelled: a step that identifies or checks
// the file must finish, or the run would not know what it made.
void CancelWhatWaits() {
  if (cancellable && main_thread != nullptr)
    CancelSynchronousIo(main_thread);
}

// Cancels the main thread's write under way (on a share or a pipe that
// does not answer), every 50 ms, for as long as it holds the lock, at most
// two seconds; then waits for it.
void TakeLock() {
  for (int tries = 0; !TryEnterCriticalSection(&writing.section); ++tries) {
    if (tries == 40)
      return EnterCriticalSection(&writing.section);
    CancelWhatWaits();
    Sleep(50);
  }
}

// Called on a thread of its own. The lock, once taken, is never given back,
// so no write follows; the process then ends at once (the default handler
// would end it a little later, time enough to open and half write the
// timing file). A write to a file that stalls (a share that stopped
// answering) is cancelled: the main thread, finding the interruption
// noted, then waits to be ended (WriteSome); one that cannot be cancelled
// is waited for. An open that waits is cancelled too, and the main thread
// takes back what it opened or made and ends the process; one that cannot
// be cancelled has two seconds to return. Abandoning the file takes a
// truncation, a close and a removal, so a closed window, logoff or
// shutdown ends well inside the five seconds the system gives, unless the
// file's own share stops answering too.
BOOL WINAPI OnControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT &&
      event != CTRL_CLOSE_EVENT && event != CTRL_LOGOFF_EVENT &&
      event != CTRL_SHUTDOWN_EVENT)
    return FALSE;
  interrupted = true;
  // A pipe or a device has nothing to take back, and a write to it may wait
  // for ever, cancelled or not (Wine cannot cancel one): the end is now.
  if (armed_device)
    EndByInterruption();
  TakeLock();
  // Held, the lock keeps the main thread in the open while it is cancelled.
  for (int tries = 0; phase == kOpening && tries < 40; ++tries) {
    CancelWhatWaits();
    LeaveCriticalSection(&writing.section);
    Sleep(50);
    EnterCriticalSection(&writing.section);
  }
  if (phase == kArmed)
    armed->Abandon();
  EndByInterruption();
}

// The file opened must be listed under the timing name itself: a capture
// whose own long name looks like a short (8.3) alias gets a timing name
// that can be another file's alias, which the system would open as well.
int OpenedAsListed(const platform::Path& name, int fd) {
  platform::FileIdentity id;
  if (int error = platform::Identify(fd, &id))
    return error;
  platform::Path entry;
  if (!id.regular)
    return 0;
  if (int error = platform::EntryName(name, id, &entry))
    return error;
  const size_t name_at = name.find_last_of(L"\\/") + 1;
  const size_t entry_at = entry.find_last_of(L"\\/") + 1;
  return CompareStringOrdinal(name.c_str() + name_at, -1,
                              entry.c_str() + entry_at, -1, TRUE) == CSTR_EQUAL
             ? 0
             : EEXIST;
}

}  // namespace

void HandleInterruptions() {
  main_thread =
      OpenThread(THREAD_TERMINATE | SYNCHRONIZE, FALSE, GetCurrentThreadId());
  SetConsoleCtrlHandler(OnControl, TRUE);
  SEAM_HANDLER(OnControl);
}

// Created new when nothing is there, so that this run knows for certain
// whether it made the name; otherwise what is there is opened unchanged,
// to be read for the check as well. The open is made without the lock,
// for the handler to cancel; an interruption that came meanwhile takes
// back what it made, here.
int TimingFile::OpenFile(const platform::Path& path) {
  name_ = platform::SystemName(path);
  removable_ = name_;  // before anything is made: no memory needed after
  int error = 0;
  bool gone = false;  // between the look and the open
  for (int tries = 0; tries < 8; ++tries) {
    phase = kOpening;
    cancellable = true;
    LeaveCriticalSection(&writing.section);
    error = platform::OpenFile(name_, _O_RDWR | _O_CREAT | _O_EXCL, &fd_);
    made_ = error == 0;
    if (error == EEXIST)
      error = platform::OpenFile(name_, _O_RDWR, &fd_);
    gone = !made_ && error == ENOENT;
    EnterCriticalSection(&writing.section);
    cancellable = false;
    phase = kIdle;
    if (interrupted || !gone)
      break;
  }
  if (!made_)
    removable_.clear();
  if (error == 0 && !made_ && !interrupted &&
      (error = OpenedAsListed(name_, fd_)) != 0) {
    platform::Close(fd_);
    fd_ = -1;
  }
  if (interrupted) {
    locked_ = made_ && !platform::LockedElsewhere(fd_);
    Abandon();
    EndByInterruption();
  }
  return gone ? kWrittenByAnotherProgram : error;
}

// A write cancelled by the handler, or one it would come after, is no
// failure to report: the handler abandons the file and ends the process.
int TimingFile::WriteSome(const char* data, size_t size, size_t* put) {
  *put = 0;
  EnterCriticalSection(&writing.section);
  cancellable = true;
  const int error =
      interrupted ? EINTR : platform::WriteOnce(fd_, data, size, put);
  cancellable = false;
  LeaveCriticalSection(&writing.section);
  if (error != 0 && interrupted)
    Sleep(INFINITE);
  return error;
}

// Another program (a scanner, an indexer, a sync client) may hold the file
// open a moment longer, without letting it be removed: the removal is tried
// again for about a second, each time with the file opened again and
// locked, so that no other run that has it by then loses it.
int TimingFile::RemoveAfterClose() {
  int error = removal_error_;
  for (int tries = 0; error != 0 && tries < 50; ++tries) {
    Sleep(20);
    if (identified_ && (error = Reopen()) != 0)
      continue;
    error = identified_ && fd_ < 0 ? 0 : RemoveIfStillNamed();
    if (fd_ >= 0) {
      platform::Close(fd_);
      fd_ = -1;
    }
  }
  return error;
}

void TimingFile::EndIfInterrupted() {
  if (interrupted) {
    Abandon();
    EndByInterruption();
  }
}

void TimingFile::Arm() {
  armed = this;
  phase = kArmed;
  armed_device = !identity_.regular;
}

void TimingFile::Disarm() {
  phase = kIdle;
  armed_device = false;
}

// The lock counts its holds: a step within a step adds nothing.
TimingFile::Hold::Hold() { EnterCriticalSection(&writing.section); }

TimingFile::Hold::~Hold() { LeaveCriticalSection(&writing.section); }
