// Writing files so that neither a full disk nor a kill leaves half of one.
//
// A file that a run replaces is written to a temporary name in its own
// folder (".NAME.PID.tmp"), flushed, closed and only then renamed over NAME,
// so NAME holds either the earlier version or the whole new one. A file that
// a run appends to receives each record in one write, and a record that
// does not fit whole is taken back, so the file holds whole records only.
// Every write, flush, close and rename is checked; a failure throws
// WriteError naming the file, the system's reason and what sets its path,
// and removes the temporary. A write past the process's file-size limit
// fails like any other (the signal the system sends for it is ignored from
// the first file on), and an appended file must be a regular one: nothing
// waits for the reader of a FIFO.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/messages.hpp"

namespace fiamma {

// What sets where a file goes, for the messages of a failed write.
inline constexpr Msg kPrefixedOrigin =
    "il percorso viene da path_prefix_1 e path_prefix_2 (record 2 e 3 di eulero_test.dat)"_it;
inline constexpr Msg kWorkdirOrigin = "il file sta nella cartella di lavoro"_it;

// The message of a failed write: the file, the system's reason for errno
// `error` and what sets the path.
[[noreturn]] void throw_write_error(const std::filesystem::path& path, Msg origin, int error);

// SIGXFSZ ignored, so that a write past the file-size limit returns EFBIG
// instead of ending the process. Every writer calls it when it opens a file
// (a child process may have put the default back).
void ignore_file_size_signal();

// FNV-1a (64 bits) of `bytes`, continued from `hash`: what a companion file
// records of the file it belongs to.
inline constexpr std::uint64_t kContentHashSeed = 14695981039346656037ull;
std::uint64_t content_hash(std::string_view bytes, std::uint64_t hash = kContentHashSeed);

// The temporary name a replaced file is written under until complete.
std::filesystem::path temporary_name(const std::filesystem::path& path);

// Replaces `path` by `content` whole, or leaves it as it was and throws.
void write_file_atomically(const std::filesystem::path& path, std::string_view content,
                           Msg origin = kWorkdirOrigin);

// A replaced file written piece by piece: buffered, then renamed over its
// final name by commit(). Destroyed without commit (an exception on the
// way), it removes its temporary and leaves the earlier file.
class ReplacedFile {
 public:
  ReplacedFile(std::filesystem::path path, Msg origin);
  ~ReplacedFile();
  ReplacedFile(const ReplacedFile&) = delete;
  ReplacedFile& operator=(const ReplacedFile&) = delete;

  void write(std::string_view text);
  template <class T>
  ReplacedFile& operator<<(const T& item) {
    stream_item(item);
    return *this;
  }
  // Writes out the rest and closes the temporary: all that is left for
  // commit() is the rename.
  void close();
  // Closes (when not yet done) and renames; afterwards the file is complete.
  void commit();
  const std::filesystem::path& path() const { return path_; }
  // The content hash of everything written so far.
  std::uint64_t hash() const { return hash_; }

 private:
  void stream_item(std::string_view text) { write(text); }
  void stream_item(char c) { write(std::string_view(&c, 1)); }
  template <class L>
  auto stream_item(const L& line) -> decltype(line.str(), void()) {
    write(line.str());
    write("\n");
  }
  void drain();
  void discard() noexcept;

  std::filesystem::path path_;
  std::filesystem::path temporary_;
  Msg origin_;
  std::string buffer_;
  std::uint64_t hash_ = kContentHashSeed;
  int fd_ = -1;
  bool closed_ = false;  // written whole, waiting for the rename
};

// A file that receives whole records, one write each.
class AppendedFile {
 public:
  AppendedFile() = default;
  ~AppendedFile();
  AppendedFile(const AppendedFile&) = delete;
  AppendedFile& operator=(const AppendedFile&) = delete;

  // Opens `path` for appending (created when missing); with `replace` an
  // earlier content is dropped first. Anything but a regular file at `path`
  // (a FIFO, a device, a folder) is a WriteError, and the open never waits.
  void open(const std::filesystem::path& path, Msg origin, bool replace);
  bool is_open() const { return fd_ >= 0; }
  // Appends one record (one or more whole lines) in one write.
  void write_record(std::string_view record);
  // Closes, checking the close; does nothing when not open.
  void close();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  Msg origin_ = kWorkdirOrigin;
  int fd_ = -1;
};

}  // namespace fiamma
