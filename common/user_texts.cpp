#include "common/user_texts.h"

#include <algorithm>
#include <cstdio>

namespace tabrelium::texts {
namespace {

// printf into a std::string; every text here is short.
template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[512];
  const int length = std::snprintf(text, sizeof text, format, args...);
  return std::string(text, length > 0 ? std::min<size_t>(length, sizeof text - 1) : 0);
}

std::string Text(std::string_view text) { return std::string(text); }

// Where the install put the device's udev rule (the build says; the
// default is where udev reads an administrator's rules), and the one
// command that makes udev apply it to a device already plugged in.
#ifndef TABRELIUM_UDEV_RULE
#define TABRELIUM_UDEV_RULE "/etc/udev/rules.d/70-tabrelium.rules"
#endif
constexpr const char* kUdevRulePath = TABRELIUM_UDEV_RULE;
constexpr const char* kUdevRuleCommand = "sudo udevadm control --reload && sudo udevadm trigger";

}  // namespace

std::string ProgressText(uint32_t tenths) { return Format("%u.%u%%", tenths / 10, tenths % 10); }

std::string_view DeviceReportText(DownloadOutcome reported) {
  switch (reported) {
    case DownloadOutcome::kCompleted: return "100%";
    case DownloadOutcome::kFailed: return kDownloadFailed;
    default: return {};
  }
}

std::string LoadFailureText(const Status& failure) {
  if (failure.code() == Status::Code::kErrorValue) return failure.message();
  std::string text(kInvalidDataFile);
  // The reader's own words say which part of the file is at fault.
  if (!failure.message().empty()) text += "\n" + failure.message();
  return text;
}

std::string NoFieldText() {
  return Text(
      "No row of the grid has a display name: give at least one row a name"
      "(配置表中没有一行有显示名称:请至少给一行填写名称)");
}

std::string ColumnBeyondDataText(int row, int column, int columns) {
  return Format(
      "row %d: column %d, but the file has %d column(s); choose a column from 1 to %d, or "
      "check the separator(第%d行:第%d列,但文件只有%d列;请选择1到%d列,或检查分隔符号)",
      row, column, columns, columns, row, column, columns, columns);
}

std::string DisplayRowsOutOfRangeText(int row, int rows, int maxRows) {
  return Format(
      "row %d: %d display rows; a field shows on 1 to %d rows"
      "(第%d行:显示行数%d;每个字段显示1到%d行)",
      row, rows, maxRows, row, rows, maxRows);
}

std::string ConfigurationErrorText(std::string_view why) {
  return std::string(kConfigurationError) + "\n" + std::string(why);
}

std::string ImageTooLargeText(int64_t imageBytes, int64_t records, int64_t recordsThatFit,
                              int64_t maxBytes) {
  const auto size = static_cast<long long>(imageBytes), n = static_cast<long long>(records),
             fit = static_cast<long long>(recordsThatFit), max = static_cast<long long>(maxBytes);
  return std::string(kImageTooLarge) + "\n" +
         Format(
             "The table of %lld records is %lld bytes; the device takes %lld bytes, about %lld "
             "records with these fields. Use fewer or shorter fields, or a file with fewer "
             "records(%lld条记录的表格为%lld字节;设备最多%lld字节,按这些字段约%lld条记录。"
             "请减少字段或显示行数,或使用记录更少的文件)",
             n, size, max, fit, n, size, max, fit);
}

std::string UnreadTypeText(std::string_view extension) {
  const std::string ext = extension.empty() ? "(none)" : "." + std::string(extension);
  const std::string chineseExt = extension.empty() ? "(无)" : "." + std::string(extension);
  return std::string(kInvalidDataFile) + "\n" + "Files of type " + ext +
         " are not read; the data file must be txt, csv, xls, xlsx, ods or dbf(不能读取" +
         chineseExt + "类型的文件;数据文件须为txt、csv、xls、xlsx、ods或dbf)";
}

