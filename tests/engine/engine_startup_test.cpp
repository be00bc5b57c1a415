// Engine start-up: the installation mode, the key home and the trace lines, each case in a
// process of its own (the mode is decided once per process), run through engine_probe.
#include <gmock/gmock.h>
#include <gpgme.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "tests/support/key_ring.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::UnorderedElementsAre;
using ::testing::UnorderedElementsAreArray;

namespace {

struct ProbeOutput {
  ProcessResult process;
  std::vector<std::string> out;    // lines of standard output
  std::vector<std::string> trace;  // the "Zembra: " lines of the trace
  std::vector<std::string> log;    // the log lines copied to the trace, without "log: "

  std::string value(const std::string& name) const {  // "name value" line of the output
    for (const std::string& line : out)
      if (line.rfind(name + " ", 0) == 0) return line.substr(name.size() + 1);
    return "<no " + name + " line>";
  }
  std::vector<std::string> keys() const {
    std::vector<std::string> result;
    for (const std::string& line : out)
      if (line.rfind("key ", 0) == 0) result.push_back(line.substr(4));
    return result;
  }
};
std::ostream& operator<<(std::ostream& os, const ProbeOutput& output) {
  return os << output.process;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Runs the probe with the trace on; the registry, GnuPG home and home folder are those of the
// current environment (a KeyRing sets them) unless env says otherwise.
ProbeOutput Probe(const std::vector<std::string>& steps, const std::vector<std::string>& env = {},
                  const std::string& program = ZEMBRA_TEST_PROBE) {
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), steps.begin(), steps.end());
  std::vector<std::string> environment = {"ZEMBRA_TRACE=1", "LC_ALL=C", "LANGUAGE",
                                          "QT_QPA_PLATFORM=offscreen"};
  environment.insert(environment.end(), env.begin(), env.end());
  ProbeOutput output;
  output.process = RunProcess(argv, {}, environment);
  output.out = Lines(output.process.out);
  for (const std::string& line : Lines(output.process.err)) {
    if (line.rfind("Zembra: ", 0) == 0) output.trace.push_back(line);
    if (line.rfind("log: ", 0) == 0) output.log.push_back(line.substr(5));
  }
  return output;
}

// The trace of portable mode after the registry lines, for a library in folder.
std::vector<std::string> PortableTrace(const std::string& folder) {
  return {
      "Zembra: assuming portable mode [0]...",
      "Zembra: load libZembra.so => [<address>]...",
      "Zembra: path of libZembra.so => [" + folder + "]...",
      "Zembra: final path => `" + folder + "/keys`...",
  };
}

// The address of the load line varies; everything else is compared as it stands.
std::vector<std::string> WithoutAddress(std::vector<std::string> trace) {
  static const std::regex address(R"(^(Zembra: load libZembra\.so => \[)[^\]]+(\]\.\.\.)$)");
  for (std::string& line : trace) line = std::regex_replace(line, address, "$1<address>$2");
  return trace;
}

std::string Canonical(const std::string& path) { return fs::weakly_canonical(path).string(); }

std::string LibraryFolder() { return fs::path(ZEMBRA_TEST_LIBRARY).parent_path().string(); }

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Stops the agent that a test started in a GnuPG home of its own.
class AgentStopper {
 public:
  explicit AgentStopper(std::string home) : m_home(std::move(home)) {}
  ~AgentStopper() { RunProcess({"gpgconf", "--homedir", m_home, "--kill", "all"}); }

 private:
  std::string m_home;
};

// A copy of the probe and libZembra.so in a folder of the test's own, so that the key ring
// beside the library is the test's too.
std::string CopyProbeWithLibrary(const std::string& folder) {
  fs::create_directories(folder);
  fs::copy_file(ZEMBRA_TEST_LIBRARY, folder + "/libZembra.so");
  fs::copy_file(ZEMBRA_TEST_PROBE, folder + "/engine_probe");
  return folder + "/engine_probe";
}

}  // namespace

