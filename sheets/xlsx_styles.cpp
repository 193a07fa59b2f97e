#include "sheets/xlsx_styles.h"

#include <charconv>
#include <cstring>
#include <unordered_map>

#include "sheets/xml_part.h"

namespace tabrelium {
namespace {

std::optional<uint32_t> ParseId(const char* text) {
  if (text == nullptr) return std::nullopt;
  uint32_t value = 0;
  const char* end = text + std::strlen(text);
  const auto [ptr, ec] = std::from_chars(text, end, value);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

// <numFmts><numFmt numFmtId formatCode/></numFmts> and
// <cellXfs><xf numFmtId/>...</cellXfs>; the xf elements of cellStyleXfs
// are named styles, not cell formats, and are skipped.
class StylesHandler : public XmlPartHandler {
 public:
  void OnStart(std::string_view name, const char** attributes) override {
    if (name == "cellXfs") {
      inCellXfs_ = true;
    } else if (name == "xf" && inCellXfs_) {
      // A format without an id is General.
      formatIds_.push_back(ParseId(FindAttribute(attributes, "numFmtId")).value_or(0));
    } else if (name == "numFmt") {
      const auto id = ParseId(FindAttribute(attributes, "numFmtId"));
      const char* code = FindAttribute(attributes, "formatCode");
      if (id && code != nullptr) customKinds_[*id] = FormatCodeDateKind(code);
    }
  }
  void OnEnd(std::string_view name) override {
    if (name == "cellXfs") inCellXfs_ = false;
  }

  std::vector<NumberFormatKind> Kinds() const {
    std::vector<NumberFormatKind> kinds;
    kinds.reserve(formatIds_.size());
    for (uint32_t id : formatIds_) {
      // A custom format may reuse a built-in id and then replaces it.
      const auto custom = customKinds_.find(id);
      kinds.push_back(custom != customKinds_.end() ? custom->second : BuiltinFormatDateKind(id));
    }
    return kinds;
  }

 private:
  bool inCellXfs_ = false;
  std::vector<uint32_t> formatIds_;
  std::unordered_map<uint32_t, NumberFormatKind> customKinds_;
};

}  // namespace

Status ReadCellDateKinds(ZipPackage& zip, const std::string& part, const PackageLimits& limits,
                         std::vector<NumberFormatKind>& kinds) {
  StylesHandler handler;
  Status parsed = ParseXmlPart(zip, part, handler, limits);
  if (parsed.ok()) kinds = handler.Kinds();
  return parsed;
}

}  // namespace tabrelium
