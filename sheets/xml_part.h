// Streaming one XML part of a zip package (XLSX, OpenDocument) through
// expat: the handler sees element starts and ends by local name (any
// namespace prefix dropped) and the character data between them, and may
// end the parse early once it has what it needs. Guards every part alike: a
// depth cap, no DOCTYPE (so no entity expansion), a failure that names the
// part and line (and the package's format). The only file that includes
// expat.
//
// Thread-safety: a parse runs on the calling thread; handlers are not shared.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/status.h"

#include "sheets/package_limits.h"
#include "sheets/zip_package.h"

namespace tabrelium {

class XmlPartHandler {
 public:
  virtual ~XmlPartHandler() = default;
  // `attributes` alternates names and values and ends with nullptr; names
  // keep their prefixes (attributes without one are in no namespace).
  virtual void OnStart(std::string_view localName, const char** attributes) = 0;
  virtual void OnEnd(std::string_view localName) = 0;
  // Character data in pieces; a text may arrive in several calls.
  virtual void OnText(std::string_view) {}

  // Stops the parse; the part's reading then fails with `why`, at `place`
  // when given. The first failure stands.
  void Fail(std::string why, InputPlace place = {}) {
    if (failure_.ok()) failure_ = Status::Failed(std::move(why), std::move(place));
  }
  const Status& failure() const { return failure_; }

  // Ends the parse with success: the rest of the part is not needed.
  void Finish() { finished_ = true; }
  bool finished() const { return finished_; }

 private:
  Status failure_;
  bool finished_ = false;
};

// Streams the member `part` of `zip` to `handler`; fails with the reason
// (for the user) and the part.
Status ParseXmlPart(ZipPackage& zip, const std::string& part, XmlPartHandler& handler,
                         const PackageLimits& limits);

// The value of the attribute whose name is exactly `name`, or nullptr.
const char* FindAttribute(const char** attributes, std::string_view name);
// The value of the first attribute whose local name is `localName` and that
// has a namespace prefix (such as "r:id"), or nullptr.
const char* FindPrefixedAttribute(const char** attributes, std::string_view localName);

// Replaces the _xHHHH_ escapes that spreadsheet writers use for control
// characters in text, from `from` to the end of `text`, by the characters.
void DecodeXmlTextEscapes(std::string& text, size_t from = 0);

}  // namespace tabrelium