TEST(EngineStartup, WithoutInstallationKeyContextsUseTheKeysFolderBesideTheLibrary) {
  TempFolder temp;
  ProbeOutput run = Probe(
      {"init", "context", "context", "state"},
      {"ZEMBRA_REGISTRY_DIR=" + temp.path(), "GNUPGHOME=" + temp.path("g"), "HOME=" + temp.path()});
  ASSERT_EQ(run.process.exitCode, 0) << run;
  std::string keyHome = run.value("keyhome");
  std::string folder = fs::path(keyHome).parent_path().string();
  EXPECT_EQ(Canonical(keyHome), Canonical(LibraryFolder() + "/keys"));
  EXPECT_EQ(run.value("mode"), "0");
  EXPECT_EQ(run.value("init"), "0 ");
  EXPECT_THAT(run.out, Contains("home " + keyHome)) << run;
  EXPECT_THAT(WithoutAddress(run.trace),
              ElementsAreArray(
                  Concat(Concat({"Zembra: checking for portable mode..."}, PortableTrace(folder)),
                         {"Zembra: gpgme_new => [0] `" + keyHome + "`...",
                          "Zembra: gpgme_new => [0] `" + keyHome + "`..."})))
      << run;
  EXPECT_THAT(run.log, testing::IsEmpty());
}

TEST(EngineStartup, TypeFullKeepsGpgmeDefaultHomeAndListsItsKeys) {
  KeyRing ring;
  ProbeOutput run = Probe({"init", "context", "list", "state"});
  ASSERT_EQ(run.process.exitCode, 0) << run;
  EXPECT_EQ(run.value("mode"), "1");
  EXPECT_EQ(run.value("keyhome"), "");
  EXPECT_EQ(run.value("home"), "(default)");
  std::vector<std::string> expected;
  for (const TestKey& key : TestKeys()) expected.push_back(key.fingerprint);
  EXPECT_THAT(run.keys(), UnorderedElementsAreArray(expected)) << run;
  EXPECT_THAT(run.trace, ElementsAre("Zembra: checking for portable mode...",
                                     "Zembra: checking for portable mode: key is exists...",
                                     "Zembra: checking for portable mode: tyoe is here...",
                                     "Zembra: checking for portable mode: `Full`...",
                                     "Zembra: gpgme_new => [1] ``..."))
      << run;
}

TEST(EngineStartup, TypeInOtherCaseIsPortable) {
  KeyRing ring({.keys = {"alice"}, .secret = false, .fullInstall = false});
  ProbeOutput run = Probe({"type=full", "init", "context", "state"});
  ASSERT_EQ(run.process.exitCode, 0) << run;
  EXPECT_EQ(run.value("mode"), "0");
  std::string keyHome = run.value("keyhome");
  EXPECT_EQ(Canonical(keyHome), Canonical(LibraryFolder() + "/keys"));
  EXPECT_EQ(run.value("home"), keyHome);
  std::string folder = fs::path(keyHome).parent_path().string();
  EXPECT_THAT(
      WithoutAddress(run.trace),
      ElementsAreArray(Concat(Concat({"Zembra: checking for portable mode...",
                                      "Zembra: checking for portable mode: key is exists...",
                                      "Zembra: checking for portable mode: tyoe is here...",
                                      "Zembra: checking for portable mode: `full`..."},
                                     PortableTrace(folder)),
                              {"Zembra: gpgme_new => [0] `" + keyHome + "`..."})))
      << run;
}

TEST(EngineStartup, OtherTypeOrNoTypeIsPortable) {
  KeyRing ring({.keys = {"alice"}, .secret = false, .fullInstall = false});
  ProbeOutput other = Probe({"type=Other", "init", "state"});
  ASSERT_EQ(other.process.exitCode, 0) << other;
  EXPECT_EQ(other.value("mode"), "0");
  ASSERT_GE(other.trace.size(), 5u) << other;
  EXPECT_EQ(other.trace[3], "Zembra: checking for portable mode: `Other`...");
  EXPECT_EQ(other.trace[4], "Zembra: assuming portable mode [0]...");

  // The key without its value: nothing is reported beyond the trace.
  ProbeOutput none = Probe({"type-missing", "init", "state"});
  ASSERT_EQ(none.process.exitCode, 0) << none;
  EXPECT_EQ(none.value("mode"), "0");
  ASSERT_GE(none.trace.size(), 3u) << none;
  EXPECT_EQ(none.trace[1], "Zembra: checking for portable mode: key is exists...");
  EXPECT_EQ(none.trace[2], "Zembra: assuming portable mode [0]...");
  EXPECT_THAT(none.log, testing::IsEmpty());
}

