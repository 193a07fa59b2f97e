// ReadXlsxSheet: the package's parts read in the order the cells need
// them: where things are, the date formats, the shared strings, then the
// first worksheet's cells.
#include "data/sheet_data.h"
#include "data/xlsx_package.h"
#include "data/xlsx_reader_internal.h"
#include "data/xlsx_shared_strings.h"
#include "data/xlsx_sheet_parser.h"
#include "data/xlsx_styles.h"
#include "data/xlsx_zip.h"

namespace tabrelium {
namespace {

std::string ReadPackage(XlsxZip& zip, const XlsxLimits& limits, SheetData& sheet) {
  XlsxPackageParts parts;
  if (std::string error = FindPackageParts(zip, limits, parts); !error.empty()) return error;

  // A workbook without a styles or shared strings part has plain numbers
  // and no shared strings; a cell that needs one then fails on its own.
  std::vector<XlsxDateKind> dateKinds;
  if (!parts.styles.empty() && zip.Has(parts.styles)) {
    if (std::string error = ReadCellDateKinds(zip, parts.styles, limits, dateKinds);
        !error.empty())
      return error;
  }
  SharedStrings strings;
  if (!parts.sharedStrings.empty() && zip.Has(parts.sharedStrings)) {
    if (std::string error = strings.Read(zip, parts.sharedStrings, limits); !error.empty())
      return error;
  }
  const WorksheetContext context{strings, dateKinds, parts.date1904};
  return ReadWorksheetCells(zip, parts.worksheet, context, limits, sheet);
}

SheetReadResult Finish(std::optional<XlsxZip> zip, std::string error, const XlsxLimits& limits,
                       SheetData& sheet) {
  if (zip) error = ReadPackage(*zip, limits, sheet);
  if (error.empty()) return {};
  sheet.Clear();
  return SheetReadResult::Failure(std::move(error));
}

}  // namespace

SheetReadResult ReadXlsxSheetWithLimits(const std::string& path, SheetData& sheet,
                                        const XlsxLimits& limits) {
  std::string error;
  auto zip = XlsxZip::OpenFile(path, error);
  return Finish(std::move(zip), std::move(error), limits, sheet);
}

SheetReadResult ReadXlsxBytes(std::span<const uint8_t> bytes, SheetData& sheet,
                              const XlsxLimits& limits) {
  std::string error;
  auto zip = XlsxZip::OpenBytes(bytes, error);
  return Finish(std::move(zip), std::move(error), limits, sheet);
}

SheetReadResult ReadXlsxSheet(const std::string& path, SheetData& sheet) {
  return ReadXlsxSheetWithLimits(path, sheet, XlsxLimits{});
}

}  // namespace tabrelium
