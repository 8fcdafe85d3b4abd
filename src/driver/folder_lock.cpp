#include "driver/folder_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "core/errors.hpp"
#include "core/file_writer.hpp"
#include "core/free_format.hpp"

namespace fiamma {

namespace {

std::string shown_folder(const std::filesystem::path& folder) {
  const std::string s = folder.lexically_normal().string();
  return s.empty() ? "." : s;
}

}  // namespace

std::string lock_holder(const std::filesystem::path& folder) {
  const int fd = ::open((folder / kLockFile).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return "";
  char buffer[512];
  ssize_t got = 0;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) got = ::read(fd, buffer, sizeof buffer);
  ::close(fd);
  std::string text(buffer, static_cast<std::size_t>(got > 0 ? got : 0));
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

FolderLock::FolderLock(const std::filesystem::path& folder) {
  const std::filesystem::path path = folder / kLockFile;
  constexpr Msg origin = "il file sta nella cartella di lavoro (il blocco di una simulazione per cartella)"_it;
  ignore_file_size_signal();
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd_ < 0) throw_write_error(path, origin, errno);
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    throw InputError(say("{1}: non è un file regolare ({2}): il blocco della cartella deve poter essere un file"_it,
                         {std::string_view(kLockFile), path.string()}));
  }
  while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    const int error = errno;
    ::close(fd_);
    fd_ = -1;
    if (error != EWOULDBLOCK) throw_write_error(path, origin, error);
    const std::string holder = lock_holder(folder);
    const Message who = holder.empty() ? say("che sta partendo"_it) : Message(holder);
    throw InputError(say("la cartella {1} è già usata da un'altra simulazione ({2}): una simulazione per cartella; "
                         "attendere che finisca o lanciare questa in un'altra cartella ({3})"_it,
                         {shown_folder(folder), who, std::string_view(kLockFile)}));
  }
  char host[256] = "?";
  ::gethostname(host, sizeof host - 1);
  host[sizeof host - 1] = '\0';
  const std::time_t now = std::time(nullptr);
  char when[64] = "?";
  std::tm local{};
  if (::localtime_r(&now, &local) != nullptr) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
  const std::string text =
      "pid " + format_int(::getpid()) + ", host " + host + ", " + when + "\n";
  if (::ftruncate(fd_, 0) != 0 || ::pwrite(fd_, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
    const int error = errno;
    ::close(fd_);
    fd_ = -1;
    throw_write_error(path, origin, error);
  }
}

FolderLock::~FolderLock() {
  if (fd_ < 0) return;
  [[maybe_unused]] const int emptied = ::ftruncate(fd_, 0);
  ::close(fd_);
}

}  // namespace fiamma
