#include "sheets/xlsx_shared_strings.h"

#include "sheets/xml_part.h"

namespace tabrelium {

// <sst><si><t>text</t></si><si><r><rPr/><t>rich</t></r><rPh><t>guide</t></rPh></si>
class SharedStringsHandler : public XmlPartHandler {
 public:
  SharedStringsHandler(SharedStrings& strings, const std::string& part, uint64_t maxStrings)
      : strings_(strings), part_(part), maxStrings_(maxStrings) {}

  void OnStart(std::string_view name, const char**) override {
    if (name == "si") {
      if (strings_.ends_.size() >= maxStrings_) {
        Fail("the XLSX file has more than " + std::to_string(maxStrings_) + " shared strings",
             {.part = part_});
        return;
      }
      inString_ = true;
      start_ = strings_.arena_.size();
    } else if (name == "rPh") {
      ++phoneticDepth_;
    } else if (name == "t") {
      collecting_ = inString_ && phoneticDepth_ == 0;
    }
  }

  void OnEnd(std::string_view name) override {
    if (name == "t") {
      collecting_ = false;
    } else if (name == "rPh") {
      if (phoneticDepth_ > 0) --phoneticDepth_;
    } else if (name == "si" && inString_) {
      inString_ = false;
      DecodeXmlTextEscapes(strings_.arena_, start_);
      // Only what a cell can show is kept, so a huge string used by many
      // cells costs its size once, while it is read.
      const std::string_view kept =
          KeptSheetText(std::string_view(strings_.arena_).substr(start_));
      strings_.arena_.erase(start_, static_cast<size_t>(kept.data() - strings_.arena_.data()) - start_);
      strings_.arena_.resize(start_ + kept.size());
      // Offsets are 32-bit; the member size cap keeps the arena far below
      // that unless the cap itself is raised past 4 GiB.
      if (strings_.arena_.size() > UINT32_MAX) {
        Fail("the XLSX file's shared strings exceed 4 GiB", {.part = part_});
        return;
      }
      strings_.ends_.push_back(static_cast<uint32_t>(strings_.arena_.size()));
    }
  }

  void OnText(std::string_view text) override {
    if (collecting_) strings_.arena_.append(text);
  }

 private:
  SharedStrings& strings_;
  const std::string& part_;
  uint64_t maxStrings_;
  bool inString_ = false;
  bool collecting_ = false;
  uint32_t phoneticDepth_ = 0;
  size_t start_ = 0;
};

Status SharedStrings::Read(ZipPackage& zip, const std::string& part, const PackageLimits& limits) {
  SharedStringsHandler handler(*this, part, limits.maxSharedStrings);
  return ParseXmlPart(zip, part, handler, limits);
}

}  // namespace tabrelium
