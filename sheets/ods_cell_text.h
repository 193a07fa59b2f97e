// The text of one OpenDocument sheet cell, gathered from its paragraphs as
// the sheet shows it: white space in the XML collapses to one space, as
// OpenDocument text does; text:s, text:tab and text:line-break give spaces,
// a TAB and a line break; paragraphs join with LF.
//
// Bounded: once the part of the text the loader can use (KeptSheetText) is
// settled, the rest is not kept, so one huge paragraph costs about a
// kilobyte, not its size.
//
// Thread-safety: a plain value; one cell at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tabrelium {

class OdsCellText {
 public:
  void Clear();

  // A paragraph begins; from the second on, after a line feed.
  void StartParagraph();
  // Character data of a paragraph, white space not yet collapsed.
  void AppendCharacters(std::string_view xmlText);
  // text:s with its count (text:c).
  void AppendSpaces(uint64_t count);
  // text:tab ('\t') and text:line-break ('\n').
  void AppendLiteral(char c);

  // UTF-8; KeptSheetText of it equals KeptSheetText of the whole text. A
  // text of white space only gives one space: still a value, though empty.
  std::string_view text() const {
    return text_.empty() && sawSpace_ ? std::string_view(" ") : std::string_view(text_);
  }

 private:
  void Append(std::string_view piece);
  void Settle();

  std::string text_;
  uint32_t paragraphs_ = 0;
  bool afterSpace_ = true;  // white space here adds nothing
  bool settled_ = false;    // what the loader can use is known; the rest is dropped
  bool sawSpace_ = false;   // white space was dropped from the start
};

}  // namespace tabrelium
