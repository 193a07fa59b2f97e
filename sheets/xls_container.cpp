// The only file that touches libgsf.
#include "sheets/xls_container.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>
#include <string_view>

#include "common/byte_order.h"

namespace tabrelium {
namespace {

constexpr std::string_view kNotXls = "not an XLS (Excel 97-2003 or Excel 95) workbook";
constexpr std::string_view kCutShort =
    "the file is cut short, or not an XLS (Excel 97-2003 or Excel 95) workbook";
constexpr std::string_view kDamaged =
    "the XLS file is damaged or cut short: its container cannot be read";

// An OLE2 compound file starts with these 8 bytes, then a 512-byte header.
constexpr std::array<uint8_t, 8> kSignature = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr size_t kHeaderBytes = 512;

struct GObjectUnref {
  void operator()(void* object) const { g_object_unref(object); }
};
template <typename T>
using GsfRef = std::unique_ptr<T, GObjectUnref>;

struct GErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};

// The first bytes decide between "not an XLS file" and "cut short" before
// libgsf, whose messages speak of sectors, sees the file.
std::string_view HeaderProblem(std::span<const uint8_t> head, uint64_t fileSize) {
  const size_t compared = std::min(head.size(), kSignature.size());
  if (!std::equal(head.begin(), head.begin() + static_cast<std::ptrdiff_t>(compared),
                  kSignature.begin()))
    return kNotXls;
  if (fileSize < kHeaderBytes) return kCutShort;
  return {};
}

// libgsf reports a damaged container on stderr as well as in its result;
// the reader's own message says it in the user's terms, so libgsf's lines,
// which look like a crash in a terminal, are dropped.
void QuietLibgsf() {
  static std::once_flag once;
  std::call_once(once, [] {
    const auto drop = [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {};
    for (const char* domain : {"libgsf", "libgsf:msole"})
      g_log_set_handler(domain, static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK), drop, nullptr);
  });
}

bool NameIs(const char* name, std::string_view wanted) {
  return name != nullptr && g_ascii_strcasecmp(name, std::string(wanted).c_str()) == 0;
}

Status ReadStream(GsfInput* stream, uint64_t containerBytes, uint64_t maxStreamBytes,
                  XlsStreamBytes& bytes) {
  const gsf_off_t size = gsf_input_size(stream);
  if (size < 0) return Status::Failed(std::string(kDamaged));
  if (static_cast<uint64_t>(size) > maxStreamBytes)
    return Status::Failed("the XLS workbook is larger than " +
                          std::to_string(maxStreamBytes >> 20) + " MiB");
  // Each sector of a sound container belongs to one stream: a stream that
  // claims more bytes than the whole file is damaged.
  if (static_cast<uint64_t>(size) > containerBytes) return Status::Failed(std::string(kDamaged));
  const size_t total = static_cast<size_t>(size);
  bytes.Allocate(total);
  // In pieces, so that libgsf never holds more than one piece of its own.
  constexpr size_t kPiece = size_t{1} << 20;
  for (size_t done = 0; done < total;) {
    const size_t piece = std::min(kPiece, total - done);
    if (gsf_input_read(stream, piece, bytes.data() + done) == nullptr)
      return Status::Failed(std::string(kDamaged));
    done += piece;
  }
  return {};
}

// The root directory entry is the top of the container's directory tree
// and has no siblings. libgsf follows siblings it is given there and never
// frees them, so a file that claims some is refused before libgsf reads it.
bool RootHasSiblings(GsfInput* input) {
  std::array<uint8_t, kHeaderBytes> header{};
  if (gsf_input_seek(input, 0, G_SEEK_SET) ||
      gsf_input_read(input, header.size(), header.data()) == nullptr)
    return false;  // libgsf says what is wrong
  const uint16_t shift = GetLe16(&header[0x1E]);
  if (shift < 7 || shift > 20) return false;
  const uint64_t sector = uint64_t{1} << shift;
  const uint64_t directory = std::max<uint64_t>(kHeaderBytes, sector) +
                             (uint64_t{GetLe32(&header[0x30])} << shift);
  std::array<uint8_t, 128> root{};
  if (directory > static_cast<uint64_t>(std::max<gsf_off_t>(gsf_input_size(input), 0)) ||
      gsf_input_seek(input, static_cast<gsf_off_t>(directory), G_SEEK_SET) ||
      gsf_input_read(input, root.size(), root.data()) == nullptr)
    return false;
  constexpr uint32_t kNoEntry = 0xFFFFFFFF;
  return GetLe32(&root[68]) != kNoEntry || GetLe32(&root[72]) != kNoEntry;
}

Status ReadFromContainer(GsfInput* input, uint64_t maxStreamBytes, XlsStreamBytes& stream) {
  QuietLibgsf();
  if (RootHasSiblings(input)) return Status::Failed(std::string(kDamaged));
  const gsf_off_t containerBytes = gsf_input_size(input);
  GError* rawError = nullptr;
  GsfRef<GsfInfile> ole(gsf_infile_msole_new(input, &rawError));
  std::unique_ptr<GError, GErrorFree> error(rawError);
  if (ole == nullptr) return Status::Failed(std::string(kDamaged));

  // "Workbook" (Excel 97 and later) before "Book" (Excel 5 and 95): a file
  // saved by Excel 97 in both formats holds both.
  int workbook = -1, book = -1;
  bool encryptedPackage = false;
  const int children = gsf_infile_num_children(ole.get());
  for (int i = 0; i < children; ++i) {
    const char* name = gsf_infile_name_by_index(ole.get(), i);
    if (NameIs(name, "Workbook") && workbook < 0) workbook = i;
    if (NameIs(name, "Book") && book < 0) book = i;
    if (NameIs(name, "EncryptedPackage")) encryptedPackage = true;
  }
  const int chosen = workbook >= 0 ? workbook : book;
  if (chosen < 0) {
    // Excel keeps a password-protected .xlsx in the same container.
    if (encryptedPackage) return Status::Failed("the workbook is password-protected");
    return Status::Failed("the file holds no Excel workbook (it may be another Office document)");
  }
  GsfRef<GsfInput> child(gsf_infile_child_by_index(ole.get(), chosen));
  if (child == nullptr) return Status::Failed(std::string(kDamaged));
  return ReadStream(child.get(), static_cast<uint64_t>(std::max<gsf_off_t>(containerBytes, 0)),
                    maxStreamBytes, stream);
}

}  // namespace

