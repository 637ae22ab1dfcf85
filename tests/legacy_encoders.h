// Encoders for the legacy zip methods, for tests only. No tool on Debian writes shrink, reduce or
// implode, so the tests make their own data: an LZW writer with code-size growth and partial
// clears, a follower-set and run writer for reduce, and a Shannon-Fano writer for implode. They
// aim to be simple and obviously faithful to the formats, not to compress well; 7-Zip and Info-ZIP
// unzip, which read shrink and implode, check that they are (tests/components).
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <functional>
#include <map>
#include <queue>
#include <vector>

namespace vz::testing {

// Bits least significant first, as all three methods store them.
class LsbBitWriter {
 public:
  void Put(uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
      if (used_ == 0) out_.push_back(0);
      out_.back() |= static_cast<uint8_t>(((value >> i) & 1u) << used_);
      used_ = (used_ + 1) & 7;
    }
  }
  void PutBytes(const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) Put(b, 8);
  }
  const std::vector<uint8_t>& Bytes() const { return out_; }

 private:
  std::vector<uint8_t> out_;
  int used_ = 0;
};

// ---- shrink ------------------------------------------------------------------------------------

struct ShrinkStats {
  int growths = 0;
  int clears = 0;
  int kwkwk = 0;  // codes sent before the reader can know them
};

// LZW with codes from 9 to 13 bits. The writer keeps the reader's table exactly: an entry (previous
// code, first byte of this code) is added after each code but the first, in the lowest free slot.
// The code size grows just before a code that needs it. A partial clear is sent as soon as the
// table is full, and also after every clear_every codes when that is not 0. The entry added right
// after a clear may hang off a code the clear has just freed; both sides make it, but its string is
// meaningless, so the writer never uses it.
inline std::vector<uint8_t> Shrink(const std::vector<uint8_t>& data, int clear_every = 0,
                                   ShrinkStats* stats = nullptr) {
  constexpr int kTable = 8192;
  ShrinkStats local;
  ShrinkStats& st = stats ? *stats : local;
  std::vector<int> parent(kTable, -1);
  std::vector<uint8_t> suffix(kTable, 0);
  for (int c = 0; c < 256; ++c) {
    parent[c] = 0;
    suffix[c] = static_cast<uint8_t>(c);
  }
  std::map<uint32_t, int> child;  // (parent << 8 | byte) -> code
  int next_free = 257;
  int code_size = 9;
  LsbBitWriter out;
  if (data.empty()) return {};

  const auto advance = [&](int from) {
    next_free = from;
    while (next_free < kTable && parent[next_free] != -1) ++next_free;
  };
  const auto leaves = [&] {
    std::vector<bool> leaf(kTable, false);
    for (int i = 257; i < next_free; ++i) leaf[i] = parent[i] != -1;
    for (int i = 257; i < next_free; ++i) {
      if (parent[i] >= 257) leaf[parent[i]] = false;
    }
    return leaf;
  };
  const auto emit = [&](int code) {
    while (code >= (1 << code_size)) {
      out.Put(256, code_size);
      out.Put(1, code_size);
      ++code_size;
      ++st.growths;
    }
    out.Put(static_cast<uint32_t>(code), code_size);
  };
  int codes_since_clear = 0;
  int last_added = -1;  // the entry the reader makes only after the next code
  int w = data[0];
  for (size_t i = 1; i < data.size(); ++i) {
    const uint8_t c = data[i];
    const auto found = child.find(static_cast<uint32_t>(w) << 8 | c);
    if (found != child.end()) {
      w = found->second;
      continue;
    }
    if (w == last_added) ++st.kwkwk;
    emit(w);
    ++codes_since_clear;
    const bool want_clear =
        next_free >= kTable || (clear_every > 0 && codes_since_clear >= clear_every);
    if (want_clear) {
      const std::vector<bool> leaf = leaves();
      out.Put(256, code_size);
      out.Put(2, code_size);
      ++st.clears;
      codes_since_clear = 0;
      for (int e = 257; e < next_free; ++e) {
        if (!leaf[e]) continue;
        const auto key = static_cast<uint32_t>(parent[e]) << 8 | suffix[e];
        const auto it = child.find(key);
        if (it != child.end() && it->second == e) child.erase(it);
        parent[e] = -1;
      }
      advance(257);
    }
    if (next_free < kTable) {
      const bool usable = parent[w] != -1;
      parent[next_free] = w;
      suffix[next_free] = c;
      if (usable) child[static_cast<uint32_t>(w) << 8 | c] = next_free;
      last_added = next_free;
      advance(next_free + 1);
    } else {
      last_added = -1;
    }
    w = c;
  }
  if (w == last_added) ++st.kwkwk;
  emit(w);
  return out.Bytes();
}

// ---- LZ77 matches shared by reduce and implode --------------------------------------------------

struct LzToken {
  int length = 0;  // 0: a literal
  int distance = 0;
  uint8_t literal = 0;
};

