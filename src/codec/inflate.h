// Inflate: decodes one raw Deflate (RFC 1951) or Deflate64 stream.
#pragma once

#include <cstdint>

#include "codec/deflate_base.h"
#include "platform/stream.h"

namespace vz {

// Decodes the stream at source's position into destination's position and returns the CRC-32 of
// the output (Adler-32 with dfoAdler32), or 0 when the output limit or an abort from the progress
// callback stopped it early. The source is left just after the last compressed byte used.
//
// Options read from helper (defaults without one): dfoDeflate64, dfoAdler32, dfoTestOnly (decode
// and checksum without writing), OutputLimit, CryptPassword with CryptCheck (decrypt on the fly),
// LogFileName, OnPercentDone with SourceSize (-1: the source's size). On a normal return the
// helper's CompressedBytes and UncompressedBytes are set.
//
// Raises InflateError for malformed data (the destination then holds what was decoded before the
// fault), InflatePasswordError for a wrong password (the source stays where it was); stream
// errors pass unchanged.
uint32_t Inflate(Stream* source, Stream* destination, DeflateHelper* helper = nullptr);

}  // namespace vz
