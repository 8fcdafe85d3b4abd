// Reader of free-format (list-directed) text input, used for every text file
// the program reads: the configuration, the grid, snapshots and resume files.
//
// A read takes the items of one record in order. It starts on the line after
// the one where the previous read ended and continues on further lines while
// it needs values; whatever follows its last value on the line is skipped, so
// a line may carry a comment. Values are separated by blanks, tabs, commas or
// semicolons; r*value repeats a value, r* and an empty field between commas
// are null values that leave the item unchanged; a slash ends the read and
// leaves the remaining items unchanged. Texts are quoted with ' or " (the
// quote doubled inside stands for one) or unquoted up to the next separator.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/shared_state.hpp"

namespace fiamma {

// Largest text file the program reads: far above any valid input (a restart
// snapshot of 1025 nodes is about 260 kB), far below a runaway file.
inline constexpr std::size_t kMaxInputBytes = 16u << 20;

// The whole text of a regular file of at most kMaxInputBytes. A missing
// file, one that is not a regular file (a folder, a FIFO, a device) or a
// larger one is an InputError naming it; nothing waits for a writer.
std::string read_input_file(const std::filesystem::path& path, const Message& display_name);
inline std::string read_input_file(const std::filesystem::path& path, const std::string& display_name) {
  return read_input_file(path, Message(display_name));
}

class FreeFormatReader {
 public:
  // The whole text of a file; display_name is how messages name it.
  FreeFormatReader(std::string_view contents, std::string display_name);
  // Reads a file (read_input_file); a missing or unreadable file is an
  // InputError (the file is never created).
  static FreeFormatReader open(const std::filesystem::path& path, std::string display_name);

  // Starts the read of record `record` (the number messages report).
  void begin(int record);
  // `name`, the item's name in messages: a code name, or a word of the
  // message table.
  void integer(int& value, std::string_view name) { integer_item(value, name); }
  void integer(int& value, Msg name) { integer_item(value, name); }
  void real(double& value, std::string_view name) { real_item(value, name); }
  void real(double& value, Msg name) { real_item(value, name); }
  void text(char* field, int width, std::string_view name);
  template <std::size_t N>
  void text(Text<N>& field, std::string_view name) {
    text(field.data(), N, name);
  }
  // Ends the read: the rest of the current line is skipped.
  void end();
  // The length of the last text read, before it was cut or padded to its
  // field (0 for a null value).
  std::size_t last_text_length() const { return last_text_length_; }
  // Whether a line that is not blank follows the last read.
  bool more() const;
  // Whether only blanks follow the last value on its line.
  bool rest_of_line_blank() const;
  // What follows the last value on its line (empty at the end of the text).
  std::string_view rest_of_line() const;
  // Whether the last text was quoted, and whether a slash ended this read.
  bool last_text_quoted() const { return last_text_quoted_; }
  bool ended_by_slash() const { return terminated_; }
  // Whether the text began with a UTF-8 byte-order mark, which is skipped.
  bool had_byte_order_mark() const { return byte_order_mark_; }

  const std::string& display_name() const { return name_; }

 private:
  enum class Kind { Integer, Real, Text };
  struct Value {
    bool null = true;
    std::string token;
    bool quoted = false;
  };

  void integer_item(int& value, Arg name);
  void real_item(double& value, Arg name);
  Value next(Kind kind, const Arg& item);
  Value parse_value(Kind kind, const Arg& item);
  bool at_line_end() const { return col_ >= lines_[line_].size(); }
  char cur() const { return lines_[line_][col_]; }
  bool skip_blanks();  // across lines; false at end of file
  [[noreturn]] void fail(const Arg& item, const Message& problem) const;
  [[noreturn]] void fail_end_of_file(const Arg& item) const;

  std::vector<std::string> lines_;
  std::string name_;
  std::size_t line_ = 0;
  std::size_t col_ = 0;
  std::size_t next_line_ = 0;
  int record_ = 0;
  std::size_t last_text_length_ = 0;
  bool last_text_quoted_ = false;
  bool byte_order_mark_ = false;
  bool after_comma_ = true;  // a comma now stands for a null value
  bool terminated_ = false;  // a slash ended this read
  int repeat_left_ = 0;
  Value repeat_value_;
  Kind repeat_kind_ = Kind::Integer;
};

// True for a separator character of free-format input.
bool is_free_format_separator(char c);

}  // namespace fiamma
