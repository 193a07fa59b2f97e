// An open file descriptor that closes itself, and a write that goes on
// until every byte is out: the two pieces every place that writes a file
// through the system calls needs.
//
// Thread-safety: a FileDescriptor belongs to one thread.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace tabrelium {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileDescriptor& operator=(FileDescriptor&&) = delete;

  int get() const { return fd_; }
  // Closes now, so that a failed close (a full disk on some file systems)
  // can still fail the write.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

// Writes all of `bytes`, again after an interrupted or partial write; false
// with errno set on a failure.
inline bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

}  // namespace tabrelium
