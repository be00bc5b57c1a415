// Importing one key file: the counts the log shows for new, known, broken and missing keys,
// armored and binary, and for a ring of a thousand keys.
#include <unistd.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "tests/support/log_capture.h"
#include "tests/support/progress_record.h"
#include "tests/support/test_env.h"
#include "zembra/keys/key_import.h"

namespace {

std::string Fixture(const std::string& name) { return ReadFile(TestKeyFolder() + "/" + name); }

class KeyImport : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice"}}; }

  // Imports without a window; the log's lines go to *log.
  ImportOutcome Import(const std::string& path, std::string* log = nullptr,
                       const ProgressSink& progress = {}) {
    LogCapture capture;
    GpgmeContext ctx = OpenEngineContext();
    ImportOutcome outcome = ImportKeyFile(ctx.get(), path, progress);
    if (log) *log = capture.text();
    return outcome;
  }
  std::string Write(const std::string& name, const std::string& content) {
    const std::string path = ring().path(name);
    WriteFile(path, content);
    return path;
  }
};

}  // namespace

TEST_F(KeyImport, TwoNewKeysAndThenTheSameFileAgain) {
  const std::string path = Write("two.asc", Fixture("carol.pub.asc") + Fixture("dave.pub.asc"));
  std::string log;
  ImportOutcome first = Import(path, &log);
  EXPECT_EQ(first.imported, 2) << first;
  EXPECT_EQ(log, "Importing keys from \"" + path + "\"\nConsidered keys: 2\nImported keys: 2\n");
  ImportOutcome again = Import(path, &log);
  EXPECT_EQ(again.imported, 0) << again;
  EXPECT_EQ(log, "Importing keys from \"" + path +
                     "\"\nConsidered keys: 2\nImported keys: 0\nUnchanged keys: 2\n");
  EXPECT_EQ(ring().publicFingerprints(),
            (std::vector<std::string>{ring().fingerprint("alice"), ring().fingerprint("carol"),
                                      ring().fingerprint("dave")}));
}

TEST_F(KeyImport, ABinaryKeyFile) {
  const ProcessResult binary = ring().gpg({"--dearmor"}, Fixture("carol.pub.asc"));
  ASSERT_EQ(binary.exitCode, 0) << binary;
  const std::string path = Write("carol.gpg", binary.out);
  std::string log;
  EXPECT_EQ(Import(path, &log).imported, 1);
  EXPECT_EQ(log, "Importing keys from \"" + path + "\"\nConsidered keys: 1\nImported keys: 1\n");
}

TEST_F(KeyImport, FilesWithoutKeysImportNothingAndSaySo) {
  const std::string armoredGarbage =
      "-----BEGIN PGP PUBLIC KEY BLOCK-----\n\nbm8ga2V5cyBpbiBoZXJlIGF0IGFsbA==\n=AAAA\n"
      "-----END PGP PUBLIC KEY BLOCK-----\n";
  for (const std::string& content :
       {std::string(), std::string("no keys in here\n"), RandomBytes(4096), armoredGarbage}) {
    const std::string path = Write("nothing.asc", content);
    std::string log;
    const ImportOutcome outcome = Import(path, &log);
    EXPECT_EQ(outcome.imported, 0) << outcome;
    const std::string start = "Importing keys from \"" + path + "\"\n";
    ASSERT_EQ(log.substr(0, start.size()), start) << log;
    const std::string rest = log.substr(start.size());
    EXPECT_TRUE(rest == "Considered keys: 0\nImported keys: 0\n" || rest.starts_with("Error: "))
        << rest;
  }
  EXPECT_EQ(ring().publicFingerprints().size(), 1u);
}

TEST_F(KeyImport, OneGoodKeyBesideABrokenOne) {
  const ProcessResult good = ring().gpg({"--dearmor"}, Fixture("carol.pub.asc"));
  ProcessResult broken = ring().gpg({"--dearmor"}, Fixture("dave.pub.asc"));
  ASSERT_EQ(good.exitCode, 0) << good;
  ASSERT_EQ(broken.exitCode, 0) << broken;
  // The last bytes are the subkey binding signature: with them damaged the key is refused.
  broken.out[broken.out.size() - 3] ^= 0x55;
  broken.out[broken.out.size() - 20] ^= 0x55;
  const std::string path = Write("mixed.gpg", good.out + broken.out);
  std::string log;
  const ImportOutcome outcome = Import(path, &log);
  const auto keys = ring().publicFingerprints();
  EXPECT_EQ(std::count(keys.begin(), keys.end(), ring().fingerprint("carol")), 1) << log;
  EXPECT_EQ(outcome.considered, 2) << log;
  EXPECT_GE(outcome.imported, 1) << log;
}

