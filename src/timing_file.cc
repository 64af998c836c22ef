#include "timing_file.h"

#include <cerrno>
#include <cstdint>

#include "capture.h"

using platform::FileIdentity;
using platform::SameFile;

int TimingFile::Open(const platform::Path& path, const FileIdentity& capture) {
  // By name first, so that a capture that may not be written gets the
  // plain reason, not the system's.
  FileIdentity there;
  if (platform::IdentifyPath(path, &there) == 0 && SameFile(there, capture))
    return kWouldOverwriteCapture;
  Hold hold;
  int error = OpenFile(path);
  if (error == 0)
    error = Lock();
  if (error == 0)
    error = Check(capture);
  if (error == 0) {
    EndIfInterrupted();  // before anything of the file is changed
    error = Empty();
  }
  if (error != 0) {
    Abandon();
    return error;
  }
  Arm();
  return 0;
}

// A file this run made is locked before it is even identified: until then
// another run may open it and take it over. A run that gives a file up
// removes its name before it lets go of the lock, so a name that no longer
// leads to the file means that another run had it.
int TimingFile::Lock() {
  if (made_ && platform::LockedElsewhere(fd_))
    return kWrittenByAnotherRun;
  locked_ = made_;
  if (int error = platform::Identify(fd_, &identity_))
    return error;
  identified_ = true;
  owned_ = made_ && identity_.size == 0;  // locked: no other run's bytes
  FileIdentity entry;
  if (!made_ && platform::IdentifyEntry(name_, &entry) == 0 &&
      SameFile(entry, identity_))
    removable_ = name_;  // the earlier timing file itself, not a link to it
  if (!made_ && (identity_.regular || identity_.fifo)) {
    if (platform::LockedElsewhere(fd_))
      return kWrittenByAnotherRun;
    locked_ = true;
  }
  if (!identity_.regular)
    return 0;
  FileIdentity named;
  const int looked = platform::IdentifyPath(name_, &named);
  if (looked == ENOENT || (looked == 0 && !SameFile(named, identity_)))
    return kWrittenByAnotherRun;
  return looked;
}

// A timing file never starts as a capture does: a file at the timing name
// that does is some capture, never an earlier conversion. It is read
// through the descriptor that will write it, so that nothing can be put in
// its place between the look and the write. A FIFO or a device is never
// read.
int TimingFile::Check(const FileIdentity& capture) {
  if (SameFile(identity_, capture))
    return kWouldOverwriteCapture;
  if (!identity_.regular)
    return opened_to_read_ ? kWrittenByAnotherProgram : 0;
  if (made_)
    return owned_ ? 0 : kWrittenByAnotherProgram;
  uint8_t start[kMagicSize];
  size_t delivered = 0;
  if (int error = platform::ReadStart(fd_, start, sizeof start, &delivered))
    return error;
  return delivered == sizeof start && StartsWithMagic(start) ? kHoldsCapture
                                                             : 0;
}

// A file this run made is empty, and is left alone, as an open that
// truncates leaves a file it has just created: on ext4 a truncation to zero
// marks the file as replaced, and its close then starts writing it all out
// to disk, at a cost. A failed truncation has changed nothing: the file
// stays the user's. Devices and FIFOs cannot be truncated and need not be.
int TimingFile::Empty() {
  if (!identity_.regular || owned_)
    return 0;
  const int error = platform::TruncateToEmpty(fd_);
  owned_ = error == 0;
  return error;
}

int TimingFile::Write(const void* data, size_t size) {
  const char* at = static_cast<const char*>(data);
  while (size > 0) {
    size_t put;
    if (int error = WriteSome(at, size, &put))
      return error;
    if (put == 0)  // no progress and no error: never spin on it
      return EIO;
    at += put;
    size -= put;
    written_ += put;
  }
  return 0;
}

// A write that failed late is reported by the flush of a file on a share
// (Windows) or by a close (a network file system on Linux). A size other
// than what the run wrote means another program wrote too.
int TimingFile::Commit() {
  Hold hold;
  int error = platform::FlushIfRemote(fd_);
  if (error == 0 && identity_.regular) {
    FileIdentity now;
    error = platform::Identify(fd_, &now);
    if (error == 0 && now.size != written_)
      error = kWrittenByAnotherProgram;
  }
  if (error == 0)
    error = CloseAll();
  if (error != 0)
    Abandon();
  else
    Disarm();
  return error;
}

// The copy keeps the file to empty when the first close reports a late
// failure; when only the last one does, Abandon finds it again by name.
int TimingFile::CloseAll() {
  const int spare = platform::Duplicate(fd_);
  int error = platform::Close(fd_);
  fd_ = spare;
  if (error == 0 && fd_ >= 0) {
    error = platform::Close(fd_);
    fd_ = -1;
  }
  return error;
}

// The name goes while the file is still open, and so locked: no other run
// can take the file over before that.
void TimingFile::Abandon() {
  Hold hold;
  if (owned_ && fd_ < 0)
    emptying_error_ = Reopen();
  if (owned_ && fd_ >= 0)  // so that no other link keeps the bytes
    emptying_error_ = platform::TruncateToEmpty(fd_);
  FileIdentity now;
  if (emptying_error_ != 0 && fd_ >= 0 && platform::Identify(fd_, &now) == 0 &&
      now.size == 0)
    emptying_error_ = 0;  // nothing had been written
  int removal = fd_ >= 0 && emptying_error_ == 0 ? RemoveIfStillNamed() : 0;
  if (fd_ >= 0) {
    platform::Close(fd_);
    fd_ = -1;
  }
  if (removal != 0)
    removal = RemoveAfterClose();
  left_empty_ = removal != 0;
  Disarm();
}

// The last close took the descriptor, and the lock, with it: the file is
// found again by its name and locked again, or, where the name no longer
// leads to it or another run has it now, left as no longer this run's.
int TimingFile::Reopen() {
  int fd;
  const int opened = platform::OpenToEmpty(name_, &fd);
  if (opened != 0 && opened != ENOENT)
    return opened;
  FileIdentity found;
  const int error = opened != 0 ? 0 : platform::Identify(fd, &found);
  if (opened == 0 && error == 0 && SameFile(found, identity_) &&
      !platform::LockedElsewhere(fd)) {
    fd_ = fd;
    return 0;
  }
  if (opened == 0)
    platform::Close(fd);
  if (error == 0)
    owned_ = locked_ = false;
  return error;
}

// 0 when the name is gone or not this run's to remove, else the error that
// kept it. Only an empty plain file goes: this run's, or one it made and
// holds the lock of (identified or not: a failure before the check leaves
// it so). A name of this run's that cannot be looked at may still be
// there: that is the error.
int TimingFile::RemoveIfStillNamed() {
  if (removable_.empty() || !(owned_ || (made_ && locked_)))
    return 0;
  FileIdentity named;
  const int looked = platform::IdentifyEntry(removable_, &named);
  if (looked != 0) {
    removal_error_ = looked == ENOENT ? 0 : looked;
    return removal_error_;
  }
  if (!named.regular || named.size != 0 ||
      (identified_ && !SameFile(named, identity_)))
    return 0;
  removal_error_ = platform::RemoveFile(removable_);
  return removal_error_;
}
