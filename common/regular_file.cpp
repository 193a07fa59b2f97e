#include "common/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_descriptor.h"
#include "common/user_texts.h"

namespace tabrelium {
namespace {

FileKind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::kRegular;
  if (S_ISDIR(mode)) return FileKind::kFolder;
  if (S_ISFIFO(mode)) return FileKind::kFifo;
  if (S_ISCHR(mode)) return FileKind::kCharacterDevice;
  if (S_ISBLK(mode)) return FileKind::kBlockDevice;
  if (S_ISSOCK(mode)) return FileKind::kSocket;
  return FileKind::kOther;
}

}  // namespace

Status CheckRegularFile(const std::string& path) {
  // O_NONBLOCK: a FIFO opens at once even with no writer. O_NOCTTY: a
  // terminal named here must not become the process's controlling one.
  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat info {};
  // What cannot be opened (a socket) may still say what it is.
  const int looked = file.get() >= 0 ? ::fstat(file.get(), &info) : ::stat(path.c_str(), &info);
  if (looked != 0) return {};
  const FileKind kind = KindOf(info.st_mode);
  if (kind == FileKind::kRegular) return {};
  return Status::Failed(texts::NotRegularFileText(path, kind));
}

}  // namespace tabrelium
