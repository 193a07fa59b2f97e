#include "app/window_texts.h"

#include "common/messages.h"
#include "data/cell_table.h"
#include "data/spreadsheet_loader.h"
#include "data/text_buffer.h"
#include "device/report_link.h"

namespace tabrelium {

QStringList DescribeLoadLosses(const TextBuffer& buffer, const CellTable& cells,
                               const SpreadsheetReport* sheet) {
  QStringList losses;
  if (sheet != nullptr) {
    if (sheet->droppedColumns > 0)
      losses << QStringLiteral(
                    "The worksheet has more than %1 columns; only the first %1 were read"
                    "(工作表超过%1列,只读取了前%1列)")
                    .arg(kMaxSheetColumns);
    if (sheet->droppedRows > 0)
      losses << QStringLiteral(
                    "The worksheet has more than %1 rows; only the first %1 were read"
                    "(工作表超过%1行,只读取了前%1行)")
                    .arg(kMaxSheetRows);
    if (sheet->stoppedAtTextLimit)
      losses << QStringLiteral(
          "The worksheet's text reached 64 MB; the rows after it were not read"
          "(工作表文本达到64MB,其后的行未读取)");
  }
  const size_t unmappable = buffer.unmappable + (sheet != nullptr ? sheet->unmappable : 0);
  if (unmappable > 0)
    losses << QStringLiteral(
                  "%1 character(s) have no GBK form and were replaced by '?'"
                  "(%1个字符没有GBK编码,已替换为'?')")
                  .arg(unmappable);
  if (buffer.WasTruncated())
    losses << QStringLiteral(
        "The data file's text is larger than 64 MB; only the first 64 MB were loaded"
        "(数据文件文本大于64MB,只读取了前64MB)");
  const CutReport& cut = cells.report;
  if (cut.cutCells > 0)
    losses << QStringLiteral(
                  "%1 cell(s) longer than %2 bytes were cut, the first at row %3, column %4"
                  "(%1个单元格超过%2字节已被截断,第一个在第%3行第%4列)")
                  .arg(cut.cutCells)
                  .arg(kMaxCellBytes)
                  .arg(cut.firstCutRow)
                  .arg(cut.firstCutColumn);
  if (cut.linesOverMaxColumns > 0)
    losses << QStringLiteral(
                  "%1 line(s) have more than %2 fields; the fields after the %2th were dropped"
                  "(%1行超过%2个字段,第%2个之后的字段已舍弃)")
                  .arg(cut.linesOverMaxColumns)
                  .arg(kMaxColumns);
  return losses;
}

QString DescribeDroppedImageRows(int64_t rows) {
  return QStringLiteral(
             "%1 row(s) did not fit in the table and were left out"
             "(%1行超出表格容量,未写入)")
      .arg(rows);
}

QString DescribeSpreadsheetFailure(const SpreadsheetReport& report, bool& stop) {
  stop = !report.errorCell.empty();
  if (stop)
    return QStringLiteral("Cell %1 holds the error value %2(单元格%1含有错误值%2)")
        .arg(QString::fromStdString(report.errorCell), QString::fromStdString(report.errorValue));
  QString text = QString::fromUtf8(messages::kInvalidDataFile.data(),
                                   static_cast<qsizetype>(messages::kInvalidDataFile.size()));
  // The reader's own words say which part of the file is at fault.
  if (!report.error.empty()) text += QStringLiteral("\n") + QString::fromStdString(report.error);
  return text;
}

QString DescribeOpenFailure(const OpenResult& why) {
  const QString node = QString::fromStdString(why.devicePath);
  switch (why.failure) {
    case OpenFailure::kNoDevice:
      return QStringLiteral(
          "No device is connected (vendor id 2018, product id 0101)"
          "(没有连接设备(厂商号2018,产品号0101))");
    case OpenFailure::kAccessDenied:
      return QStringLiteral(
                 "The device %1 is connected, but this user may not open it. Install the udev "
                 "rule 70-tabrelium.rules (sudo cmake --install build, or copy it to "
                 "/etc/udev/rules.d and run sudo udevadm control --reload), then unplug the "
                 "device and plug it in again"
                 "(设备%1已连接,但当前用户无权打开。请安装udev规则70-tabrelium.rules,"
                 "然后重新插拔设备)")
          .arg(node);
    case OpenFailure::kBusy:
      return QStringLiteral(
                 "The device %1 is connected, but could not be opened; another program may be "
                 "using it(设备%1已连接,但无法打开,可能正被其他程序使用)")
          .arg(node);
    case OpenFailure::kLibrary:
      return QStringLiteral("The HID library could not start(HID库无法启动)");
    case OpenFailure::kNone:
      break;
  }
  return {};
}

QString DescribeCapacityTooSmall(uint32_t capacity, uint32_t needed) {
  return QStringLiteral(
             "The device has too little room: %1 bytes for a table of %2 bytes"
             "(设备空间不足:%1字节,表格需要%2字节)")
      .arg(capacity)
      .arg(needed);
}

QString DescribeDeviceDisconnected() {
  return QStringLiteral(
      "The device was disconnected during the download(下载过程中设备已断开)");
}

QString DescribeTimeLeft(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  return QStringLiteral("Time left(剩余时间): %1:%2")
      .arg(seconds / 60)
      .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace tabrelium
