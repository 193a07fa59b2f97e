// ReadXlsxSheet: the package's parts read in the order the cells need
// them: where things are, the date formats, the shared strings, then the
// first worksheet's cells.
#include "sheets/sheet_reader.h"
#include "sheets/xlsx_package.h"
#include "sheets/xlsx_reader.h"
#include "sheets/xlsx_shared_strings.h"
#include "sheets/xlsx_sheet_parser.h"
#include "sheets/xlsx_styles.h"
#include "sheets/zip_package.h"

namespace tabrelium {
namespace {

Status ReadPackage(ZipPackage& zip, const PackageLimits& limits, SheetData& sheet) {
  XlsxPackageParts parts;
  if (Status found = FindPackageParts(zip, limits, parts); !found.ok()) return found;

  // A workbook without a styles or shared strings part has plain numbers
  // and no shared strings; a cell that needs one then fails on its own.
  std::vector<NumberFormatKind> dateKinds;
  if (!parts.styles.empty() && zip.Has(parts.styles)) {
    if (Status read = ReadCellDateKinds(zip, parts.styles, limits, dateKinds); !read.ok())
      return read;
  }
  SharedStrings strings;
  if (!parts.sharedStrings.empty() && zip.Has(parts.sharedStrings)) {
    if (Status read = strings.Read(zip, parts.sharedStrings, limits); !read.ok()) return read;
  }
  const WorksheetContext context{strings, dateKinds, parts.date1904};
  return ReadWorksheetCells(zip, parts.worksheet, context, limits, sheet);
}

Status Finish(std::optional<ZipPackage>& zip, Status opened, const PackageLimits& limits,
              SheetData& sheet) {
  sheet.Clear();  // the sheet holds this file's values alone
  Status read = opened.ok() ? ReadPackage(*zip, limits, sheet) : std::move(opened);
  if (!read.ok()) sheet.Clear();
  return read;
}

}  // namespace

Status ReadXlsxSheetWithLimits(const std::string& path, SheetData& sheet,
                                        const PackageLimits& limits) {
  std::optional<ZipPackage> zip;
  Status opened = ZipPackage::OpenFile(path, zip);
  return Finish(zip, std::move(opened), limits, sheet);
}

Status ReadXlsxBytes(std::span<const uint8_t> bytes, SheetData& sheet,
                              const PackageLimits& limits) {
  std::optional<ZipPackage> zip;
  Status opened = ZipPackage::OpenBytes(bytes, zip);
  return Finish(zip, std::move(opened), limits, sheet);
}

Status ReadXlsxSheet(const std::string& path, SheetData& sheet) {
  return ReadXlsxSheetWithLimits(path, sheet, PackageLimits{});
}

}  // namespace tabrelium
