#include "config/config_line_reader.h"

#include <algorithm>
#include <array>

#include "common/gbk.h"

namespace tabrelium {
namespace {

constexpr bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The bytes C's isspace accepts in the "C" locale; atoi skips these.
constexpr bool IsCSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string_view TrimTrailingBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return TrimTrailingBlanks(text);
}

struct FullWidthPunctuation {
  uint8_t lead;
  uint8_t trail;
  char ascii;
};

// Hand-edited files often carry these from a Chinese input method.
constexpr std::array<FullWidthPunctuation, 5> kFullWidthPunctuation = {{
    {0xA3, 0xAC, ','},
    {0xA3, 0xBD, '='},
    {0xA3, 0xAE, '.'},
    {0xA1, 0xAB, '~'},
    {0xA3, 0xFC, '|'},
}};

// Replaces the full-width punctuation only where a character starts, so the
// second byte of one character and the first of the next never match.
std::string ReplaceFullWidthPunctuation(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const size_t length = GbkCharLength(text, pos);
    if (length == 2) {
      const auto lead = static_cast<uint8_t>(text[pos]);
      const auto trail = static_cast<uint8_t>(text[pos + 1]);
      const auto* match = std::find_if(
          kFullWidthPunctuation.begin(), kFullWidthPunctuation.end(),
          [&](const FullWidthPunctuation& p) { return p.lead == lead && p.trail == trail; });
      if (match != kFullWidthPunctuation.end()) {
        out.push_back(match->ascii);
        pos += 2;
        continue;
      }
    }
    out.append(text.substr(pos, length));
    pos += length;
  }
  return out;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

}  // namespace

bool ReadConfigLine(std::string_view file, size_t& pos, std::string_view& line,
                    std::string_view lineEnd) {
  line = {};
  if (pos >= file.size()) return false;
  const std::string_view rest = file.substr(pos);
  const size_t end = rest.find(lineEnd[0]);
  const size_t length = end == std::string_view::npos ? rest.size() : end;
  line = rest.substr(0, std::min(length, kConfigLineMaxBytes));
  // In a CR LF file the byte after a CR is skipped unseen, whatever it is.
  pos = end == std::string_view::npos ? file.size()
                                      : std::min(file.size(), pos + end + lineEnd.size());
  return true;
}

std::string NormalizeConfigLine(std::string_view raw) {
  // Every text the file feeds ends up in a NUL-terminated field, so nothing
  // after a NUL byte could survive anyway.
  std::string_view text = TrimBlanks(raw.substr(0, raw.find('\0')));
  // A line that starts with "//" is all comment and ends up empty.
  if (const size_t comment = text.find("//"); comment != std::string_view::npos) {
    text = TrimTrailingBlanks(text.substr(0, comment));
  }
  return ReplaceFullWidthPunctuation(text);
}

bool ConfigSectionReader::NextNotedLine(std::string& line) {
  std::string_view raw;
  while (ReadConfigLine(file_, pos_, raw, lineEnd_)) {
    line = NormalizeConfigLine(raw);
    if (!IsSkippedConfigLine(line)) return true;
  }
  return false;
}

bool ConfigSectionReader::FindSection(std::string_view header) {
  pos_ = 0;
  inBody_ = false;
  std::string line;
  while (NextNotedLine(line)) {
    if (line.starts_with(header)) {
      inBody_ = true;
      return true;
    }
  }
  return false;
}

bool ConfigSectionReader::NextBodyLine(std::string& line) {
  if (inBody_ && NextNotedLine(line) && !line.starts_with('#')) return true;
  inBody_ = false;
  line.clear();
  return false;
}

std::optional<KeyValue> SplitKeyValue(std::string_view line) {
  // '=' is below every trail byte, so a byte search never lands inside a
  // two-byte character.
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return KeyValue{std::string(CutGbk(line.substr(0, equals), kConfigKeyValueMaxBytes)),
                  std::string(CutGbk(line.substr(equals + 1), kConfigKeyValueMaxBytes))};
}

int CountPieces(std::string_view value) {
  const auto commas = static_cast<int>(std::count(value.begin(), value.end(), ','));
  return commas + (!value.empty() && value.back() != ',' ? 1 : 0);
}

std::string_view ExtractPiece(std::string_view value, int index, size_t maxBytes) {
  if (index < 0) return {};
  size_t start = 0;
  for (int i = 0; i < index; ++i) {
    const size_t comma = value.find(',', start);
    if (comma == std::string_view::npos) return {};
    start = comma + 1;
  }
  const size_t end = value.find(',', start);
  const std::string_view piece =
      end == std::string_view::npos ? value.substr(start) : value.substr(start, end - start);
  return CutGbk(piece, maxBytes);
}

std::string_view StripQuotes(std::string_view text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    return text.substr(1, text.size() - 2);
  }
  return text;
}

uint8_t ParseHexByte(std::string_view key) {
  auto digit = [&](size_t i) { return i < key.size() ? HexDigitValue(key[i]) : 0; };
  return static_cast<uint8_t>(digit(2) * 16 + digit(3));
}

int32_t ParseConfigInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsCSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Unsigned arithmetic wraps by definition, so no input can overflow.
  uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10u + static_cast<uint32_t>(text[i] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

}  // namespace tabrelium
