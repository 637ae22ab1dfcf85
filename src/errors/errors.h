// The engine's failures and its message table.
//
// Every failure the engine raises is an ArchiveError (or one of its descendants) carrying a numeric
// code; the user-visible text of a code comes from one table of numbered messages, so the texts
// live in one place and the code travels with the exception. The per-item failure event does not
// see the exception itself but its classification: ErrorClassOf turns any exception into (class,
// code).
#pragma once

#include <cstdint>
#include <cstdio>
#include <exception>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>

namespace vz {

// One entry of the message table.
struct MessageEntry {
  int32_t code;
  const char* text;
};

// The whole table, in code order.
std::span<const MessageEntry> MessageTable();
// Text of a code; empty for a code that is not in the table.
std::string MessageText(int32_t code);

// Fills a printf-style message text ("%d", "%s", "%x", "%f", "%2.0f%%") with arguments. Strings
// are passed as const char*.
template <typename... Args>
std::string FormatMessageText(const std::string& text, Args... args) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
  const int n = std::snprintf(nullptr, 0, text.c_str(), args...);
  if (n <= 0) return n == 0 ? std::string() : text;
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), text.c_str(), args...);
#pragma GCC diagnostic pop
  out.resize(static_cast<size_t>(n));
  return out;
}

// Root of the engine's exceptions. Built from a plain message its code is 0.
class ArchiveError : public std::runtime_error {
 public:
  explicit ArchiveError(const std::string& message, int32_t code = 0)
      : std::runtime_error(message), error_code_(code) {}
  int32_t ErrorCode() const { return error_code_; }
  void SetErrorCode(int32_t code) { error_code_ = code; }
  std::string Message() const { return what(); }

 private:
  int32_t error_code_;
};

// Declares an exception class whose plain constructor takes the text of its code.
#define VZ_CODED_ERROR(Name, Parent, Code)                                    \
  class Name : public Parent {                                                \
   public:                                                                    \
    static constexpr int32_t kCode = Code;                                    \
    Name() : Parent(MessageText(Code), Code) {}                               \
    Name(const std::string& message, int32_t code) : Parent(message, code) {} \
  }

// Declares a parent class without a code of its own.
#define VZ_PARENT_ERROR(Name, Parent)                                                      \
  class Name : public Parent {                                                             \
   public:                                                                                 \
    explicit Name(const std::string& message, int32_t code = 0) : Parent(message, code) {} \
  }

VZ_CODED_ERROR(ArchiveBusyError, ArchiveError, 10);
VZ_CODED_ERROR(DuplicateNameError, ArchiveError, 7);
VZ_CODED_ERROR(FileNotFoundError, ArchiveError, 25);
VZ_CODED_ERROR(NoArchiveError, ArchiveError, 27);
VZ_CODED_ERROR(UserAbortError, ArchiveError, 9);
VZ_CODED_ERROR(NoSuchDirectoryError, ArchiveError, 19);
VZ_CODED_ERROR(UnhandledTypeError, ArchiveError, 35);
VZ_CODED_ERROR(SpanningNotSupportedError, ArchiveError, 36);
VZ_CODED_ERROR(UnsafeNameError, ArchiveError, 45);

VZ_PARENT_ERROR(ZipError, ArchiveError);
VZ_CODED_ERROR(ZipBadSpanStreamError, ZipError, 13);
VZ_CODED_ERROR(ZipBadCRCError, ZipError, 23);
VZ_CODED_ERROR(ZipInvalidError, ZipError, 28);
VZ_CODED_ERROR(ZipInvalidFactorError, ZipError, 6);
VZ_CODED_ERROR(ZipInvalidLFHError, ZipError, 26);
VZ_CODED_ERROR(ZipInvalidMethodError, ZipError, 2);
VZ_CODED_ERROR(ZipInvalidPasswordError, ZipError, 4);
VZ_CODED_ERROR(ZipNoExtractionError, ZipError, 3);
VZ_CODED_ERROR(ZipNoInsertionError, ZipError, 5);
VZ_CODED_ERROR(ZipSpanOverwriteError, ZipError, 15);
VZ_CODED_ERROR(ZipStreamFullError, ZipError, 18);
VZ_CODED_ERROR(ZipVersionError, ZipError, 1);
VZ_CODED_ERROR(ReadError, ZipError, 29);
VZ_CODED_ERROR(BBSSeekOutsideBufferError, ZipError, 41);
VZ_CODED_ERROR(BBSInvalidOriginError, ZipError, 42);
// Misuse of the legacy decoders' sliding window, or a failure of the stream beneath it.
VZ_CODED_ERROR(SWSNotAtEndError, ZipError, 80);
VZ_CODED_ERROR(SWSSeekFailedError, ZipError, 81);
VZ_CODED_ERROR(SWSWriteFailedError, ZipError, 82);
VZ_CODED_ERROR(SWSInvalidOriginError, ZipError, 83);
VZ_CODED_ERROR(SWSInvalidPositionError, ZipError, 84);

