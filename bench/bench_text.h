// Text for benchmarks: lines of made-up words, deterministic for a seed, so that peers and runs
// compress the same bytes.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vz::bench {

struct TextShape {
  int vocabulary_size;  // words made from a fixed seed
  int words_per_line;
  const char* indent;    // before each line
  const char* line_end;  // after the last word of a line
};

// Text of n bytes in the given shape; deterministic for a seed.
inline std::string Words(size_t n, uint32_t seed, const TextShape& shape) {
  std::mt19937 vocabulary_rng(12345);
  std::vector<std::string> vocabulary;
  for (int i = 0; i < shape.vocabulary_size; ++i) {
    std::string w;
    for (int k = 2 + static_cast<int>(vocabulary_rng() % 8); k > 0; --k) {
      w += char('a' + vocabulary_rng() % 26);
    }
    vocabulary.push_back(w);
  }
  std::mt19937 rng(seed);
  std::string out;
  out.reserve(n + 16);
  while (out.size() < n) {
    out += shape.indent;
    for (int i = 0; i < shape.words_per_line; ++i) {
      out += vocabulary[rng() % vocabulary.size()];
      out += i == shape.words_per_line - 1 ? shape.line_end : " ";
    }
  }
  out.resize(n);
  return out;
}

}  // namespace vz::bench
