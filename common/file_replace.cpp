#include "common/file_replace.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>

#include "common/file_descriptor.h"

namespace tabrelium {
namespace {

namespace fs = std::filesystem;

std::string SystemReason(int error) { return std::strerror(error); }

Status Failed(const std::string& path, int error) {
  return Status::Failed(path + ": " + SystemReason(error));
}

// ".NAME.tmp-PID-N": hidden, and named after the process that made it.
std::string TempPrefix(const fs::path& target) { return "." + target.filename().string() + ".tmp-"; }

// A temporary whose process is gone was left by a save that was killed
// between write and rename; nothing will ever rename it.
void RemoveStaleTemporaries(const fs::path& target) {
  const std::string prefix = TempPrefix(target);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string_view rest = std::string_view(name).substr(prefix.size());
    pid_t pid = 0;
    const auto [dash, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
    if (ec != std::errc() || pid <= 0 || dash == rest.data() + rest.size() || *dash != '-') continue;
    if (pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH) ::unlink(it->path().c_str());
  }
}

// Creates a new, uniquely named file beside `target`; -1 with errno set on
// failure.
int CreateTempBeside(const fs::path& target, fs::path& temp) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = target;
    temp.replace_filename(TempPrefix(target) + std::to_string(::getpid()) + "-" +
                          std::to_string(counter++));
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

std::string FollowSymlinks(const std::string& path) {
  fs::path current(path);
  // A loop of links ends here and the last name read is used; the open
  // that follows then fails with the system's own reason.
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(current, error))) break;
    const fs::path target = fs::read_symlink(current, error);
    if (error) break;
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  return current.string();
}

Status ReplaceFileAtomically(const std::string& path, std::string_view bytes, bool* folderRefused) {
  if (folderRefused != nullptr) *folderRefused = false;
  const fs::path target(path);
  RemoveStaleTemporaries(target);
  fs::path temp;
  FileDescriptor file(CreateTempBeside(target, temp));
  if (file.get() < 0) {
    const int error = errno;
    if (folderRefused != nullptr)
      *folderRefused = error == EACCES || error == EPERM || error == EROFS;
    return Failed(path, error);
  }

  // A file the user made private stays private after the save.
  struct stat existing {};
  if (::stat(target.c_str(), &existing) == 0) ::fchmod(file.get(), existing.st_mode & 07777);

  int error = 0;
  if (!WriteAll(file.get(), bytes) || ::fsync(file.get()) != 0) error = errno;
  if (!file.Close() && error == 0) error = errno;
  if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    return Failed(path, error);
  }
  // Make the rename itself durable; the new file is in place either way.
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return {};
}

Status RewriteFileInPlace(const std::string& path, std::string_view bytes) {
  FileDescriptor file(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
  if (file.get() < 0) return Failed(path, errno);
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return Failed(path, errno);
  if (!S_ISREG(info.st_mode)) return Status::Failed(path + ": not a regular file");
  std::string old(static_cast<size_t>(info.st_size), '\0');
  if (::pread(file.get(), old.data(), old.size(), 0) != static_cast<ssize_t>(old.size()))
    return Failed(path, errno);

  int error = 0;
  if (::lseek(file.get(), 0, SEEK_SET) != 0 || !WriteAll(file.get(), bytes) ||
      ::ftruncate(file.get(), static_cast<off_t>(bytes.size())) != 0 || ::fsync(file.get()) != 0)
    error = errno;
  if (error != 0) {
    // Put back what was there, as far as the disk allows.
    if (::lseek(file.get(), 0, SEEK_SET) == 0 && WriteAll(file.get(), old))
      (void)::ftruncate(file.get(), static_cast<off_t>(old.size()));
    return Failed(path, error);
  }
  if (!file.Close()) return Failed(path, errno);
  return {};
}

}  // namespace tabrelium
