// The encoder's choices of literals and matches, read back from its output: lazy
// matching, the 4096-byte rule for 3-byte matches and the one-time tuning step.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>

#include "codec/deflate.h"
#include "codec/huffman.h"
#include "codec/translator.h"
#include "corpus.h"
#include "platform/memory_stream.h"

namespace vz {
namespace {

struct Token {
  int32_t length;  // 0 = literal
  int32_t value;   // the literal byte or the distance
  bool operator==(const Token&) const = default;
};
Token Lit(char c) {
  return {0, static_cast<uint8_t>(c)};
}
Token Match(int32_t length, int32_t distance) {
  return {length, distance};
}

// Reads the tokens of a stream of fixed-code and dynamic blocks (no stored blocks).
class BlockReader {
 public:
  explicit BlockReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

  std::vector<Token> Tokens() {
    std::vector<Token> out;
    for (bool final = false; !final;) {
      final = Bits(1) == 1;
      const uint32_t type = Bits(2);
      EXPECT_TRUE(type == 1 || type == 2);
      if (type == 1) {
        ReadBlock(FixedLitLenTree(), FixedDistTree(), out);
        continue;
      }
      const int hlit = static_cast<int>(Bits(5)) + 257;
      const int hdist = static_cast<int>(Bits(5)) + 1;
      const int hclen = static_cast<int>(Bits(4)) + 4;
      std::array<int32_t, 19> cl{};
      for (int i = 0; i < hclen; ++i) cl[kCodeLengthOrder[static_cast<size_t>(i)]] = Bits(3);
      DfDecodeHuffmanTree cl_tree(19, 7, trDecode);
      static constexpr uint8_t kNone[1] = {0};
      cl_tree.Build(cl, 0, 19, kNone, 65535);
      std::vector<int32_t> lengths;
      while (static_cast<int>(lengths.size()) < hlit + hdist) {
        const int sym = static_cast<int>(Symbol(cl_tree));
        if (sym < 16) {
          lengths.push_back(sym);
        } else if (sym == 16) {
          lengths.insert(lengths.end(), 3 + Bits(2), lengths.back());
        } else {
          lengths.insert(lengths.end(), sym == 17 ? 3 + Bits(3) : 11 + Bits(7), 0);
        }
      }
      DfDecodeHuffmanTree lit(286, 15, trDecode);
      lit.Build(lengths, 0, hlit, LengthExtraBits(), 257);
      DfDecodeHuffmanTree dist(32, 15, trDecode);
      dist.Build(lengths, hlit, hdist, DistanceExtraBits(), 0);
      ReadBlock(lit, dist, out);
    }
    return out;
  }

 private:
  void ReadBlock(const DfDecodeHuffmanTree& lit, const DfDecodeHuffmanTree& dist,
                 std::vector<Token>& out) {
    const auto& s = kDeflateSymbols;
    for (;;) {
      const int symbol = static_cast<int>(Symbol(lit));
      if (symbol < 256) {
        out.push_back({0, symbol});
        continue;
      }
      if (symbol == 256) return;
      const int i = symbol - 257;
      const int32_t length =
          symbol == 285 ? 258 : s.length_base[i] + static_cast<int32_t>(Bits(s.length_extra[i]));
      const int d = static_cast<int>(Symbol(dist));
      out.push_back({length, s.distance_base[d] + static_cast<int32_t>(Bits(s.distance_extra[d]))});
    }
  }
  uint32_t Symbol(const DfDecodeHuffmanTree& tree) {
    uint32_t index = 0;
    for (int i = 0; i < tree.LookupBitLength(); ++i) index |= BitAt(pos_ + i) << i;
    const uint32_t entry = tree.Decode(index);
    pos_ += DfDecodeHuffmanTree::LengthOf(entry);
    return DfDecodeHuffmanTree::SymbolOf(entry);
  }
  uint32_t Bits(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v |= BitAt(pos_++) << i;
    return v;
  }
  // Bits past the end read as zeros (a peek may look beyond the last code).
  uint32_t BitAt(size_t pos) const {
    return pos / 8 < bytes_.size() ? (bytes_[pos / 8] >> (pos % 8)) & 1 : 0;
  }