TEST(EngineStartup, ModeIsDecidedOncePerProcess) {
  KeyRing ring({.keys = {"alice"}, .secret = false});
  // Full at the first initialisation: a later "portable" value changes nothing.
  ProbeOutput full = Probe({"init", "context", "type=portable", "init", "context", "state"});
  ASSERT_EQ(full.process.exitCode, 0) << full;
  EXPECT_EQ(full.value("mode"), "1");
  EXPECT_THAT(full.out, Each(Not(HasSubstr("home /"))));
  EXPECT_EQ(
      std::count(full.trace.begin(), full.trace.end(), "Zembra: checking for portable mode..."), 1);
  EXPECT_EQ(std::count(full.trace.begin(), full.trace.end(), "Zembra: gpgme_new => [1] ``..."), 2)
      << full;

  // Portable at the first initialisation: a later "Full" changes nothing either.
  ProbeOutput portable = Probe({"type=", "init", "type=Full", "init", "context", "state"});
  ASSERT_EQ(portable.process.exitCode, 0) << portable;
  EXPECT_EQ(portable.value("mode"), "0");
  EXPECT_EQ(portable.value("home"), portable.value("keyhome"));
  EXPECT_EQ(std::count(portable.trace.begin(), portable.trace.end(),
                       "Zembra: checking for portable mode..."),
            1);

  // The next process reads the value anew.
  EXPECT_EQ(Probe({"init", "state"}).value("mode"), "1");
}

TEST(EngineStartup, PortableContextsWorkOnTheKeyRingBesideTheLibrary) {
  // GNUPGHOME holds bob; the key ring beside the copied library holds alice.
  KeyRing ring({.keys = {"bob"}, .secret = false, .fullInstall = false});
  std::string probe = CopyProbeWithLibrary(ring.path("bin"));
  std::string keys = ring.path("bin/keys");
  fs::create_directory(keys);
  fs::permissions(keys, fs::perms::owner_all);
  AgentStopper stopper(keys);
  ProcessResult imported = RunProcess({"gpg", "--homedir", keys, "--batch", "--quiet", "--import",
                                       TestKeyFolder() + "/alice.pub.asc"});
  ASSERT_EQ(imported.exitCode, 0) << imported;

  ProbeOutput run = Probe({"init", "context", "list", "state"}, {}, probe);
  ASSERT_EQ(run.process.exitCode, 0) << run;
  EXPECT_EQ(run.value("keyhome"), keys);
  EXPECT_EQ(run.value("home"), keys);
  EXPECT_THAT(run.keys(), ElementsAre(ring.fingerprint("alice"))) << run;
  EXPECT_THAT(WithoutAddress(run.trace),
              ElementsAreArray(Concat(Concat({"Zembra: checking for portable mode..."},
                                             PortableTrace(ring.path("bin"))),
                                      {"Zembra: gpgme_new => [0] `" + keys + "`..."})))
      << run;
}

// The folder of the library was read into a buffer of 256 bytes, so a longer path gave a key
// home in a truncated, wrong folder.
TEST(EngineStartup, KeyHomeOfALibraryInAFolderLongerThan255Bytes) {
  TempFolder temp;
  std::string folder = temp.path("bin");
  while (folder.size() < 300) folder += "/a-rather-long-folder-name";
  std::string probe = CopyProbeWithLibrary(folder);
  ProbeOutput run = Probe(
      {"init", "context", "state"},
      {"ZEMBRA_REGISTRY_DIR=" + temp.path(), "GNUPGHOME=" + temp.path("g"), "HOME=" + temp.path()},
      probe);
  ASSERT_EQ(run.process.exitCode, 0) << run;
  EXPECT_EQ(run.value("keyhome"), folder + "/keys");
  EXPECT_EQ(run.value("home"), folder + "/keys");
}

