// Loads an in-memory archive and tests and extracts every item into memory. Whatever the bytes,
// the engine must end in one of its own failures, never a crash, a hang or unbounded output.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "archive/item_procedures.h"
#include "archive/unzip_proc.h"
#include "archive/zip_archive.h"
#include "platform/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vz::MemoryStream stream(std::vector<uint8_t>(data, data + size));
  auto archive = vz::ZipArchive::CreateOnStream(stream, "fuzz.zip");
  vz::InstallExtractionProcs(*archive);
  archive->SetPassword("fuzz");
  archive->SetPasswordRetries(1);
  try {
    archive->Load();
  } catch (const std::exception&) {
  }
  if (archive->State() == vz::stInvalid) return 0;
  archive->BeginRun();
  for (int i = 0; i < archive->ItemCount() && i < 64; ++i) {
    // Output is bounded by the declared size; keep the fuzzer's memory small.
    if (archive->Items(i)->UncompressedSize() > (1 << 20)) continue;
    try {
      vz::MemoryStream out;
      archive->ExtractItemToStream(i, out);
    } catch (const std::exception&) {
    }
    try {
      archive->TestItem(i);
    } catch (const std::exception&) {
    }
  }
  return 0;
}
