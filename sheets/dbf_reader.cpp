// The dBASE table reader: the only file that touches shapelib.
//
// Row 0 of the sheet holds the field names, then one row per record that is
// not deleted, numbered on without gaps. Values by field type: 'C' text in
// the table's code page; 'N' and 'F' numbers (empty or '*'-filled: no
// value); 'D' dates YYYYMMDD; 'L' logicals (T/Y true, F/N false, '?' or
// blank no value); any other type, and a number or date that does not read
// as one, as its text, so that nothing the table holds is lost. shapelib
// trims the blanks around every value.
#include <shapefil.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "sheets/code_page.h"
#include "sheets/dbf_header_check.h"
#include "sheets/sheet_reader.h"
#include "sheets/sheet_dates.h"
#include "sheets/sheet_limits.h"

namespace tabrelium {
namespace {

// shapelib builds the names of the table and of its .cpg file from the
// path with its extension replaced by ".dbf" (then ".DBF") and ".cpg" (then
// ".CPG"); that misses "Goods.Dbf" and files without the extension. Its
// file hooks take no context, so the paths of the open in progress live
// here, one per thread.
struct OpenRequest {
  std::string dbfPath;
  std::string cpgBase;  // the path without its extension
};
thread_local const OpenRequest* tCurrentOpen = nullptr;

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  return std::equal(suffix.begin(), suffix.end(), s.end() - suffix.size(), [](char a, char b) {
    return a == (b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b);
  });
}

// shapelib seeks before every record it loads; stdio's fseek asks the
// kernel each time, which costs more than the rest of the read. The hooked
// file remembers its position, so a seek to where it already is (the next
// record in a sequential read) is free.
class HookedFile {
 public:
  explicit HookedFile(FILE* file) : file_(file) {}
  ~HookedFile() { std::fclose(file_); }
  HookedFile(const HookedFile&) = delete;
  HookedFile& operator=(const HookedFile&) = delete;

  static HookedFile* From(SAFile file) { return reinterpret_cast<HookedFile*>(file); }
  SAFile AsSaFile() { return reinterpret_cast<SAFile>(this); }

  SAOffset Read(void* p, SAOffset size, SAOffset count) {
    const size_t got = std::fread(p, size, count, file_);
    if (got == count) {
      position_ += got * size;
    } else {
      position_ = static_cast<SAOffset>(std::ftell(file_));  // a part of a member may have come
    }
    return got;
  }
  SAOffset Seek(SAOffset offset, int whence) {
    if (whence == SEEK_SET && offset == position_) return 0;
    const int rc = std::fseek(file_, static_cast<long>(offset), whence);
    position_ = static_cast<SAOffset>(std::ftell(file_));
    return static_cast<SAOffset>(rc);
  }
  SAOffset Tell() const { return position_; }

 private:
  FILE* file_;
  SAOffset position_ = 0;
};

SAFile OpenForShapelib(const char* name, const char* access) {
  const OpenRequest* request = tCurrentOpen;
  if (request == nullptr) return nullptr;
  const std::string_view asked = name;
  FILE* file = nullptr;
  if (EndsWithNoCase(asked, ".dbf")) {
    // shapelib asks for ".dbf", then ".DBF": the table is opened once.
    if (access[0] == 'r' && asked.back() == 'f') file = std::fopen(request->dbfPath.c_str(), "rb");
  } else if (asked.size() >= 4 && asked.substr(asked.size() - 4) == ".cpg") {
    for (const char* ext : {".cpg", ".CPG", ".Cpg"}) {
      file = std::fopen((request->cpgBase + ext).c_str(), "r");
      if (file != nullptr) break;
    }
  }
  if (file == nullptr) return nullptr;
  // Owned by shapelib from here; CloseForShapelib deletes it.
  return std::make_unique<HookedFile>(file).release()->AsSaFile();
}

SAOffset ReadForShapelib(void* p, SAOffset size, SAOffset count, SAFile file) {
  return HookedFile::From(file)->Read(p, size, count);
}
SAOffset SeekForShapelib(SAFile file, SAOffset offset, int whence) {
  return HookedFile::From(file)->Seek(offset, whence);
}
SAOffset TellForShapelib(SAFile file) { return HookedFile::From(file)->Tell(); }
SAOffset WriteForShapelib(void*, SAOffset, SAOffset, SAFile) { return 0; }  // opened to read
int FlushForShapelib(SAFile) { return 0; }
int CloseForShapelib(SAFile file) {
  std::unique_ptr<HookedFile> owned(HookedFile::From(file));
  return 0;
}

// shapelib reports its troubles on stderr by default; the reader reports
// its own.
void IgnoreShapelibError(const char*) {}

struct DbfCloser {
  void operator()(DBFInfo* dbf) const { DBFClose(dbf); }
};
using DbfTable = std::unique_ptr<DBFInfo, DbfCloser>;

DbfTable OpenTable(const std::string& path) {
  OpenRequest request{path, path};
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
    request.cpgBase.resize(dot);
  SAHooks hooks;
  SASetupDefaultHooks(&hooks);
  hooks.FOpen = OpenForShapelib;
  hooks.FRead = ReadForShapelib;
  hooks.FWrite = WriteForShapelib;
  hooks.FSeek = SeekForShapelib;
  hooks.FTell = TellForShapelib;
  hooks.FFlush = FlushForShapelib;
  hooks.FClose = CloseForShapelib;
  hooks.Error = IgnoreShapelibError;
  tCurrentOpen = &request;
  DbfTable table(DBFOpenLL(path.c_str(), "rb", &hooks));
  tCurrentOpen = nullptr;
  return table;
}

// Every field must lie inside the record as shapelib placed it; its record
// reads trust that.
bool FieldsFitRecords(const DBFInfo& dbf) {
  if (dbf.nFields < 0) return false;
  for (int i = 0; i < dbf.nFields; ++i) {
    const int64_t offset = dbf.panFieldOffset[i], size = dbf.panFieldSize[i];
    if (offset < 1 || size < 0 || offset + size > dbf.nRecordLength) return false;
  }
  return true;
}

// Where a table's text goes: GBK and UTF-8 as they are, other code pages
// decoded to UTF-8.
class TextSink {
 public:
  explicit TextSink(const CodePageEncoding& encoding) : kind_(encoding.kind) {
    if (kind_ == CodePageTextKind::kDecoded) decoder_.emplace(encoding.iconvName);
  }
  void Add(uint32_t row, uint32_t column, std::string_view bytes, SheetData& sheet) {
    switch (kind_) {
      case CodePageTextKind::kGbk:
        return sheet.AddGbkText(row, column, bytes);
      case CodePageTextKind::kUtf8:
        return sheet.AddText(row, column, bytes);
      case CodePageTextKind::kDecoded:
        return sheet.AddText(row, column, decoder_->ToUtf8(bytes));
    }
  }