TEST(EngineStartup, MissingEngineFailsWithErrorInTheLog) {
  TempFolder temp;
  ProbeOutput run = Probe({"--log-box", "missing-engine", "init", "state"},
                          {"ZEMBRA_REGISTRY_DIR=" + temp.path(), "GNUPGHOME=" + temp.path("g"),
                           "HOME=" + temp.path(), "XDG_RUNTIME_DIR=" + temp.path()});
  ASSERT_EQ(run.process.exitCode, 0) << run;
  std::string text = gpgme_strerror(gpgme_error(GPG_ERR_INV_ENGINE));
  EXPECT_EQ(run.value("init"), std::to_string(GPG_ERR_INV_ENGINE) + " " + text);
  EXPECT_EQ(run.value("logbox"), "Error: " + text + "\\n") << run;
  // The mode is decided all the same.
  EXPECT_EQ(run.value("mode"), "0");
}

TEST(EngineStartup, WorkingEngineWritesNothingToTheLog) {
  KeyRing ring({.keys = {"alice"}, .secret = false});
  ProbeOutput run = Probe({"--log-box", "init", "context"}, {"XDG_RUNTIME_DIR=" + ring.folder()});
  ASSERT_EQ(run.process.exitCode, 0) << run;
  EXPECT_EQ(run.value("init"), "0 ");
  EXPECT_EQ(run.value("logbox"), "") << run;
}

// The launchers start the engine query before the window is built; what the window then finds
// must be what it finds without the head start.
TEST(EngineStartup, WarmUpChangesNeitherModeNorHomeNorKeys) {
  KeyRing ring({.keys = {"alice", "bob"}, .secret = false});
  ProbeOutput warm =
      Probe({"warm-up", "init", "context", "list", "state"}, {"XDG_RUNTIME_DIR=" + ring.folder()});
  ProbeOutput cold =
      Probe({"init", "context", "list", "state"}, {"XDG_RUNTIME_DIR=" + ring.folder()});
  ASSERT_EQ(warm.process.exitCode, 0) << warm;
  EXPECT_EQ(warm.value("init"), "0 ");
  EXPECT_EQ(warm.value("mode"), "1");
  EXPECT_EQ(warm.value("home"), "(default)");
  EXPECT_THAT(warm.keys(), UnorderedElementsAre(ring.fingerprint("alice"), ring.fingerprint("bob")))
      << warm;
  EXPECT_EQ(warm.out, cold.out);
  EXPECT_EQ(warm.trace, cold.trace);
}

TEST(EngineStartup, WarmUpWithPortableModeStillUsesTheKeysBesideTheLibrary) {
  TempFolder temp;
  ProbeOutput run = Probe(
      {"warm-up", "init", "context", "state"},
      {"ZEMBRA_REGISTRY_DIR=" + temp.path(), "GNUPGHOME=" + temp.path("g"), "HOME=" + temp.path()});
  ASSERT_EQ(run.process.exitCode, 0) << run;
  EXPECT_EQ(run.value("mode"), "0");
  EXPECT_EQ(Canonical(run.value("home")), Canonical(LibraryFolder() + "/keys")) << run;
}

// A failed query in the head start is answered again to the window, which must show it.
TEST(EngineStartup, WarmUpOnAMissingEngineStillPutsTheErrorInTheLog) {
  TempFolder temp;
  ProbeOutput run = Probe({"--log-box", "missing-engine", "warm-up", "init"},
                          {"ZEMBRA_REGISTRY_DIR=" + temp.path(), "GNUPGHOME=" + temp.path("g"),
                           "HOME=" + temp.path(), "XDG_RUNTIME_DIR=" + temp.path()});
  ASSERT_EQ(run.process.exitCode, 0) << run;
  std::string text = gpgme_strerror(gpgme_error(GPG_ERR_INV_ENGINE));
  EXPECT_EQ(run.value("init"), std::to_string(GPG_ERR_INV_ENGINE) + " " + text);
  EXPECT_EQ(run.value("logbox"), "Error: " + text + "\\n") << run;
}