// Greedy matching through a hash of three bytes; accept decides whether a (length, distance) pair
// can be coded.
inline std::vector<LzToken> FindMatches(const std::vector<uint8_t>& data, int max_distance,
                                        int min_length, int max_length,
                                        const std::function<bool(int, int)>& accept) {
  std::vector<LzToken> tokens;
  std::map<uint32_t, std::vector<size_t>> heads;
  const auto key = [&](size_t at) {
    return static_cast<uint32_t>(data[at]) | data[at + 1] << 8 | data[at + 2] << 16;
  };
  size_t i = 0;
  const auto remember = [&](size_t at) {
    if (at + 2 < data.size()) heads[key(at)].push_back(at);
  };
  while (i < data.size()) {
    int best_length = 0, best_distance = 0;
    if (i + 2 < data.size()) {
      const auto it = heads.find(key(i));
      if (it != heads.end()) {
        const auto& list = it->second;
        int tries = 0;
        for (auto p = list.rbegin(); p != list.rend() && tries < 64; ++p, ++tries) {
          const auto distance = static_cast<int>(i - *p);
          if (distance > max_distance) break;
          int length = 0;
          while (length < max_length && i + length < data.size() &&
                 data[*p + length] == data[i + length]) {
            ++length;
          }
          while (length >= min_length && !accept(length, distance)) --length;
          if (length >= min_length && length > best_length) {
            best_length = length;
            best_distance = distance;
          }
        }
      }
    }
    if (best_length >= min_length) {
      tokens.push_back({best_length, best_distance, 0});
      for (int k = 0; k < best_length; ++k) remember(i + k);
      i += static_cast<size_t>(best_length);
    } else {
      tokens.push_back({0, 0, data[i]});
      remember(i);
      ++i;
    }
  }
  return tokens;
}

// ---- reduce ------------------------------------------------------------------------------------

// Bits that index a follower set of n entries.
inline int FollowerBits(int n) {
  return n <= 2 ? 1 : static_cast<int>(std::bit_width(static_cast<unsigned>(n - 1)));
}

// Follower sets hold up to max_followers of the most frequent successors of each byte in the
// coded stream (0 gives every byte an empty set, so every byte is 8 plain bits).
inline std::vector<uint8_t> Reduce(const std::vector<uint8_t>& data, int factor,
                                   int max_followers = 32) {
  const int length_mask = 0x7F >> (factor - 1);
  const int max_distance = 256 << factor;
  const int max_length = length_mask + 255 + 3;
  // V = 0 would read as an escaped 90 hex: a 3-byte match needs distance bits.
  const auto accept = [](int length, int distance) { return length > 3 || distance > 256; };
  std::vector<uint8_t> coded;
  for (const LzToken& t : FindMatches(data, max_distance, 3, max_length, accept)) {
    if (t.length == 0) {
      coded.push_back(t.literal);
      if (t.literal == 0x90) coded.push_back(0);
      continue;
    }
    const int length = t.length - 3;
    const int high = (t.distance - 1) >> 8;
    coded.push_back(0x90);
    coded.push_back(static_cast<uint8_t>(high << (8 - factor) | std::min(length, length_mask)));
    if (length >= length_mask) coded.push_back(static_cast<uint8_t>(length - length_mask));
    coded.push_back(static_cast<uint8_t>(t.distance - 1));
  }
  std::vector<std::array<int, 256>> counts(256);
  for (auto& row : counts) row.fill(0);
  uint8_t last = 0;
  for (uint8_t c : coded) {
    ++counts[last][c];
    last = c;
  }
  std::vector<std::vector<uint8_t>> sets(256);
  for (int p = 0; p < 256; ++p) {
    std::vector<int> order;
    for (int c = 0; c < 256; ++c) {
      if (counts[p][c] > 0) order.push_back(c);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return counts[p][a] > counts[p][b]; });
    for (size_t k = 0; k < order.size() && static_cast<int>(k) < max_followers; ++k) {
      sets[p].push_back(static_cast<uint8_t>(order[k]));
    }
  }
  LsbBitWriter out;
  for (int p = 255; p >= 0; --p) {
    out.Put(static_cast<uint32_t>(sets[p].size()), 6);
    out.PutBytes(sets[p]);
  }
  last = 0;
  for (uint8_t c : coded) {
    const auto& set = sets[last];
    if (set.empty()) {
      out.Put(c, 8);
    } else {
      const auto at = std::find(set.begin(), set.end(), c);
      if (at == set.end()) {
        out.Put(1, 1);
        out.Put(c, 8);
      } else {
        out.Put(0, 1);
        out.Put(static_cast<uint32_t>(at - set.begin()),
                FollowerBits(static_cast<int>(set.size())));
      }
    }
    last = c;
  }
  return out.Bytes();
}

// ---- implode -----------------------------------------------------------------------------------

