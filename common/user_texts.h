// Every text Tabrelium shows its users, in UTF-8, for both front ends: the
// window puts them in its boxes and labels, tabrelium-cli on the terminal.
// Each is an English phrase followed by the same phrase in Chinese in
// parentheses. The facts come in as plain values (counts, limits, Status,
// the device layer's OpenFailure and DownloadOutcome); where a text goes is
// the front end's choice.
//
// Thread-safety: constants and pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/download_facts.h"
#include "common/regular_file.h"
#include "common/status.h"

namespace tabrelium::texts {

inline constexpr std::string_view kInvalidDataFile = "Invalid data file(无效数据文件)";
inline constexpr std::string_view kConfigurationError = "Configuration error(请检查配置信息)";
inline constexpr std::string_view kImageTooLarge =
    "Generate data files larger than 16M(生成数据文件大于16M)";
inline constexpr std::string_view kSelectDataFileFirst =
    "Please select the data file first(请先选择数据文件)";
inline constexpr std::string_view kConnectionFailed = "Connection failed(连接失败)";
inline constexpr std::string_view kErrorCaption = "Error(错误)";
inline constexpr std::string_view kDownloadFailed = "Downdload failed(下载失败)";
inline constexpr std::string_view kStartDownload = "Startup download(启动下载)";
inline constexpr std::string_view kStopDownload = "Stop download(停止下载)";

// The progress label: " 0%" once connected, "33.3%" for tenths of a
// percent of the blocks asked for, and what the device reported at the end:
// "100%" for kCompleted, kDownloadFailed for kFailed (empty for the rest).
inline constexpr std::string_view kProgressAtStart = " 0%";
std::string ProgressText(uint32_t tenths);
std::string_view DeviceReportText(DownloadOutcome reported);

// The second lines of the configuration error: which grid row is at fault
// and why (`row` 1-based, as the grid numbers them), or that no row has a
// display name.
std::string NoFieldText();
std::string ColumnBeyondDataText(int row, int column, int columns);
std::string DisplayRowsOutOfRangeText(int row, int rows, int maxRows);
// kConfigurationError with one of the lines above under it.
std::string ConfigurationErrorText(std::string_view why);
// kImageTooLarge with the table's size under it, how many records of this
// record length would fit, and what to do.
std::string ImageTooLargeText(int64_t imageBytes, int64_t records, int64_t recordsThatFit,
                              int64_t maxBytes);
// kInvalidDataFile for a file of a type that is not read, with the types that are.
std::string UnreadTypeText(std::string_view extension);

// The progress label after a download, until the next action: a completed
// download's records, size and time of day; any other ending in the words
// of DownloadEndingText, or kConnectionFailed.
std::string DownloadCompletedText(int64_t records, int64_t kilobytes, int hour, int minute);
std::string DownloadEndingLabelText(DownloadOutcome outcome);

// Why a data file could not be loaded: the text of an error value in a
// cell as it stands, anything else as kInvalidDataFile with the reader's
// reason on a line of its own.
std::string LoadFailureText(const Status& failure);
// "Cell B3 holds the error value #N/A(单元格B3含有错误值#N/A)".
std::string ErrorValueText(std::string_view cell, std::string_view value);
// A path refused before it was read, for what it names instead of a file:
// "d.csv is not a regular file (a FIFO)(d.csv不是普通文件(命名管道))".
std::string NotRegularFileText(std::string_view path, FileKind kind);

// What a load, a cut or a table image dropped without failing.
std::string SheetColumnsDroppedText(uint32_t columnsKept);
std::string SheetRowsDroppedText(uint32_t rowsKept);
std::string SheetTextLimitText();
std::string UnmappableText(uint64_t characters);
std::string TextTruncatedText();
// A NUL byte ended the data in line `line` (or in a sheet's cell `cell`);
// `linesAfter` lines (rows) after it were not read.
std::string NulText(int64_t line, int64_t linesAfter);
std::string SheetNulText(std::string_view cell, int64_t rowsAfter);
std::string CellsCutText(int64_t cells, int maxBytes, int32_t firstRow, int32_t firstColumn);
std::string FieldsDroppedText(int64_t lines, int fieldsKept);
std::string ImageRowsDroppedText(int64_t rows);

// The configuration file could not be saved, and the system's reason.
std::string ConfigurationNotSavedText(std::string_view reason);

// The device: the line after kConnectionFailed (for a permission failure,
// how to fix it), the troubles a download can meet, and how it ended.
std::string OpenFailureText(OpenFailure why, std::string_view devicePath);
std::string CapacityTooSmallText(uint32_t capacity, uint32_t needed);
std::string DeviceDisconnectedText();
// For an ending that is not a success: kFailed, kEnded, kCapacityRefused,
// kDisconnected, kStopped, kDeviceSilent; empty for kCompleted and
// kConnectionFailed.
std::string DownloadEndingText(DownloadOutcome outcome);
// The progress label while the device says nothing.
std::string DeviceNotAnsweringText();
// The end of a download the device's silence ended: for how long it said
// nothing, and, when every block was served, that it may hold the table.
std::string DeviceSilentText(int64_t seconds, bool everyBlockServed);
// "Time left(剩余时间): 2:05".
std::string TimeLeftText(int64_t seconds);
std::string ThreadStartFailedText(int errorNumber);

// The status line under the window's data list: what the last load and cut
// made of the file, e.g. "3,000 records · 4 columns · 1 heading line skipped
// · separator , · GBK(3,000条记录 · 4列 · 跳过1行标题 · 分隔符 , · GBK)".
struct DataStatusFacts {
  int64_t records = 0;
  int64_t columns = 0;
  int64_t headingLinesSkipped = 0;
  std::string_view separatorName;  // UTF-8
  std::string_view encodingName;   // of a text file; unused for a worksheet
  bool fromWorksheet = false;
  bool somethingDropped = false;  // the load told of losses
};
std::string DataStatusText(const DataStatusFacts& facts);

// The About box's lines, and the Help box's text (the configuration file's
// path filled in).
inline constexpr std::string_view kAboutDescription =
    "Prepares product tables for a handheld USB display device(为手持USB显示设备准备商品表)";
inline constexpr std::string_view kAboutLicence = "Licence: see the README(许可证:见README)";
std::string AboutVersionText(std::string_view version);
std::string HelpText(std::string_view configPath);

}  // namespace tabrelium::texts

// Devices, several at once (user_texts_devices.cpp).
namespace tabrelium::texts {

// "No device(未连接设备)", "1 device(1 台设备)", "3 devices(3 台设备)".
std::string DeviceCountText(size_t count);
// The count beside Startup download; when some of them may not be opened
// by this user, that is said too (the fix goes in OpenFailureText).
std::string DeviceCountLabelText(size_t count, size_t notPermitted);
// Whether this user may open a listed device, in a few words.
std::string DeviceAccessText(OpenFailure access);
// A download's ending in a few words, for one device's line in a summary
// or the window's list: "Completed(完成)", "Stopped(已停止)", ...
std::string DownloadOutcomeShortText(DownloadOutcome outcome);
// The window's label after several devices, not all of which completed:
// "Completed on 2 of 3 devices(3 台设备中 2 台完成)".
std::string DevicesCompletedText(size_t completed, size_t devices);
// A device's last ending in the window's list: the short text and when
// ("2026-12-10T19:05:02+0800" shown as "12-10 19:05").
std::string LastEndingText(DownloadOutcome outcome, std::string_view logTime);
// The download log could not be written, and the system's reason.
std::string DownloadLogNotWrittenText(std::string_view reason);

}  // namespace tabrelium::texts
