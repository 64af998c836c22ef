// The command line and run sequence, and the naming of the timing file.
#ifndef TROVCONV_CONVERT_H_
#define TROVCONV_CONVERT_H_

#include <cstddef>
#include <string>

struct Capture;

using LeadByteTest = bool (*)(unsigned char);

// A path taken apart the way the timing file's name is derived from it.
// Each component keeps its separators and dot as written.
struct PathParts {
  std::string drive;      // "C:" or empty
  std::string directory;  // up to and including the last separator
  std::string base;
  std::string extension;  // from the last dot of the file name on
  // The directory or base name was longer than 255 bytes and was cut, so
  // the joined path no longer names the capture's own folder and name.
  bool shortened = false;
};

// Both '/' and '\' separate on every system. A double-byte character (its
// lead byte as is_lead_byte says) is never a separator or a dot, and is never
// cut in half when a component is shortened to 255 bytes.
PathParts SplitPath(const std::string& path, LeadByteTest is_lead_byte);
std::string JoinTimingPath(const PathParts& parts, LeadByteTest is_lead_byte);

// The capture path with its extension replaced by "tim".
std::string TimingPathFor(const std::string& capture_path,
                          LeadByteTest is_lead_byte);

// Why a capture whose file delivered that many bytes into the record cannot
// be converted, as the message that says so; nullptr when it can.
const char* RecordRejection(const Capture& capture, size_t delivered);

// Runs the whole conversion for the argument vector; returns the exit status.
int RunConverter(int argc, char** argv);

#endif  // TROVCONV_CONVERT_H_
