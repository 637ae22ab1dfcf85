// The tests' one generator of data: the kinds of input a zip tool meets, the same bytes for the
// same seed; and raw-Deflate inflation through zlib as the oracle.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"
#include "zlib_helpers.h"

namespace vz::testing {

// kRandom is RandomBytes; kRuns mixes runs of one byte, repeated 3-byte patterns and copies of
// earlier stretches (long and overlapping matches); kCompressed is zlib's output of text.
enum class CorpusKind { kText, kBinary, kRandom, kRepetitive, kPattern, kRuns, kCompressed };

inline const char* CorpusName(CorpusKind kind) {
  switch (kind) {
    case CorpusKind::kText:
      return "text";
    case CorpusKind::kBinary:
      return "binary";
    case CorpusKind::kRandom:
      return "random";
    case CorpusKind::kRepetitive:
      return "repetitive";
    case CorpusKind::kPattern:
      return "pattern";
    case CorpusKind::kRuns:
      return "runs";
    case CorpusKind::kCompressed:
      return "compressed";
  }
  return "?";
}

// size bytes of the given kind, the same for the same seed.
inline std::vector<uint8_t> MakeCorpus(CorpusKind kind, size_t size, uint32_t seed = 7) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out;
  out.reserve(size);
  switch (kind) {
    case CorpusKind::kText: {
      // Words drawn with a skewed distribution, with punctuation and line breaks: compresses like
      // prose (about 3:1).
      static const char* kWords[] = {
          "the",      "of",      "and",     "a",       "to",     "in",        "is",      "you",
          "that",     "it",      "he",      "was",     "for",    "on",        "are",     "as",
          "with",     "his",     "they",    "archive", "folder", "compress",  "window",  "scenery",
          "aircraft", "texture", "gauge",   "effects", "flight", "simulator", "install", "runway",
          "weather",  "airport", "cockpit", "panel",   "sound",  "model",     "mission", "livery"};
      constexpr size_t kCount = sizeof(kWords) / sizeof(kWords[0]);
      std::geometric_distribution<size_t> pick(0.12);
      size_t line = 0;
      while (out.size() < size) {
        const std::string w = kWords[pick(rng) % kCount];
        out.insert(out.end(), w.begin(), w.end());
        line += w.size() + 1;
        const uint32_t r = rng() % 16;
        if (r == 0) out.push_back(',');
        if (r == 1) out.push_back('.');
        if (line > 70) {
          out.push_back('\r');
          out.push_back('\n');
          line = 0;
        } else {
          out.push_back(' ');
        }
      }
      break;
    }
    case CorpusKind::kBinary: {
      // Records of slowly changing little-endian numbers with zero padding, like model or
      // executable data: many short matches, many zero bytes.
      uint32_t a = 1000;
      while (out.size() < size) {
        a += rng() % 7;
        const uint32_t b = rng() % 300;
        const uint8_t rec[16] = {static_cast<uint8_t>(a),
                                 static_cast<uint8_t>(a >> 8),
                                 0,
                                 0,
                                 static_cast<uint8_t>(b),
                                 static_cast<uint8_t>(b >> 8),
                                 0,
                                 0,
                                 0x3F,
                                 0x80,
                                 0,
                                 0,
                                 static_cast<uint8_t>(rng() % 4),
                                 0xFF,
                                 0,
                                 0};
        out.insert(out.end(), rec, rec + 16);
      }
      break;
    }
    case CorpusKind::kRandom:
      // Already-compressed data looks random to the encoder.
      return RandomBytes(size, seed);
    case CorpusKind::kRepetitive:
      out.assign(size, 'z');
      break;
    case CorpusKind::kPattern: {
      // A 7-byte phrase repeated with rare changes: long matches at short distances.
      const std::string phrase = "ABCabc!";
      while (out.size() < size) {
        out.insert(out.end(), phrase.begin(), phrase.end());
        if (rng() % 500 == 0) out.push_back(static_cast<uint8_t>(rng()));
      }
      break;
    }
    case CorpusKind::kRuns:
      while (out.size() < size) {
        switch (rng() % 3) {
          case 0:
            out.insert(out.end(), 100 + rng() % 5000, static_cast<uint8_t>(rng()));
            break;
          case 1: {
            const uint8_t pattern[] = {static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()),
                                       static_cast<uint8_t>(rng())};
            for (int i = static_cast<int>(rng() % 2000); i > 0; --i) out.push_back(pattern[i % 3]);
            break;
          }
          default:
            if (out.size() > 1000) {
              const size_t from = rng() % (out.size() - 500);
              for (size_t i = 0; i < 500; ++i) out.push_back(out[from + i]);
            }
        }
      }
      break;
    case CorpusKind::kCompressed:
      while (out.size() < size) {
        const auto piece = RawDeflate(MakeCorpus(CorpusKind::kText, 64 * 1024, seed++), 9);
        out.insert(out.end(), piece.begin(), piece.end());
      }
      break;
  }
  out.resize(size);
  return out;
}

// Inflates a raw Deflate stream with zlib; ok is false when zlib rejects it or finds trailing
// bytes.
inline std::vector<uint8_t> ZlibInflateRaw(const std::vector<uint8_t>& in, bool& ok) {
  std::vector<uint8_t> out;
  z_stream z{};
  ok = false;
  if (inflateInit2(&z, -15) != Z_OK) return out;
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  uint8_t chunk[65536];
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = chunk;
    z.avail_out = sizeof(chunk);
    rc = inflate(&z, Z_NO_FLUSH);
    out.insert(out.end(), chunk, chunk + (sizeof(chunk) - z.avail_out));
    if (rc == Z_BUF_ERROR && z.avail_in == 0) break;
  }
  ok = rc == Z_STREAM_END && z.avail_in == 0;
  inflateEnd(&z);
  return out;
}

}  // namespace vz::testing
