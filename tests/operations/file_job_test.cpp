// Jobs of several files run several at once: the log, the files written and the list left are
// those of the same job run one file at a time.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "platform/core/files.h"
#include "tests/support/gpg_processes.h"
#include "tests/support/log_capture.h"
#include "tests/support/process_census.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_env.h"
#include "tests/support/without_dac_override.h"
#include "zembra/keys/key_list.h"
#include "zembra/operations/file_job.h"

namespace fs = std::filesystem;

namespace {

using Kind = FileCryptoRun::Kind;

// What a job left: the log, the list and the folder.
struct JobResult {
  std::string log;
  FileList left;
  std::vector<std::string> names;
  std::size_t mostRunning = 0;
};

class FileJobs : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice", "bob", "secret"}}; }
  void SetUp() override {
    KeyRingTest::SetUp();
    m_ctx = OpenEngineContext();
    gpgme_key_t key = nullptr;
    ASSERT_EQ(gpgme_get_key(m_ctx.get(), ring().fingerprint("alice").c_str(), &key, 0), 0);
    m_alice = CKeyHandle::Adopt(key);
    m_recipients[0] = key;
    m_signer = key;
  }

  // A folder left without write permission would outlive the test.
  void TearDown() override {
    Reset();
    KeyRingTest::TearDown();
  }

  std::string Path(const std::string& name) { return m_files.path(name); }

  // The fixture's agent keeps no passphrase; this one keeps it as a user's agent does, and the
  // pinentry answers the secret key's.
  void AgentKeepsPassphrases() {
    const std::string conf = ReadFile(ring().home() + "/gpg-agent.conf");
    WriteFile(ring().home() + "/gpg-agent.conf",
              conf + "default-cache-ttl 600\nmax-cache-ttl 600\n");
    const ProcessResult reload =
        RunProcess({"gpg-connect-agent", "--homedir", ring().home(), "RELOADAGENT", "/bye"});
    ASSERT_EQ(reload.exitCode, 0) << reload;
    ring().setPassphrase(kSecretPassphrase);
  }

  // A message signed by alice by the gpg program, its content stored as it is.
  void Signed(const std::string& name, const std::string& content) {
    const std::string plain = Path(name + ".plain");
    WriteFile(plain, content);
    const ProcessResult r =
        ring().gpg({"-z", "0", "-u", ring().fingerprint("alice"), "-o", Path(name), "-s", plain});
    ASSERT_EQ(r.exitCode, 0) << r;
    fs::remove(plain);
  }

  // A file encrypted to alice by the gpg program.
  void Encrypted(const std::string& name, const std::string& content,
                 const std::string& to = "alice") {
    const std::string plain = Path(name + ".plain");
    WriteFile(plain, content);
    const ProcessResult r = ring().gpg({"--trust-model", "always", "-z", "0", "-r",
                                        ring().fingerprint(to), "-o", Path(name), "-e", plain});
    ASSERT_EQ(r.exitCode, 0) << r;
    fs::remove(plain);
  }

  // Runs files on width contexts of their own; act, when given, sees the job's progress.
  JobResult Run(FileList files, Kind kind, std::size_t width,
                const std::function<void(FileJob&, int)>& act = {}) {
    std::vector<GpgmeContext> owned;
    std::vector<gpgme_ctx_t> contexts;
    for (std::size_t i = 0; i < width; ++i) {
      owned.push_back(OpenEngineContext());
      contexts.push_back(owned.back().get());
      if (kind == Kind::Sign) gpgme_signers_add(contexts.back(), m_signer);
    }
    JobResult result;
    LogCapture capture;
    FileJob* running = nullptr;
    FileJob job(
        contexts,
        [this, kind](const std::string& path) {
          return std::make_unique<FileCryptoRun>(kind, path, m_recipients);
        },
        [&](int position) {
          if (act && running) act(*running, position);
        });
    running = &job;
    {
      WithoutDacOverride asUser;
      job.Run(files);
    }
    result.log = capture.text();
    result.left = files;
    result.names = FolderNames(m_files.path());
    result.mostRunning = job.mostRunning();
    return result;
  }

  // The same job serial, then parallel, on a folder made afresh by make each time.
  std::pair<JobResult, JobResult> SerialAndParallel(const std::function<FileList()>& make,
                                                    Kind kind) {
    Reset();
    const JobResult serial = Run(make(), kind, 1);
    Reset();
    const JobResult parallel = Run(make(), kind, 4);
    return {serial, parallel};
  }

