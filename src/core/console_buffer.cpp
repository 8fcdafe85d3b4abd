#include "core/console_buffer.hpp"

#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace fiamma {

namespace {
constexpr std::size_t kConsoleBlock = 8192;
}

ConsoleBuffer::ConsoleBuffer(int fd) : fd_(fd), by_line_(::isatty(fd) == 1) { buffer_.reserve(kConsoleBlock); }

ConsoleBuffer::~ConsoleBuffer() { drain(); }

bool ConsoleBuffer::drain() {
  if (error_ != 0) return false;
  std::size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = n < 0 ? errno : ENOSPC;
      buffer_.clear();
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  buffer_.clear();
  return true;
}

ConsoleBuffer::int_type ConsoleBuffer::overflow(int_type c) {
  if (error_ != 0) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  buffer_ += traits_type::to_char_type(c);
  if ((buffer_.size() >= kConsoleBlock || (by_line_ && c == '\n')) && !drain()) return traits_type::eof();
  return c;
}

std::streamsize ConsoleBuffer::xsputn(const char* s, std::streamsize n) {
  if (error_ != 0) return 0;
  buffer_.append(s, static_cast<std::size_t>(n));
  const bool line_ended = by_line_ && std::string_view(s, static_cast<std::size_t>(n)).find('\n') != std::string_view::npos;
  if ((buffer_.size() >= kConsoleBlock || line_ended) && !drain()) return 0;
  return n;
}

int ConsoleBuffer::sync() { return drain() ? 0 : -1; }

}  // namespace fiamma
