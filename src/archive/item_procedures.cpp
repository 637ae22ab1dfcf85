#include "archive/item_procedures.h"

#include "archive/parallel_extract.h"
#include "archive/unzip_proc.h"
#include "archive/zip_proc.h"

namespace vz {

namespace {

class BuiltInExtractionProcedures final : public ExtractionProcedures {
 public:
  void ExtractProc(ZipArchive& sender, ZipItem& item, const std::string& new_name) const override {
    ExtractItemToFile(sender, item, new_name);
  }
  void ExtractToStreamProc(ZipArchive& sender, ZipItem& item, Stream& out_stream) const override {
    ExtractItemToStream(sender, item, out_stream);
  }
  void TestProc(ZipArchive& sender, ZipItem& item) const override {
    TestItemIntegrity(sender, item);
  }
  std::unique_ptr<ExtractAhead> StartAhead(ZipArchive& sender,
                                           const std::vector<int>& indices) const override {
    return StartParallelExtraction(sender, indices);
  }
};

class BuiltInInsertionProcedures final : public InsertionProcedures {
 public:
  void InsertProc(ZipArchive& sender, ZipItem& item, Stream& out_stream) const override {
    CompressItemFile(sender, item, out_stream);
  }
  void InsertFromStreamProc(ZipArchive& sender, ZipItem& item, Stream& out_stream,
                            Stream* in_stream) const override {
    if (in_stream == nullptr) throw ZipNoInsertionError();
    CompressItemStream(sender, item, out_stream, *in_stream);
  }
  bool CompressesOnWorkers() const override { return true; }
  std::optional<int64_t> SourceSize(ZipArchive& sender, ZipItem& item) const override {
    return OpenItemSource(sender, item);
  }
};

}  // namespace

std::shared_ptr<const ExtractionProcedures> BuiltInExtraction() {
  static const auto procedures = std::make_shared<const BuiltInExtractionProcedures>();
  return procedures;
}

std::shared_ptr<const InsertionProcedures> BuiltInInsertion() {
  static const auto procedures = std::make_shared<const BuiltInInsertionProcedures>();
  return procedures;
}

void InstallExtractionProcs(ZipArchive& archive) {
  archive.SetExtraction(BuiltInExtraction());
}

void InstallInsertionProcs(ZipArchive& archive) {
  archive.SetInsertion(BuiltInInsertion());
}

}  // namespace vz
