#include "sheets/ods_cell_text.h"

#include <algorithm>

#include "sheets/sheet_limits.h"
#include "sheets/sheet_reader.h"

namespace tabrelium {
namespace {

// Texts shorter than this are kept whole; past it, Settle decides.
constexpr size_t kSettleBytes = 1024;

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The white space KeptSheetText trims.
bool IsValueSpace(char c) { return IsXmlSpace(c) || c == '\v' || c == '\f'; }

}  // namespace

void OdsCellText::Clear() {
  text_.clear();
  paragraphs_ = 0;
  afterSpace_ = true;
  settled_ = false;
  sawSpace_ = false;
}

void OdsCellText::StartParagraph() {
  if (paragraphs_++ > 0) Append("\n");
  afterSpace_ = true;  // a paragraph's leading white space is layout, not text
}

void OdsCellText::AppendCharacters(std::string_view xmlText) {
  size_t runStart = 0;
  for (size_t i = 0; i < xmlText.size(); ++i) {
    if (!IsXmlSpace(xmlText[i])) {
      afterSpace_ = false;
      continue;
    }
    Append(xmlText.substr(runStart, i - runStart));
    if (!afterSpace_) Append(" ");
    afterSpace_ = true;
    runStart = i + 1;
  }
  Append(xmlText.substr(runStart));
}

void OdsCellText::AppendSpaces(uint64_t count) {
  // More spaces than the loader keeps characters change nothing it sees.
  const size_t spaces = static_cast<size_t>(std::min<uint64_t>(count, kKeptValueCharacters + 1));
  Append(std::string(spaces, ' '));
  afterSpace_ = false;
}

void OdsCellText::AppendLiteral(char c) {
  Append(std::string_view(&c, 1));
  afterSpace_ = false;
}

void OdsCellText::Append(std::string_view piece) {
  if (settled_) return;
  // Leading white space is trimmed from every value anyway.
  if (text_.empty()) {
    while (!piece.empty() && IsValueSpace(piece.front())) {
      piece.remove_prefix(1);
      sawSpace_ = true;
    }
    if (piece.empty()) return;
  }
  text_.append(piece);
  if (text_.size() >= kSettleBytes) Settle();
}

// Either the kept prefix ends before the text's last non-space character,
// and nothing that follows can change it; or the text is a short value and
// a run of white space, and only as much of the run as the loader could
// keep matters should more text follow.
void OdsCellText::Settle() {
  const std::string_view kept = KeptSheetText(text_);
  size_t contentEnd = text_.size();
  while (contentEnd > 0 && IsValueSpace(text_[contentEnd - 1])) --contentEnd;
  const size_t keptEnd = static_cast<size_t>(kept.data() - text_.data()) + kept.size();
  if (keptEnd < contentEnd) {
    settled_ = true;
    return;
  }
  text_.resize(contentEnd + std::min(text_.size() - contentEnd, kKeptValueCharacters));
}

}  // namespace tabrelium
