#include "components/component_settings.h"

namespace vz {

void ComponentSettings::ApplyTo(Archive& archive, const ComponentSettings* before) {
  // Each setting goes in when there is nothing to compare with or when it changed.
  const auto differs = [before](const auto& mine, const auto& theirs) {
    return before == nullptr || !(mine == theirs);
  };
  const ComponentSettings& old = before != nullptr ? *before : *this;
  if (differs(base_directory_, old.base_directory_)) {
    archive.SetBaseDirectory(base_directory_);  // may refuse: before anything else changes
    base_directory_ = archive.BaseDirectory();
  }
  if (differs(spanning_threshold_, old.spanning_threshold_)) {
    archive.SetSpanningThreshold(spanning_threshold_);
  }
  // The log file is named first; switching logging on starts it.
  if (differs(log_file_, old.log_file_)) archive.SetLogFile(log_file_);
  if (differs(logging_, old.logging_) || differs(log_file_, old.log_file_)) {
    archive.SetLogging(logging_);
  }
  if (differs(temp_directory_, old.temp_directory_)) archive.SetTempDirectory(temp_directory_);
  if (differs(thread_count_, old.thread_count_)) archive.SetThreadCount(thread_count_);
  if (differs(dos_mode_, old.dos_mode_)) archive.SetDOSMode(dos_mode_);
  if (differs(auto_save_, old.auto_save_)) archive.SetAutoSave(auto_save_);
  if (differs(store_options_, old.store_options_)) archive.SetStoreOptions(store_options_);
  if (differs(extract_options_, old.extract_options_)) archive.SetExtractOptions(extract_options_);
  archive.OnRequestImage = on_request_image_;
  auto* zip = dynamic_cast<ZipArchive*>(&archive);
  if (zip == nullptr) return;
  if (differs(password_, old.password_)) zip->SetPassword(password_);
  if (differs(password_retries_, old.password_retries_)) {
    zip->SetPasswordRetries(password_retries_);
  }
  if (differs(method_, old.method_)) zip->SetCompressionMethodToUse(method_);
  if (differs(deflation_option_, old.deflation_option_)) zip->SetDeflationOption(deflation_option_);
  if (differs(encryption_, old.encryption_)) zip->SetEncryption(encryption_);
  if (differs(name_charset_, old.name_charset_)) zip->SetNameCharset(name_charset_);
  zip->OnRequestLastDisk = on_request_last_disk_;
  zip->OnRequestNthDisk = on_request_nth_disk_;
  zip->OnRequestBlankDisk = on_request_blank_disk_;
}

void SettingsHolder::SetSettings(const ComponentSettings& value) {
  ComponentSettings next = value;
  if (Archive* archive = SettingsTarget()) next.ApplyTo(*archive, &settings_);
  settings_ = std::move(next);
}

}  // namespace vz