  void Reset() {
    for (const auto& entry : fs::directory_iterator(m_files.path())) {
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
      fs::remove_all(entry.path());
    }
  }

  TempFolder m_files;
  GpgmeContext m_ctx;
  CKeyHandle m_alice;
  gpgme_key_t m_signer = nullptr;  // signs a job of Kind::Sign; a handle of the test holds it
  gpgme_key_t m_recipients[2] = {nullptr, nullptr};
};

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace

// Good messages, a broken one, one that cannot be opened, one whose output exists, one in a
// folder where no output can be created, two that derive one output name.
TEST_F(FileJobs, AMixedDecryptionJobLogsAsASerialRunDoes) {
  const auto make = [&] {
    Encrypted("a.txt.gpg", RandomBytes(300 << 10));
    WriteFile(Path("broken.gpg"), "not a message at all");
    Encrypted("b.txt.gpg", RandomBytes(200 << 10));
    Encrypted("exists.txt.gpg", "x");
    WriteFile(Path("exists.txt"), "kept");
    fs::create_directory(Path("ro"));
    Encrypted("ro/c.txt.gpg", "in a folder that takes no file");
    chmod(Path("ro").c_str(), 0555);
    Encrypted("d.txt.gpg", RandomBytes(400 << 10));
    Encrypted("d.txt.GPG", "second");
    Encrypted("e.txt.gpg", "small");
    return FileList{Path("a.txt.gpg"), Path("broken.gpg"),     Path("missing.gpg"),
                    Path("b.txt.gpg"), Path("exists.txt.gpg"), Path("ro/c.txt.gpg"),
                    Path("d.txt.gpg"), Path("d.txt.GPG"),      Path("e.txt.gpg")};
  };
  const auto [serial, parallel] = SerialAndParallel(make, Kind::Decrypt);
  EXPECT_EQ(parallel.log, serial.log);
  EXPECT_EQ(parallel.names, serial.names);
  EXPECT_EQ(parallel.left, FileList{});
  EXPECT_EQ(serial.mostRunning, 1u);
  EXPECT_GT(parallel.mostRunning, 1u);
  EXPECT_EQ(Count(serial.log, "Done.\n"), 4u) << serial.log;
  EXPECT_EQ(ReadFile(Path("d.txt")).size(), std::size_t{400} << 10);
  EXPECT_EQ(ReadFile(Path("exists.txt")), "kept");
}

// Encryption and signing: a missing input, a folder, an output that cannot be created, and d's
// output, which is in the list too and replaced: it runs once d's output is complete.
TEST_F(FileJobs, AMixedEncryptionOrSigningJobLogsAsASerialRunDoes) {
  for (const auto& [kind, ending] :
       {std::pair{Kind::Encrypt, ".gpg"}, {Kind::Sign, ".signed.gpg"}}) {
    const std::string dOut = Path("d") + ending;
    const auto make = [&] {
      WriteFile(Path("a"), RandomBytes(300 << 10));
      WriteFile(Path("b"), "small");
      fs::create_directory(Path("folder"));
      fs::create_directory(Path("ro"));
      WriteFile(Path("ro/c"), "no output here");
      chmod(Path("ro").c_str(), 0555);
      WriteFile(Path("d"), RandomBytes(200 << 10));
      WriteFile(dOut, "replaced by d's output, then worked on itself");
      return FileList{Path("a"),    Path("missing"), Path("b"), Path("folder"),
                      Path("ro/c"), Path("d"),       dOut};
    };
    const auto [serial, parallel] = SerialAndParallel(make, kind);
    EXPECT_EQ(parallel.log, serial.log);
    EXPECT_EQ(parallel.names, serial.names);
    EXPECT_EQ(parallel.left, FileList{});
    EXPECT_GT(parallel.mostRunning, 1u);
    EXPECT_EQ(Count(serial.log, "Done.\n"), 4u) << serial.log;
    const ProcessResult outer = ring().gpg({"-d", dOut + ending});
    ASSERT_EQ(outer.exitCode, 0) << outer;
    EXPECT_EQ(outer.out, ReadFile(dOut));
    if (kind == Kind::Sign) {
      EXPECT_NE(outer.err.find("Good signature"), std::string::npos) << outer;
    }
  }
}

