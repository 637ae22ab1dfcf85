// Character sets by name, through the C library's iconv.
#include <iconv.h>

#include "platform/codepage.h"

namespace vz::platform {

namespace {

// One conversion descriptor per thread, for the set asked for last: names are decoded one after
// another, all from the same set.
class Decoder {
 public:
  ~Decoder() { Close(); }
  iconv_t For(const std::string& charset) {
    if (charset != charset_) {
      Close();
      cd_ = ::iconv_open("UTF-8", charset.c_str());
      charset_ = cd_ == reinterpret_cast<iconv_t>(-1) ? std::string() : charset;
    }
    return cd_;
  }

 private:
  void Close() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) ::iconv_close(cd_);
    cd_ = reinterpret_cast<iconv_t>(-1);
    charset_.clear();
  }
  std::string charset_;
  iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
};

}  // namespace

std::optional<std::string> DecodeCharset(std::string_view text, const std::string& charset) {
  thread_local Decoder decoder;
  const iconv_t cd = decoder.For(charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  ::iconv(cd, nullptr, nullptr, nullptr, nullptr);  // a fresh start for each text
  std::string out(text.size() * 4 + 8, '\0');
  char* in = const_cast<char*>(text.data());
  size_t in_left = text.size();
  char* to = out.data();
  size_t to_left = out.size();
  if (::iconv(cd, &in, &in_left, &to, &to_left) == static_cast<size_t>(-1) || in_left != 0) {
    return std::nullopt;
  }
  out.resize(out.size() - to_left);
  return out;
}

bool KnownCharset(const std::string& charset) {
  if (charset.empty()) return false;
  const iconv_t cd = ::iconv_open("UTF-8", charset.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  ::iconv_close(cd);
  return true;
}

}  // namespace vz::platform