// Armored: the second block's text is damaged, so its checksum fails. GnuPG 2.2 then drops the
// whole file, the good key with it; the log's count is what the key ring really got.
TEST_F(KeyImport, OneGoodArmoredKeyBesideABrokenArmoredOne) {
  std::string broken = Fixture("dave.pub.asc");
  const std::size_t body = broken.find("\n\n") + 2;
  for (std::size_t i = body + 40; i < body + 60; ++i) broken[i] = broken[i] == 'A' ? 'B' : 'A';
  const std::string path = Write("mixed.asc", Fixture("carol.pub.asc") + broken);
  std::string log;
  const ImportOutcome outcome = Import(path, &log);
  const auto keys = ring().publicFingerprints();
  const auto carol = std::count(keys.begin(), keys.end(), ring().fingerprint("carol"));
  EXPECT_EQ(std::count(keys.begin(), keys.end(), ring().fingerprint("dave")), 0) << log;
  EXPECT_EQ(outcome.imported, carol) << log;
  const std::string start = "Importing keys from \"" + path + "\"\n";
  ASSERT_EQ(log.substr(0, start.size()), start) << log;
  const std::string rest = log.substr(start.size());
  EXPECT_TRUE(rest.starts_with("Considered keys: ") || rest.starts_with("Error: ")) << rest;
}

TEST_F(KeyImport, AFileThatCannotBeOpenedIsReportedWithItsReason) {
  std::string log = "unset";
  const std::string path = ring().path("missing.asc");
  const ImportOutcome outcome = Import(path, &log);
  EXPECT_FALSE(outcome.opened);
  EXPECT_EQ(outcome.imported, 0);
  EXPECT_EQ(log, "Error: cannot open \"" + path + "\": No such file or directory\n");
}

TEST_F(KeyImport, AKeyFileCutWhileReadIsReportedAndItsLaterKeyNotImported) {
  const std::string carol = Fixture("carol.pub.asc");
  const std::string path = Write("two.asc", carol + Fixture("dave.pub.asc"));
  bool cut = false;
  std::string log;
  // The first request of the engine comes before the first read: the engine gets carol's key
  // and then the end of a file shorter than the one it opened.
  const ImportOutcome outcome = Import(path, &log, [&](int) {
    if (!cut) cut = truncate(path.c_str(), static_cast<off_t>(carol.size())) == 0;
  });
  ASSERT_TRUE(cut);
  EXPECT_FALSE(outcome.ok()) << outcome;
  EXPECT_EQ(log, "Importing keys from \"" + path + "\"\nError: \"" + path +
                     "\" changed while it was read; the import stopped there\n");
  const std::vector<std::string> keys = ring().publicFingerprints();
  EXPECT_EQ(std::count(keys.begin(), keys.end(), ring().fingerprint("dave")), 0);
}

TEST_F(KeyImport, ARingOfAThousandKeysInOneFile) {
  const ProcessResult unpacked = RunProcess({"xz", "-dc", TestKeyFolder() + "/ring1000.pgp.xz"});
  ASSERT_EQ(unpacked.exitCode, 0) << unpacked;
  const std::string path = Write("ring1000.pgp", unpacked.out);
  std::string log;
  ProgressRecord progress;
  const ImportOutcome outcome = Import(path, &log, progress.sink());
  EXPECT_EQ(outcome.considered, 1000) << outcome;
  // The sink follows the engine's reading of the file, up to its end.
  EXPECT_GT(progress.positions.size(), 2u);
  EXPECT_TRUE(std::is_sorted(progress.positions.begin(), progress.positions.end()));
  EXPECT_EQ(progress.last(), 1000);
  EXPECT_EQ(outcome.imported, 1000) << outcome;
  EXPECT_EQ(log,
            "Importing keys from \"" + path + "\"\nConsidered keys: 1000\nImported keys: 1000\n");
  EXPECT_EQ(ring().publicFingerprints().size(), 1001u);
}
