#include "cli/escape.h"

#include <cstdint>

#include "common/gbk.h"
#include "common/gbk_utf8.h"

namespace tabrelium::cli {
namespace {

void AppendRun(std::string_view run, bool raw, std::string& out) {
  if (run.empty()) return;
  if (raw)
    out += run;
  else
    out += GbkToUtf8(run);
}

}  // namespace

void AppendEscaped(std::string_view gbk, bool raw, std::string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  size_t runStart = 0;
  size_t pos = 0;
  while (pos < gbk.size()) {
    const size_t len = GbkCharLength(gbk, pos);
    const auto b = static_cast<uint8_t>(gbk[pos]);
    if (len == 2 || (b >= 0x20 && b != 0x7F && b != '\\')) {
      pos += len;
      continue;
    }
    AppendRun(gbk.substr(runStart, pos - runStart), raw, out);
    switch (b) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default:
        out += "\\x";
        out += kHex[b >> 4];
        out += kHex[b & 0xF];
    }
    pos += 1;
    runStart = pos;
  }
  AppendRun(gbk.substr(runStart), raw, out);
}

}  // namespace tabrelium::cli
