// The command line and run sequence, and the naming of the timing file.
#ifndef TROVCONV_CONVERT_H_
#define TROVCONV_CONVERT_H_

#include <cstddef>
#include <string>

#include "platform.h"

struct Capture;

// A path taken apart the way the timing file's name is derived from it.
// Each component keeps its separators and dot as written. Char is a byte
// where paths are bytes, and a UTF-16 code unit on Windows, where a
// character of any script is a unit that is never a separator or a dot.
template <typename Char>
struct PathParts {
  using String = std::basic_string<Char>;
  String drive;      // "C:" or empty
  String directory;  // up to and including the last separator
  String base;
  String extension;  // from the last dot of the file name on
};

// Both '/' and '\' separate on every system. No component is ever shortened:
// the timing file goes beside the capture under its whole name, and a name
// the file system cannot hold is refused when the file is created.
template <typename Char>
PathParts<Char> SplitPath(const std::basic_string<Char>& path);
template <typename Char>
std::basic_string<Char> JoinTimingPath(const PathParts<Char>& parts);

// The capture path with its extension replaced by "tim".
// Made for char and wchar_t paths.
template <typename Char>
std::basic_string<Char> TimingPathFor(const std::basic_string<Char>& path);

// Why a capture whose file delivered that many bytes into the record cannot
// be converted, as the message that says so; nullptr when it can.
const char* RecordRejection(const Capture& capture, size_t delivered);

// Runs the whole conversion for the argument vector, as the system hands it
// over (see platform::PathChar); returns the exit status.
int RunConverter(int argc, platform::PathChar** argv);

#endif  // TROVCONV_CONVERT_H_
