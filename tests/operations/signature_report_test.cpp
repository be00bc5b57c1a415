// The report of a verification: one line per signature, and "Done." only when every signature
// is good.
#include <cstdio>
#include <iostream>

#include <gtest/gtest.h>

#include "tests/support/test_env.h"
#include "zembra/engine/check_result.h"
#include "zembra/operations/signature_report.h"

namespace {

class SignatureReport : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice", "bob"}}; }

  // A binary signed message of the content, by the named signers, made by gpg itself.
  std::string Signed(const std::string& content, const std::vector<std::string>& signers,
                     std::vector<std::string> extra = {}, const std::string& command = "--sign") {
    const std::string in = ring().path("content.txt");
    const std::string out = ring().path("signed.gpg");
    WriteFile(in, content);
    std::remove(out.c_str());
    std::vector<std::string> args = {"--compress-algo", "none", "-o", out};
    for (const std::string& s : signers) args.insert(args.end(), {"-u", ring().fingerprint(s)});
    args.insert(args.end(), extra.begin(), extra.end());
    args.insert(args.end(), {command, in});
    const ProcessResult r = ring().gpg(args);
    EXPECT_EQ(r.exitCode, 0) << r;
    return ReadFile(out);
  }

  void Forget(const std::string& name) {
    const ProcessResult r =
        ring().gpg({"--yes", "--delete-secret-and-public-key", ring().fingerprint(name)});
    ASSERT_EQ(r.exitCode, 0) << r;
  }

  // Verifies the message in memory; returns the report's verdict, the log holds its lines.
  bool Verify(const std::string& message, std::string* plaintext = nullptr) {
    bool good = false;
    RunInHostWindow([&](HWND) {
      GpgmeContext ctx = OpenEngineContext();
      gpgme_data_t in = nullptr, out = nullptr;
      ASSERT_EQ(gpgme_data_new_from_mem(&in, message.data(), message.size(), 0), 0);
      ASSERT_EQ(gpgme_data_new(&out), 0);
      GpgmeDataObject input(in), output(out);
      const gpgme_error_t err = gpgme_op_verify(ctx.get(), in, nullptr, out);
      if (CheckResult(err)) {
        const std::vector<SignatureCheck> checks = SignaturesOf(ctx.get());
        good = ReportSignatures(ctx.get(), checks).ok();
      }
      if (plaintext) {
        size_t size = 0;
        char* bytes = gpgme_data_release_and_get_mem(output.release(), &size);
        plaintext->assign(bytes ? bytes : "", size);
        gpgme_free(bytes);
      }
      log = LogText();
    });
    return good;
  }

  std::string log;
};

class RevokedSigner : public SignatureReport {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice", "revoked"}}; }
};

// An OpenPGP key as packets without its key revocation signatures (class 0x20): the key as it
// was before it was revoked, which gpg still signs with.
std::string WithoutRevocation(const std::string& packets) {
  std::string kept;
  std::size_t at = 0;
  while (at < packets.size()) {
    const std::size_t start = at;
    const auto octet = [&](std::size_t i) { return static_cast<unsigned char>(packets.at(i)); };
    const unsigned char header = octet(at++);
    int tag = 0;
    std::size_t length = 0;
    if ((header & 0x40) != 0) {  // new format
      tag = header & 0x3F;
      const unsigned char first = octet(at++);
      if (first < 192) {
        length = first;
      } else if (first < 224) {
        length = ((first - 192u) << 8) + octet(at++) + 192u;
      } else {  // 255: four octets (keys never use partial lengths)
        for (int i = 0; i < 4; ++i) length = (length << 8) | octet(at++);
      }
    } else {  // old format
      tag = (header >> 2) & 0x0F;
      const int octets = 1 << (header & 0x03);
      for (int i = 0; i < octets; ++i) length = (length << 8) | octet(at++);
    }
    const bool revocation = tag == 2 && length > 1 && octet(at) == 4 && octet(at + 1) == 0x20;
    at += length;
    if (!revocation) kept += packets.substr(start, at - start);
  }
  return kept;
}

}  // namespace

TEST_F(SignatureReport, GoodSignatureNamesTheSigner) {
  std::string plain;
  EXPECT_TRUE(Verify(Signed("hello\n", {"alice"}), &plain));
  EXPECT_EQ(log, "Good signature from \"Alice <alice@example.org>\"\n");
  EXPECT_EQ(plain, "hello\n");
}

TEST_F(SignatureReport, BadSignatureIsNeverDone) {
  std::string message = Signed("pay 100 to bob\n", {"alice"});
  const std::size_t at = message.find("100");
  ASSERT_NE(at, std::string::npos);
  message[at] = '9';
  EXPECT_FALSE(Verify(message));
  EXPECT_EQ(log,
            "BAD signature from \"Alice <alice@example.org>\"\n"
            "Error: Not every signature is good\n");
}

TEST_F(SignatureReport, UnknownKeyIsShownByItsId) {
  const std::string message = Signed("hello\n", {"bob"});
  Forget("bob");
  EXPECT_FALSE(Verify(message));
  EXPECT_NE(log.find("Signature by unknown key "), std::string::npos) << log;
  EXPECT_NE(log.find(ring().keyId("bob")), std::string::npos) << log;
  EXPECT_EQ(log.find("Good"), std::string::npos) << log;
  EXPECT_NE(log.find("Error: Not every signature is good\n"), std::string::npos);
}

TEST_F(SignatureReport, TwoSignersOneUnknownIsNotAllGood) {
  const std::string message = Signed("hello\n", {"alice", "bob"});
  Forget("bob");
  EXPECT_FALSE(Verify(message));
  EXPECT_NE(log.find("Good signature from \"Alice <alice@example.org>\"\n"), std::string::npos)
      << log;
  EXPECT_NE(log.find("Signature by unknown key "), std::string::npos) << log;
  EXPECT_TRUE(log.ends_with("Error: Not every signature is good\n")) << log;
}