std::string DownloadCompletedText(int64_t records, int64_t kilobytes, int hour, int minute) {
  const auto n = static_cast<long long>(records), kb = static_cast<long long>(kilobytes);
  return Format("Completed: %lld records, %lld KB, at %02d:%02d(下载完成:%lld条记录,%lld KB,%02d:%02d)",
                n, kb, hour, minute, n, kb, hour, minute);
}

std::string DownloadEndingLabelText(DownloadOutcome outcome) {
  if (outcome == DownloadOutcome::kConnectionFailed) return Text(kConnectionFailed);
  if (outcome == DownloadOutcome::kStopped)
    return Text("Stopped: the device did not get the whole table(已停止:设备没有收到完整表格)");
  return DownloadEndingText(outcome);
}

std::string ErrorValueText(std::string_view cell, std::string_view value) {
  const std::string c(cell), v(value);
  return Format("Cell %s holds the error value %s(单元格%s含有错误值%s)", c.c_str(), v.c_str(),
                c.c_str(), v.c_str());
}

std::string NotRegularFileText(std::string_view path, FileKind kind) {
  struct Words {
    std::string_view english, chinese;
  };
  const Words words = [kind]() -> Words {
    switch (kind) {
      case FileKind::kFolder: return {"a folder", "文件夹"};
      case FileKind::kFifo: return {"a FIFO", "命名管道"};
      case FileKind::kCharacterDevice: return {"a character device", "字符设备"};
      case FileKind::kBlockDevice: return {"a block device", "块设备"};
      case FileKind::kSocket: return {"a socket", "套接字"};
      default: return {"a file of another kind", "其他类型的文件"};
    }
  }();
  // Concatenated, not formatted: a path has no length limit.
  const std::string p(path);
  return p + " is not a regular file (" + std::string(words.english) + ")(" + p + "不是普通文件(" +
         std::string(words.chinese) + "))";
}

std::string SheetColumnsDroppedText(uint32_t columnsKept) {
  return Format(
      "The worksheet has more than %u columns; only the first %u were read"
      "(工作表超过%u列,只读取了前%u列)",
      columnsKept, columnsKept, columnsKept, columnsKept);
}

std::string SheetRowsDroppedText(uint32_t rowsKept) {
  return Format(
      "The worksheet has more than %u rows; only the first %u were read"
      "(工作表超过%u行,只读取了前%u行)",
      rowsKept, rowsKept, rowsKept, rowsKept);
}

std::string SheetTextLimitText() {
  return Text(
      "The worksheet's text reached 64 MB; the rows after it were not read"
      "(工作表文本达到64MB,其后的行未读取)");
}

std::string UnmappableText(uint64_t characters) {
  const auto n = static_cast<unsigned long long>(characters);
  return Format(
      "%llu character(s) have no GBK form and were replaced by '?'"
      "(%llu个字符没有GBK编码,已替换为'?')",
      n, n);
}

std::string TextTruncatedText() {
  return Text(
      "The data file's text is larger than 64 MB; only the first 64 MB were loaded"
      "(数据文件文本大于64MB,只读取了前64MB)");
}

std::string NulText(int64_t line, int64_t linesAfter) {
  const auto l = static_cast<long long>(line), n = static_cast<long long>(linesAfter);
  return Format(
      "A NUL byte in line %lld ends the data: the rest of that line and the %lld line(s) after "
      "it were not read(第%lld行的NUL字节结束了数据,该行其余部分及之后的%lld行未读取)",
      l, n, l, n);
}

std::string SheetNulText(std::string_view cell, int64_t rowsAfter) {
  const std::string name(cell);
  const auto n = static_cast<long long>(rowsAfter);
  return Format(
      "Cell %s holds a NUL byte, which ends the data: the rest of its row and the %lld row(s) "
      "after it were not read(单元格%s含有NUL字节,数据到此结束,该行其余部分及之后的%lld行未读取)",
      name.c_str(), n, name.c_str(), n);
}