// Good messages, a tampered one, one not signed at all, one that cannot be opened, one whose
// output exists, two that derive one output name: only good content is written, as serially.
TEST_F(FileJobs, AMixedVerificationJobLogsAsASerialRunDoes) {
  const auto make = [&] {
    Signed("a.signed.gpg", RandomBytes(300 << 10));
    WriteFile(Path("broken.signed.gpg"), "not a message");
    Signed("t.signed.gpg", std::string(8192, 't'));
    std::string tampered = ReadFile(Path("t.signed.gpg"));
    tampered[tampered.size() / 2] = 'u';
    WriteFile(Path("t.signed.gpg"), tampered);
    Signed("b.signed.gpg", "small");
    Signed("exists.signed.gpg", "x");
    WriteFile(Path("exists"), "kept");
    Signed("c.signed.gpg", RandomBytes(400 << 10));
    Signed("c.SIGNED.GPG", "second");
    return FileList{Path("a.signed.gpg"), Path("broken.signed.gpg"),
                    Path("t.signed.gpg"), Path("missing.signed.gpg"),
                    Path("b.signed.gpg"), Path("exists.signed.gpg"),
                    Path("c.signed.gpg"), Path("c.SIGNED.GPG")};
  };
  const auto [serial, parallel] = SerialAndParallel(make, Kind::Verify);
  EXPECT_EQ(parallel.log, serial.log);
  EXPECT_EQ(parallel.names, serial.names);
  EXPECT_EQ(parallel.left, FileList{});
  EXPECT_GT(parallel.mostRunning, 1u);
  EXPECT_EQ(Count(serial.log, "Done.\n"), 3u) << serial.log;
  EXPECT_FALSE(fs::exists(Path("t"))) << serial.log;
  EXPECT_EQ(ReadFile(Path("c")).size(), std::size_t{400} << 10);
  EXPECT_EQ(ReadFile(Path("exists")), "kept");
}

// The first file in the list writes the output, the second says it exists, whichever of the two
// names comes first and however much quicker the second is.
TEST_F(FileJobs, TwoInputsDerivingOneOutputNameGiveTheSerialResultInEitherOrder) {
  for (const bool upperFirst : {false, true}) {
    Reset();
    const std::string first = Path(upperFirst ? "x.txt.GPG" : "x.txt.gpg");
    const std::string second = Path(upperFirst ? "x.txt.gpg" : "x.txt.GPG");
    const std::string large = RandomBytes(std::size_t{2} << 20);
    Encrypted(fs::path(first).filename().string(), large);
    Encrypted(fs::path(second).filename().string(), "quick");
    const JobResult r = Run({first, second}, Kind::Decrypt, 4);
    EXPECT_EQ(r.log, "Decrypting \"" + first + "\"...\nDone.\nFile already exists: \"" +
                         Path("x.txt") + "\"\n")
        << upperFirst;
    EXPECT_TRUE(ReadFile(Path("x.txt")) == large) << upperFirst;
    EXPECT_EQ(r.left, FileList{});
  }
}

// One of the running gpg processes killed: its file fails with its line, the others finish.
TEST_F(FileJobs, GpgKilledInOneRunningFileFailsThatFileOnly) {
  const std::size_t size = std::size_t{6} << 20;
  for (const char* name : {"one.gpg", "two.gpg", "three.gpg"}) Encrypted(name, RandomBytes(size));
  int killed = 0;
  const JobResult r = Run({Path("one.gpg"), Path("two.gpg"), Path("three.gpg")}, Kind::Decrypt, 3,
                          [&](FileJob&, int position) {
                            if (killed != 0 || position < 100) return;
                            const std::vector<int> pids = GpgWorkingOn(ring().home());
                            if (pids.size() >= 2) killed += kill(pids.front(), SIGKILL) == 0;
                          });
  ASSERT_EQ(killed, 1);
  EXPECT_EQ(Count(r.log, "Decrypting "), 3u) << r.log;
  EXPECT_EQ(Count(r.log, "Done.\n"), 2u) << r.log;
  EXPECT_EQ(Count(r.log, "Error: "), 1u) << r.log;
  std::size_t written = 0;
  for (const char* name : {"one", "two", "three"}) {
    if (!fs::exists(Path(name))) continue;
    ++written;
    EXPECT_EQ(fs::file_size(Path(name)), size) << name;
  }
  EXPECT_EQ(written, 2u);
  // Each file's lines stay together: every start is followed by its own end.
  std::size_t at = 0;
  for (int i = 0; i < 3; ++i) {
    const std::size_t start = r.log.find("Decrypting ", at);
    ASSERT_NE(start, std::string::npos) << r.log;
    const std::size_t end = r.log.find('\n', start);
    const std::size_t next = r.log.find('\n', end + 1);
    const std::string last = r.log.substr(end + 1, next - end - 1);
    EXPECT_TRUE(last == "Done." || last.starts_with("Error: ")) << r.log;
    at = next;
  }
}