TEST_F(SignatureReport, TwoGoodSignaturesGetALineEach) {
  EXPECT_TRUE(Verify(Signed("hello\n", {"alice", "bob"})));
  EXPECT_NE(log.find("Good signature from \"Alice <alice@example.org>\"\n"), std::string::npos);
  EXPECT_NE(log.find("Good signature from \"Bob <bob@example.org>\"\n"), std::string::npos);
}

TEST_F(SignatureReport, ClearSignedTextVerifies) {
  std::string plain;
  EXPECT_TRUE(Verify(Signed("clear text\n", {"alice"}, {"--clearsign"}), &plain));
  EXPECT_EQ(log, "Good signature from \"Alice <alice@example.org>\"\n");
  EXPECT_EQ(plain, "clear text\n");
}

TEST_F(SignatureReport, DetachedSignatureAloneIsNeverDone) {
  // Without its data the signature is checked against nothing, and fails.
  EXPECT_FALSE(Verify(Signed("hello\n", {"alice"}, {}, "--detach-sign")));
  EXPECT_EQ(log,
            "BAD signature from \"Alice <alice@example.org>\"\n"
            "Error: Not every signature is good\n");
}

TEST_F(SignatureReport, DataWithoutSignatureIsNeverDone) {
  // A literal data packet without any signature: gpg --store.
  EXPECT_FALSE(Verify(Signed("just data\n", {}, {}, "--store")));
  EXPECT_EQ(log, "Error: No signature found\n");
}

TEST_F(SignatureReport, ExpiredKeyAndExpiredSignatureAreSaid) {
  const std::string expiring =
      MakeKey(ring(), "Brief <brief@example.org>", "1d", "20200304T233000");
  std::vector<std::string> args = {
      "--faked-system-time",  "20200305T000000", "-u", expiring, "--compress-algo", "none", "-o",
      ring().path("old.gpg"), "--sign"};
  WriteFile(ring().path("old.txt"), "old\n");
  args.push_back(ring().path("old.txt"));
  ASSERT_EQ(ring().gpg(args).exitCode, 0);
  EXPECT_FALSE(Verify(ReadFile(ring().path("old.gpg"))));
  EXPECT_NE(log.find("Signature from \"Brief <brief@example.org>\", but the key has expired\n"),
            std::string::npos)
      << log;

  const std::string lasting =
      MakeKey(ring(), "Lasting <lasting@example.org>", "0", "20200304T233000");
  args = {"--faked-system-time",
          "20200305T000000",
          "--default-sig-expire",
          "1d",
          "-u",
          lasting,
          "-o",
          ring().path("short.gpg"),
          "--sign",
          ring().path("old.txt")};
  ASSERT_EQ(ring().gpg(args).exitCode, 0);
  EXPECT_FALSE(Verify(ReadFile(ring().path("short.gpg"))));
  EXPECT_NE(log.find("Expired signature from \"Lasting <lasting@example.org>\"\n"),
            std::string::npos)
      << log;
}

class UncertifiedSignature : public SignatureReport {
 protected:
  KeyRingOptions keyRingOptions() const override {
    return {.keys = {"alice"}, .ownertrust = false};
  }
};

TEST_F(UncertifiedSignature, IsGoodButSaidToBeNotCertified) {
  EXPECT_TRUE(Verify(Signed("hello\n", {"alice"})));
  EXPECT_EQ(log,
            "Good signature from \"Alice <alice@example.org>\", but the key is not certified\n");
}

// The engine checks a signature dated after now like any other (clocks differ); it names its
// signer and is good.
TEST_F(SignatureReport, SignatureMadeInTheFutureIsCheckedLikeAnyOther) {
  const std::string message =
      Signed("from 2035\n", {"alice"}, {"--faked-system-time", "20350101T000000"});
  std::string plain;
  EXPECT_TRUE(Verify(message, &plain));
  EXPECT_EQ(log, "Good signature from \"Alice <alice@example.org>\"\n");
  EXPECT_EQ(plain, "from 2035\n");
}

// A revoked key may be a stolen one: its signature is never taken for merely expired.
TEST_F(RevokedSigner, SignatureByARevokedKeyIsSaidToBeRevoked) {
  const std::string fixtures = std::string(ZEMBRA_TEST_SOURCE_DIR) + "/tests/fixtures/keys/";
  const std::string packets = ring().path("revoked.sec.gpg");
  ASSERT_EQ(ring().gpg({"--dearmor", "-o", packets, fixtures + "revoked.sec.asc"}).exitCode, 0);
  const std::string unrevoked = WithoutRevocation(ReadFile(packets));
  ASSERT_LT(unrevoked.size(), ReadFile(packets).size());
  WriteFile(packets, unrevoked);
  Forget("revoked");
  ASSERT_EQ(ring().gpg({"--import", packets}).exitCode, 0);
  const std::string message = Signed("from before the theft\n", {"revoked"});
  // The revocation arrives after the signature was made, as it does when a key is stolen.
  const ProcessResult revoked = ring().gpg({"--import", fixtures + "revoked.rev.asc"});
  ASSERT_EQ(revoked.exitCode, 0) << revoked;

  EXPECT_FALSE(Verify(message));
  EXPECT_EQ(log,
            "Signature from \"Revoked <revoked@example.org>\", but the key is revoked\n"
            "Error: Not every signature is good\n");
  EXPECT_EQ(log.find("expired"), std::string::npos) << log;
}