std::string CellsCutText(int64_t cells, int maxBytes, int32_t firstRow, int32_t firstColumn) {
  const auto n = static_cast<long long>(cells);
  return Format(
      "%lld cell(s) longer than %d bytes were cut, the first at row %d, column %d"
      "(%lld个单元格超过%d字节已被截断,第一个在第%d行第%d列)",
      n, maxBytes, firstRow, firstColumn, n, maxBytes, firstRow, firstColumn);
}

std::string FieldsDroppedText(int64_t lines, int fieldsKept) {
  const auto n = static_cast<long long>(lines);
  return Format(
      "%lld line(s) have more than %d fields; the fields after the %dth were dropped"
      "(%lld行超过%d个字段,第%d个之后的字段已舍弃)",
      n, fieldsKept, fieldsKept, n, fieldsKept, fieldsKept);
}

std::string ImageRowsDroppedText(int64_t rows) {
  const auto n = static_cast<long long>(rows);
  return Format(
      "%lld row(s) did not fit in the table and were left out(%lld行超出表格容量,未写入)", n, n);
}

std::string OpenFailureText(OpenFailure why, std::string_view devicePath) {
  const std::string node(devicePath);
  switch (why) {
    case OpenFailure::kNoDevice:
      return Text(
          "No device is connected (vendor id 2018, product id 0101)"
          "(没有连接设备(厂商号2018,产品号0101))");
    case OpenFailure::kAccessDenied:
      return Format(
          "The device %s is connected, but this user may not open it. An administrator "
          "makes the rule installed with the program (%s) take effect with: %s — then "
          "unplug the device and plug it in again"
          "(设备%s已连接,但当前用户无权打开。请管理员执行以下命令使随程序安装的规则(%s)生效:%s,"
          "然后重新插拔设备)",
          node.c_str(), kUdevRulePath, kUdevRuleCommand, node.c_str(), kUdevRulePath,
          kUdevRuleCommand);
    case OpenFailure::kBusy:
      return Format(
          "The device %s is connected, but could not be opened; another program may be "
          "using it(设备%s已连接,但无法打开,可能正被其他程序使用)",
          node.c_str(), node.c_str());
    case OpenFailure::kLibrary:
      return Text("The HID library could not start(HID库无法启动)");
    case OpenFailure::kNone:
      break;
  }
  return {};
}

std::string CapacityTooSmallText(uint32_t capacity, uint32_t needed) {
  return Format(
      "The device has too little room: %u bytes for a table of %u bytes"
      "(设备空间不足:%u字节,表格需要%u字节)",
      capacity, needed, capacity, needed);
}

std::string ConfigurationNotSavedText(std::string_view reason) {
  return "The configuration could not be saved(配置无法保存)\n" + std::string(reason);
}

std::string DeviceDisconnectedText() {
  return Text("The device was disconnected during the download(下载过程中设备已断开)");
}

std::string DownloadEndingText(DownloadOutcome outcome) {
  switch (outcome) {
    case DownloadOutcome::kFailed:
      return Text(kDownloadFailed);
    case DownloadOutcome::kEnded:
      return Text(
          "The device ended the download without reporting it complete"
          "(设备结束了下载,但没有报告完成)");
    case DownloadOutcome::kCapacityRefused:
      return Text("The device refused the table: it has too little room(设备空间不足,拒绝了表格)");
    case DownloadOutcome::kDisconnected:
      return DeviceDisconnectedText();
    case DownloadOutcome::kStopped:
      return Text(
          "The download was stopped before the device reported it complete"
          "(下载在设备报告完成之前已停止)");
    case DownloadOutcome::kDeviceSilent:
      return Text("The device stopped answering(设备停止应答)");
    case DownloadOutcome::kCompleted:
    case DownloadOutcome::kConnectionFailed:
      break;
  }
  return {};
}

