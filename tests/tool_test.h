// What the end-to-end tests share: a fixture that runs the built tool on
// files in a scratch folder of its own, and the captures they convert.
#ifndef TROVCONV_TOOL_TEST_H_
#define TROVCONV_TOOL_TEST_H_

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "capture_builder.h"
#include "run_tool.h"

// What the tool says, with plain line feeds (see ExpectRun).
inline const char kNotTrovik[] = "not trovik data file\n";
inline const char kTruncated[] = "truncated trovik data file\n";
inline const char kSameFile[] =
    "trovconv: timing file would overwrite the capture file\n";
inline const char kHoldsCapture[] = "trovconv: timing file holds a capture\n";
inline const char kAnotherRun[] =
    "trovconv: timing file is being written by another run\n";

// A failed system call, in the runtime's words, which differ between
// systems.
inline std::string SystemError(int error) {
  return "trovconv: " + std::string(std::strerror(error)) + "\n";
}

// Channel 0 changes level on every sample up to count, so the timing file
// grows by one edge line per sample.
inline CaptureBuilder Toggling(int count) {
  CaptureBuilder builder;
  builder.SignalCount(1);
  for (int j = 0; j < count; ++j)
    builder.Level(0, j, j % 2);
  return builder;
}

class ToolTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_ / name; }

  // A sentinel that no test expects stands in for a file that is gone.
  std::string Content(const std::string& name) const {
    std::string content;
    return ReadFile(Path(name), &content) ? content : "<unreadable>";
  }

  void Put(const std::string& name, const std::string& content) const {
    std::ofstream(Path(name), std::ios::binary) << content;
  }

  // err is written with plain line feeds; on Windows standard error is a
  // text stream and each one must arrive as CR LF.
  static void ExpectRun(const ToolRun& run, int status,
                        const std::string& err) {
    EXPECT_EQ(run.status, status);
#ifdef _WIN32
    std::string lines;
    for (char c : err)
      lines += c == '\n' ? "\r\n" : std::string(1, c);
    EXPECT_EQ(run.err, lines);
#else
    EXPECT_EQ(run.err, err);
#endif
    EXPECT_EQ(run.out, "");
  }

  ScratchDir dir_;
};

#endif  // TROVCONV_TOOL_TEST_H_
