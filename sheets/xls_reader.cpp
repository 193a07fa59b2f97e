// ReadXlsSheet: the workbook stream out of its container, the workbook
// globals, then the first worksheet's cells, in one pass over its records.
#include "sheets/xls_reader.h"

#include "sheets/xls_container.h"
#include "sheets/xls_globals.h"
#include "sheets/xls_worksheet.h"

namespace tabrelium {
namespace {

Status ReadStream(const XlsStreamBytes& stream, SheetData& sheet) {
  const std::span<const uint8_t> bytes = stream.bytes();
  XlsWorkbookGlobals globals;
  if (Status read = ReadXlsWorkbookGlobals(bytes, globals); !read.ok()) return read;
  return ReadXlsWorksheetCells(bytes, globals, sheet);
}

Status Finish(Status opened, const XlsStreamBytes& stream, SheetData& sheet) {
  Status read = opened.ok() ? ReadStream(stream, sheet) : std::move(opened);
  if (!read.ok()) sheet.Clear();
  return read;
}

}  // namespace

Status ReadXlsSheetWithLimits(const std::string& path, SheetData& sheet, const XlsLimits& limits) {
  sheet.Clear();
  XlsStreamBytes stream;
  Status opened = ReadXlsWorkbookStream(path, limits.maxStreamBytes, stream);
  return Finish(std::move(opened), stream, sheet);
}

Status ReadXlsBytes(std::span<const uint8_t> bytes, SheetData& sheet, const XlsLimits& limits) {
  sheet.Clear();
  XlsStreamBytes stream;
  Status opened = ReadXlsWorkbookStreamFromBytes(bytes, limits.maxStreamBytes, stream);
  return Finish(std::move(opened), stream, sheet);
}

Status ReadXlsSheet(const std::string& path, SheetData& sheet) {
  return ReadXlsSheetWithLimits(path, sheet, XlsLimits{});
}

}  // namespace tabrelium
