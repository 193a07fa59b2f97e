#include "sheets/xlsx_package.h"

#include <string_view>
#include <unordered_map>
#include <vector>

#include "sheets/xml_part.h"

namespace tabrelium {
namespace {

Status NotWorkbook() {
  return Status::Failed("not an XLSX workbook (the zip archive holds no workbook)");
}

struct Relationship {
  std::string id;
  std::string type;
  std::string target;
};

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// <Relationships><Relationship Id Type Target [TargetMode="External"]/>
class RelationshipsHandler : public XmlPartHandler {
 public:
  void OnStart(std::string_view name, const char** attributes) override {
    if (name != "Relationship") return;
    const char* id = FindAttribute(attributes, "Id");
    const char* type = FindAttribute(attributes, "Type");
    const char* target = FindAttribute(attributes, "Target");
    const char* mode = FindAttribute(attributes, "TargetMode");
    if (id == nullptr || type == nullptr || target == nullptr) return;
    if (mode != nullptr && std::string_view(mode) == "External") return;
    relationships.push_back({id, type, target});
  }
  void OnEnd(std::string_view) override {}

  // The first relationship whose type ends with `/kind`, or nullptr. Types
  // differ between transitional and strict files only before that slash.
  const Relationship* OfType(std::string_view kind) const {
    for (const auto& r : relationships)
      if (r.type.size() > kind.size() && EndsWith(r.type, kind) &&
          r.type[r.type.size() - kind.size() - 1] == '/')
        return &r;
    return nullptr;
  }

  std::vector<Relationship> relationships;
};

// <workbook><workbookPr date1904="1"/><sheets><sheet r:id="rId1"/>...
class WorkbookHandler : public XmlPartHandler {
 public:
  void OnStart(std::string_view name, const char** attributes) override {
    if (name == "workbookPr") {
      const char* flag = FindAttribute(attributes, "date1904");
      date1904 = flag != nullptr && (std::string_view(flag) == "1" || std::string_view(flag) == "true");
    } else if (name == "sheets") {
      inSheets_ = true;
    } else if (name == "sheet" && inSheets_) {
      if (const char* id = FindPrefixedAttribute(attributes, "id")) sheetIds.emplace_back(id);
    }
  }
  void OnEnd(std::string_view name) override {
    if (name == "sheets") inSheets_ = false;
  }

  bool date1904 = false;
  std::vector<std::string> sheetIds;  // in workbook order

 private:
  bool inSheets_ = false;
};

// "xl/workbook.xml" -> "xl/_rels/workbook.xml.rels"
std::string RelationshipsPartOf(const std::string& part) {
  const size_t slash = part.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  return part.substr(0, nameStart) + "_rels/" + part.substr(nameStart) + ".rels";
}

Status FindWorkbookPart(ZipPackage& zip, const PackageLimits& limits, std::string& workbook) {
  workbook = "xl/workbook.xml";
  if (!zip.Has("_rels/.rels")) return zip.Has(workbook) ? Status() : NotWorkbook();
  RelationshipsHandler rels;
  if (Status parsed = ParseXmlPart(zip, "_rels/.rels", rels, limits); !parsed.ok()) return parsed;
  if (const Relationship* document = rels.OfType("officeDocument"))
    workbook = ResolvePartTarget("", document->target);
  return zip.Has(workbook) ? Status() : NotWorkbook();
}

}  // namespace

std::string ResolvePartTarget(const std::string& source, const std::string& target) {
  std::string joined;
  if (!target.empty() && target[0] == '/') {
    joined = target.substr(1);
  } else {
    const size_t slash = source.rfind('/');
    joined = (slash == std::string::npos ? std::string() : source.substr(0, slash + 1)) + target;
  }
  std::vector<std::string_view> segments;
  std::string_view rest(joined);
  while (!rest.empty()) {
    const size_t slash = rest.find('/');
    const std::string_view segment = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.push_back(segment);
    }
  }
  std::string resolved;
  for (const auto segment : segments) {
    if (!resolved.empty()) resolved += '/';
    resolved += segment;
  }
  return resolved;
}

Status FindPackageParts(ZipPackage& zip, const PackageLimits& limits, XlsxPackageParts& parts) {
  std::string workbookPart;
  if (Status found = FindWorkbookPart(zip, limits, workbookPart); !found.ok()) return found;

  WorkbookHandler workbook;
  if (Status parsed = ParseXmlPart(zip, workbookPart, workbook, limits); !parsed.ok())
    return parsed;
  parts.date1904 = workbook.date1904;

  const std::string relsPart = RelationshipsPartOf(workbookPart);
  RelationshipsHandler rels;
  if (!zip.Has(relsPart))
    return Status::Failed("damaged XLSX file: the part " + relsPart + " is missing",
                          {.part = relsPart});
  if (Status parsed = ParseXmlPart(zip, relsPart, rels, limits); !parsed.ok()) return parsed;

  // The workbook's sheet list also names chart sheets; the first worksheet
  // is the first entry whose relationship is a worksheet.
  std::unordered_map<std::string_view, const Relationship*> byId;
  for (const auto& r : rels.relationships) byId.emplace(r.id, &r);
  for (const auto& id : workbook.sheetIds) {
    const auto found = byId.find(id);
    if (found != byId.end() && EndsWith(found->second->type, "/worksheet")) {
      parts.worksheet = ResolvePartTarget(workbookPart, found->second->target);
      break;
    }
  }
  if (parts.worksheet.empty()) return Status::Failed("the XLSX workbook has no worksheet");

  if (const Relationship* strings = rels.OfType("sharedStrings"))
    parts.sharedStrings = ResolvePartTarget(workbookPart, strings->target);
  if (const Relationship* styles = rels.OfType("styles"))
    parts.styles = ResolvePartTarget(workbookPart, styles->target);
  return {};
}

}  // namespace tabrelium
