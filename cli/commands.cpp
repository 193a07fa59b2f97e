#include "cli/commands.h"

#include <cstdio>
#include <string>

#include "cli/escape.h"
#include "config/config_file.h"

namespace tabrelium::cli {
namespace {

// Collects output and writes it in large pieces; stdout is the bottleneck
// for a table of a million rows.
class Output {
 public:
  ~Output() { Flush(); }
  std::string& buffer() { return buffer_; }
  void LineDone() {
    buffer_ += '\n';
    if (buffer_.size() >= (1 << 20)) Flush();
  }
  void Flush() {
    std::fwrite(buffer_.data(), 1, buffer_.size(), stdout);
    buffer_.clear();
  }

 private:
  std::string buffer_;
};

bool WriteFile(const std::string& path, std::span<const uint8_t> bytes) {
  std::FILE* file = path == "-" ? stdout : std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fflush(file) == 0 && ok;
  if (file != stdout) {
    ok = std::fclose(file) == 0 && ok;
    if (!ok) std::remove(path.c_str());
  }
  return ok;
}

}  // namespace

int Report(const Failure& failure) {
  std::fprintf(stderr, "tabrelium-cli: %s\n", failure.message.c_str());
  if (failure.status == 2) std::fprintf(stderr, "Try 'tabrelium-cli help'.\n");
  return failure.status;
}

int RunCells(const Options& options, Session& session) {
  if (auto failure = PrepareData(options, session)) return Report(*failure);
  const TextEncoding encoding = session.Text().encoding;
  if (!session.FromSpreadsheet())
    std::fprintf(stderr, "tabrelium-cli: encoding: %s%s\n", TextEncodingName(encoding),
                 encoding == TextEncoding::kGbk ? "" : ", converted to GBK");
  const CellTable& cells = session.Cells();
  std::string widths;
  for (int32_t c = 1; c <= cells.columnCount; ++c)
    widths += (c > 1 ? "," : "") + std::to_string(GetColumnWidth(cells, c));
  Output out;
  out.buffer() += "separator=" + std::to_string(session.Fields().separatorIndex) +
                  " start_line=" + std::to_string(session.Fields().startLine) +
                  " lines=" + std::to_string(cells.lineCount) +
                  " rows=" + std::to_string(cells.rowCount) +
                  " columns=" + std::to_string(cells.columnCount) + " widths=" + widths;
  out.LineDone();
  for (int32_t r = 1; r <= cells.rowCount; ++r) {
    for (int32_t c = 1; c <= cells.columnCount; ++c) {
      if (c > 1) out.buffer() += '\t';
      AppendEscaped(cells.CellText(r, c), options.raw, out.buffer());
    }
    out.LineDone();
  }
  return 0;
}

int RunPreview(const Options& options, Session& session) {
  if (auto failure = PrepareData(options, session)) return Report(*failure);
  if (auto failure = ReadBackFields(session)) return Report(*failure);
  const int32_t rows = session.Cells().rowCount;
  if (options.row < 1 || options.row > rows)
    return Report({"record " + std::to_string(options.row) + " is not in the table" +
                       (rows > 0 ? " (records 1 to " + std::to_string(rows) + ")"
                                 : " (it has no records)"),
                   1});
  Output out;
  for (const LcdLine& line : session.DescribeRecord(static_cast<int32_t>(options.row))) {
    out.buffer() += line.rowsText;
    out.buffer() += '\t';
    AppendEscaped(line.text, options.raw, out.buffer());
    out.LineDone();
  }
  return 0;
}

int RunImage(const Options& options, Session& session) {
  if (auto failure = PrepareImage(options, session)) return Report(*failure);
  const TableImage& image = session.Image();
  std::span<const uint8_t> bytes(image.bytes.data(), static_cast<size_t>(image.imageSize));
  if (options.package) {
    session.BuildPackage();
    bytes = session.Package().bytes;
  }
  if (!WriteFile(*options.output, bytes))
    return Report({"cannot write " + *options.output, 1});
  std::FILE* summary = *options.output == "-" ? stderr : stdout;
  std::fprintf(summary, "records=%u size=%d kb=%d\n", GetRecordCount(image.bytes),
               image.imageSize, (image.imageSize + 1023) / 1024);
  return 0;
}

int RunConfig(const Options& options, Session& session) {
  if (!options.file) {
    if (auto failure = LoadConfiguration(options, session)) return Report(*failure);
  } else {
    if (auto failure = PrepareData(options, session)) return Report(*failure);
  }
  const std::string bytes = FormatFieldConfig(session.Fields());
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  return 0;
}

}  // namespace tabrelium::cli
