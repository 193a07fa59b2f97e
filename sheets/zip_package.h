// A zip package (XLSX, OpenDocument) as an archive: opening it from a file
// or from memory, finding its members by name, and reading one member in
// chunks with a cap on its unpacked size. The only file that includes libzip.
//
// Thread-safety: a ZipPackage and its members belong to one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "common/status.h"

struct zip;
struct zip_file;

namespace tabrelium {

struct ZipDiscard {
  void operator()(zip* archive) const;
};
struct ZipFileClose {
  void operator()(zip_file* file) const;
};

// One member being read. Read gives the number of bytes put in `out`
// (0 at the end) or -1 with status() set; it refuses to go past the cap.
class ZipPackageMember {
 public:
  ZipPackageMember(std::unique_ptr<zip_file, ZipFileClose> file, std::string name,
                uint64_t maxBytes);

  int64_t Read(char* out, size_t capacity);
  const Status& status() const { return status_; }

 private:
  std::unique_ptr<zip_file, ZipFileClose> file_;
  std::string name_;
  uint64_t maxBytes_;
  uint64_t bytesRead_ = 0;
  Status status_;
};

class ZipPackage {
 public:
  explicit ZipPackage(std::unique_ptr<zip, ZipDiscard> archive) : archive_(std::move(archive)) {}

  // Fails, leaving `zip` empty, when the file is not a zip archive, cannot
  // be opened, or is an encrypted (OLE compound) workbook.
  static Status OpenFile(const std::string& path, std::optional<ZipPackage>& zip);
  // `bytes` must outlive the archive.
  static Status OpenBytes(std::span<const uint8_t> bytes, std::optional<ZipPackage>& zip);

  // Member names compare without regard to case, as package part names do.
  bool Has(const std::string& name) const;

  // Fails, leaving `member` empty, when the member is missing, encrypted,
  // or says it unpacks to more than `maxBytes`.
  Status Open(const std::string& name, uint64_t maxBytes, std::optional<ZipPackageMember>& member);

 private:
  std::unique_ptr<zip, ZipDiscard> archive_;
};

}  // namespace tabrelium