// Cancel stops every running file: one line says so, nothing is written, every file stays.
TEST_F(FileJobs, CancelStopsEveryRunningFileAndLeavesNoOutput) {
  const std::size_t size = std::size_t{6} << 20;
  FileList files;
  for (const char* name : {"one.gpg", "two.gpg", "three.gpg", "four.gpg", "five.gpg"}) {
    Encrypted(name, RandomBytes(size));
    files.push_back(Path(name));
  }
  const std::vector<std::string> before = FolderNames(m_files.path());
  bool cancelled = false;
  const JobResult r = Run(files, Kind::Decrypt, 4, [&](FileJob& job, int position) {
    if (!cancelled && position >= 50) {
      cancelled = true;
      job.Cancel();
    }
  });
  ASSERT_TRUE(cancelled);
  EXPECT_GT(r.mostRunning, 1u);
  EXPECT_EQ(r.log, "Decrypting \"" + files[0] + "\"...\nCancelled.\n");
  EXPECT_EQ(r.left, files);
  EXPECT_EQ(r.names, before);
}

// Each file's descriptors close when it ends, not with the job: a job of many files holds no
// more than the files that run, and leaves none.
TEST_F(FileJobs, AJobOfManyFilesLeavesNoDescriptorOpen) {
  FileList files;
  for (int i = 0; i < 150; ++i) {
    files.push_back(Path("f" + std::to_string(i)));
    WriteFile(files.back(), "content " + std::to_string(i));
  }
  const std::size_t before = FolderNames("/proc/self/fd").size();
  std::size_t most = 0;
  const JobResult r = Run(files, Kind::Encrypt, 4, [&](FileJob&, int) {
    most = std::max(most, FolderNames("/proc/self/fd").size());
  });
  EXPECT_EQ(Count(r.log, "Done.\n"), files.size());
  EXPECT_EQ(r.names.size(), 2 * files.size());
  EXPECT_EQ(FolderNames("/proc/self/fd").size(), before);
  EXPECT_LT(most, before + 40);
}

// A long job holds per file only what the file needs while it runs: after a thousand files no
// descriptor and no child process is left, every output is there, and the resident size is where a
// first job of a hundred left it (the one-time allocations made by then).
TEST_F(FileJobs, AThousandFilesLeaveNoDescriptorOrChildAndMemoryStaysFlat) {
  const auto job = [&](const std::string& prefix, int count) {
    FileList files;
    for (int i = 0; i < count; ++i) {
      files.push_back(Path(prefix + std::to_string(i)));
      WriteFile(files.back(), "file " + std::to_string(i));
    }
    return Run(files, Kind::Encrypt, JobWidth());
  };
  const std::size_t descriptors = OpenDescriptors();
  const std::vector<int> children = ChildProcesses();
  const JobResult first = job("first", 100);
  ASSERT_EQ(Count(first.log, "Done.\n"), 100u) << first.log;
  const long resident = ResidentKiB();
  ASSERT_GT(resident, 0);

  const JobResult r = job("f", 1000);
  EXPECT_EQ(Count(r.log, "Done.\n"), 1000u);
  EXPECT_EQ(r.left, FileList{});
  EXPECT_EQ(r.mostRunning, JobWidth());
  std::size_t outputs = 0;
  for (int i = 0; i < 1000; ++i) {
    const std::string output = Path("f" + std::to_string(i) + ".gpg");
    outputs += fs::exists(output) && fs::file_size(output) > 0;
  }
  EXPECT_EQ(outputs, 1000u);
  EXPECT_EQ(OpenDescriptors(), descriptors);
  EXPECT_EQ(ChildProcesses(), children);
  EXPECT_EQ(GpgWorkingOn(ring().home()), std::vector<int>{});
  const long grown = ResidentKiB() - resident;
  std::printf("resident after 100 files %ld KiB, after 1,000 more %ld KiB\n", resident,
              resident + grown);
  // ASan keeps freed memory in quarantine: resident memory grows there by design.
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_LE(grown, 16 * 1024) << "KiB more after 1,000 files than after 100";
#endif
}