namespace {

// An executable shell script.
void WriteScript(const std::string& path, const std::string& body) {
  std::ofstream(path) << "#!/bin/sh\n" << body;
  fs::permissions(path, fs::perms::owner_all);
}

// The program of that name that this process's PATH finds, as the shell finds it.
std::string InstalledProgram(const std::string& name) {
  const ProcessResult found = RunProcess({"sh", "-c", "command -v " + name});
  return found.out.substr(0, found.out.find('\n'));
}

// A script that notes its arguments in log, after its own name, and runs the installed program.
void WriteLoggingWrapper(const std::string& path, const std::string& log) {
  const std::string name = fs::path(path).filename().string();
  WriteScript(path, "echo \"" + name + " $*\" >> '" + log + "'\nexec '" + InstalledProgram(name) +
                        "' \"$@\"\n");
}

std::vector<std::string> LinesOf(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string PathWith(const std::string& folder) {
  return "PATH=" + folder + ":" + std::getenv("PATH");
}

}  // namespace

// GPGME 1.18 ran gpgconf twice and gpgsm and gpgconf for their versions before the first
// context; where gpg sits beside gpgconf it is found without them, and only it is asked.
TEST(EngineStartup, AGpgBesideGpgconfIsTheEngineAndGpgconfIsNotRun) {
  KeyRing ring({.keys = {"alice"}, .secret = false});
  const std::string bin = ring.path("bin"), runs = ring.path("runs");
  fs::create_directory(bin);
  WriteLoggingWrapper(bin + "/gpg", runs);
  WriteLoggingWrapper(bin + "/gpgconf", runs);
  ProbeOutput run = Probe({"warm-up", "init", "engine", "context", "list"},
                          {PathWith(bin), "XDG_RUNTIME_DIR=" + ring.folder()});
  ASSERT_EQ(run.process.exitCode, 0) << run;
  EXPECT_EQ(run.value("init"), "0 ");
  EXPECT_EQ(run.value("engine"), bin + "/gpg");
  EXPECT_THAT(run.keys(), ElementsAre(ring.fingerprint("alice"))) << run;
  const std::vector<std::string> programs = LinesOf(runs);
  ASSERT_EQ(programs.size(), 2u) << run;
  EXPECT_EQ(programs[0], "gpg --version");
  EXPECT_THAT(programs[1], HasSubstr("--list-keys"));
}

// A gpg that comes first in PATH but not beside gpgconf is not the engine: gpgconf says which.
TEST(EngineStartup, AGpgAheadOfGpgconfInPathLeavesTheEngineToGpgconf) {
  KeyRing ring({.keys = {"alice"}, .secret = false});
  const std::string ahead = ring.path("ahead"), runs = ring.path("runs");
  fs::create_directory(ahead);
  WriteLoggingWrapper(ahead + "/gpg", runs);
  std::string named;
  for (const std::string& line : Lines(RunProcess({"gpgconf", "--list-components"}).out))
    if (line.rfind("gpg:", 0) == 0) named = line.substr(line.rfind(':') + 1);
  ASSERT_FALSE(named.empty());

  ProbeOutput run = Probe({"init", "engine", "context", "list"},
                          {PathWith(ahead), "XDG_RUNTIME_DIR=" + ring.folder()});
  ASSERT_EQ(run.process.exitCode, 0) << run;
  EXPECT_EQ(run.value("init"), "0 ");
  EXPECT_EQ(run.value("engine"), named);
  EXPECT_THAT(run.keys(), ElementsAre(ring.fingerprint("alice"))) << run;
  EXPECT_FALSE(fs::exists(runs)) << "the gpg ahead in PATH ran";
}

TEST(EngineStartup, WithoutGnupgInPathTheErrorIsInTheLog) {
  TempFolder temp;
  const std::string empty = temp.path("bin");
  fs::create_directory(empty);
  ProbeOutput run =
      Probe({"--log-box", "warm-up", "init", "state"},
            {"PATH=" + empty, "ZEMBRA_REGISTRY_DIR=" + temp.path(), "GNUPGHOME=" + temp.path("g"),
             "HOME=" + temp.path(), "XDG_RUNTIME_DIR=" + temp.path()});
  ASSERT_EQ(run.process.exitCode, 0) << run;
  std::string text = gpgme_strerror(gpgme_error(GPG_ERR_INV_ENGINE));
  EXPECT_EQ(run.value("init"), std::to_string(GPG_ERR_INV_ENGINE) + " " + text);
  EXPECT_EQ(run.value("logbox"), "Error: " + text + "\\n") << run;
}

// An old GnuPG with its own gpgconf beside it: its gpg is asked, and refused.
TEST(EngineStartup, AGnupgTooOldIsRefusedWithTheErrorInTheLog) {
  TempFolder temp;
  const std::string bin = temp.path("bin"), runs = temp.path("runs");
  fs::create_directory(bin);
  WriteScript(bin + "/gpg", "echo \"gpg $*\" >> '" + runs +
                                "'\n[ \"$1\" = --version ] || exit 2\n"
                                "echo 'gpg (GnuPG) 1.2.0'\n");
  WriteScript(bin + "/gpgconf", "echo \"gpgconf $*\" >> '" + runs +
                                    "'\ncase \"$1\" in\n"
                                    "--list-components) echo 'gpg:OpenPGP:" +
                                    bin +
                                    "/gpg' ;;\n"
                                    "--list-dirs) echo 'homedir:" +
                                    temp.path("g") +
                                    "' ;;\n"
                                    "*) echo 'gpgconf (GnuPG) 1.2.0' ;;\nesac\n");
  ProbeOutput run =
      Probe({"--log-box", "init", "engine"},
            {PathWith(bin), "ZEMBRA_REGISTRY_DIR=" + temp.path(), "GNUPGHOME=" + temp.path("g"),
             "HOME=" + temp.path(), "XDG_RUNTIME_DIR=" + temp.path()});
  ASSERT_EQ(run.process.exitCode, 0) << run;
  std::string text = gpgme_strerror(gpgme_error(GPG_ERR_INV_ENGINE));
  EXPECT_EQ(run.value("init"), std::to_string(GPG_ERR_INV_ENGINE) + " " + text);
  EXPECT_EQ(run.value("logbox"), "Error: " + text + "\\n") << run;
  EXPECT_EQ(run.value("engine"), bin + "/gpg");
  EXPECT_THAT(LinesOf(runs), Contains("gpg --version"));
}

// Without gpgconf GPGME knows no default home; the key ring there is still looked after.
TEST(EngineStartup, AStoppedUpdateInTheDefaultHomeIsCompletedWithoutGpgconf) {
  KeyRing ring({.keys = {"alice"}, .secret = false});
  const std::string user = ring.path("user"), home = user + "/.gnupg";
  fs::create_directories(home);
  fs::permissions(home, fs::perms::owner_all);
  AgentStopper stopper(home);
  // The state of a gpg stopped between its two renames: no key box, its backup and the new one.
  fs::copy_file(ring.home() + "/pubring.kbx", home + "/pubring.kbx.tmp");
  fs::copy_file(ring.home() + "/pubring.kbx", home + "/pubring.kbx~");

  ProbeOutput run = Probe({"init", "context", "repair", "list"},
                          {"GNUPGHOME", "HOME=" + user, "XDG_RUNTIME_DIR=" + ring.folder()});
  ASSERT_EQ(run.process.exitCode, 0) << run;
  EXPECT_EQ(run.value("home"), "(default)");
  EXPECT_EQ(run.value("repair"), "1") << run;
  EXPECT_THAT(run.log, Contains(HasSubstr("\"" + home + "\" was left half-updated"))) << run;
  EXPECT_TRUE(fs::exists(home + "/pubring.kbx"));
  EXPECT_THAT(run.keys(), ElementsAre(ring.fingerprint("alice"))) << run;
}
