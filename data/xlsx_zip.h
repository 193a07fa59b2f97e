// The XLSX package as a zip archive: opening it from a file or from memory,
// finding its members by name, and reading one member in chunks with a cap
// on its unpacked size. The only file that includes libzip.
//
// Thread-safety: an XlsxZip and its members belong to one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

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
// (0 at the end) or -1 with error() set; it refuses to go past the cap.
class XlsxZipMember {
 public:
  XlsxZipMember(std::unique_ptr<zip_file, ZipFileClose> file, std::string name,
                uint64_t maxBytes);

  int64_t Read(char* out, size_t capacity);
  const std::string& error() const { return error_; }

 private:
  std::unique_ptr<zip_file, ZipFileClose> file_;
  std::string name_;
  uint64_t maxBytes_;
  uint64_t bytesRead_ = 0;
  std::string error_;
};

class XlsxZip {
 public:
  explicit XlsxZip(std::unique_ptr<zip, ZipDiscard> archive) : archive_(std::move(archive)) {}

  // Empty with `error` set (for the user) when the file is not a zip
  // archive, cannot be opened, or is an encrypted (OLE compound) workbook.
  static std::optional<XlsxZip> OpenFile(const std::string& path, std::string& error);
  // `bytes` must outlive the returned archive.
  static std::optional<XlsxZip> OpenBytes(std::span<const uint8_t> bytes, std::string& error);

  // Member names compare without regard to case, as package part names do.
  bool Has(const std::string& name) const;

  // Empty with `error` set when the member is missing, encrypted, or
  // says it unpacks to more than `maxBytes`.
  std::optional<XlsxZipMember> Open(const std::string& name, uint64_t maxBytes,
                                      std::string& error);

 private:
  std::unique_ptr<zip, ZipDiscard> archive_;
};

}  // namespace tabrelium