// The first file runs alone until the engine has its passphrase; the others then start and find
// it in the agent's cache: one prompt for the job, as in a serial run.
TEST_F(FileJobs, AJobForAKeyWithAPassphraseAsksOnce) {
  FileList files;
  for (const char* name : {"one.gpg", "two.gpg", "three.gpg", "four.gpg"}) {
    Encrypted(name, RandomBytes(std::size_t{2} << 20), "secret");
    files.push_back(Path(name));
  }
  ASSERT_NO_FATAL_FAILURE(AgentKeepsPassphrases());
  const JobResult r = Run(files, Kind::Decrypt, 4);
  EXPECT_EQ(Count(r.log, "Done.\n"), 4u) << r.log;
  EXPECT_EQ(Count(ring().pinentryLog(), "GETPIN"), 1u) << ring().pinentryLog();
  EXPECT_GT(r.mostRunning, 1u);
}

// Signing asks for the key's passphrase once its first file is hashed; the other files wait for
// that and then sign from the agent's cache at once.
TEST_F(FileJobs, ASigningJobForAKeyWithAPassphraseAsksOnce) {
  FileList files;
  for (const char* name : {"one", "two", "three", "four"}) {
    WriteFile(Path(name), RandomBytes(std::size_t{1} << 20));
    files.push_back(Path(name));
  }
  gpgme_key_t key = nullptr;
  ASSERT_EQ(gpgme_get_key(m_ctx.get(), ring().fingerprint("secret").c_str(), &key, 1), 0);
  const CKeyHandle secret = CKeyHandle::Adopt(key);
  m_signer = key;
  ASSERT_NO_FATAL_FAILURE(AgentKeepsPassphrases());
  const JobResult r = Run(files, Kind::Sign, 4);
  EXPECT_EQ(Count(r.log, "Done.\n"), 4u) << r.log;
  EXPECT_EQ(Count(ring().pinentryLog(), "GETPIN"), 1u) << ring().pinentryLog();
  EXPECT_GT(r.mostRunning, 1u);
}

// Each encryption for a passphrase asks for its own (twice): the files run one at a time, so that
// the prompts come in the list's order, as in a serial run.
TEST_F(FileJobs, EncryptionsForAPassphraseRunOneAtATime) {
  FileList files;
  for (const char* name : {"one", "two", "three"}) {
    WriteFile(Path(name), RandomBytes(100 << 10));
    files.push_back(Path(name));
  }
  ring().setPassphrase("a passphrase for each");
  const JobResult r = Run(files, Kind::EncryptWithPassphrase, 4);
  EXPECT_EQ(Count(r.log, "Done.\n"), 3u) << r.log;
  EXPECT_EQ(r.mostRunning, 1u);
  EXPECT_EQ(r.left, FileList{});
}

// With ZEMBRA_TRACE set, every log line is copied to standard error as it reaches the log: in the
// list's order too, each file's lines together, never as the files that run behind write them.
TEST_F(FileJobs, TheTraceCopyOfTheLogReadsAsTheLog) {
  FileList files;
  for (const char* name : {"one.gpg", "two.gpg", "three.gpg"}) files.push_back(Path(name));
  Encrypted("one.gpg", RandomBytes(std::size_t{3} << 20));
  Encrypted("two.gpg", "quick");
  Encrypted("three.gpg", "quick too");
  const std::string traceFile = Path("trace");
  JobResult r;
  {
    ScopedEnv trace("ZEMBRA_TRACE", "1");
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    const int fd = open(traceFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    dup2(fd, STDERR_FILENO);
    close(fd);
    r = Run(files, Kind::Decrypt, 4);
    dup2(saved, STDERR_FILENO);
    close(saved);
  }
  EXPECT_GT(r.mostRunning, 1u);
  std::string traced;
  const std::string text = ReadFile(traceFile);
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    if (line.starts_with("log: ")) traced += line.substr(5) + "\n";
    at = end + 1;
  }
  EXPECT_EQ(traced, r.log);
}
