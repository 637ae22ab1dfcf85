// WinZip AES against a known answer (computed with Python's hashlib and the cryptography
// package: PBKDF2-HMAC-SHA1, AES-ECB over little-endian counters, HMAC-SHA1) and against 7-Zip,
// which writes AES items we must read and reads the ones we write.
#include "codec/aes_crypt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "codec/deflate_base.h"
#include "codec/inflate.h"
#include "codec/method_codecs.h"
#include "inflate_support.h"
#include "platform/memory_stream.h"
#include "test_support.h"
#include "zip_builder.h"
#include "zip_oracle.h"

namespace vz {
namespace {

using testing::HaveTool;
using testing::ReadFile;
using testing::RunQuiet;
using testing::ScratchDir;
using testing::WriteFile;

const std::string kPassword = "Veldrin \xC3\xA9t\xC3\xA9";

std::vector<uint8_t> Hex(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

std::vector<uint8_t> Encrypt(const std::vector<uint8_t>& plain, AesStrength strength,
                             const std::string& password, RandomByteSource random = {}) {
  MemoryStream out;
  AesEncryptStream encrypt(out, strength, password, std::move(random));
  // Pieces of changing size, so the counter has to carry over between writes.
  size_t at = 0;
  for (size_t piece = 1; at < plain.size(); piece = piece * 5 + 3) {
    const size_t n = std::min(piece, plain.size() - at);
    encrypt.WriteBuffer({plain.data() + at, n});
    at += n;
  }
  encrypt.Finish();
  return out.Data();
}

// Decrypts a whole item in reads of changing size; nullopt for a wrong password.
std::optional<std::vector<uint8_t>> Decrypt(const std::vector<uint8_t>& item, AesStrength strength,
                                            const std::string& password) {
  MemoryStream in(item);
  AesDecryptStream decrypt(in, strength, static_cast<int64_t>(item.size()), password);
  if (!decrypt.ReadAndVerifyHeader()) return std::nullopt;
  std::vector<uint8_t> out(static_cast<size_t>(decrypt.DataSize()));
  size_t at = 0;
  for (size_t piece = 2; at < out.size(); piece = piece * 3 + 1) {
    at += static_cast<size_t>(decrypt.Read({out.data() + at, std::min(piece, out.size() - at)}));
  }
  EXPECT_EQ(decrypt.Read(out), 0);
  decrypt.VerifyAuthentication();
  return out;
}

TEST(AesCryptTest, MatchesTheKnownAnswerForEachStrength) {
  struct Case {
    AesStrength strength;
    const char* salt_and_verifier;
    const char* first_cipher_bytes;
    const char* last_cipher_bytes;
    const char* code;
  };
  const Case cases[] = {
      {AesStrength::kAes128, "51e0342805d8ba009043", "5edf189a5d1141bcd20214830e22893a",
       "63d4a8d73f04d6e587158d29dbd0dcb0", "e570e4c03f84c20823ee"},
      {AesStrength::kAes192, "51e0342805d8ba009dfd947f7328", "fb071f3204c14d1a307d79a10c10d0bd",
       "7f6aa81c24fb7bb6ecf56223fad01603", "45542a747914386a8287"},
      {AesStrength::kAes256, "51e0342805d8ba009dfd947f6c08de804ca1",
       "49440d5d733cf14d9cbad808901a3b3a", "83bc2998d10ceeb3b182c72f6502598a",
       "8c9727ac99f71445df2f"},
  };
  // 5,000 bytes: the key stream runs past one batch of counter blocks.
  std::vector<uint8_t> plain(5000);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i * 7 + 3);
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.strength));
    const auto item = Encrypt(plain, c.strength, kPassword, SeededRandomBytes(42));
    const auto header = Hex(c.salt_and_verifier);
    ASSERT_EQ(item.size(), plain.size() + static_cast<size_t>(AesOverhead(c.strength)));
    EXPECT_TRUE(std::equal(header.begin(), header.end(), item.begin()));
    const auto first = Hex(c.first_cipher_bytes);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), item.begin() + header.size()));
    const auto last = Hex(c.last_cipher_bytes);
    EXPECT_TRUE(std::equal(last.begin(), last.end(), item.end() - kAesMacSize - 16));
    const auto code = Hex(c.code);
    EXPECT_TRUE(std::equal(code.begin(), code.end(), item.end() - kAesMacSize));
    EXPECT_EQ(Decrypt(item, c.strength, kPassword), plain);
  }
}

