// The length and distance translator: tables made by a forward fill over the symbol bases.
#include "codec/translator.h"

#include "platform/runtime_errors.h"

namespace vz {

namespace {

// Replaces each entry by the largest value seen so far: the slots between two bases take the
// lower base's symbol.
void ForwardFill(std::array<uint8_t, 256>& table) {
  uint8_t largest = 0;
  for (uint8_t& entry : table) {
    if (entry > largest) largest = entry;
    entry = largest;
  }
}

}  // namespace

DfTranslator::DfTranslator() {
  const auto& s = kDeflateSymbols;
  for (int i = 0; i < kLengthSymbolCount - 1; ++i)
    length_[s.length_base[i] - 3] = static_cast<uint8_t>(i);
  length_[255] = kLengthSymbolCount - 1;
  ForwardFill(length_);
  for (int d = 0; d < 16; ++d) short_[s.distance_base[d] - 1] = static_cast<uint8_t>(d);
  ForwardFill(short_);
  for (int d = 16; d < 30; ++d)
    medium_[(s.distance_base[d] - 1) / 128 - 2] = static_cast<uint8_t>(d);
  ForwardFill(medium_);
  long_ = {30, 31};
}

int DfTranslator::LengthSymbol(int32_t length) const {
  Check(length >= 3 && length <= 65536, "DfTranslator.Translate: length should be 3..65536");
  return LengthSymbolFast(length);
}

int DfTranslator::DistanceSymbol(int32_t distance) const {
  Check(distance >= 1 && distance <= 65536, "DfTranslator.Translate: distance should be 1..65536");
  return DistanceSymbolFast(distance);
}

const DfTranslator& Translator() {
  static const DfTranslator translator;
  return translator;
}

}  // namespace vz
