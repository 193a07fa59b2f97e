// The window's texts that the old program never showed: what a load or a
// build silently dropped, why a download could not start or ended early,
// and the time left. Each is an English phrase followed by the same phrase
// in Chinese in parentheses, as every message of the window is.
//
// Thread-safety: plain functions, callable from any thread.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace tabrelium {

struct TextBuffer;
struct CellTable;
struct SpreadsheetReport;
struct OpenResult;

// What the last load and cut dropped, one text per kind of loss; empty when
// nothing was lost. `sheet` is null for a text file.
QStringList DescribeLoadLosses(const TextBuffer& buffer, const CellTable& cells,
                               const SpreadsheetReport* sheet);

// Rows the table image had no room for.
QString DescribeDroppedImageRows(int64_t rows);

// Why a spreadsheet could not be loaded. `stop` tells that the file itself
// is at fault (an error value in a cell), which is shown with a stop icon.
QString DescribeSpreadsheetFailure(const SpreadsheetReport& report, bool& stop);

// The second part of "Connection failed(连接失败)": which kind of failure,
// and for a permission failure how to fix it.
QString DescribeOpenFailure(const OpenResult& why);

QString DescribeCapacityTooSmall(uint32_t capacity, uint32_t needed);
QString DescribeDeviceDisconnected();

// "Time left(剩余时间): 2:05" for a number of seconds.
QString DescribeTimeLeft(int64_t seconds);

}  // namespace tabrelium
