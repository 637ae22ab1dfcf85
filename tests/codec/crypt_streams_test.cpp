#include "codec/crypt_streams.h"

#include <gtest/gtest.h>

#include <array>

#include "errors/errors.h"
#include "codec/deflate_base.h"
#include "codec/zip_crypt.h"
#include "platform/memory_stream.h"
#include "platform/runtime_errors.h"
#include "test_support.h"
#include "zip_oracle.h"

namespace vz {
namespace {

using testing::RandomBytes;

std::vector<uint8_t> Encrypt(const std::vector<uint8_t>& plain, const std::string& password,
                             uint32_t check, RandomByteSource random = {}) {
  MemoryStream out;
  DfEncryptStream encrypt(out, check, password, std::move(random));
  // Several writes, so the key state has to carry over between them.
  size_t at = 0;
  for (size_t piece = 1; at < plain.size(); piece = piece * 3 + 1) {
    const size_t n = std::min(piece, plain.size() - at);
    EXPECT_EQ(encrypt.Write({plain.data() + at, n}), static_cast<int64_t>(n));
    at += n;
  }
  return out.Data();
}

TEST(CryptStreamsTest, RoundTripThroughBothStreams) {
  struct Case {
    const char* name;
    size_t size;
    std::string password;
    uint32_t check;
  };
  const Case cases[] = {
      {"empty data", 0, "secret", 0xCAFEBABE},
      {"one byte", 1, "p", 0x00000000},
      {"small", 100, "a longer pass phrase with spaces", 0x12345678},
      {"large", 200000, "\xE9t\xE9", 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto plain = RandomBytes(c.size, 7);
    const auto cipher = Encrypt(plain, c.password, c.check);
    ASSERT_EQ(cipher.size(), plain.size() + kZipCryptHeaderSize);
    if (c.size >= 100) {
      EXPECT_NE(std::vector<uint8_t>(cipher.begin() + 12, cipher.end()), plain);
    }

    MemoryStream in(cipher);
    DfDecryptStream decrypt(in, c.check, c.password);
    ASSERT_TRUE(decrypt.ReadAndVerifyHeader());
    std::vector<uint8_t> back(plain.size() + 10);
    int64_t got = 0;
    while (true) {  // uneven reads
      const size_t want = std::min<size_t>(4099, back.size() - static_cast<size_t>(got));
      const int64_t n = decrypt.Read({back.data() + got, want});
      if (n == 0) break;
      got += n;
    }
    back.resize(static_cast<size_t>(got));
    EXPECT_EQ(back, plain);
  }
}

TEST(CryptStreamsTest, EncryptLeavesCallersBufferAlone) {
  const auto plain = RandomBytes(1000, 3);
  auto copy = plain;
  MemoryStream out;
  DfEncryptStream encrypt(out, 0x01020304, "pw");
  encrypt.WriteBuffer(copy);
  EXPECT_EQ(copy, plain);
}

TEST(CryptStreamsTest, WrongPasswordsAreMostlyRejectedAndGiveTheHeaderBack) {
  const auto plain = RandomBytes(64, 5);
  const uint32_t check = 0x9A000000;
  const auto cipher = Encrypt(plain, "right", check, SeededRandomBytes(42));
  int accepted = 0;
  const int kTries = 2560;
  for (int i = 0; i < kTries; ++i) {
    MemoryStream in(cipher);
    DfDecryptStream decrypt(in, check, "wrong" + std::to_string(i));
    if (decrypt.ReadAndVerifyHeader()) {
      ++accepted;
    } else {
      EXPECT_EQ(in.Position(), 0);
    }
  }
  // About one in 256 passes the one-byte check: 10 expected.
  EXPECT_GE(accepted, 1);
  EXPECT_LE(accepted, 30);
}

TEST(CryptStreamsTest, HeaderRandomBytes) {
  const auto plain = RandomBytes(10, 1);
  // A seeded source repeats itself; the system source does not.
  EXPECT_EQ(Encrypt(plain, "pw", 7, SeededRandomBytes(0)),
            Encrypt(plain, "pw", 7, SeededRandomBytes(0)));
  EXPECT_NE(Encrypt(plain, "pw", 7, SeededRandomBytes(0)),
            Encrypt(plain, "pw", 7, SeededRandomBytes(1)));
  EXPECT_NE(Encrypt(plain, "pw", 7), Encrypt(plain, "pw", 7));
}

TEST(CryptStreamsTest, DecryptStreamComparesOnlyTheTopByte) {
  const auto cipher = Encrypt({}, "pw", 0x12345678);
  for (const uint32_t check : {0x12345678u, 0x12000000u, 0x12FFFFFFu}) {
    MemoryStream in(cipher);
    DfDecryptStream decrypt(in, check, "pw");
    EXPECT_TRUE(decrypt.ReadAndVerifyHeader()) << std::hex << check;
    std::array<uint8_t, 4> buf;
    EXPECT_EQ(decrypt.Read(buf), 0);  // nothing after the header
  }
  MemoryStream in(cipher);
  DfDecryptStream decrypt(in, 0x13345678, "pw");
  EXPECT_FALSE(decrypt.ReadAndVerifyHeader());
}

TEST(CryptStreamsTest, MisuseIsAnAssertion) {
  MemoryStream mem(std::vector<uint8_t>(20));
  DfDecryptStream decrypt(mem, 0, "pw");
  std::array<uint8_t, 4> buf{};
  EXPECT_THROW(decrypt.Read(buf), AssertionError);
  EXPECT_THROW(decrypt.Write(buf), AssertionError);
  DfDecryptStream no_password(mem, 0, "");
  EXPECT_THROW(no_password.ReadAndVerifyHeader(), AssertionError);
  MemoryStream out;
  EXPECT_THROW(DfEncryptStream(out, 0, ""), AssertionError);
  DfEncryptStream encrypt(out, 0, "pw");
  EXPECT_THROW(encrypt.Read(buf), AssertionError);
  ZipEncryptEngine engine;
  EXPECT_THROW(engine.EncodeBuffer(buf.data(), 4), AssertionError);
  ZipDecryptEngine decoder;
  EXPECT_THROW(decoder.Decode(buf.data(), 4), AssertionError);
  // A source too short for the header raises the stream's read error.
  MemoryStream short_source(std::vector<uint8_t>(11));
  DfDecryptStream short_decrypt(short_source, 0, "pw");
  EXPECT_THROW(short_decrypt.ReadAndVerifyHeader(), StreamReadError);
}

// ---- ZDecoder --------------------------------------------------------------------------------

TEST(ZDecoderTest, ChecksOneOrTwoBytes) {
  const auto plain = RandomBytes(50, 9);
  const auto cipher = Encrypt(plain, "pw", 0x12345678);
  struct Case {
    uint32_t check;
    bool one_byte;
    bool verified;
  };
  const Case cases[] = {
      {0x12345678, false, true}, {0x12340000, false, true}, {0x12000000, false, false},
      {0x12000000, true, true},  {0x13345678, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.check << " one byte " << c.one_byte);
    MemoryStream in(cipher);
    ZDecoder decoder("pw", c.one_byte, c.check, in);
    if (!c.verified) {
      EXPECT_THROW(decoder.VerifyPassword(), ZipInvalidPasswordError);
      continue;
    }
    ASSERT_TRUE(decoder.VerifyPassword());
    EXPECT_EQ(in.Position(), kZipCryptHeaderSize);
    std::vector<uint8_t> data(cipher.begin() + 12, cipher.end());
    decoder.DecryptBuffer(data.data(), static_cast<int64_t>(data.size()));
    EXPECT_EQ(data, plain);
  }
}

TEST(ZDecoderTest, AsksForPasswordsUntilAttemptsRunOut) {
  // A wrong password passes the one-byte check once in 256 headers: a fixed header keeps the
  // wrong answers wrong.
  const auto cipher = Encrypt(RandomBytes(8, 1), "right", 0xAB110000, SeededRandomBytes(42));
  struct Case {
    const char* name;
    std::vector<std::string> answers;
    int attempts;
    bool verified;
    int requests;
  };
  const Case cases[] = {
      {"first answer", {"right"}, 3, true, 1},
      {"second answer", {"x", "right"}, 3, true, 2},
      // The third answer is asked for but never tried.
      {"third answer", {"x", "y", "right"}, 3, false, 3},
      {"more attempts", {"x", "y", "right"}, 4, true, 3},
      {"empty answers", {"", ""}, 3, false, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryStream in(cipher);
    ZDecoder decoder("wrong", true, 0xAB110000, in);
    decoder.SetAttempts(static_cast<uint8_t>(c.attempts));
    int requests = 0;
    decoder.SetOnNeedPassword([&](void* sender, std::string& password) {
      EXPECT_EQ(sender, &decoder);
      password = requests < static_cast<int>(c.answers.size()) ? c.answers[requests] : "";
      ++requests;
    });
    if (c.verified) {
      EXPECT_TRUE(decoder.VerifyPassword());
      EXPECT_EQ(in.Position(), kZipCryptHeaderSize);
    } else {
      EXPECT_THROW(decoder.VerifyPassword(), ZipInvalidPasswordError);
    }
    EXPECT_EQ(requests, c.requests);
  }
}

// ---- Known answers from Info-ZIP -------------------------------------------------------------

TEST(CryptStreamsTest, DecryptsInfoZipStoredItem) {
  if (!testing::HaveTool("zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  testing::ScratchDir dir;
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + " of the known answer\n";
  testing::WriteFile(dir / "plain.txt", text);
  ASSERT_EQ(testing::RunQuiet("cd '" + dir.path().string() +
                              "' && zip -q -0 -P secret out.zip plain.txt"),
            0);
  const auto zip = testing::ReadFile(dir / "out.zip");
  const auto item = testing::FirstZipItem(zip);
  ASSERT_EQ(item.method, 0);
  ASSERT_TRUE(item.flags & 1);
  ASSERT_EQ(item.compressed_size, text.size() + kZipCryptHeaderSize);
  // With a data descriptor the check value is the file time, otherwise the CRC.
  const uint32_t check = (item.flags & 8) ? uint32_t{item.dos_time} << 16 : item.crc;

  MemoryStream in(zip);
  in.SetPosition(static_cast<int64_t>(item.data_offset));
  DfDecryptStream wrong(in, check, "Secret");
  if (!wrong.ReadAndVerifyHeader()) {
    EXPECT_EQ(in.Position(), static_cast<int64_t>(item.data_offset));
  }
  in.SetPosition(static_cast<int64_t>(item.data_offset));
  DfDecryptStream decrypt(in, check, "secret");
  ASSERT_TRUE(decrypt.ReadAndVerifyHeader());
  std::vector<uint8_t> data(text.size());
  decrypt.ReadBuffer(data);
  EXPECT_EQ(std::string(data.begin(), data.end()), text);
  EXPECT_EQ(Crc32Of(data), item.crc);

  ZDecoder decoder("secret", false, check, in);
  in.SetPosition(static_cast<int64_t>(item.data_offset));
  ASSERT_TRUE(decoder.VerifyPassword());
}

}  // namespace
}  // namespace vz
