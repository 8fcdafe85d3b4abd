#include "core/file_writer.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "core/errors.hpp"

namespace fiamma {

namespace {

constexpr std::size_t kBufferLimit = 1 << 16;

// Writes all of `text`, retrying after a signal and after a partial write;
// returns 0 or the errno of the failure.
int write_all(int fd, std::string_view text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t done = ::write(fd, p, left);
    if (done < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (done == 0) return ENOSPC;
    p += done;
    left -= static_cast<std::size_t>(done);
  }
  return 0;
}

std::string display(const std::filesystem::path& path) {
  std::string s = path.lexically_normal().string();
  if (s.rfind("./", 0) == 0) s.erase(0, 2);
  return s;
}

}  // namespace

void ignore_file_size_signal() { std::signal(SIGXFSZ, SIG_IGN); }

std::uint64_t content_hash(std::string_view bytes, std::uint64_t hash) {
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

void throw_write_error(const std::filesystem::path& path, Msg origin, int error) {
  throw WriteError(say("{1}: impossibile scrivere il file ({2}); {3}"_it,
                       {display(path), std::string_view(std::strerror(error)), origin}));
}

std::filesystem::path temporary_name(const std::filesystem::path& path) {
  std::string name = ".";
  name += path.filename().string();
  name += '.';
  name += std::to_string(::getpid());
  name += ".tmp";
  return path.parent_path() / name;
}

void write_file_atomically(const std::filesystem::path& path, std::string_view content, Msg origin) {
  ReplacedFile file(path, origin);
  file.write(content);
  file.commit();
}

ReplacedFile::ReplacedFile(std::filesystem::path path, Msg origin)
    : path_(std::move(path)), temporary_(temporary_name(path_)), origin_(origin) {
  ignore_file_size_signal();
  // A temporary left by a killed process of the same number goes.
  ::unlink(temporary_.c_str());
  fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd_ < 0) throw_write_error(path_, origin_, errno);
}

ReplacedFile::~ReplacedFile() { discard(); }

void ReplacedFile::discard() noexcept {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
    ::unlink(temporary_.c_str());
  }
  if (closed_) {
    closed_ = false;
    ::unlink(temporary_.c_str());
  }
}

void ReplacedFile::write(std::string_view text) {
  hash_ = content_hash(text, hash_);
  buffer_.append(text);
  if (buffer_.size() >= kBufferLimit) drain();
}

void ReplacedFile::drain() {
  if (const int error = write_all(fd_, buffer_); error != 0) {
    discard();
    throw_write_error(path_, origin_, error);
  }
  buffer_.clear();
}

void ReplacedFile::close() {
  if (fd_ < 0) return;
  drain();
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temporary_.c_str());
    throw_write_error(path_, origin_, error);
  }
  closed_ = true;
}

void ReplacedFile::commit() {
  close();
  closed_ = false;
  if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary_.c_str());
    throw_write_error(path_, origin_, error);
  }
}

AppendedFile::~AppendedFile() {
  if (fd_ >= 0) ::close(fd_);
}

void AppendedFile::open(const std::filesystem::path& path, Msg origin, bool replace) {
  if (fd_ >= 0) close();
  ignore_file_size_signal();
  path_ = path;
  origin_ = origin;
  // Not waiting for a reader: a FIFO without one fails at once (ENXIO), one
  // with a reader is refused below like any file that is not regular. The
  // earlier content is dropped only once the file is known to be regular.
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd_ < 0 && errno != ENXIO) throw_write_error(path_, origin_, errno);
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    throw WriteError(say("{1}: impossibile scrivere il file ({2}); {3}"_it, {display(path_), "non è un file regolare"_it, origin_}));
  }
  if (replace && ::ftruncate(fd_, 0) != 0) {
    const int error = errno;
    ::close(fd_);
    fd_ = -1;
    throw_write_error(path_, origin_, error);
  }
  // back to blocking writes, so that a record is written whole
  ::fcntl(fd_, F_SETFL, O_APPEND);
}

void AppendedFile::write_record(std::string_view record) {
  const off_t before = ::lseek(fd_, 0, SEEK_END);
  if (const int error = write_all(fd_, record); error != 0) {
    // A record that did not fit whole is taken back (a device such as
    // /dev/full has no length to restore).
    if (before >= 0) {
      struct stat st {};
      if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) {
        [[maybe_unused]] const int ignored = ::ftruncate(fd_, before);
      }
    }
    ::close(fd_);
    fd_ = -1;
    throw_write_error(path_, origin_, error);
  }
}

void AppendedFile::close() {
  if (fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throw_write_error(path_, origin_, errno);
}

}  // namespace fiamma
