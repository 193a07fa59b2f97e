#include "sheets/code_page.h"

#include <cctype>
#include <cerrno>
#include <charconv>

namespace tabrelium {
namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// dBASE language driver ids and their code pages, as dBASE, FoxPro and
// ArcGIS write them. 77 and 122 are GBK (936); 87 is taken as GBK (see the
// header).
int CodePageOfLanguageDriver(int ldid) {
  struct Entry {
    int ldid, codePage;
  };
  static constexpr Entry kTable[] = {
      {1, 437},    {2, 850},    {3, 1252},   {4, 10000},  {8, 865},    {9, 437},
      {10, 850},   {11, 437},   {13, 437},   {14, 850},   {15, 437},   {16, 850},
      {17, 865},   {18, 437},   {19, 932},   {20, 850},   {21, 437},   {22, 850},
      {23, 865},   {24, 437},   {25, 437},   {26, 850},   {27, 437},   {28, 863},
      {29, 850},   {31, 852},   {34, 852},   {35, 852},   {36, 860},   {37, 850},
      {38, 866},   {55, 850},   {64, 852},   {77, 936},   {78, 949},   {79, 950},
      {80, 874},   {87, 936},   {88, 1252},  {89, 1252},  {100, 852},  {101, 866},
      {102, 865},  {103, 861},  {104, 895},  {105, 620},  {106, 737},  {107, 857},
      {108, 863},  {120, 950},  {121, 949},  {122, 936},  {123, 932},  {124, 874},
      {134, 737},  {135, 852},  {136, 857},  {150, 10007}, {151, 10029}, {200, 1250},
      {201, 1251}, {202, 1254}, {203, 1253}, {204, 1257},
  };
  for (const Entry& e : kTable)
    if (e.ldid == ldid) return e.codePage;
  return 0;
}

bool IsDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

CodePageEncoding FromCodePageNumber(int codePage) {
  if (codePage == 936) return {};
  if (codePage == 65001) return {CodePageTextKind::kUtf8, "", true};
  if (codePage == 10000) return {CodePageTextKind::kDecoded, "MACINTOSH", true};
  if (codePage == 54936) return {CodePageTextKind::kDecoded, "GB18030", true};
  return {CodePageTextKind::kDecoded, "CP" + std::to_string(codePage), true};
}

CodePageEncoding FromName(std::string_view name) {
  if (name.empty()) return {};
  if (StartsWith(name, "LDID/")) {
    int ldid = -1;
    const std::string_view digits = name.substr(5);
    if (!IsDigits(digits) || std::from_chars(digits.data(), digits.data() + digits.size(), ldid).ec != std::errc())
      return {CodePageTextKind::kGbk, "", false};
    if (ldid == 0) return {};  // "no code page given"
    const int codePage = CodePageOfLanguageDriver(ldid);
    return codePage == 0 ? CodePageEncoding{CodePageTextKind::kGbk, "", false} : FromCodePageNumber(codePage);
  }
  for (std::string_view prefix : {"ANSI ", "OEM ", "CP_", "CP", "MS", "WINDOWS-"}) {
    if (StartsWith(name, prefix) && IsDigits(name.substr(prefix.size()))) {
      name.remove_prefix(prefix.size());
      break;
    }
  }
  if (IsDigits(name) && name.size() <= 5) {
    int codePage = 0;
    std::from_chars(name.data(), name.data() + name.size(), codePage);
    return FromCodePageNumber(codePage);
  }
  if (name == "GBK" || name == "GB2312" || name == "EUC-CN") return {};
  if (name == "UTF-8" || name == "UTF8") return {CodePageTextKind::kUtf8, "", true};
  // ArcGIS writes ISO 8859 parts as "ISO 88591" ... "ISO 885915".
  if (StartsWith(name, "ISO 8859") && IsDigits(name.substr(8)))
    return {CodePageTextKind::kDecoded, "ISO-8859-" + std::string(name.substr(8)), true};
  return {CodePageTextKind::kDecoded, std::string(name), true};
}

}  // namespace

CodePageEncoding EncodingOfCodePage(const char* codePage) {
  if (codePage == nullptr) return {};
  std::string name;
  for (const char* p = codePage; *p != '\0'; ++p)
    name.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(*p))));
  const size_t first = name.find_first_not_of(" \t\r\n");
  const size_t last = name.find_last_not_of(" \t\r\n");
  name = first == std::string::npos ? std::string() : name.substr(first, last - first + 1);

  CodePageEncoding encoding = FromName(name);
  if (encoding.kind == CodePageTextKind::kDecoded) {
    const iconv_t probe = iconv_open("UTF-8", encoding.iconvName.c_str());
    if (probe == kNoConverter) return {CodePageTextKind::kGbk, "", false};
    iconv_close(probe);
  }
  return encoding;
}

CodePageDecoder::CodePageDecoder(const std::string& iconvName)
    : cd_(iconv_open("UTF-8", iconvName.c_str())) {}

CodePageDecoder::~CodePageDecoder() {
  if (cd_ != kNoConverter) iconv_close(cd_);
}

std::string_view CodePageDecoder::ToUtf8(std::string_view bytes) {
  out_.clear();
  if (cd_ == kNoConverter) return out_;
  // UTF-8 takes at most 4 bytes per input byte from a single-byte or
  // double-byte code page.
  out_.resize(bytes.size() * 4 + 4);
  char* src = const_cast<char*>(bytes.data());
  size_t left = bytes.size();
  char* dst = out_.data();
  size_t room = out_.size();
  while (left > 0) {
    if (iconv(cd_, &src, &left, &dst, &room) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      const size_t used = static_cast<size_t>(dst - out_.data());
      out_.resize(out_.size() * 2);
      dst = out_.data() + used;
      room = out_.size() - used;
      continue;
    }
    // EILSEQ or EINVAL: a byte the code page does not define, or a
    // character cut off at the field's end.
    if (room == 0) {
      const size_t used = static_cast<size_t>(dst - out_.data());
      out_.resize(out_.size() * 2);
      dst = out_.data() + used;
      room = out_.size() - used;
    }
    *dst++ = '?';
    --room;
    ++src;
    --left;
  }
  iconv(cd_, nullptr, nullptr, nullptr, nullptr);
  out_.resize(static_cast<size_t>(dst - out_.data()));
  return out_;
}

}  // namespace tabrelium
