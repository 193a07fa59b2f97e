// Unicode data files: which files count as UTF-8 or UTF-16, and what the
// loader makes of them; GBK files must pass untouched.
#include <gtest/gtest.h>

#include "common/text_encoding.h"
#include "data/text_loader.h"
#include "tests/test_support.h"

namespace tabrelium {
namespace {

TEST(TextEncoding, Detection) {
  EXPECT_EQ(DetectTextEncoding("\xEF\xBB\xBF" "abc"), TextEncoding::kUtf8Bom);
  EXPECT_EQ(DetectTextEncoding("\xFF\xFE" "a\0"), TextEncoding::kUtf16Le);
  EXPECT_EQ(DetectTextEncoding("\xFE\xFF\0a"), TextEncoding::kUtf16Be);
  EXPECT_EQ(DetectTextEncoding("code,名称\r\n"), TextEncoding::kUtf8);
  EXPECT_EQ(DetectTextEncoding("plain ascii,1\r\n"), TextEncoding::kGbk);
  EXPECT_EQ(DetectTextEncoding("code,\xC3\xFB\xB3\xC6\r\n"), TextEncoding::kGbk);  // 名称 in GBK
  EXPECT_EQ(DetectTextEncoding("\xC0\xAF"), TextEncoding::kGbk);                   // overlong '/'
  EXPECT_EQ(DetectTextEncoding("\xED\xA0\x80"), TextEncoding::kGbk);               // a surrogate
  EXPECT_EQ(DetectTextEncoding("ok \xE4\xB8"), TextEncoding::kGbk);                // cut short
}

std::string Loaded(const std::string& bytes, TextBuffer& buffer) {
  testing::TempDir dir;
  CellTable cells;
  EXPECT_TRUE(LoadTextFile(dir.Write("d.csv", bytes), buffer, cells));
  return std::string(reinterpret_cast<const char*>(buffer.text.data()),
                     static_cast<size_t>(buffer.textLength));
}

TEST(TextEncoding, Utf8FilesWithAndWithoutBomBecomeGbk) {
  TextBuffer buffer;
  EXPECT_EQ(Loaded("\xEF\xBB\xBF" "码,名\r\n", buffer), "\xC2\xEB,\xC3\xFB\r\n");
  EXPECT_EQ(buffer.encoding, TextEncoding::kUtf8Bom);
  EXPECT_EQ(Loaded("码,名\r\n", buffer), "\xC2\xEB,\xC3\xFB\r\n");
  EXPECT_EQ(buffer.encoding, TextEncoding::kUtf8);
  EXPECT_EQ(Loaded("a,😀,한\r\n", buffer), "a,?,?\r\n");
  EXPECT_EQ(buffer.unmappable, 2u);
}

TEST(TextEncoding, Utf16UnicodeTextExport) {
  // What a spreadsheet's "Unicode text" export looks like: UTF-16 LE, TABs.
  const std::u16string text = u"\uFEFF条码\t名称\r\n690\t水\r\n";
  std::string bytes;
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  TextBuffer buffer;
  EXPECT_EQ(Loaded(bytes, buffer), "\xCC\xF5\xC2\xEB\t\xC3\xFB\xB3\xC6\r\n690\t\xCB\xAE\r\n");
  EXPECT_EQ(buffer.encoding, TextEncoding::kUtf16Le);
  EXPECT_EQ(buffer.unmappable, 0u);
}

TEST(TextEncoding, GbkFilesStayByteForByte) {
  const std::string gbk = "\xCC\xF5\xC2\xEB,\xC3\xFB\xB3\xC6\r\n\x80\xFF|\xB0\x7C\r\n";
  TextBuffer buffer;
  EXPECT_EQ(Loaded(gbk, buffer), gbk);
  EXPECT_EQ(buffer.encoding, TextEncoding::kGbk);
}

}  // namespace
}  // namespace tabrelium
