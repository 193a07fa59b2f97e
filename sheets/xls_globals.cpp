#include "sheets/xls_globals.h"

#include <string>
#include <unordered_map>

#include "common/gbk_utf8.h"
#include "sheets/xls_records.h"

namespace tabrelium {
namespace {

const char kDamagedRecords[] =
    "the XLS workbook is damaged: a record runs past the end of the workbook stream";

// A BOF record: its version and the kind of substream it opens.
bool ReadBof(const BiffRecord& record, uint16_t& version, uint16_t& substream) {
  ByteCursor cursor(record.data);
  return record.id == biff::kBof && cursor.U16(version) && cursor.U16(substream);
}

// What the walk collects; the date kinds are decided once every FORMAT and
// XF record is known, whatever their order.
struct GlobalsWalk {
  std::unordered_map<uint16_t, std::string> formatCodes;  // id -> code, as stored
  std::vector<uint16_t> xfFormats;                        // format id per XF
  bool foundWorksheet = false;
};

// FORMAT: the id, then the code (Excel 97: a BIFF8 string; Excel 5/95: a
// byte count and code-page bytes).
bool ReadFormat(const BiffRecord& record, bool biff8, XlsContinuedBytes& bytes,
                GlobalsWalk& walk) {
  ByteCursor cursor(record.data);
  uint16_t id = 0;
  if (!cursor.U16(id)) return false;
  std::string code;
  if (biff8) {
    bytes.Reset(cursor.Rest());
    if (!ReadBiff8String(bytes, code)) return false;
  } else {
    uint8_t length = 0;
    std::span<const uint8_t> text;
    if (!cursor.U8(length) || !cursor.Bytes(length, text)) return false;
    code.assign(text.begin(), text.end());
  }
  walk.formatCodes[id] = std::move(code);
  return true;
}

void DecideDateKinds(const GlobalsWalk& walk, XlsWorkbookGlobals& globals) {
  std::unordered_map<uint16_t, NumberFormatKind> custom;
  for (const auto& [id, code] : walk.formatCodes) {
    // An Excel 5/95 code is in the code page; its date letters are ASCII,
    // but a GBK character's second byte may be an ASCII letter.
    const bool decode = !globals.biff8 && (globals.codePage == 0 || globals.codePage == 936);
    custom[id] = FormatCodeDateKind(decode ? GbkToUtf8(code) : code);
  }
  globals.dateKinds.clear();
  globals.dateKinds.reserve(walk.xfFormats.size());
  for (uint16_t id : walk.xfFormats) {
    // A FORMAT record may restate or replace a built-in id.
    const auto found = custom.find(id);
    globals.dateKinds.push_back(found != custom.end() ? found->second : BuiltinFormatDateKind(id));
  }
}

}  // namespace

Status ReadXlsWorkbookGlobals(std::span<const uint8_t> stream, XlsWorkbookGlobals& globals) {
  BiffRecordReader records(stream, 0);
  BiffRecord record;
  uint16_t version = 0, substream = 0;
  if (!records.Next(record) || !ReadBof(record, version, substream) ||
      substream != biff::kGlobalsSubstream)
    return Status::Failed(
        "the XLS file's workbook is damaged, or in an Excel version before Excel 5, which "
        "cannot be read");
  globals.biff8 = version != biff::kBiff5;

  GlobalsWalk walk;
  XlsContinuedBytes bytes;
  while (records.Next(record)) {
    ByteCursor cursor(record.data);
    switch (record.id) {
      case biff::kEof:
        if (!walk.foundWorksheet) return Status::Failed("the workbook has no worksheet");
        DecideDateKinds(walk, globals);
        return {};
      case biff::kFilePass:
        return Status::Failed("the workbook is password-protected");
      case biff::kCodePage:
        cursor.U16(globals.codePage);
        break;
      case biff::kDateMode: {
        uint16_t mode = 0;
        cursor.U16(mode);
        globals.date1904 = mode == 1;
        break;
      }
      case biff::kFormat:
        if (!ReadFormat(record, globals.biff8, bytes, walk))
          return Status::Failed("the XLS workbook is damaged: a number format is cut short");
        break;
      case biff::kXf: {
        uint16_t font = 0, format = 0;
        cursor.U16(font);
        cursor.U16(format);
        walk.xfFormats.push_back(format);
        break;
      }
      case biff::kSst: {
        if (!globals.biff8) break;
        bytes.Reset(record.data);
        while (records.PeekId() == biff::kContinue && records.Next(record)) bytes.Append(record.data);
        if (Status read = globals.strings.Read(bytes); !read.ok()) return read;
        break;
      }
      case biff::kBoundSheet: {
        // The sheet list in workbook order: the stream offset of the
        // sheet's BOF, its visibility, then its type (0: a worksheet).
        uint32_t offset = 0;
        uint8_t visibility = 0, type = 0;
        if (walk.foundWorksheet || !cursor.U32(offset) || !cursor.U8(visibility) ||
            !cursor.U8(type) || type != 0)
          break;
        BiffRecordReader at(stream, offset);
        BiffRecord bof;
        uint16_t sheetVersion = 0, sheetSubstream = 0;
        if (offset >= stream.size() || !at.Next(bof) || !ReadBof(bof, sheetVersion, sheetSubstream))
          return Status::Failed(
              "the XLS workbook is damaged: its first worksheet is not where the sheet list says");
        if (sheetSubstream != biff::kWorksheetSubstream) break;  // a dialog or macro sheet
        globals.firstWorksheet = offset;
        walk.foundWorksheet = true;
        break;
      }
      default:
        break;
    }
  }
  if (records.damaged()) return Status::Failed(kDamagedRecords);
  return Status::Failed("the XLS workbook is cut short: its workbook part has no end");
}

}  // namespace tabrelium
