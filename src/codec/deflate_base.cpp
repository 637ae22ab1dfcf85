// Checksums, codec options, the log stream and the node allocator.
//
// CRC-32. The checksum is the remainder of the message, read as a polynomial over GF(2) with the
// lowest bit of each byte first, divided by the generator 0x104C11DB7; with reflected bit order
// the generator reads 0xEDB88320. Feeding one byte means: xor it into the low byte of the register
// and shift eight times, xoring in the generator whenever a one falls out. Table[0][b] is that
// eight-step shift of b alone; since the division is linear, the register after a byte is
// Table[0][(reg ^ b) & 0xFF] ^ (reg >> 8).
//
// Slicing by eight: Table[k][b] is the effect of byte b followed by k zero bytes. Eight bytes then
// fold in at once: xor the first four into the register, and the register's four bytes and the next
// four data bytes each look up the table for their distance from the end of the group. Eight
// independent lookups per eight bytes instead of a chain of eight dependent ones.
#include "codec/deflate_base.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "codec/crc32_fast.h"
#include "errors/errors.h"
#include "platform/runtime_errors.h"

namespace vz {

namespace {

using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

CrcTables MakeCrcTables() {
  CrcTables t{};
  for (uint32_t b = 0; b < 256; ++b) {
    uint32_t r = b;
    for (int i = 0; i < 8; ++i) r = (r >> 1) ^ ((r & 1) ? 0xEDB88320u : 0);
    t[0][b] = r;
  }
  for (size_t k = 1; k < 8; ++k) {
    for (uint32_t b = 0; b < 256; ++b) t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFF];
  }
  return t;
}

const CrcTables& Tables() {
  static const CrcTables tables = MakeCrcTables();
  return tables;
}

// Runs the tables' construction before main, so no codec run pays for it.
[[maybe_unused]] const CrcTables& kWarmTables = Tables();

inline uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

const uint32_t* Crc32Table() {
  return Tables()[0].data();
}

void UpdateCrc32(uint32_t& reg, const uint8_t* data, int64_t count) {
  // Long buffers go to the carry-less multiplication paths where the processor has them.
  if (count >= 256 && Crc32WideClmulAvailable()) {
    UpdateCrc32WideClmul(reg, data, count);
    return;
  }
  if (count >= 64 && Crc32ClmulAvailable()) {
    UpdateCrc32Clmul(reg, data, count);
    return;
  }
  UpdateCrc32Sliced(reg, data, count);
}

void UpdateCrc32Sliced(uint32_t& reg, const uint8_t* data, int64_t count) {
  const CrcTables& t = Tables();
  uint32_t r = reg;
  while (count >= 8) {
    const uint32_t lo = Load32(data) ^ r;
    const uint32_t hi = Load32(data + 4);
    r = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
        t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    data += 8;
    count -= 8;
  }
  while (count-- > 0) r = t[0][(r ^ *data++) & 0xFF] ^ (r >> 8);
  reg = r;
}

void UpdateAdler32(uint32_t& value, const uint8_t* data, int64_t count) {
  constexpr uint32_t kBase = 65521;
  uint32_t s1 = value & 0xFFFF;
  uint32_t s2 = value >> 16;
  while (count > 0) {
    // 4096 bytes at most between reductions keep s2 below 2^32.
    const int64_t chunk = std::min<int64_t>(count, 4096);
    for (int64_t i = 0; i < chunk; ++i) {
      s1 += data[i];
      s2 += s1;
    }
    s1 %= kBase;
    s2 %= kBase;
    data += chunk;
    count -= chunk;
  }
  value = s1 | (s2 << 16);
}

// ---- DeflateHelper ---------------------------------------------------------------------------

void DeflateHelper::AssignFrom(const DeflateHelper& other) {
  const int32_t compressed = compressed_bytes_;
  const int32_t uncompressed = uncompressed_bytes_;
  *this = other;
  compressed_bytes_ = compressed;
  uncompressed_bytes_ = uncompressed;
}

namespace {

// The clamping rule shared by the three search limits: -1 means no limit, anything else is at
// least 4. Returns false when nothing changes.
bool ClampLimit(int32_t& field, int32_t value) {
  if (value == field) return false;
  if (value != -1 && value < 4) value = 4;
  field = value;
  return true;
}

}  // namespace

void DeflateHelper::SetSufficientLength(int32_t value) {
  if (ClampLimit(sufficient_length_, value)) preset_code_ = '?';
}

void DeflateHelper::SetChainLimit(int32_t value) {
  if (ClampLimit(chain_limit_, value)) preset_code_ = '?';
}

void DeflateHelper::SetLazyLimit(int32_t value) {
  if (ClampLimit(lazy_limit_, value)) preset_code_ = '?';
}

void DeflateHelper::SetOptions(uint32_t value) {
  if (value == options_) return;
  options_ = value;
  preset_code_ = '?';
}

void DeflateHelper::SetPresetCode(char code) {
  if (code >= 'A' && code <= 'Z') code = static_cast<char>(code - 'A' + 'a');
  if (code == preset_code_) return;
  struct Row {
    char code;
    bool clear_low_bits;
    uint32_t set;
    int32_t sufficient, chain, lazy;
  };
  static constexpr Row kRows[] = {
      {'0', true, dfoStored, 8, 32, 16},
      {'2', false, dfoStored | dfoStatic | dfoDynamic | dfoLazy, 8, 32, 16},
      {'f', false, dfoStored | dfoStatic | dfoDynamic, 4, 32, 6},
      {'n', false, dfoStored | dfoStatic | dfoDynamic | dfoLazy, 16, 32, 24},
      {'s', false, dfoStored | dfoStatic | dfoDynamic, 4, 4, 4},
      {'x', false, dfoStored | dfoStatic | dfoDynamic | dfoLazy, 64, 4096, 258},
  };
  for (const Row& row : kRows) {
    if (row.code != code) continue;
    if (row.clear_low_bits) options_ &= ~0x0Fu;
    options_ |= row.set;
    sufficient_length_ = row.sufficient;
    chain_limit_ = row.chain;
    lazy_limit_ = row.lazy;
    preset_code_ = code;
    return;
  }
}

namespace {

// The deflation options as the encoder sees them. Normal and maximum search lazily; fast and
// superfast take the first match. Stored-only is what an item gets when no option is chosen.
constexpr DeflationSettings kDeflationTable[] = {
    {doInvalid, '0', dfoStored, 8, 32, 16, 0},
    {doNormal, 'n', dfoStored | dfoStatic | dfoDynamic | dfoLazy, 16, 32, 24, 0},
    {doMaximum, 'x', dfoStored | dfoStatic | dfoDynamic | dfoLazy, 64, 4096, 258, 0x0002},
    {doFast, 'f', dfoStored | dfoStatic | dfoDynamic, 4, 32, 6, 0x0004},
    {doSuperFast, 's', dfoStored | dfoStatic | dfoDynamic, 4, 4, 4, 0x0006},
};

}  // namespace

const DeflationSettings& DeflationSettingsOf(ZipDeflationOption option) {
  for (const DeflationSettings& row : kDeflationTable) {
    if (row.option == option) return row;
  }
  return kDeflationTable[0];
}

void DeflateHelper::UseDeflationOption(ZipDeflationOption option) {
  const DeflationSettings& row = DeflationSettingsOf(option);
  options_ = (options_ & ~0x0Fu) | row.block_options;
  sufficient_length_ = row.sufficient_length;
  chain_limit_ = row.chain_limit;
  lazy_limit_ = row.lazy_limit;
  preset_code_ = row.preset_code;
}

// ---- Logger ----------------------------------------------------------------------------------

Logger::Logger(const std::string& file_name) {
  Check(!file_name.empty(), "Logger.Create: a filename must be provided for the logger");
  file_ = std::make_unique<FileStream>(file_name, kFmCreate);
  buffer_.resize(kBufferSize);
}

Logger::~Logger() {
  try {
    FlushBuffer();
  } catch (...) {
    // Nothing sensible remains to be done with a log that cannot be written at close.
  }
}

bool Logger::FlushBuffer() {
  if (used_ == 0) return true;
  const int64_t written = file_->Write({buffer_.data(), used_});
  if (written == static_cast<int64_t>(used_)) {
    used_ = 0;
    return true;
  }
  if (written > 0) {
    std::memmove(buffer_.data(), buffer_.data() + written, used_ - static_cast<size_t>(written));
    used_ -= static_cast<size_t>(written);
  }
  return false;
}

int64_t Logger::Write(std::span<const uint8_t> data) {
  if (used_ == kBufferSize && !FlushBuffer()) return 0;
  size_t taken = 0;
  while (taken < data.size()) {
    if (used_ == kBufferSize && !FlushBuffer()) break;
    const size_t n = std::min(data.size() - taken, kBufferSize - used_);
    std::memcpy(buffer_.data() + used_, data.data() + taken, n);
    used_ += n;
    taken += n;
  }
  return static_cast<int64_t>(taken);
}

void Logger::WriteTextLine(const std::string& text) {
  if (!text.empty()) Write({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
  static constexpr uint8_t kCrLf[] = {'\r', '\n'};
  Write(kCrLf);
}

int64_t Logger::Read(std::span<uint8_t>) {
  Check(false, "Logger.Read: loggers are write-only, no reading allowed");
  return 0;
}

int64_t Logger::Seek(int64_t offset, int origin) {
  Check(offset == 0 && (origin == kSeekCurrent || origin == kSeekEnd),
        "Logger.Seek: loggers are write-only, no seeking allowed");
  return file_->Position() + static_cast<int64_t>(used_);
}

// ---- NodeManager -----------------------------------------------------------------------------

namespace {
constexpr uint32_t kNodePageSize = 8192;
}  // namespace

NodeManager::NodeManager(uint32_t node_size) {
  node_size_ = std::max<uint32_t>(4, (node_size + 3) & ~3u);
  // A node must also hold the free-list link, which is a pointer here, and nodes stay aligned for
  // pointers: sizes are rounded up to the pointer size (a multiple of 4 already on 32-bit hosts).
  constexpr uint32_t kAlign = sizeof(void*);
  node_size_ = (node_size_ + kAlign - 1) & ~(kAlign - 1);
  nodes_per_page_ = (kNodePageSize - 4) / node_size_;
  page_size_ = kNodePageSize;
  if (nodes_per_page_ < 2) {
    nodes_per_page_ = 1;
    page_size_ = node_size_ + 4;
  }
}

NodeManager::~NodeManager() {
  while (pages_ != nullptr) {
    void* previous;
    std::memcpy(&previous, pages_, sizeof previous);
    ::operator delete(pages_);
    pages_ = previous;
  }
}

void NodeManager::AddPage() {
  // The page starts with its link to the previous page; the link takes a pointer's room, which is
  // why the first node starts after max(4, pointer size) bytes.
  const size_t header = std::max<size_t>(4, sizeof(void*));
  auto* page = static_cast<uint8_t*>(::operator new(page_size_ - 4 + header));
  std::memcpy(page, &pages_, sizeof pages_);
  pages_ = page;
  for (uint32_t i = 0; i < nodes_per_page_; ++i) {
    uint8_t* node = page + header + static_cast<size_t>(i) * node_size_;
    std::memcpy(node, &free_list_, sizeof free_list_);
    free_list_ = node;
  }
}

void* NodeManager::TakeNode() {
  if (free_list_ == nullptr) AddPage();
  void* node = free_list_;
  std::memcpy(&free_list_, node, sizeof free_list_);
  return node;
}

AbortProgressError::AbortProgressError() : std::runtime_error(MessageText(9)) {}

}  // namespace vz
