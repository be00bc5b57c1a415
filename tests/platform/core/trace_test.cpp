#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sstream>

#include "platform/core/trace.h"
#include "tests/platform/core/stderr_capture.h"
#include "tests/platform/core/temp_folder.h"

TEST(Trace, GoesNowhereWithoutTheVariable) {
  TempFolder temp;
  {
    StderrCapture capture(temp / "unset", nullptr);
    EXPECT_FALSE(TraceEnabled());
    TraceText("hidden\n");
    EXPECT_EQ(capture.Text(), "");
  }
  {
    StderrCapture capture(temp / "empty", "");
    EXPECT_FALSE(TraceEnabled());
    TraceText("hidden\n");
    EXPECT_EQ(capture.Text(), "");
  }
}

TEST(Trace, EachTextIsOneLine) {
  TempFolder temp;
  StderrCapture capture(temp / "err", "1");
  EXPECT_TRUE(TraceEnabled());
  TraceText("first");
  TraceText("second\n");
  TraceText("");
  EXPECT_EQ(capture.Text(), "first\nsecond\n\n");
}

// Lines of processes tracing at once into one standard error stay whole.
TEST(Trace, ConcurrentProcessesDoNotInterleave) {
  TempFolder temp;
  StderrCapture capture(temp / "err", "1");
  constexpr int kChildren = 4;
  constexpr int kLines = 200;
  constexpr std::size_t kLength = 3000;
  pid_t children[kChildren];
  for (int c = 0; c < kChildren; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      std::string line(kLength, static_cast<char>('A' + c));
      for (int i = 0; i < kLines; ++i) TraceText(line);
      _exit(0);
    }
  }
  for (pid_t child : children) waitpid(child, nullptr, 0);

  std::istringstream lines(capture.Text());
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ++count;
    ASSERT_EQ(line.size(), kLength) << "line " << count;
    EXPECT_EQ(line.find_first_not_of(line[0]), std::string::npos) << "line " << count;
  }
  EXPECT_EQ(count, kChildren * kLines);
}