TEST(AesCryptTest, RoundTripsEverySizeWithFreshSalts) {
  for (const AesStrength strength :
       {AesStrength::kAes128, AesStrength::kAes192, AesStrength::kAes256}) {
    for (const size_t size : {0, 1, 4095, 4096, 4097, 70000}) {
      SCOPED_TRACE(std::to_string(static_cast<int>(strength)) + " size " + std::to_string(size));
      const auto plain = testing::RandomBytes(size, static_cast<uint32_t>(size));
      const auto item = Encrypt(plain, strength, "pw");
      EXPECT_EQ(Decrypt(item, strength, "pw"), plain);
      // The operating system's salt differs from one item to the next.
      EXPECT_NE(Encrypt(plain, strength, "pw"), item);
    }
  }
}

TEST(AesCryptTest, WrongPasswordsFailTheVerifierAndGiveTheHeaderBack) {
  // A fixed salt: a wrong password passes the 2-byte verifier once in 65,536 salts.
  const auto item =
      Encrypt(testing::RandomBytes(300), AesStrength::kAes256, kPassword, SeededRandomBytes(5));
  MemoryStream in(item);
  for (const std::string& wrong :
       std::vector<std::string>{"Veldrin ete", "veldrin \xC3\xA9t\xC3\xA9", "x", kPassword + " "}) {
    SCOPED_TRACE(wrong);
    AesDecryptStream decrypt(in, AesStrength::kAes256, static_cast<int64_t>(item.size()), wrong);
    EXPECT_FALSE(decrypt.ReadAndVerifyHeader());
    EXPECT_EQ(in.Position(), 0);
  }
  // Another strength reads a different salt length and so different keys.
  EXPECT_FALSE(Decrypt(item, AesStrength::kAes128, kPassword).has_value());
  EXPECT_TRUE(Decrypt(item, AesStrength::kAes256, kPassword).has_value());
}

