// A zip package (XLSX, OpenDocument) as an archive: opening it from a file
// or from memory, finding its members by name, and reading one member in
// chunks with a cap on its unpacked size. Its messages name the package's
// format ("the XLSX file ...", "the OpenDocument file ..."). The only file
// that includes libzip.
//
// Thread-safety: a ZipPackage and its members belong to one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/status.h"

struct zip;
struct zip_file;

namespace tabrelium {

// What a package holds, for the messages that name it.
enum class PackageFormat : uint8_t { kXlsx, kOpenDocument };

// "XLSX" or "OpenDocument".
std::string_view PackageFormatName(PackageFormat format);

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
                   uint64_t maxBytes, PackageFormat format);

  int64_t Read(char* out, size_t capacity);
  const Status& status() const { return status_; }

 private:
  std::unique_ptr<zip_file, ZipFileClose> file_;
  std::string name_;
  uint64_t maxBytes_;
  uint64_t bytesRead_ = 0;
  PackageFormat format_;
  Status status_;
};

class ZipPackage {
 public:
  ZipPackage(std::unique_ptr<zip, ZipDiscard> archive, PackageFormat format)
      : archive_(std::move(archive)), format_(format) {}

  // Fails, leaving `zip` empty, when the file is not a zip archive, cannot
  // be opened, or is an OLE compound file (an encrypted Office workbook or
  // an old binary one).
  static Status OpenFile(const std::string& path, std::optional<ZipPackage>& zip,
                         PackageFormat format = PackageFormat::kXlsx);
  // `bytes` must outlive the archive.
  static Status OpenBytes(std::span<const uint8_t> bytes, std::optional<ZipPackage>& zip,
                          PackageFormat format = PackageFormat::kXlsx);

  PackageFormat format() const { return format_; }

  // Member names compare without regard to case, as package part names do.
  bool Has(const std::string& name) const;

  // Fails, leaving `member` empty, when the member is missing, encrypted,
  // or says it unpacks to more than `maxBytes`.
  Status Open(const std::string& name, uint64_t maxBytes, std::optional<ZipPackageMember>& member);

 private:
  std::unique_ptr<zip, ZipDiscard> archive_;
  PackageFormat format_;
};

}  // namespace tabrelium