std::string DeviceNotAnsweringText() { return Text("Device not answering(设备无应答)"); }

std::string DeviceSilentText(int64_t seconds, bool everyBlockServed) {
  std::string text = "The device stopped answering: nothing for " + std::to_string(seconds) +
                     " s(设备停止应答:" + std::to_string(seconds) + "秒没有回应)";
  if (everyBlockServed)
    text += "; every block was sent, so the device may hold the table, but it did not confirm it"
            "(所有数据块已发送,设备可能已有表格,但没有确认)";
  return text;
}

std::string TimeLeftText(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  return Format("Time left(剩余时间): %lld:%02lld", static_cast<long long>(seconds / 60),
                static_cast<long long>(seconds % 60));
}

std::string ThreadStartFailedText(int errorNumber) {
  return Format("Create a download thread failure, error number(创建下载线程失败,错误号) %d ",
                errorNumber);
}

}  // namespace tabrelium::texts

namespace tabrelium::texts {
namespace {

// "3,000": counts of records are read at a glance.
std::string Grouped(int64_t number) {
  const std::string digits = std::to_string(number < 0 ? -number : number);
  std::string grouped;
  if (number < 0) grouped.push_back('-');
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped.push_back(',');
    grouped.push_back(digits[i]);
  }
  return grouped;
}

}  // namespace

std::string DataStatusText(const DataStatusFacts& facts) {
  const std::string records = Grouped(facts.records);
  const std::string columns = Grouped(facts.columns);
  const std::string skipped = Grouped(facts.headingLinesSkipped);
  const std::string separator(facts.separatorName);
  const std::string source = facts.fromWorksheet ? "worksheet" : std::string(facts.encodingName);
  const std::string chineseSource = facts.fromWorksheet ? "工作表" : source;

  std::string english = records + (facts.records == 1 ? " record · " : " records · ") + columns +
                        (facts.columns == 1 ? " column · " : " columns · ");
  std::string chinese = records + "条记录 · " + columns + "列 · ";
  if (facts.headingLinesSkipped == 0) {
    english += "no heading line skipped";
    chinese += "不跳过标题行";
  } else {
    english += skipped + (facts.headingLinesSkipped == 1 ? " heading line skipped"
                                                         : " heading lines skipped");
    chinese += "跳过" + skipped + "行标题";
  }
  english += " · separator " + separator + " · " + source;
  chinese += " · 分隔符 " + separator + " · " + chineseSource;
  if (facts.somethingDropped) {
    english += " · not everything was loaded (see the warning)";
    chinese += " · 未全部载入,见警告";
  }
  return english + "(" + chinese + ")";
}

std::string AboutVersionText(std::string_view version) {
  return "Version(版本) " + std::string(version);
}

std::string HelpText(std::string_view configPath) {
  return "1. Browse..(浏览..): choose the data file (txt, csv, xls, xlsx, ods, dbf), or drop it "
         "on the window(选择数据文件,或把它拖到窗口上).\n"
         "2. Config(配置): check the fields: display name, column, display lines"
         "(检查字段:显示名称、列号、显示行数).\n"
         "3. Select a record in the list and check the preview on the right; "
         "Refresh display(刷新显示) applies the grid(选择一条记录,检查右边的预览).\n"
         "4. Startup download(启动下载): plug in the device and download the table"
         "(接上设备,下载表格).\n\n"
         "The configuration is kept in(配置文件位于):\n" +
         std::string(configPath) +
         "\n\n"
         "When the download says Connection failed(连接失败) because the device may not be "
         "opened, the device rule installed with Tabrelium lets users open it"
         "(若设备无法打开,随Tabrelium安装的设备规则允许用户打开它):\n" +
         std::string(kUdevRulePath) + "\n" + kUdevRuleCommand +
         "\nthen unplug the device and plug it in again(然后重新插拔设备).";
}

}  // namespace tabrelium::texts