  const std::vector<uint8_t>& bytes_;
  size_t pos_ = 0;
};

// The tokens of a run with a preset as item compression applies it.
std::vector<Token> TokensOf(const std::string& text, char preset) {
  DeflateHelper h;
  h.SetPresetCode('0');
  h.SetPresetCode(preset);
  MemoryStream source(std::vector<uint8_t>(text.begin(), text.end()));
  MemoryStream dest;
  Deflate(&source, &dest, &h);
  return BlockReader(dest.Data()).Tokens();
}

std::vector<Token> Tail(const std::vector<Token>& tokens, size_t n) {
  return {tokens.end() - static_cast<std::ptrdiff_t>(std::min(n, tokens.size())), tokens.end()};
}

// Lower-case letters and digits in which no three bytes repeat, so that every byte is a literal: a
// de Bruijn sequence by the prefer-largest rule.
std::string Filler(size_t n) {
  static const std::string kAlphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string out(2, kAlphabet[0]);
  std::set<std::string> used;
  while (out.size() < n) {
    bool extended = false;
    for (auto c = kAlphabet.rbegin(); c != kAlphabet.rend() && !extended; ++c) {
      extended = used.insert(out.substr(out.size() - 2) + *c).second;
      if (extended) out.push_back(*c);
    }
    if (!extended) break;
  }
  return out.substr(0, n);
}

TEST(DeflateTokensTest, MatchingRules) {
  struct Case {
    const char* name;
    std::string input;
    char preset;
    std::vector<Token> tail;
  };
  const Case cases[] = {
      {"ten equal bytes", std::string(10, 'a'), 'n', {Lit('a'), Match(9, 1)}},
      {"3-byte repeat 4096 back", "QZJ" + Filler(4093) + "QZJ", 'n', {Match(3, 4096)}},
      {"3-byte repeat 4097 back",
       "QZJ" + Filler(4094) + "QZJ",
       'n',
       {Lit('Q'), Lit('Z'), Lit('J')}},
      // Fast settings (lazy limit 4): a 3-byte match is held and loses to a longer one at the
      // next position; a 4-byte match is emitted at once although a longer one follows.
      {"held 3-byte match", "QZJ#ZJVWX#QZJVWX", 'f', {Lit('Q'), Match(5, 7)}},
      {"4-byte match at once", "QZJV#ZJVWXY#QZJVWXY", 'f', {Match(4, 12), Match(3, 8)}},
      // Normal settings hold the 4-byte match and take the longer one.
      {"lazy normal", "QZJV#ZJVWXY#QZJVWXY", 'n', {Lit('Q'), Match(6, 8)}},
  };
  for (const Case& c : cases) {
    const auto tokens = TokensOf(c.input, c.preset);
    EXPECT_EQ(Tail(tokens, c.tail.size()), c.tail) << c.name;
  }
}

// After 1024 literals without a zero byte in normal mode the limits double (sufficient 32, lazy
// 48): the search walks past a nearer 20-byte match to a 40-byte one and holds it. Untuned
// (sufficient 16, lazy 24) the nearer match ends the search, and the next position's 39-byte match
// wins. A zero byte among the first 1024 keeps the limits.
TEST(DeflateTokensTest, TuningStepDoublesTheLimitsForText) {
  const std::string phrase = "MNOPQRSTUVWXYZ#$%&()*+,-./:;<=>?@[]^_{|}~";
  for (bool zero : {false, true}) {
    std::string text = Filler(1100);
    if (zero) text[500] = '\0';
    text += phrase.substr(0, 40) + "1" + phrase.substr(0, 20) + "2" + phrase.substr(0, 40) + "4";
    const std::vector<Token> expected = zero ? std::vector<Token>{Lit('M'), Match(39, 62), Lit('4')}
                                             : std::vector<Token>{Match(40, 62), Lit('4')};
    EXPECT_EQ(Tail(TokensOf(text, 'n'), expected.size()), expected) << zero;
  }
}

}  // namespace
}  // namespace vz