// Classes whose text is a format filled from constructor arguments.
class VMSInvalidOriginError : public ZipError {
 public:
  explicit VMSInvalidOriginError(int origin)
      : ZipError(FormatMessageText(MessageText(201), origin), 201) {}
};
class VMSErrorOpenSwapError : public ZipError {
 public:
  explicit VMSErrorOpenSwapError(const std::string& swap_name)
      : ZipError(FormatMessageText(MessageText(202), swap_name.c_str()), 202) {}
};
class VMSSeekFailError : public ZipError {
 public:
  explicit VMSSeekFailError(const std::string& swap_name)
      : ZipError(FormatMessageText(MessageText(203), swap_name.c_str()), 203) {}
};
class VMSReadFailError : public ZipError {
 public:
  VMSReadFailError(int count, const std::string& swap_name)
      : ZipError(FormatMessageText(MessageText(204), count, swap_name.c_str()), 204) {}
};
class VMSWriteFailError : public ZipError {
 public:
  VMSWriteFailError(int count, const std::string& swap_name)
      : ZipError(FormatMessageText(MessageText(205), count, swap_name.c_str()), 205) {}
};
class BBSReadTooManyBytesError : public ZipError {
 public:
  explicit BBSReadTooManyBytesError(int count)
      : ZipError(FormatMessageText(MessageText(40), count), 40) {}
};
class BBSWriteTooManyBytesError : public ZipError {
 public:
  explicit BBSWriteTooManyBytesError(int count)
      : ZipError(FormatMessageText(MessageText(43), count), 43) {}
};

// "Invalid Stream", optionally followed by CR LF and the message of the failure that caused it.
class BadStreamError : public ArchiveError {
 public:
  static constexpr int32_t kCode = 21;
  BadStreamError() : ArchiveError(MessageText(kCode), kCode) {}
  // The inner failure's message is kept (not the object: it may be gone by the time this one is
  // caught).
  explicit BadStreamError(const std::exception& inner)
      : ArchiveError(MessageText(kCode) + "\r\n" + inner.what(), kCode),
        inner_message_(inner.what()) {}
  const std::string& InnerMessage() const { return inner_message_; }

 private:
  std::string inner_message_;
};

// Cabinet and gzip archives are other formats; their families exist so the codes stay reserved.
VZ_PARENT_ERROR(CabError, ArchiveError);
VZ_PARENT_ERROR(GzipError, ArchiveError);
VZ_CODED_ERROR(GzipInvalidError, GzipError, 400);
VZ_CODED_ERROR(GzipBadCRCError, GzipError, 401);
VZ_CODED_ERROR(GzipBadFileSizeError, GzipError, 402);

#undef VZ_CODED_ERROR
#undef VZ_PARENT_ERROR

// How a failure is classified for the per-item failure event.
enum ErrorClass : int {
  ecArchive = 0,
  ecInOutError = 1,
  ecFilerError = 2,
  ecFileCreateError = 3,
  ecFileOpenError = 4,
  ecCabError = 5,
  ecOther = 6,
};

// (class, code) of any exception: an ArchiveError gives ecArchive and its code, InOutError its
// operating-system code, the stream, open and create errors their classes with 0, anything else
// ecOther with 0.
std::pair<ErrorClass, int32_t> ErrorClassOf(const std::exception& failure);
// The same for the exception in flight; call only inside a catch block.
std::pair<ErrorClass, int32_t> ClassifyCurrentException();

}  // namespace vz
