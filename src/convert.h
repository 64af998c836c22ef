// The command line and run sequence, and the naming of the timing file.
#ifndef TROVCONV_CONVERT_H_
#define TROVCONV_CONVERT_H_

#include <cstddef>
#include <string>

#include "platform.h"

struct Capture;

// The capture path with the extension of its file name ("dat", or whatever
// follows the name's last dot) replaced by "tim", or "tim" added where there
// is none. Both '/' and '\' separate on every system. No component is ever
// shortened: the timing file goes beside the capture under its whole name,
// and a name the file system cannot hold is refused when the file is
// created. Char is a byte where paths are bytes, and a UTF-16 code unit on
// Windows, where a character of any script is a unit that is never a
// separator or a dot. Made for char and wchar_t paths.
template <typename Char>
std::basic_string<Char> TimingPathFor(const std::basic_string<Char>& path);

// Why a capture whose file delivered that many bytes into the record cannot
// be converted, as the message that says so; nullptr when it can.
const char* RecordRejection(const Capture& capture, size_t delivered);

// Runs the whole conversion for the argument vector, as the system hands it
// over (see platform::PathChar); returns the exit status.
int RunConverter(int argc, platform::PathChar** argv);

#endif  // TROVCONV_CONVERT_H_
