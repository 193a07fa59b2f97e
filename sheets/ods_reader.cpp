// ReadOdsSheet: what kind of file it is (a zip package, not flat XML), that
// the package is a spreadsheet and not encrypted, then the first table of
// content.xml.
#include "sheets/ods_reader.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <string_view>

#include "sheets/ods_sheet_parser.h"
#include "sheets/xml_part.h"
#include "sheets/zip_package.h"

namespace tabrelium {
namespace {

constexpr std::string_view kSpreadsheetType = "application/vnd.oasis.opendocument.spreadsheet";
constexpr std::string_view kOpenDocumentType = "application/vnd.oasis.opendocument.";
constexpr const char* kEncrypted = "the OpenDocument file is password-protected (encrypted)";
// Enough of a file's start to find the root element of a flat XML file.
constexpr size_t kHeadBytes = 4096;

// Where XML's first element or declaration would begin: after a byte order
// mark and white space.
std::string_view SkipXmlLead(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r' ||
                           text.front() == '\n'))
    text.remove_prefix(1);
  return text;
}

// A flat OpenDocument file is the same content as one XML document, not a
// zip; the same goes for other XML saved with this name. Empty when `head`
// does not start as XML.
std::optional<std::string> FlatXmlFailure(std::string_view head) {
  head = SkipXmlLead(head);
  if (!head.starts_with("<")) return std::nullopt;
  if (head.find("<office:document") != std::string_view::npos)
    return "the file is a flat XML OpenDocument spreadsheet (.fods), which is not read; "
           "save it as an OpenDocument spreadsheet (.ods)";
  return "not an OpenDocument spreadsheet (the file is XML, not a zip archive)";
}

// The "mimetype" member, when there is one, names the kind of document.
Status CheckMimetype(ZipPackage& zip) {
  if (!zip.Has("mimetype")) return {};
  std::optional<ZipPackageMember> member;
  if (Status opened = zip.Open("mimetype", 256, member); !opened.ok()) return opened;
  char buffer[256];
  std::string type;
  for (int64_t n; (n = member->Read(buffer, sizeof buffer)) != 0;) {
    if (n < 0) return member->status();
    type.append(buffer, static_cast<size_t>(n));
  }
  // The spreadsheet type, or its template ("...spreadsheet-template").
  if (type.starts_with(kSpreadsheetType)) return {};
  // The type goes into the message only when it is plain text.
  const bool plain =
      std::all_of(type.begin(), type.end(), [](char c) { return c > ' ' && c < 0x7F; });
  if (plain && type.starts_with(kOpenDocumentType))
    return Status::Failed("not an OpenDocument spreadsheet (the file is an OpenDocument " +
                          type.substr(kOpenDocumentType.size()) + " document)");
  if (plain && !type.empty())
    return Status::Failed("not an OpenDocument spreadsheet (its type is \"" + type + "\")");
  return Status::Failed("not an OpenDocument spreadsheet (its mimetype is not a spreadsheet's)");
}

// <manifest:manifest><manifest:file-entry><manifest:encryption-data>
class ManifestHandler : public XmlPartHandler {
 public:
  void OnStart(std::string_view name, const char**) override {
    if (name == "encryption-data") {
      encrypted = true;
      Finish();
    }
  }
  void OnEnd(std::string_view) override {}
  bool encrypted = false;
};

// Encrypted content is no XML from its first byte on (nor does it unpack
// as zip data); a manifest that does not say so is damaged or stripped.
Status CheckContentStartsAsXml(ZipPackage& zip, const std::string& part,
                               const PackageLimits& limits) {
  std::optional<ZipPackageMember> member;
  if (Status opened = zip.Open(part, limits.maxMemberBytes, member); !opened.ok()) return opened;
  char head[64];
  const int64_t n = member->Read(head, sizeof head);
  const std::string why = std::string(kEncrypted) + " or damaged: its content.xml ";
  if (n < 0) return Status::Failed(why + "cannot be unpacked", {.part = part});
  if (!SkipXmlLead(std::string_view(head, static_cast<size_t>(n))).starts_with("<"))
    return Status::Failed(why + "is not XML", {.part = part});
  return {};
}

Status ReadPackage(ZipPackage& zip, const PackageLimits& limits, SheetData& sheet) {
  if (Status checked = CheckMimetype(zip); !checked.ok()) return checked;
  const std::string manifestPart = "META-INF/manifest.xml";
  if (zip.Has(manifestPart)) {
    ManifestHandler manifest;
    if (Status parsed = ParseXmlPart(zip, manifestPart, manifest, limits); !parsed.ok())
      return parsed;
    if (manifest.encrypted) return Status::Failed(kEncrypted);
  }
  const std::string content = "content.xml";
  if (!zip.Has(content))
    return Status::Failed("not an OpenDocument spreadsheet (the zip archive holds no content.xml)");
  if (Status xml = CheckContentStartsAsXml(zip, content, limits); !xml.ok()) return xml;
  return ReadOdsTable(zip, content, limits, sheet);
}

Status Finish(std::optional<ZipPackage>& zip, Status opened, const PackageLimits& limits,
              SheetData& sheet) {
  Status read = opened.ok() ? ReadPackage(*zip, limits, sheet) : std::move(opened);
  if (!read.ok()) sheet.Clear();
  return read;
}

}  // namespace

Status ReadOdsSheetWithLimits(const std::string& path, SheetData& sheet,
                              const PackageLimits& limits) {
  sheet.Clear();  // the sheet holds this file's values alone
  std::string head(kHeadBytes, '\0');
  {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Status::Failed("the OpenDocument file cannot be opened");
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
  }
  if (auto flat = FlatXmlFailure(head)) return Status::Failed(*flat);
  std::optional<ZipPackage> zip;
  Status opened = ZipPackage::OpenFile(path, zip, PackageFormat::kOpenDocument);
  return Finish(zip, std::move(opened), limits, sheet);
}

Status ReadOdsBytes(std::span<const uint8_t> bytes, SheetData& sheet, const PackageLimits& limits) {
  sheet.Clear();
  const std::string_view head(reinterpret_cast<const char*>(bytes.data()),
                              std::min(bytes.size(), kHeadBytes));
  if (auto flat = FlatXmlFailure(head)) return Status::Failed(*flat);
  std::optional<ZipPackage> zip;
  Status opened = ZipPackage::OpenBytes(bytes, zip, PackageFormat::kOpenDocument);
  return Finish(zip, std::move(opened), limits, sheet);
}

Status ReadOdsSheet(const std::string& path, SheetData& sheet) {
  return ReadOdsSheetWithLimits(path, sheet, PackageLimits{});
}

}  // namespace tabrelium