// Huffman code lengths of at most 16 bits for every symbol (each counted once more than it
// occurs, so every entry of a tree has a code, as the format requires).
inline std::vector<int> CodeLengths(std::vector<int64_t> freq) {
  const size_t n = freq.size();
  for (auto& f : freq) f += 1;
  while (true) {
    std::vector<int> up(2 * n, -1);
    using Node = std::pair<int64_t, int>;
    std::priority_queue<Node, std::vector<Node>, std::greater<>> queue;
    for (size_t i = 0; i < n; ++i) queue.push({freq[i], static_cast<int>(i)});
    int next = static_cast<int>(n);
    while (queue.size() > 1) {
      const Node a = queue.top();
      queue.pop();
      const Node b = queue.top();
      queue.pop();
      up[a.second] = next;
      up[b.second] = next;
      queue.push({a.first + b.first, next++});
    }
    std::vector<int> lengths(n, 0);
    int longest = 0;
    for (size_t i = 0; i < n; ++i) {
      for (int node = static_cast<int>(i); up[node] != -1; node = up[node]) ++lengths[i];
      longest = std::max(longest, lengths[i]);
    }
    if (longest <= 16) return lengths;
    for (auto& f : freq) f = f / 2 + 1;
  }
}

// Codes as the reader assigns them: entries sorted by length then value, codes handed out from
// the last entry back; returned bit-reversed, ready to be written least significant bit first.
inline std::vector<uint16_t> ShannonFanoCodes(const std::vector<int>& lengths) {
  const int n = static_cast<int>(lengths.size());
  std::vector<int> order(n);
  for (int i = 0; i < n; ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return lengths[a] < lengths[b]; });
  std::vector<uint16_t> codes(n);
  uint32_t code = 0, increment = 0;
  int previous = 0;
  for (int k = n - 1; k >= 0; --k) {
    code = (code + increment) & 0xFFFF;
    const int length = lengths[order[k]];
    if (length != previous) {
      previous = length;
      increment = 1u << (16 - length);
    }
    uint32_t reversed = 0;
    for (int bit = 0; bit < 16; ++bit) reversed |= ((code >> bit) & 1u) << (15 - bit);
    codes[order[k]] = static_cast<uint16_t>(reversed);
  }
  return codes;
}

// A tree's description: runs of equal lengths, at most 16 to a byte, after a count byte.
inline void PutShannonFanoTree(LsbBitWriter& out, const std::vector<int>& lengths) {
  std::vector<uint8_t> runs;
  for (size_t i = 0; i < lengths.size();) {
    size_t j = i;
    while (j < lengths.size() && j - i < 16 && lengths[j] == lengths[i]) ++j;
    runs.push_back(static_cast<uint8_t>((j - i - 1) << 4 | (lengths[i] - 1)));
    i = j;
  }
  out.Put(static_cast<uint32_t>(runs.size() - 1), 8);
  out.PutBytes(runs);
}

struct ImplodeStats {
  int long_lengths = 0;  // matches whose length code is 63 (8 more bits follow)
  int longest = 0;
  int matches = 0;
};

inline std::vector<uint8_t> Implode(const std::vector<uint8_t>& data, bool dictionary_8k,
                                    bool literal_tree, ImplodeStats* stats = nullptr) {
  ImplodeStats local;
  ImplodeStats& st = stats ? *stats : local;
  const int low_bits = dictionary_8k ? 7 : 6;
  const int min_length = literal_tree ? 3 : 2;
  const int max_length = min_length + 63 + 255;
  const auto tokens = FindMatches(data, dictionary_8k ? 8192 : 4096, min_length, max_length,
                                  [](int, int) { return true; });
  std::vector<int64_t> literal_freq(256, 0), length_freq(64, 0), distance_freq(64, 0);
  for (const LzToken& t : tokens) {
    if (t.length == 0) {
      ++literal_freq[t.literal];
    } else {
      ++length_freq[std::min(t.length - min_length, 63)];
      ++distance_freq[(t.distance - 1) >> low_bits];
    }
  }
  const auto literal_lengths = CodeLengths(literal_freq);
  const auto length_lengths = CodeLengths(length_freq);
  const auto distance_lengths = CodeLengths(distance_freq);
  const auto literal_codes = ShannonFanoCodes(literal_lengths);
  const auto length_codes = ShannonFanoCodes(length_lengths);
  const auto distance_codes = ShannonFanoCodes(distance_lengths);
  LsbBitWriter out;
  if (literal_tree) PutShannonFanoTree(out, literal_lengths);
  PutShannonFanoTree(out, length_lengths);
  PutShannonFanoTree(out, distance_lengths);
  for (const LzToken& t : tokens) {
    if (t.length == 0) {
      out.Put(1, 1);
      if (literal_tree) {
        out.Put(literal_codes[t.literal], literal_lengths[t.literal]);
      } else {
        out.Put(t.literal, 8);
      }
      continue;
    }
    ++st.matches;
    st.longest = std::max(st.longest, t.length);
    const int distance = t.distance - 1;
    const int high = distance >> low_bits;
    const int length = t.length - min_length;
    out.Put(0, 1);
    out.Put(static_cast<uint32_t>(distance & ((1 << low_bits) - 1)), low_bits);
    out.Put(distance_codes[high], distance_lengths[high]);
    const int code = std::min(length, 63);
    out.Put(length_codes[code], length_lengths[code]);
    if (code == 63) {
      out.Put(static_cast<uint32_t>(length - 63), 8);
      ++st.long_lengths;
    }
  }
  return out.Bytes();
}

}  // namespace vz::testing