 private:
  CodePageTextKind kind_;
  std::optional<CodePageDecoder> decoder_;
};

bool ReadNumber(std::string_view text, double& value) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

bool ReadDate(std::string_view text, double& serial) {
  if (text.size() != 8) return false;
  int ymd[3] = {};
  const size_t widths[3] = {4, 2, 2};
  size_t at = 0;
  for (int i = 0; i < 3; ++i) {
    const char* begin = text.data() + at;
    const auto [end, ec] = std::from_chars(begin, begin + widths[i], ymd[i]);
    if (ec != std::errc() || end != begin + widths[i]) return false;
    at += widths[i];
  }
  if (!IsCalendarDate(ymd[0], ymd[1], ymd[2])) return false;
  serial = DateSerial(ymd[0], ymd[1], ymd[2]);
  return true;
}

void AddValue(uint32_t row, uint32_t column, char type, std::string_view text,
              TextSink& texts, SheetData& sheet) {
  double number = 0;
  switch (type) {
    case 'N':
    case 'F':
      if (text.empty() || text.front() == '*') return;  // NULL
      if (ReadNumber(text, number)) return sheet.AddNumber(row, column, number);
      break;
    case 'D':
      if (text.empty() || text.find_first_not_of('0') == std::string_view::npos) return;
      if (ReadDate(text, number))
        return sheet.AddDate(row, column, SheetValueKind::kDate, number);
      break;
    case 'L':
      if (text.size() == 1) {
        switch (text.front()) {
          case 'T': case 't': case 'Y': case 'y':
            return sheet.AddBoolean(row, column, true);
          case 'F': case 'f': case 'N': case 'n':
            return sheet.AddBoolean(row, column, false);
          case '?':
            return;
          default:
            break;
        }
      }
      break;
    default:
      break;
  }
  texts.Add(row, column, text, sheet);
}

}  // namespace

Status ReadDbfSheet(const std::string& path, SheetData& sheet) {
  sheet.Clear();
  if (Status header = CheckDbfFile(path); !header.ok()) return header;
  const DbfTable table = OpenTable(path);
  // The file was there a moment ago and its sizes agree: shapelib refuses
  // field descriptions it cannot make sense of.
  if (!table)
    return Status::Failed("the dBASE table is damaged: its field list cannot be read");
  DBFInfo* dbf = table.get();
  if (!FieldsFitRecords(*dbf))
    return Status::Failed(
        "the dBASE table is damaged: its fields do not fit in its records");

  TextSink texts(EncodingOfCodePage(DBFGetCodePage(dbf)));
  const int fields = std::min<int>(DBFGetFieldCount(dbf), kSheetReadColumns);
  std::string types(static_cast<size_t>(fields), 'C');
  for (int f = 0; f < fields; ++f) {
    char name[XBASE_FLDNAME_LEN_READ + 1] = {};
    DBFGetFieldInfo(dbf, f, name, nullptr, nullptr);
    types[f] = DBFGetNativeFieldType(dbf, f);
    texts.Add(0, static_cast<uint32_t>(f), name, sheet);
  }

  const int records = DBFGetRecordCount(dbf);
  uint32_t row = 1;
  for (int r = 0; r < records && row < kSheetReadRows; ++r) {
    if (DBFIsRecordDeleted(dbf, r)) continue;
    for (int f = 0; f < fields; ++f) {
      const char* value = DBFReadStringAttribute(dbf, r, f);
      if (value == nullptr) {
        sheet.Clear();
        return Status::Failed(
            "the dBASE table is damaged: record " + std::to_string(r + 1) + " cannot be read",
            {.row = static_cast<uint32_t>(r) + 1});
      }
      AddValue(row, static_cast<uint32_t>(f), types[f], value, texts, sheet);
    }
    ++row;
  }
  return {};
}

}  // namespace tabrelium
