#include "data/text_loader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace tabrelium {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Room for the CR LF and NUL that may follow the text.
constexpr size_t kTextSlack = 8;

// Writes the NUL after the text and, unless the byte before the last is CR,
// appends CR LF first; then finds where cutting stops (the first NUL).
void FinishText(TextBuffer& buffer, size_t length) {
  buffer.text.resize(length + kTextSlack);
  if (!(length >= 2 && buffer.text[length - 2] == '\r')) {
    buffer.text[length++] = '\r';
    buffer.text[length++] = '\n';
  }
  buffer.text[length] = '\0';
  buffer.text.resize(length + 1);
  buffer.textLength = static_cast<int32_t>(length);
  const void* nul = std::memchr(buffer.text.data(), 0, length);
  buffer.textEnd = nul ? static_cast<int32_t>(static_cast<const uint8_t*>(nul) - buffer.text.data())
                       : static_cast<int32_t>(length);
}

}  // namespace

bool LoadTextFile(const std::string& path, TextBuffer& buffer, CellTable& cells) {
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;

  // The size is a hint for the allocation; the read itself decides, so a
  // file that grows or shrinks meanwhile is still read safely.
  int64_t size = 0;
  if (std::fseek(file.get(), 0, SEEK_END) == 0) size = std::ftell(file.get());
  std::fseek(file.get(), 0, SEEK_SET);
  const size_t hint = static_cast<size_t>(std::clamp<int64_t>(size, 0, kMaxTextBytes));

  // Room for one byte more than the size says, so that a file of exactly
  // that size is known to have ended without growing the block.
  BulkVector<uint8_t> bytes;
  bytes.reserve(std::min<size_t>(hint + 1, kMaxTextBytes) + kTextSlack);
  bytes.resize(std::min<size_t>(hint + 1, kMaxTextBytes));
  size_t got = 0;
  for (;;) {
    if (got == bytes.size()) {
      if (got >= static_cast<size_t>(kMaxTextBytes)) break;
      bytes.resize(std::min<size_t>(std::max<size_t>(got * 2, 1 << 16), kMaxTextBytes));
    }
    const size_t n = std::fread(bytes.data() + got, 1, bytes.size() - got, file.get());
    if (n == 0) break;
    got += n;
  }
  // A path that opens but cannot be read (a folder) is as one that cannot
  // be opened: nothing changes.
  if (got == 0 && std::ferror(file.get())) return false;
  // Anything left past 64 MiB tells how big the file really was.
  int64_t total = static_cast<int64_t>(got);
  if (got >= static_cast<size_t>(kMaxTextBytes)) {
    total = std::max<int64_t>(size, total);
    if (total == kMaxTextBytes && std::fgetc(file.get()) != EOF) total += 1;
  }

  ClearCellTable(cells);
  buffer.textLength = 0;
  if (got == 0) return false;  // the previous bytes stay for a later recut
  bytes.resize(got);
  buffer.text = std::move(bytes);
  buffer.sourceSize = total;
  FinishText(buffer, got);
  return true;
}

bool LoadTextBytes(std::string_view bytes, int64_t sourceSize, TextBuffer& buffer,
                   CellTable& cells) {
  ClearCellTable(cells);
  buffer.textLength = 0;
  const size_t length = std::min<size_t>(bytes.size(), kMaxTextBytes);
  if (length == 0) return false;
  buffer.text.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
  buffer.sourceSize = std::max<int64_t>(sourceSize, static_cast<int64_t>(bytes.size()));
  FinishText(buffer, length);
  return true;
}

}  // namespace tabrelium
