// File data streams: the progress arithmetic, the callbacks over real files, and GPGME running
// over them.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gpgme.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <random>
#include <vector>

#include "platform/core/files.h"
#include "platform/core/unique_fd.h"
#include "tests/support/key_ring.h"
#include "tests/support/temp_folder.h"
#include "zembra/engine/engine.h"
#include "zembra/engine/file_stream.h"

namespace {

constexpr std::uint64_t GiB = std::uint64_t{1} << 30;

int Position(std::uint64_t done, std::uint64_t total) { return ProgressPosition(done, total); }

UniqueFd OpenRead(const std::string& path) {
  return UniqueFd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
}
UniqueFd OpenWrite(const std::string& path) {
  return UniqueFd(open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
}

std::string RandomBytes(std::size_t size) {
  std::mt19937 generator(1234);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(generator());
  return bytes;
}

// Reads the stream to its end in chunks of the given size, as the engine does.
struct ReadAll {
  std::uint64_t bytes = 0;
  int reads = 0;
  int positionChanges = 0;
};
ReadAll ReadToEnd(FileStream& stream, std::size_t chunk) {
  std::vector<char> buffer(chunk);
  ReadAll result;
  int last = stream.lastPos;
  for (;;) {
    ssize_t n = ReadFileCb(&stream, buffer.data(), buffer.size());
    ++result.reads;
    if (stream.lastPos != last) ++result.positionChanges;
    last = stream.lastPos;
    if (n <= 0) break;
    result.bytes += static_cast<std::uint64_t>(n);
  }
  return result;
}

}  // namespace

TEST(ProgressPosition, EmptyInputIsCompleteAtOnce) {
  std::uint64_t done = 4096;
  EXPECT_EQ(ProgressPosition(done, 0), 1000);
  EXPECT_EQ(done, 0u);
}

TEST(ProgressPosition, SmallInputReadInOneLargerChunkCapsDone) {
  std::uint64_t done = 4096;
  EXPECT_EQ(ProgressPosition(done, 1000), 1000);
  EXPECT_EQ(done, 1000u);
}

TEST(ProgressPosition, ThreeMillionBytesAfterTheFirstChunk) {
  EXPECT_EQ(Position(8192, 3'000'000), 2);  // 8,192 / 3,000
  EXPECT_EQ(Position(2'999'999, 3'000'000), 999);
}

TEST(ProgressPosition, TwoMillionMultipliesFirstAndOneMoreDividesFirst) {
  // Up to 2,000,000 bytes: done x 1000 / total.
  EXPECT_EQ(Position(1'999'999, 2'000'000), 999);
  EXPECT_EQ(Position(1'999, 1'999'999), 0);  // dividing first would give 1999 / 1999 = 1
  // Above: done / (total / 1000).
  EXPECT_EQ(Position(2'000, 2'000'001), 1);  // multiplying first would give 0
  EXPECT_EQ(Position(2'000'000, 2'000'001), 1000);
}

TEST(ProgressPosition, NeverAboveOneThousand) {
  for (std::uint64_t total : std::initializer_list<std::uint64_t>{
           1, 999, 1000, 2'000'000, 2'000'999, 4'294'967'295, 5 * GiB + 999}) {
    EXPECT_LE(Position(total - 1, total), 1000) << total;
    EXPECT_EQ(Position(total, total), 1000) << total;
    EXPECT_EQ(Position(total + 1, total), 1000) << total;
  }
}

// With 32-bit sizes a total of 4 GiB or more wrapped, and done x 1000 overflowed.
TEST(ProgressPosition, TotalsOfFourGiBOrMoreGiveSanePositions) {
  EXPECT_EQ(Position(0, 5 * GiB), 0);
  EXPECT_EQ(Position(5 * GiB / 2, 5 * GiB), 500);
  EXPECT_EQ(Position(4 * GiB, 5 * GiB), 800);
  EXPECT_EQ(Position(5 * GiB - 10 * 1024 * 1024, 5 * GiB), 998);
  std::uint64_t done = 5 * GiB + 8192;
  EXPECT_EQ(ProgressPosition(done, 5 * GiB), 1000);
  EXPECT_EQ(done, 5 * GiB);
}

class FileStreamTest : public ::testing::Test {
 protected:
  TempFolder m_temp;

  std::string makeFile(const std::string& name, const std::string& content) {
    WriteFile(m_temp.path(name), content);
    return m_temp.path(name);
  }
};

TEST_F(FileStreamTest, EmptyInputMovesTheBarToTheEndAndReturnsEndOfFile) {
  UniqueFd fd = OpenRead(makeFile("empty", ""));
  FileStream stream = MakeFileStream(fd.get());
  EXPECT_EQ(stream.total, 0u);
  EXPECT_EQ(stream.lastPos, -1);
  char buffer[4096];
  EXPECT_EQ(ReadFileCb(&stream, buffer, sizeof buffer), 0);
  EXPECT_EQ(stream.lastPos, 1000);
  EXPECT_EQ(stream.done, 0u);
}

TEST_F(FileStreamTest, ThousandBytesInOneChunk) {
  std::string content = RandomBytes(1000);
  UniqueFd fd = OpenRead(makeFile("small", content));
  FileStream stream = MakeFileStream(fd.get());
  std::vector<char> buffer(4096);
  ASSERT_EQ(ReadFileCb(&stream, buffer.data(), buffer.size()), 1000);
  EXPECT_EQ(std::string(buffer.data(), 1000), content);
  EXPECT_EQ(stream.done, 1000u);
  EXPECT_EQ(stream.lastPos, 1000);
  EXPECT_EQ(ReadFileCb(&stream, buffer.data(), buffer.size()), 0);
}

TEST_F(FileStreamTest, ThreeMillionBytesInChunksOf8192) {
  UniqueFd fd = OpenRead(makeFile("medium", RandomBytes(3'000'000)));
  FileStream stream = MakeFileStream(fd.get());
  ASSERT_EQ(stream.total, 3'000'000u);
  std::vector<char> buffer(8192);
  ASSERT_EQ(ReadFileCb(&stream, buffer.data(), buffer.size()), 8192);
  EXPECT_EQ(stream.lastPos, 2);
  ReadAll rest = ReadToEnd(stream, 8192);
  EXPECT_EQ(rest.bytes + 8192, 3'000'000u);
  EXPECT_EQ(stream.lastPos, 1000);
}

TEST_F(FileStreamTest, WriteAndSeekOverAnOutputStream) {
  UniqueFd fd = OpenWrite(m_temp.path("out"));
  OutputStream handle{fd.get()};
  EXPECT_EQ(WriteFileCb(&handle, "hello, world", 12), 12);
  EXPECT_EQ(SeekOutputCb(&handle, 0, SEEK_SET), 0);
  EXPECT_EQ(WriteFileCb(&handle, "HELLO", 5), 5);
  EXPECT_EQ(SeekOutputCb(&handle, 0, SEEK_END), 12);
  EXPECT_EQ(ReadFile(m_temp.path("out")), "HELLO, world");
}

TEST_F(FileStreamTest, SeekLeavesTheProgressCountersAlone) {
  UniqueFd fd = OpenRead(makeFile("in", RandomBytes(10'000)));
  FileStream stream = MakeFileStream(fd.get());
  char buffer[4096];
  ASSERT_EQ(ReadFileCb(&stream, buffer, sizeof buffer), 4096);
  EXPECT_EQ(SeekFileCb(&stream, 0, SEEK_SET), 0);
  EXPECT_EQ(stream.done, 4096u);
  EXPECT_EQ(stream.lastPos, 409);
  EXPECT_EQ(SeekFileCb(&stream, 0, SEEK_END), 10'000);
}

TEST_F(FileStreamTest, ReadErrorIsMinusOne) {
  UniqueFd fd(open(m_temp.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  FileStream stream;
  stream.fd = fd.get();
  stream.total = 100;
  char buffer[64];
  errno = 0;
  EXPECT_EQ(ReadFileCb(&stream, buffer, sizeof buffer), -1);
  EXPECT_EQ(errno, EISDIR);
}

// Sizes and offsets were 32-bit, so a file of 2 GiB or more was outside what the streams
// handled: it is now read whole, with the bar at its end.
TEST_F(FileStreamTest, FileOf2GiBOrMoreIsReadWhole) {
  std::string path = m_temp.path("large");
  {
    UniqueFd out = OpenWrite(path);
    ASSERT_EQ(ftruncate(out.get(), static_cast<off_t>(2 * GiB + 10)), 0);
  }
  UniqueFd fd = OpenRead(path);
  FileStream stream = MakeFileStream(fd.get());
  ASSERT_EQ(stream.total, 2 * GiB + 10);
  ReadAll all = ReadToEnd(stream, 1 << 20);
  EXPECT_EQ(all.bytes, 2 * GiB + 10);
  EXPECT_EQ(stream.done, 2 * GiB + 10);
  EXPECT_EQ(stream.lastPos, 1000);
  EXPECT_LE(all.positionChanges, 1001);
}

TEST_F(FileStreamTest, OffsetsOf4GiBOrMoreAreNotTruncated) {
  UniqueFd fd = OpenWrite(m_temp.path("sparse"));
  OutputStream handle{fd.get()};
  EXPECT_EQ(SeekOutputCb(&handle, static_cast<off_t>(5 * GiB), SEEK_SET),
            static_cast<off_t>(5 * GiB));
  EXPECT_EQ(WriteFileCb(&handle, "x", 1), 1);
  struct stat info {};
  ASSERT_EQ(fstat(fd.get(), &info), 0);
  EXPECT_EQ(static_cast<std::uint64_t>(info.st_size), 5 * GiB + 1);
}

// GPGME over the callbacks, on a real key ring.
class FileStreamEngineTest : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice"}}; }

  void SetUp() override {
    KeyRingTest::SetUp();
    gpgme_check_version(nullptr);
    gpgme_ctx_t ctx = nullptr;
    ASSERT_EQ(gpgme_new(&ctx), 0);
    m_ctx.reset(ctx);
    ASSERT_EQ(
        gpgme_ctx_set_engine_info(ctx, GPGME_PROTOCOL_OpenPGP, nullptr, ring().home().c_str()), 0);
  }

  // Runs one operation from the input file to the output file over the file callbacks, the way
  // the operations do. Returns the engine's result; stream gets the input stream's final state.
  template <typename Operation>
  gpgme_error_t run(const std::string& input, const std::string& output, FileStream& stream,
                    Operation operation) {
    UniqueFd in = OpenInputFile(input);
    EXPECT_TRUE(in.valid()) << input;
    stream = MakeFileStream(in.get());
    gpgme_data_t raw = nullptr;
    EXPECT_EQ(gpgme_data_new_from_cbs(&raw, InputCallbacks(), &stream), 0);
    GpgmeDataObject inData(raw);
    UniqueFd out = OpenWrite(output);
    OutputStream outStream{out.get()};
    EXPECT_EQ(gpgme_data_new_from_cbs(&raw, OutputCallbacks(), &outStream), 0);
    GpgmeDataObject outData(raw);
    return operation(inData.get(), outData.get());
  }

  GpgmeContext m_ctx;
};

TEST_F(FileStreamEngineTest, EncryptAndDecryptRoundTripIsByteIdentical) {
  std::string plain = RandomBytes(300'000);
  WriteFile(ring().path("plain.bin"), plain);
  gpgme_key_t alice = nullptr;
  ASSERT_EQ(gpgme_get_key(m_ctx.get(), ring().fingerprint("alice").c_str(), &alice, 0), 0);
  gpgme_key_t recipients[] = {alice, nullptr};

  FileStream encryptStream;
  gpgme_error_t err =
      run(ring().path("plain.bin"), ring().path("plain.bin.gpg"), encryptStream,
          [&](gpgme_data_t in, gpgme_data_t out) {
            return gpgme_op_encrypt(m_ctx.get(), recipients, GPGME_ENCRYPT_ALWAYS_TRUST, in, out);
          });
  gpgme_key_unref(alice);
  ASSERT_EQ(err, 0) << gpgme_strerror(err);
  EXPECT_EQ(encryptStream.done, plain.size());
  EXPECT_EQ(encryptStream.lastPos, 1000);
  std::string cipher = ReadFile(ring().path("plain.bin.gpg"));
  ASSERT_GT(cipher.size(), 0u);
  EXPECT_EQ(cipher.find(plain.substr(0, 64)), std::string::npos);

  FileStream decryptStream;
  err = run(
      ring().path("plain.bin.gpg"), ring().path("plain.bin.decrypted"), decryptStream,
      [&](gpgme_data_t in, gpgme_data_t out) { return gpgme_op_decrypt(m_ctx.get(), in, out); });
  ASSERT_EQ(err, 0) << gpgme_strerror(err);
  EXPECT_EQ(decryptStream.lastPos, 1000);
  EXPECT_EQ(ReadFile(ring().path("plain.bin.decrypted")), plain);
}

TEST_F(FileStreamEngineTest, ReadErrorFailsTheOperation) {
  UniqueFd folder(open(ring().folder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  FileStream stream;
  stream.fd = folder.get();
  stream.total = 100;
  gpgme_data_t raw = nullptr;
  ASSERT_EQ(gpgme_data_new_from_cbs(&raw, InputCallbacks(), &stream), 0);
  GpgmeDataObject in(raw);
  UniqueFd out = OpenWrite(ring().path("out.gpg"));
  OutputStream outStream{out.get()};
  ASSERT_EQ(gpgme_data_new_from_cbs(&raw, OutputCallbacks(), &outStream), 0);
  GpgmeDataObject outData(raw);
  gpgme_key_t alice = nullptr;
  ASSERT_EQ(gpgme_get_key(m_ctx.get(), ring().fingerprint("alice").c_str(), &alice, 0), 0);
  gpgme_key_t recipients[] = {alice, nullptr};
  gpgme_error_t err = gpgme_op_encrypt(m_ctx.get(), recipients, GPGME_ENCRYPT_ALWAYS_TRUST,
                                       in.get(), outData.get());
  gpgme_key_unref(alice);
  EXPECT_NE(err, 0);
}

TEST_F(FileStreamEngineTest, KeyExportAndImportOverTheirTables) {
  UniqueFd out = OpenWrite(ring().path("alice.asc"));
  OutputStream outStream{out.get()};
  gpgme_data_t raw = nullptr;
  ASSERT_EQ(gpgme_data_new_from_cbs(&raw, OutputCallbacks(), &outStream), 0);
  GpgmeDataObject exported(raw);
  gpgme_set_armor(m_ctx.get(), 1);
  ASSERT_EQ(gpgme_op_export(m_ctx.get(), ring().fingerprint("alice").c_str(), 0, exported.get()),
            0);
  exported.reset();
  EXPECT_EQ(ReadFile(ring().path("alice.asc")).rfind("-----BEGIN PGP PUBLIC KEY BLOCK-----", 0),
            0u);

  UniqueFd in = OpenInputFile(TestKeyFolder() + "/bob.pub.asc");
  ASSERT_TRUE(in.valid());
  FileStream stream = MakeFileStream(in.get());
  ASSERT_EQ(gpgme_data_new_from_cbs(&raw, InputCallbacks(), &stream), 0);
  GpgmeDataObject imported(raw);
  ASSERT_EQ(gpgme_op_import(m_ctx.get(), imported.get()), 0);
  gpgme_import_result_t result = gpgme_op_import_result(m_ctx.get());
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->imported, 1);
  EXPECT_EQ(stream.lastPos, 1000);
  EXPECT_THAT(ring().publicFingerprints(), testing::Contains(ring().fingerprint("bob")));
}
