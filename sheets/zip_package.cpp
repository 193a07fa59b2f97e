#include "sheets/zip_package.h"

#include <zip.h>

#include <array>
#include <cstring>
#include <fstream>

namespace tabrelium {
namespace {

// An encrypted XLSX is not a zip at all but an OLE compound file holding the
// encrypted package; so is an old binary XLS renamed. (An encrypted
// OpenDocument file is a zip: its reader finds that in the manifest.)
constexpr std::array<uint8_t, 8> kOleMagic = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

std::string OleMessage(PackageFormat format) {
  if (format == PackageFormat::kXlsx)
    return "the file is password-protected (encrypted) or an old binary XLS workbook, "
           "not an XLSX workbook";
  return "the file is an old binary XLS workbook or a password-protected Excel workbook, "
         "not an OpenDocument spreadsheet";
}

// "XLSX workbook", "OpenDocument spreadsheet": what the file should have been.
std::string DocumentName(PackageFormat format) {
  return format == PackageFormat::kXlsx ? "XLSX workbook" : "OpenDocument spreadsheet";
}

// "the XLSX file", "the OpenDocument file".
std::string TheFile(PackageFormat format) {
  return "the " + std::string(PackageFormatName(format)) + " file";
}

bool StartsWithOleMagic(std::span<const uint8_t> head) {
  return head.size() >= kOleMagic.size() &&
         std::memcmp(head.data(), kOleMagic.data(), kOleMagic.size()) == 0;
}

std::string ZipErrorText(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

std::string OpenFailure(int code, PackageFormat format) {
  if (code == ZIP_ER_NOZIP || code == ZIP_ER_INCONS)
    return "not an " + DocumentName(format) + " (the file is not a zip archive)";
  return TheFile(format) + " cannot be opened: " + ZipErrorText(code);
}

std::string SizeText(uint64_t bytes) {
  if (bytes % (uint64_t{1} << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  return std::to_string(bytes) + " bytes";
}

}  // namespace

std::string_view PackageFormatName(PackageFormat format) {
  return format == PackageFormat::kXlsx ? "XLSX" : "OpenDocument";
}

void ZipDiscard::operator()(zip* archive) const { zip_discard(archive); }
void ZipFileClose::operator()(zip_file* file) const { zip_fclose(file); }

ZipPackageMember::ZipPackageMember(std::unique_ptr<zip_file, ZipFileClose> file, std::string name,
                                   uint64_t maxBytes, PackageFormat format)
    : file_(std::move(file)), name_(std::move(name)), maxBytes_(maxBytes), format_(format) {}

int64_t ZipPackageMember::Read(char* out, size_t capacity) {
  const zip_int64_t n = zip_fread(file_.get(), out, capacity);
  if (n < 0) {
    status_ = Status::Failed("damaged " + std::string(PackageFormatName(format_)) + " file: " +
                                 name_ + " cannot be unpacked (" +
                                 zip_file_strerror(file_.get()) + ")",
                             {.part = name_});
    return -1;
  }
  bytesRead_ += static_cast<uint64_t>(n);
  // The size in the directory may lie; the cap holds for what is unpacked.
  if (bytesRead_ > maxBytes_) {
    status_ = Status::Failed(
        TheFile(format_) + "'s part " + name_ + " unpacks to more than " + SizeText(maxBytes_),
        {.part = name_});
    return -1;
  }
  return n;
}

Status ZipPackage::OpenFile(const std::string& path, std::optional<ZipPackage>& zip,
                            PackageFormat format) {
  zip.reset();
  std::array<uint8_t, kOleMagic.size()> head{};
  {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Status::Failed(TheFile(format) + " cannot be opened");
    in.read(reinterpret_cast<char*>(head.data()), head.size());
    if (StartsWithOleMagic(std::span(head.data(), static_cast<size_t>(in.gcount()))))
      return Status::Failed(OleMessage(format));
  }
  int code = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &code);
  if (archive == nullptr) return Status::Failed(OpenFailure(code, format));
  zip.emplace(std::unique_ptr<struct zip, ZipDiscard>(archive), format);
  return {};
}

Status ZipPackage::OpenBytes(std::span<const uint8_t> bytes, std::optional<ZipPackage>& zip,
                             PackageFormat format) {
  zip.reset();
  if (StartsWithOleMagic(bytes)) return Status::Failed(OleMessage(format));
  zip_error_t zipError;
  zip_error_init(&zipError);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &zipError);
  zip_t* archive = nullptr;
  if (source != nullptr) {
    archive = zip_open_from_source(source, ZIP_RDONLY, &zipError);
    if (archive == nullptr) zip_source_free(source);
  }
  const int code = zip_error_code_zip(&zipError);
  zip_error_fini(&zipError);
  if (archive == nullptr) return Status::Failed(OpenFailure(code, format));
  zip.emplace(std::unique_ptr<struct zip, ZipDiscard>(archive), format);
  return {};
}

bool ZipPackage::Has(const std::string& name) const {
  return zip_name_locate(archive_.get(), name.c_str(), ZIP_FL_NOCASE) >= 0;
}

Status ZipPackage::Open(const std::string& name, uint64_t maxBytes,
                     std::optional<ZipPackageMember>& member) {
  member.reset();
  const InputPlace place{.part = name};
  const std::string damaged = "damaged " + std::string(PackageFormatName(format_)) + " file: ";
  const zip_int64_t index = zip_name_locate(archive_.get(), name.c_str(), ZIP_FL_NOCASE);
  if (index < 0) return Status::Failed(damaged + "the part " + name + " is missing", place);
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(archive_.get(), static_cast<zip_uint64_t>(index), 0, &stat) == 0 &&
      (stat.valid & ZIP_STAT_SIZE) != 0 && stat.size > maxBytes) {
    return Status::Failed(TheFile(format_) + "'s part " + name + " unpacks to more than " +
                              SizeText(maxBytes) + " (" + std::to_string(stat.size) + " bytes)",
                          place);
  }
  zip_file_t* file = zip_fopen_index(archive_.get(), static_cast<zip_uint64_t>(index), 0);
  if (file == nullptr) {
    const int code = zip_error_code_zip(zip_get_error(archive_.get()));
    if (code == ZIP_ER_NOPASSWD || code == ZIP_ER_WRONGPASSWD || code == ZIP_ER_ENCRNOTSUPP)
      return Status::Failed(TheFile(format_) + " is password-protected (encrypted)");
    return Status::Failed(damaged + name + " cannot be unpacked (" + ZipErrorText(code) + ")",
                          place);
  }
  member.emplace(std::unique_ptr<zip_file, ZipFileClose>(file), name, maxBytes, format_);
  return {};
}

}  // namespace tabrelium
