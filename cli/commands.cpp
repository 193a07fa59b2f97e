#include "cli/commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>

#include "cli/escape.h"
#include "common/file_descriptor.h"
#include "common/file_replace.h"
#include "config/config_file.h"

namespace tabrelium::cli {
namespace {

Failure OutputLost(int error) {
  return {"cannot write the output: " + std::string(std::strerror(error != 0 ? error : EIO)), 1};
}

// Collects output and writes it in large pieces; stdout is the bottleneck
// for a table of a million rows. The first failed write is kept for the
// end and the rest skipped: the output is lost either way.
class Output {
 public:
  std::string& buffer() { return buffer_; }
  void LineDone() {
    buffer_ += '\n';
    if (buffer_.size() >= (1 << 20)) Flush();
  }
  // The command's exit status once the rest is written; a lost output
  // reported.
  int Finish() {
    Flush();
    return failure_ ? Report(*failure_) : 0;
  }

 private:
  void Flush() {
    if (!failure_) failure_ = WriteStdout(buffer_);
    buffer_.clear();
  }

  std::string buffer_;
  std::optional<Failure> failure_;
};

std::string_view AsText(std::span<const uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

Failure CannotWrite(const std::string& path, int error) {
  return {"cannot write " + path + ": " + std::strerror(error), 1};
}

// A device, a FIFO or a terminal takes the bytes as they come: there is no
// file to replace, and nothing of it may be removed when a write fails.
std::optional<Failure> WriteStraight(const std::string& path, std::span<const uint8_t> bytes) {
  FileDescriptor file(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) return CannotWrite(path, errno);
  if (!WriteAll(file.get(), AsText(bytes))) return CannotWrite(path, errno);
  if (!file.Close()) return CannotWrite(path, errno);
  return std::nullopt;
}

// Where `image -o` writes: standard output for "-"; anything that is not
// a regular file (a symlink to it followed) directly; a regular file, new
// or old, through a temporary beside it renamed into place, so that a
// failed write leaves the old file whole. Through a symlink to a regular
// file the file it names is replaced and the link kept.
std::optional<Failure> WriteOutput(const std::string& path, std::span<const uint8_t> bytes) {
  if (path == "-") {
    if (auto failure = WriteStdout(AsText(bytes)))
      return failure;
    // Now, so that the summary on stderr follows only an image written.
    if (std::fflush(stdout) != 0) return OutputLost(errno);
    return std::nullopt;
  }
  struct stat info {};
  const bool exists = ::stat(path.c_str(), &info) == 0;
  if (exists && !S_ISREG(info.st_mode)) return WriteStraight(path, bytes);
  const std::string target = FollowSymlinks(path);
  // A file its owner made read-only is not replaced behind their back,
  // although its folder would allow the rename.
  if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
    return CannotWrite(path, errno);
  const Status replaced = ReplaceFileAtomically(target, AsText(bytes));
  if (!replaced.ok()) return Failure{"cannot write " + replaced.message(), 1};
  return std::nullopt;
}

// The image written over its own data file or the configuration file read
// would destroy the input; a symlink or a hard link to either counts.
std::optional<Failure> RefuseOutputOverInput(const Options& options) {
  const std::string& output = *options.output;
  struct stat out {};
  if (output == "-" || ::stat(output.c_str(), &out) != 0) return std::nullopt;
  const auto isOutput = [&out](const std::string& input) {
    struct stat in {};
    return ::stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
  };
  if (isOutput(*options.file))
    return Failure{"the output " + output + " is the data file; nothing was written", 1};
  if (isOutput(options.configPath.value_or(DefaultConfigPath())))
    return Failure{"the output " + output + " is the configuration file; nothing was written", 1};
  return std::nullopt;
}

}  // namespace

int Report(const Failure& failure) {
  std::fprintf(stderr, "tabrelium-cli: %s\n", failure.message.c_str());
  if (failure.status == 2) std::fprintf(stderr, "Try 'tabrelium-cli help'.\n");
  return failure.status;
}

std::optional<Failure> WriteStdout(std::string_view bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size()) return std::nullopt;
  return OutputLost(errno);
}

int CloseStdout(int status) {
  // A write whose failure nobody checked leaves the stream's error flag.
  const bool lostBefore = std::ferror(stdout) != 0;
  errno = 0;
  const bool closed = std::fclose(stdout) == 0;
  if (status != 0 || (closed && !lostBefore)) return status;
  return Report(OutputLost(errno));
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
                  " start_line=" + std::to_string(session.StartLineInForce()) +
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
  return out.Finish();
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
  return out.Finish();
}

int RunImage(const Options& options, Session& session) {
  if (auto failure = RefuseOutputOverInput(options)) return Report(*failure);
  if (auto failure = PrepareImage(options, session)) return Report(*failure);
  const TableImage& image = session.Image();
  std::span<const uint8_t> bytes(image.bytes.data(), static_cast<size_t>(image.imageSize));
  if (options.package) {
    session.BuildPackage();
    bytes = session.Package().bytes;
  }
  if (auto failure = WriteOutput(*options.output, bytes)) return Report(*failure);
  const std::string summary = "records=" + std::to_string(GetRecordCount(image.bytes)) +
                              " size=" + std::to_string(image.imageSize) +
                              " kb=" + std::to_string((image.imageSize + 1023) / 1024) + "\n";
  if (*options.output == "-") {
    std::fputs(summary.c_str(), stderr);
    return 0;
  }
  if (auto failure = WriteStdout(summary)) return Report(*failure);
  return 0;
}

int RunConfig(const Options& options, Session& session) {
  if (!options.file) {
    if (auto failure = LoadConfiguration(options, session)) return Report(*failure);
  } else {
    if (auto failure = PrepareData(options, session)) return Report(*failure);
  }
  if (auto failure = WriteStdout(FormatFieldConfig(session.Fields()))) return Report(*failure);
  return 0;
}

}  // namespace tabrelium::cli
