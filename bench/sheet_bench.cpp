// Loading spreadsheets and Unicode text into the cell table, as tabrelium-cli
// does before any command.
//
//   sheet_bench generate DIR    writes xlsx_100k_3.xlsx, xlsx_100k_32.xlsx
//                               (libxlsxwriter), dbf_100k.dbf (shapelib),
//                               utf8_64mib.csv and ods_100k_3.csv (the
//                               xlsx_100k_3 values, for LibreOffice to save
//                               as ods_100k_3.ods) into DIR
//   sheet_bench load FILE [N]   loads FILE N times (default 5) and prints the
//                               median, the text produced, and peak memory
#include <shapefil.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "data/session.h"

namespace {

using namespace tabrelium;

std::string Name(uint32_t i) {
  // Two to twelve common Chinese characters, as UTF-8.
  static const char* kChars[] = {"农", "夫", "山", "泉", "康", "师", "傅", "面", "牛", "奶",
                                 "茶", "饼", "干", "米", "油", "酱"};
  std::string s;
  for (uint32_t n = 2 + i % 11, x = i; n > 0; --n, x = x * 2654435761u + 1) s += kChars[x % 16];
  return s;
}

void WriteXlsx(const std::string& path, uint32_t rows, uint32_t columns) {
  lxw_workbook* book = workbook_new(path.c_str());
  lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);
  for (uint32_t c = 0; c < columns; ++c)
    worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), ("col" + std::to_string(c)).c_str(), nullptr);
  for (uint32_t r = 1; r <= rows; ++r) {
    worksheet_write_number(sheet, r, 0, 6900000000000.0 + r, nullptr);
    if (columns > 1) worksheet_write_string(sheet, r, 1, Name(r).c_str(), nullptr);
    for (uint32_t c = 2; c < columns; ++c)
      worksheet_write_number(sheet, r, static_cast<lxw_col_t>(c), (r % 1000) / 4.0 + c, nullptr);
  }
  workbook_close(book);
}

void WriteDbf(const std::string& path, uint32_t rows) {
  DBFHandle dbf = DBFCreateEx(path.c_str(), "UTF-8");
  DBFAddField(dbf, "CODE", FTString, 13, 0);
  DBFAddField(dbf, "NAME", FTString, 36, 0);
  DBFAddField(dbf, "PRICE", FTDouble, 10, 2);
  for (uint32_t r = 0; r < rows; ++r) {
    DBFWriteStringAttribute(dbf, static_cast<int>(r), 0, std::to_string(6900000000000LL + r).c_str());
    DBFWriteStringAttribute(dbf, static_cast<int>(r), 1, Name(r).c_str());
    DBFWriteDoubleAttribute(dbf, static_cast<int>(r), 2, (r % 1000) / 4.0);
  }
  DBFClose(dbf);
}

void WriteUtf8Csv(const std::string& path, size_t bytes) {
  std::ofstream out(path, std::ios::binary);
  std::string line;
  size_t written = 0;
  out << "条码,名称,价格,库存\r\n";
  for (uint32_t r = 0;; ++r) {
    line = std::to_string(6900000000000LL + r) + "," + Name(r) + "," + std::to_string(r % 997) +
           ".50," + std::to_string(r % 89) + "\r\n";
    if (written + line.size() > bytes) break;
    out << line;
    written += line.size();
  }
}

// The values of WriteXlsx(rows, 3) as UTF-8 CSV; LibreOffice (run.sh)
// turns it into an OpenDocument spreadsheet.
void WriteCsvForOds(const std::string& path, uint32_t rows) {
  std::ofstream out(path, std::ios::binary);
  out << "col0,col1,col2\n";
  char price[32];
  for (uint32_t r = 1; r <= rows; ++r) {
    std::snprintf(price, sizeof price, "%g", (r % 1000) / 4.0 + 2);
    out << 6900000000000LL + r << ',' << Name(r) << ',' << price << '\n';
  }
}

long PeakKib() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmHWM:") {
      status >> value;
      return value;
    }
    status.ignore(1 << 10, '\n');
  }
  return 0;
}

int Load(const std::string& path, int runs) {
  std::vector<double> ms;
  int32_t textLength = 0, rows = 0;
  for (int i = 0; i < runs; ++i) {
    Session session;
    const auto start = std::chrono::steady_clock::now();
    if (Status loaded = session.LoadDataFile(path); !loaded.ok()) {
      std::fprintf(stderr, "load failed: %s\n", loaded.message().c_str());
      return 1;
    }
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    textLength = session.Text().textLength;
    rows = session.Cells().rowCount;
  }
  std::sort(ms.begin(), ms.end());
  const double textMib = textLength / 1048576.0;
  const double peakMib = PeakKib() / 1024.0;
  std::printf("%s: median %.0f ms over %d runs; %d rows, text %.1f MiB; peak %.1f MiB = %.2f x text + 64 MiB? %s\n",
              path.substr(path.find_last_of('/') + 1).c_str(), ms[ms.size() / 2], runs, rows, textMib,
              peakMib, (peakMib - 64) / std::max(textMib, 0.001),
              peakMib <= 4 * textMib + 64 ? "within" : "OVER");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "generate" && argc == 3) {
    const std::string dir = argv[2];
    WriteXlsx(dir + "/xlsx_100k_3.xlsx", 100000, 3);
    WriteXlsx(dir + "/xlsx_100k_32.xlsx", 100000, 32);
    WriteDbf(dir + "/dbf_100k.dbf", 100000);
    WriteUtf8Csv(dir + "/utf8_64mib.csv", size_t{64} << 20);
    WriteCsvForOds(dir + "/ods_100k_3.csv", 100000);
    return 0;
  }
  if (command == "load" && argc >= 3) return Load(argv[2], argc > 3 ? std::atoi(argv[3]) : 5);
  std::fprintf(stderr, "usage: sheet_bench generate DIR | sheet_bench load FILE [RUNS]\n");
  return 2;
}