TEST(AesCryptTest, DamageAndLyingSizesFailWithAClearMessage) {
  using Bytes = std::vector<uint8_t>;
  struct Case {
    const char* name;
    std::function<void(Bytes& item, int64_t& item_size)> damage;
    bool read_all;  // false: read half the data, then VerifyAuthentication
    const char* message;
  };
  const Case cases[] = {
      {"first data byte flipped", [](Bytes& d, int64_t&) { d[18] ^= 1; }, true,
       "authentication failed"},
      {"last data byte flipped", [](Bytes& d, int64_t&) { d[d.size() - 11] ^= 0x80; }, true,
       "authentication failed"},
      {"code byte flipped", [](Bytes& d, int64_t&) { d.back() ^= 4; }, true,
       "authentication failed"},
      {"unread byte flipped", [](Bytes& d, int64_t&) { d[d.size() - 20] ^= 2; }, false,
       "authentication failed"},
      {"item size claims more than there is", [](Bytes&, int64_t& n) { n += 100; }, true,
       "data ends 90 bytes before its stored size"},
      {"code cut off", [](Bytes& d, int64_t&) { d.erase(d.end() - 4, d.end()); }, true,
       "ends before its authentication code"},
      {"item too small for the overhead", [](Bytes&, int64_t& n) { n = 27; }, true,
       "AES item of 27 bytes is too short"},
  };
  const auto plain = testing::RandomBytes(1000, 3);
  const auto good = Encrypt(plain, AesStrength::kAes256, kPassword);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes item = good;
    auto item_size = static_cast<int64_t>(item.size());
    c.damage(item, item_size);
    MemoryStream in(item);
    AesDecryptStream decrypt(in, AesStrength::kAes256, item_size, kPassword);
    try {
      ASSERT_TRUE(decrypt.ReadAndVerifyHeader());
      std::vector<uint8_t> out(c.read_all ? plain.size() + 200 : plain.size() / 2);
      decrypt.Read(out);
      while (c.read_all && decrypt.Read(out) > 0) {
      }
      decrypt.VerifyAuthentication();
      ADD_FAILURE() << "no error";
    } catch (const AesError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST(AesCryptTest, ExtraFieldIsReadStrictlyAndWrittenBack) {
  struct Case {
    const char* name;
    std::vector<uint8_t> data;
    const char* message;  // empty: valid
  };
  const Case cases[] = {
      {"AE-2, AES-256, deflate", {2, 0, 'A', 'E', 3, 8, 0}, ""},
      {"AE-1, AES-128, bzip2", {1, 0, 'A', 'E', 1, 12, 0}, ""},
      {"six bytes", {2, 0, 'A', 'E', 3, 8}, "has 6 data bytes"},
      {"eight bytes", {2, 0, 'A', 'E', 3, 8, 0, 0}, "has 8 data bytes"},
      {"version 3", {3, 0, 'A', 'E', 3, 8, 0}, "version 3"},
      {"vendor AF", {2, 0, 'A', 'F', 3, 8, 0}, "vendor is not"},
      {"strength 0", {2, 0, 'A', 'E', 0, 8, 0}, "key strength 0"},
      {"strength 4", {2, 0, 'A', 'E', 4, 8, 0}, "key strength 4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (*c.message != '\0') {
      try {
        ParseAesExtraField(c.data);
        ADD_FAILURE() << "accepted";
      } catch (const AesError& e) {
        EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
      }
      continue;
    }
    const AesExtraField field = ParseAesExtraField(c.data);
    EXPECT_EQ(field.vendor_version, c.data[0]);
    EXPECT_EQ(static_cast<int>(field.strength), c.data[4]);
    EXPECT_EQ(field.method, c.data[5]);
    const auto written = AesExtraFieldData(field);
    EXPECT_TRUE(std::equal(written.begin(), written.end(), c.data.begin()));
  }
}

// The data bytes of the AES field in a central directory extra field.
std::vector<uint8_t> AesFieldOf(const std::vector<uint8_t>& extra) {
  for (size_t at = 0; at + 4 <= extra.size();) {
    const uint32_t id = testing::Le16(extra, at);
    const size_t size = testing::Le16(extra, at + 2);
    if (id == kAesExtraFieldId && at + 4 + size <= extra.size()) {
      return {extra.begin() + static_cast<std::ptrdiff_t>(at + 4),
              extra.begin() + static_cast<std::ptrdiff_t>(at + 4 + size)};
    }
    at += 4 + size;
  }
  ADD_FAILURE() << "no AES extra field";
  return {};
}

TEST(AesCryptTest, ReadsSevenZipItemsOfEveryMethodAndStrength) {
  if (!HaveTool("7zz")) GTEST_SKIP() << "needs 7zz";
  ScratchDir dir;
  const auto text = testing::MakeCorpus(testing::CorpusKind::kText, 90000, 12);
  WriteFile(dir / "a.txt", text);
  const struct {
    const char* options;
    AesStrength strength;
    uint16_t method;
  } cases[] = {
      {"-mem=AES128 -mm=Copy", AesStrength::kAes128, 0},
      {"-mem=AES192 -mm=Deflate", AesStrength::kAes192, 8},
      {"-mem=AES256 -mm=BZip2", AesStrength::kAes256, 12},
      {"-mem=AES256 -mm=LZMA", AesStrength::kAes256, 14},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    std::filesystem::remove(dir / "z.zip");
    ASSERT_EQ(RunQuiet("cd '" + dir.path().string() + "' && 7zz a -tzip -pPW " + c.options +
                       " z.zip a.txt"),
              0);
    const auto zip = ReadFile(dir / "z.zip");
    const auto item = testing::FirstZipItem(zip);
    ASSERT_EQ(item.method, kAesMethod);
    const AesExtraField field = ParseAesExtraField(AesFieldOf(item.central_extra));
    EXPECT_EQ(field.strength, c.strength);
    EXPECT_EQ(field.method, c.method);

    MemoryStream source(zip);
    source.SetPosition(static_cast<int64_t>(item.data_offset));
    AesDecryptStream wrong(source, c.strength, item.compressed_size, "pw");
    EXPECT_FALSE(wrong.ReadAndVerifyHeader());
    AesDecryptStream decrypt(source, c.strength, item.compressed_size, "PW");
    ASSERT_TRUE(decrypt.ReadAndVerifyHeader());
    MemoryStream dest;
    uint32_t crc = 0;
    if (c.method == 0) {
      dest.CopyFrom(decrypt, decrypt.DataSize());
      crc = Crc32Of(dest.Data());
    } else if (c.method == 8) {
      crc = Inflate(&decrypt, &dest);
    } else {
      MethodDecodeOptions options;
      options.compressed_size = decrypt.DataSize();
      options.output_limit = item.uncompressed_size;
      options.lzma_end_marker = (item.flags & kFlagLzmaEndMarker) != 0;
      crc = DecodeMethod(*LibMethodFromZip(c.method), decrypt, dest, options).crc32;
    }
    decrypt.VerifyAuthentication();
    EXPECT_EQ(dest.Data(), text);
    EXPECT_EQ(crc, Crc32Of(text));
    // 7-Zip writes AE-2, which stores 0 for the CRC-32.
    EXPECT_EQ(field.vendor_version, 2);
    EXPECT_EQ(item.crc, 0u);
  }
}

TEST(AesCryptTest, SevenZipReadsOurItems) {
  if (!HaveTool("7zz")) GTEST_SKIP() << "needs 7zz";
  ScratchDir dir;
  const auto text = testing::MakeCorpus(testing::CorpusKind::kText, 80000, 13);
  const struct {
    AesStrength strength;
    uint16_t vendor_version;
    std::optional<LibMethod> method;  // none: stored
  } cases[] = {
      {AesStrength::kAes256, 2, LibMethod::kBzip2},
      {AesStrength::kAes128, 1, std::nullopt},
      {AesStrength::kAes192, 2, LibMethod::kZstd},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.strength));
    MemoryStream data;
    {
      AesEncryptStream encrypt(data, c.strength, "PW");
      MemoryStream plain(text);
      if (c.method) {
        EncodeMethod(*c.method, plain, encrypt, {});
      } else {
        encrypt.WriteBuffer(text);
      }
      encrypt.Finish();
    }
    const AesExtraField field{c.vendor_version, c.strength,
                              c.method ? static_cast<uint16_t>(*c.method) : uint16_t{0}};
    std::vector<uint8_t> extra;
    testing::Put16(extra, kAesExtraFieldId);
    testing::Put16(extra, kAesExtraFieldSize);
    const auto field_data = AesExtraFieldData(field);
    extra.insert(extra.end(), field_data.begin(), field_data.end());

    testing::ZipEntry entry;
    entry.name = "a.txt";
    entry.data = data.Data();
    entry.method = kAesMethod;
    entry.flag = 1;
    entry.version_needed = kAesVersionNeeded;
    entry.crc = c.vendor_version == 1 ? Crc32Of(text) : 0;
    entry.uncompressed_size = static_cast<int64_t>(text.size());
    entry.local_extra = extra;
    entry.central_extra = extra;
    testing::ZipBuilder zip;
    zip.entries.push_back(entry);
    WriteFile(dir / "ours.zip", zip.Build());
    std::filesystem::remove(dir / "out.txt");
    EXPECT_EQ(
        RunQuiet("(7zz x -so -pPW '" + (dir / "ours.zip") + "' > '" + (dir / "out.txt") + "')"), 0);
    EXPECT_EQ(ReadFile(dir / "out.txt"), text);
    EXPECT_NE(RunQuiet("7zz t -pWRONG '" + (dir / "ours.zip") + "'"), 0);
  }
}

}  // namespace
}  // namespace vz
