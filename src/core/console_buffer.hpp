// The console's buffer: standard output written with write(2) in blocks of
// 8 kB (line by line on a terminal), remembering the system's reason when a write fails (a full disk, a
// file-size limit, a pipe nobody reads), which the C library's own buffer
// forgets. After a failure every later write fails too, so that the stream
// stays bad and the run ends with that reason.
#pragma once

#include <streambuf>
#include <string>

namespace fiamma {

class ConsoleBuffer : public std::streambuf {
 public:
  explicit ConsoleBuffer(int fd);
  ~ConsoleBuffer() override;
  ConsoleBuffer(const ConsoleBuffer&) = delete;
  ConsoleBuffer& operator=(const ConsoleBuffer&) = delete;
  // errno of the first failed write, 0 while none failed.
  int error() const { return error_; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

 private:
  bool drain();
  int fd_;
  bool by_line_;
  int error_ = 0;
  std::string buffer_;
};

}  // namespace fiamma
