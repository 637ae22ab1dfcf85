// What a component copies into each archive it opens: one value, kept by the component and handed
// to its archive whole. The accessors carry the names of the archive properties they stand for,
// so `zipper.Settings().ThreadCount()` is what the zipper's archives get as `ThreadCount()`.
//
// A component takes new settings with SetSettings (or EditSettings); an archive it holds gets
// what changed at once, and every archive it opens later gets all of it.
#pragma once

#include <cstdint>
#include <string>

#include "archive/zip_archive.h"

namespace vz {

class ComponentSettings {
 public:
  // ---- every archive ----
  // Where relative names are taken and items are extracted. Applying it to an open archive
  // normalises it and refuses a folder that does not exist (NoSuchDirectoryError).
  const std::string& BaseDirectory() const { return base_directory_; }
  void SetBaseDirectory(const std::string& value) { base_directory_ = value; }
  int32_t SpanningThreshold() const { return spanning_threshold_; }
  void SetSpanningThreshold(int32_t value) { spanning_threshold_ = value; }
  const std::string& LogFile() const { return log_file_; }
  // Also switches logging on for a path and off for an empty one.
  void SetLogFile(const std::string& value) {
    log_file_ = value;
    logging_ = !value.empty();
  }
  bool Logging() const { return logging_; }
  void SetLogging(bool value) { logging_ = value; }
  const std::string& TempDirectory() const { return temp_directory_; }
  void SetTempDirectory(const std::string& value) { temp_directory_ = value; }
  // Threads that compress or extract at once (see Archive::ThreadCount): 0, the default, is one
  // per core; 1 does all the work on the calling thread.
  int ThreadCount() const { return thread_count_; }
  void SetThreadCount(int value) { thread_count_ = value < 0 ? 0 : value; }
  bool DOSMode() const { return dos_mode_; }
  void SetDOSMode(bool value) { dos_mode_ = value; }
  bool AutoSave() const { return auto_save_; }
  void SetAutoSave(bool value) { auto_save_ = value; }
  StoreOptions GetStoreOptions() const { return store_options_; }
  void SetStoreOptions(StoreOptions value) { store_options_ = value; }
  ExtractOptions GetExtractOptions() const { return extract_options_; }
  void SetExtractOptions(ExtractOptions value) { extract_options_ = value; }
  const RequestImageEvent& OnRequestImage() const { return on_request_image_; }
  void SetOnRequestImage(RequestImageEvent event) { on_request_image_ = std::move(event); }

  // ---- zip archives ----
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& value) { password_ = value; }
  uint8_t PasswordRetries() const { return password_retries_; }
  void SetPasswordRetries(uint8_t value) { password_retries_ = value; }
  ZipSupportedMethod CompressionMethodToUse() const { return method_; }
  void SetCompressionMethodToUse(ZipSupportedMethod value) { method_ = value; }
  ZipDeflationOption DeflationOption() const { return deflation_option_; }
  void SetDeflationOption(ZipDeflationOption value) { deflation_option_ = value; }
  // How new items are encrypted when a password is set: the traditional cipher (the default) or
  // WinZip AES.
  ZipEncryption Encryption() const { return encryption_; }
  void SetEncryption(ZipEncryption value) { encryption_ = value; }
  // The character set names without the UTF-8 flag are read in (see ZipArchive::NameCharset).
  const std::string& NameCharset() const { return name_charset_; }
  void SetNameCharset(const std::string& value) { name_charset_ = value; }
  const RequestDiskEvent& OnRequestLastDisk() const { return on_request_last_disk_; }
  void SetOnRequestLastDisk(RequestDiskEvent event) { on_request_last_disk_ = std::move(event); }
  const RequestNthDiskEvent& OnRequestNthDisk() const { return on_request_nth_disk_; }
  void SetOnRequestNthDisk(RequestNthDiskEvent event) { on_request_nth_disk_ = std::move(event); }
  const RequestDiskEvent& OnRequestBlankDisk() const { return on_request_blank_disk_; }
  void SetOnRequestBlankDisk(RequestDiskEvent event) { on_request_blank_disk_ = std::move(event); }

  // Copies the settings into archive (the zip ones when it is a zip archive): all of them, or with
  // before only those that differ from it (so that a log file is not started anew when nothing
  // about it changed). The base folder goes first: when it is refused, nothing has changed. The
  // base folder as the archive normalised it is written back into this value.
  void ApplyTo(Archive& archive, const ComponentSettings* before = nullptr);

 private:
  std::string base_directory_;
  int32_t spanning_threshold_ = 0;
  std::string log_file_;
  bool logging_ = false;
  std::string temp_directory_;
  int thread_count_ = 0;
  bool dos_mode_ = false;
  bool auto_save_ = false;
  StoreOptions store_options_ = soStripDrive | soRemoveDots;
  ExtractOptions extract_options_ = eoCreateDirs;
  RequestImageEvent on_request_image_;
  std::string password_;
  uint8_t password_retries_ = 3;
  ZipSupportedMethod method_ = smBestMethod;
  ZipDeflationOption deflation_option_ = doNormal;
  ZipEncryption encryption_ = zeTraditional;
  std::string name_charset_;
  RequestDiskEvent on_request_last_disk_;
  RequestNthDiskEvent on_request_nth_disk_;
  RequestDiskEvent on_request_blank_disk_;
};

// What a component that holds settings offers: the value, and taking a new one.
class SettingsHolder {
 public:
  virtual ~SettingsHolder() = default;
  // What is copied into every archive the component opens.
  const ComponentSettings& Settings() const { return settings_; }
  // Takes new settings; the open archive gets what changed at once. A base folder that does not
  // exist raises NoSuchDirectoryError while an archive is open, and nothing changes.
  void SetSettings(const ComponentSettings& value);
  // SetSettings with the present settings as edit leaves them.
  template <typename Edit>
  void EditSettings(Edit&& edit) {
    ComponentSettings next = settings_;
    edit(next);
    SetSettings(next);
  }

 protected:
  // The archive the component holds now, or null.
  virtual Archive* SettingsTarget() const = 0;
  // Copies all the settings into an archive just opened.
  void ApplySettings(Archive& archive) { settings_.ApplyTo(archive); }

 private:
  ComponentSettings settings_;
};

}  // namespace vz
