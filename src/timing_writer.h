// Writes a capture as a timing-diagram text file: a header line, then one
// block per exported channel listing the samples where its level changes.
#ifndef TROVCONV_TIMING_WRITER_H_
#define TROVCONV_TIMING_WRITER_H_

#include <cstddef>
#include <cstdint>

struct Capture;

// Where the timing file's bytes go. Line ends arrive already as CR LF, and
// the writer gathers its output into pieces of 128 KiB, so a sink need not
// buffer.
class Sink {
 public:
  virtual ~Sink() = default;
  // Returns false once the sink has failed; nothing more need be sent then.
  virtual bool Write(const char* data, size_t size) = 0;
};

// Edits each exported channel's name in place (spaces in its first six bytes
// become underscores) just before writing it, so later reads of those bytes
// see the edit. Stops at the first failed write, which the sink reports.
// Not reentrant: conversions share one workspace.
void WriteTimingFile(Capture* capture, int64_t interval, Sink* out);

#endif  // TROVCONV_TIMING_WRITER_H_
