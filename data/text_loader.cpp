#include "data/text_loader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/gbk.h"
#include "common/line_end.h"
#include "data/work_parts.h"

#include <unistd.h>

#include <array>
#include <cerrno>

namespace tabrelium {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Room for the CR LF and NUL that may follow the text.
constexpr size_t kTextSlack = 8;

// Writes the NUL after the text and, unless the text already ends its last
// line (for CR LF: the byte before the last is CR), appends the line end
// first; then finds where cutting stops (the first NUL).
void FinishText(TextBuffer& buffer, size_t length) {
  buffer.text.resize(length + kTextSlack);
  const std::string_view written(reinterpret_cast<const char*>(buffer.text.data()), length);
  buffer.lineEnd = DetectLineEnd(written);
  const bool ended = buffer.lineEnd.size() == 2
                         ? length >= 2 && written[length - 2] == '\r'
                         : length >= 1 && written[length - 1] == buffer.lineEnd[0];
  if (!ended) {
    std::memcpy(buffer.text.data() + length, buffer.lineEnd.data(), buffer.lineEnd.size());
    length += buffer.lineEnd.size();
  }
  buffer.text[length] = '\0';
  buffer.text.resize(length + 1);
  buffer.textLength = static_cast<int32_t>(length);
  const void* nul = std::memchr(buffer.text.data(), 0, length);
  buffer.textEnd = nul ? static_cast<int32_t>(static_cast<const uint8_t*>(nul) - buffer.text.data())
                       : static_cast<int32_t>(length);
}

// Reads on from `got` bytes until `limit` bytes or the end of `file`,
// growing `bytes` when it is full; leaves it sized to what was read. Returns
// false on a read error before any byte came.
bool ReadUpTo(std::FILE* file, size_t limit, BulkVector<uint8_t>& bytes, size_t got) {
  for (;;) {
    if (got >= limit) break;
    if (got == bytes.size()) bytes.resize(std::min<size_t>(std::max<size_t>(got * 2, 1 << 16), limit));
    const size_t n = std::fread(bytes.data() + got, 1, bytes.size() - got, file);
    if (n == 0) break;
    got += n;
  }
  const bool failed = got == 0 && std::ferror(file);
  bytes.resize(got);
  return !failed;
}

// A large file is read in parts at once: each part's pages are faulted in
// and filled on a core of its own. Reads [0, want) into `into` and returns
// how many bytes from the start came without a gap.
size_t ReadInParts(int fd, uint8_t* into, size_t want) {
  constexpr size_t kMinBytesPerPart = size_t{8} << 20;
  const int parts = WorkParts(want, kMinBytesPerPart);
  std::array<size_t, kMaxWorkParts> got{};
  RunParts(parts, [&](int k) {
    const PartRange range = RangeOfPart(want, parts, k);
    size_t done = 0;
    while (range.begin + done < range.end) {
      const ssize_t n = ::pread(fd, into + range.begin + done, range.end - range.begin - done,
                                static_cast<off_t>(range.begin + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // the file shrank, or a folder: the plain read decides
      done += static_cast<size_t>(n);
    }
    got[k] = done;
  });
  size_t total = 0;
  for (int k = 0; k < parts; ++k) {
    total += got[k];
    const PartRange range = RangeOfPart(want, parts, k);
    if (got[k] < range.end - range.begin) break;
  }
  return total;
}

// Without its last few bytes, which a cut may have left half a character.
std::string_view WithoutCutTail(const BulkVector<uint8_t>& bytes, bool cut) {
  std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (cut) view.remove_suffix(std::min<size_t>(view.size(), 3));
  return view;
}

// Puts `text` (GBK) into the buffer, cut at 64 MiB, never inside a character.
void TakeText(std::string_view text, TextBuffer& buffer) {
  if (static_cast<int64_t>(text.size()) > kMaxTextBytes) {
    text = CutGbk(text, kMaxTextBytes);
    buffer.truncated = true;
  }
  buffer.text.resize(text.size() + kTextSlack);
  std::memcpy(buffer.text.data(), text.data(), text.size());
  buffer.text.resize(text.size());
  FinishText(buffer, text.size());
}

}  // namespace

bool LoadTextFile(const std::string& path, TextBuffer& buffer, CellTable& cells) {
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;

  // The size is a hint for the allocation; the read itself decides, so a
  // file that grows or shrinks meanwhile is still read safely. One byte more
  // than the size says tells that a file has ended without growing the block.
  int64_t size = 0;
  if (std::fseek(file.get(), 0, SEEK_END) == 0) size = std::ftell(file.get());
  std::fseek(file.get(), 0, SEEK_SET);
  // ftell on a folder may say LONG_MAX: clamp before adding.
  const size_t first = static_cast<size_t>(std::clamp<int64_t>(size, 0, kMaxTextBytes - 1) + 1);
  BulkVector<uint8_t> bytes;
  bytes.reserve(first + kTextSlack);
  bytes.resize(first);
  const size_t early = ReadInParts(fileno(file.get()), bytes.data(), first - 1);
  std::fseek(file.get(), static_cast<long>(early), SEEK_SET);
  // A path that opens but cannot be read (a folder) is as one that cannot
  // be opened: nothing changes.
  if (!ReadUpTo(file.get(), kMaxTextBytes, bytes, early)) return false;
  bool cut = static_cast<int64_t>(bytes.size()) >= kMaxTextBytes &&
             std::fgetc(file.get()) != EOF && (std::fseek(file.get(), -1, SEEK_CUR), true);

  const TextEncoding encoding = DetectTextEncoding(WithoutCutTail(bytes, cut));
  if (encoding != TextEncoding::kGbk && cut) {
    ReadUpTo(file.get(), kMaxUnicodeFileBytes, bytes, bytes.size());
    cut = static_cast<int64_t>(bytes.size()) >= kMaxUnicodeFileBytes &&
          std::fgetc(file.get()) != EOF;
  }

  ClearCellTable(cells);
  buffer.textLength = 0;
  if (bytes.empty()) return false;  // the previous bytes stay for a later recut
  buffer.sourceSize = std::max<int64_t>(size, static_cast<int64_t>(bytes.size()));
  buffer.encoding = encoding;
  buffer.unmappable = 0;
  buffer.truncated = cut;
  if (encoding == TextEncoding::kGbk) {
    buffer.text = std::move(bytes);
    FinishText(buffer, buffer.text.size());
  } else {
    const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const std::string text = ConvertTextToGbk(raw, encoding, buffer.unmappable);
    ReleaseBlock(bytes);
    TakeText(text, buffer);
  }
  return true;
}

std::optional<NulCut> FindNulCut(const TextBuffer& buffer) {
  if (buffer.textEnd >= buffer.textLength) return std::nullopt;
  const std::string_view text(reinterpret_cast<const char*>(buffer.text.data()),
                              static_cast<size_t>(buffer.textLength));
  const std::string_view end = buffer.lineEnd;
  const auto count = [&](std::string_view part) {
    int64_t lines = 0;
    for (size_t at = part.find(end); at != std::string_view::npos; at = part.find(end, at + end.size()))
      ++lines;
    return lines;
  };
  const size_t nul = static_cast<size_t>(buffer.textEnd);
  NulCut cut;
  cut.line = count(text.substr(0, nul)) + 1;
  // The text always ends with a line end, so every line after the NUL's
  // own is counted by its end.
  cut.linesAfter = std::max<int64_t>(count(text) - cut.line, 0);
  return cut;
}

bool AdoptTextBytes(BulkVector<uint8_t>&& bytes, TextBuffer& buffer, CellTable& cells) {
  ClearCellTable(cells);
  buffer.textLength = 0;
  if (bytes.empty()) return false;
  if (static_cast<int64_t>(bytes.size()) > kMaxTextBytes) {
    const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    bytes.resize(CutGbk(view, kMaxTextBytes).size());
    buffer.truncated = true;
  } else {
    buffer.truncated = false;
  }
  buffer.sourceSize = static_cast<int64_t>(bytes.size());
  buffer.encoding = TextEncoding::kGbk;
  buffer.unmappable = 0;
  const size_t length = bytes.size();
  buffer.text = std::move(bytes);
  FinishText(buffer, length);
  return true;
}

bool LoadTextBytes(std::string_view bytes, int64_t sourceSize, TextBuffer& buffer,
                   CellTable& cells) {
  ClearCellTable(cells);
  buffer.textLength = 0;
  if (bytes.empty()) return false;
  buffer.sourceSize = std::max<int64_t>(sourceSize, static_cast<int64_t>(bytes.size()));
  buffer.encoding = TextEncoding::kGbk;
  buffer.unmappable = 0;
  buffer.truncated = sourceSize > static_cast<int64_t>(bytes.size());
  TakeText(bytes, buffer);
  return true;
}

}  // namespace tabrelium
