#include <dlfcn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/core/process.h"
#include "tests/platform/core/temp_folder.h"

namespace {

// Waits for a child this test started, so that no process is left behind.
int WaitForExit(int pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(CreateProcessFromCommandLine, PassesArgumentsWithBlanksAndQuotes) {
  TempFolder temp;
  std::string out = temp / "out";
  std::string line = "/bin/sh -c \"printf '%s|%s|%s' \\\"$1\\\" \\\"$2\\\" \\\"$3\\\" > '" + out +
                     "'\" zero \"a b\" \"c\\\"d\" \"100% e\\\\\"";
  int pid = -1;
  ASSERT_TRUE(CreateProcessFromCommandLine(line, &pid));
  ASSERT_GT(pid, 0);
  EXPECT_EQ(WaitForExit(pid), 0);
  EXPECT_EQ(ReadWholeFile(out), "a b|c\"d|100% e\\");
}

TEST(CreateProcessFromCommandLine, ChildInheritsNoStrayDescriptor) {
  TempFolder temp;
  std::string out = temp / "out";
  // A descriptor a host program left inheritable (no O_CLOEXEC).
  int stray = open(temp.path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(stray, 0);
  std::string line = "/bin/sh -c \"if [ -e /proc/self/fd/" + std::to_string(stray) +
                     " ]; then echo leaked; else echo clean; fi > '" + out + "'\"";
  int pid = -1;
  bool started = CreateProcessFromCommandLine(line, &pid);
  close(stray);
  ASSERT_TRUE(started);
  EXPECT_EQ(WaitForExit(pid), 0);
  EXPECT_EQ(ReadWholeFile(out), "clean\n");
}

TEST(CreateProcessFromCommandLine, MissingProgramIsReportedAsFailure) {
  TempFolder temp;
  errno = 0;
  EXPECT_FALSE(CreateProcessFromCommandLine("\"" + (temp / "no such program") + "\" 1"));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(CreateProcessFromCommandLine(""));
}

TEST(ModulePath, FunctionInTheProgramGivesTheProgramPath) {
  std::string path = ModulePathOf(reinterpret_cast<const void*>(&WaitForExit));
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), '/');
  EXPECT_TRUE(path.ends_with("/test_core_misc")) << path;
  EXPECT_EQ(path, ProgramPath());
}

TEST(ModulePath, FunctionInASharedLibraryGivesThatLibrary) {
  void* libc = dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(libc, nullptr);
  void* symbol = dlsym(libc, "printf");
  dlclose(libc);
  std::string path = ModulePathOf(symbol);
  EXPECT_EQ(path.front(), '/');
  EXPECT_TRUE(path.find("libc.so") != std::string::npos) << path;
  EXPECT_EQ(ModulePathOf(nullptr), "");
}

TEST(ModulePath, FolderOf) {
  EXPECT_EQ(FolderOf("/opt/zembra/libZembra.so"), "/opt/zembra");
  EXPECT_EQ(FolderOf("/libZembra.so") + "/keys", "/keys");
  EXPECT_EQ(FolderOf("libZembra.so"), "");
}