Status ReadXlsWorkbookStream(const std::string& path, uint64_t maxStreamBytes,
                             XlsStreamBytes& stream) {
  // A mapping spares copying the file through read calls; a file that
  // cannot be mapped (empty, or on a special file system) is read.
  GError* rawError = nullptr;
  GsfRef<GsfInput> input(gsf_input_mmap_new(path.c_str(), &rawError));
  std::unique_ptr<GError, GErrorFree> error(rawError);
  if (input == nullptr) {
    GError* stdioError = nullptr;
    input.reset(gsf_input_stdio_new(path.c_str(), &stdioError));
    error.reset(stdioError);
  }
  if (input == nullptr) return Status::Failed("the file cannot be opened");
  const gsf_off_t size = gsf_input_size(input.get());
  std::array<uint8_t, kSignature.size()> head{};
  const size_t headBytes = static_cast<size_t>(std::clamp<gsf_off_t>(size, 0, head.size()));
  if (size < 0 ||
      (headBytes > 0 && gsf_input_read(input.get(), headBytes, head.data()) == nullptr) ||
      gsf_input_seek(input.get(), 0, G_SEEK_SET))
    return Status::Failed("the file cannot be read");
  if (const std::string_view problem =
          HeaderProblem(std::span(head.data(), headBytes), static_cast<uint64_t>(size));
      !problem.empty())
    return Status::Failed(std::string(problem));
  return ReadFromContainer(input.get(), maxStreamBytes, stream);
}

Status ReadXlsWorkbookStreamFromBytes(std::span<const uint8_t> bytes, uint64_t maxStreamBytes,
                                      XlsStreamBytes& stream) {
  if (const std::string_view problem =
          HeaderProblem(bytes.first(std::min(bytes.size(), kSignature.size())), bytes.size());
      !problem.empty())
    return Status::Failed(std::string(problem));
  GsfRef<GsfInput> input(
      gsf_input_memory_new(bytes.data(), static_cast<gsf_off_t>(bytes.size()), FALSE));
  if (input == nullptr) return Status::Failed(std::string(kDamaged));
  return ReadFromContainer(input.get(), maxStreamBytes, stream);
}

}  // namespace tabrelium
