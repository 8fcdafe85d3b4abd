#include "config/free_format_reader.hpp"

#include <cerrno>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/errors.hpp"

namespace fiamma {

namespace {

// The largest repeat count gfortran's list-directed input accepts.
constexpr long long kMaxRepeat = 200000000;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

Msg kind_word(int kind) {
  switch (kind) {
    case 0: return "un numero intero"_it;
    case 1: return "un numero reale"_it;
    default: return "un testo"_it;
  }
}

// Fortran numeric syntax: [sign] (digits [. [digits]] | . digits)
// [ (e|d|q) [sign] digits | sign digits ], or Inf, Infinity, NaN, NaN(...).
// On success returns the text in C syntax for strtod.
bool normalise_real(const std::string& tok, std::string& c_syntax) {
  std::size_t i = 0;
  std::string out;
  if (i < tok.size() && (tok[i] == '+' || tok[i] == '-')) out += tok[i++];
  std::string rest = tok.substr(i);
  std::string lower;
  for (char c : rest) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "inf" || lower == "infinity") {
    c_syntax = out + "inf";
    return true;
  }
  if (lower == "nan" || (lower.size() > 4 && lower.compare(0, 4, "nan(") == 0 && lower.back() == ')')) {
    c_syntax = "nan";
    return true;
  }
  int mantissa_digits = 0;
  while (i < tok.size() && is_digit(tok[i])) { out += tok[i++]; ++mantissa_digits; }
  if (i < tok.size() && tok[i] == '.') {
    out += tok[i++];
    while (i < tok.size() && is_digit(tok[i])) { out += tok[i++]; ++mantissa_digits; }
  }
  if (mantissa_digits == 0) return false;
  if (i < tok.size()) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(tok[i])));
    if (c == 'e' || c == 'd' || c == 'q') {
      ++i;
    } else if (c != '+' && c != '-') {
      return false;
    }
    out += 'e';
    if (i < tok.size() && (tok[i] == '+' || tok[i] == '-')) out += tok[i++];
    int exponent_digits = 0;
    while (i < tok.size() && is_digit(tok[i])) { out += tok[i++]; ++exponent_digits; }
    if (exponent_digits == 0) return false;
  }
  if (i != tok.size()) return false;
  c_syntax = out;
  return true;
}

}  // namespace

bool is_free_format_separator(char c) {
  return is_blank(c) || c == ',' || c == ';' || c == '/';
}

FreeFormatReader::FreeFormatReader(std::string_view contents, std::string display_name)
    : name_(std::move(display_name)) {
  std::size_t start = 0;
  if (contents.substr(0, 3) == "\xEF\xBB\xBF") {
    byte_order_mark_ = true;
    start = 3;
  }
  while (start <= contents.size()) {
    const auto nl = contents.find('\n', start);
    if (nl == std::string_view::npos) {
      if (start < contents.size()) lines_.emplace_back(contents.substr(start));
      break;
    }
    lines_.emplace_back(contents.substr(start, nl - start));
    start = nl + 1;
  }
}

std::string read_input_file(const std::filesystem::path& path, const Message& display_name) {
  // Opened without waiting (a FIFO would block until a writer came), then
  // refused unless it is a regular file.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (error == ENOENT) throw InputError(say("{1}: file non trovato ({2})"_it, {display_name, path.string()}));
    throw InputError(say("{1}: impossibile aprire il file ({2}): {3}"_it,
                         {display_name, path.string(), std::string_view(std::strerror(error))}));
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw InputError(say("{1}: non è un file regolare ({2})"_it, {display_name, path.string()}));
  }
  std::string text;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      ::close(fd);
      throw InputError(say("{1}: errore di lettura ({2}): {3}"_it,
                           {display_name, path.string(), std::string_view(std::strerror(error))}));
    }
    if (got == 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
    if (text.size() > kMaxInputBytes) {
      ::close(fd);
      throw InputError(say("{1}: il file supera {2} MiB, ben oltre ogni dato valido ({3})"_it,
                           {display_name, std::to_string(kMaxInputBytes >> 20), path.string()}));
    }
  }
  ::close(fd);
  return text;
}

FreeFormatReader FreeFormatReader::open(const std::filesystem::path& path, std::string display_name) {
  std::string text = read_input_file(path, display_name);
  return FreeFormatReader(text, std::move(display_name));
}

void FreeFormatReader::begin(int record) {
  record_ = record;
  line_ = next_line_;
  col_ = 0;
  after_comma_ = true;
  terminated_ = false;
  repeat_left_ = 0;
}

void FreeFormatReader::end() {
  next_line_ = line_ + 1;
  repeat_left_ = 0;
}

bool FreeFormatReader::more() const {
  for (std::size_t l = next_line_; l < lines_.size(); ++l) {
    for (char c : lines_[l]) {
      if (!is_blank(c)) return true;
    }
  }
  return false;
}

bool FreeFormatReader::rest_of_line_blank() const {
  if (line_ >= lines_.size()) return true;
  for (std::size_t c = col_; c < lines_[line_].size(); ++c) {
    if (!is_blank(lines_[line_][c])) return false;
  }
  return true;
}

std::string_view FreeFormatReader::rest_of_line() const {
  if (line_ >= lines_.size() || col_ >= lines_[line_].size()) return {};
  return std::string_view(lines_[line_]).substr(col_);
}

bool FreeFormatReader::skip_blanks() {
  while (line_ < lines_.size()) {
    while (!at_line_end() && is_blank(cur())) ++col_;
    if (!at_line_end()) return true;
    ++line_;
    col_ = 0;
  }
  return false;
}

void FreeFormatReader::fail(const Arg& item, const Message& problem) const {
  throw InputError(say("{1}: record {2} ({3}), riga {4}: {5}"_it,
                       {name_, std::to_string(record_), item, std::to_string(line_ + 1), problem}));
}

void FreeFormatReader::fail_end_of_file(const Arg& item) const {
  throw InputError(say("{1}: il file termina prima della fine del record {2} ({3})"_it,
                       {name_, std::to_string(record_), item}));
}

FreeFormatReader::Value FreeFormatReader::next(Kind kind, const Arg& item) {
  if (terminated_) return {};
  if (repeat_left_ > 0) {
    --repeat_left_;
    if (!repeat_value_.null && repeat_kind_ != kind) {
      fail(item, say("valore ripetuto: {1} dove è atteso {2}, trovato \"{3}\""_it,
                     {kind_word(static_cast<int>(repeat_kind_)), kind_word(static_cast<int>(kind)),
                      repeat_value_.token}));
    }
    return repeat_value_;
  }
  for (;;) {
    if (!skip_blanks()) fail_end_of_file(item);
    const char c = cur();
    if (c == '/') {
      ++col_;
      terminated_ = true;
      return {};
    }
    if (c == ',' || c == ';') {
      ++col_;
      if (after_comma_) return {};
      after_comma_ = true;
      continue;
    }
    break;
  }
  after_comma_ = false;
  // A repeat count: digits immediately followed by '*'.
  const std::string& text = lines_[line_];
  std::size_t j = col_;
  while (j < text.size() && is_digit(text[j])) ++j;
  if (j > col_ && j < text.size() && text[j] == '*') {
    const std::string digits = text.substr(col_, j - col_);
    errno = 0;
    const long long r = std::strtoll(digits.c_str(), nullptr, 10);
    if (r == 0) fail(item, say("fattore di ripetizione nullo in \"{1}*\""_it, {digits}));
    if (errno == ERANGE || r > kMaxRepeat) {
      fail(item, say("fattore di ripetizione troppo grande \"{1}*\" (al massimo {2})"_it,
                     {digits, std::to_string(kMaxRepeat)}));
    }
    col_ = j + 1;
    Value v;
    if (!at_line_end() && !is_free_format_separator(cur())) v = parse_value(kind, item);
    repeat_value_ = v;
    repeat_kind_ = kind;
    repeat_left_ = static_cast<int>(r) - 1;
    return v;
  }
  return parse_value(kind, item);
}

FreeFormatReader::Value FreeFormatReader::parse_value(Kind kind, const Arg& item) {
  Value v;
  v.null = false;
  const char c = cur();
  if (c == '\'' || c == '"') {
    if (kind != Kind::Text) {
      std::size_t j = col_;
      while (j < lines_[line_].size() && !is_free_format_separator(lines_[line_][j])) ++j;
      fail(item, say("atteso {1}, trovato \"{2}\""_it,
                     {kind_word(static_cast<int>(kind)), lines_[line_].substr(col_, j - col_)}));
    }
    v.quoted = true;
    ++col_;
    for (;;) {
      if (at_line_end()) {
        // A quoted text goes on on the next line; the line end is not part of it.
        ++line_;
        col_ = 0;
        if (line_ >= lines_.size()) fail_end_of_file(item);
        continue;
      }
      const char ch = cur();
      ++col_;
      if (ch == c) {
        if (!at_line_end() && cur() == c) {
          v.token += c;
          ++col_;
          continue;
        }
        break;
      }
      v.token += ch;
    }
    if (!at_line_end() && !is_free_format_separator(cur())) {
      fail(item, say("testo tra virgolette seguito da \"{1}\" invece che da un separatore"_it,
                     {std::string(1, cur())}));
    }
    return v;
  }
  const std::string& text = lines_[line_];
  std::size_t j = col_;
  while (j < text.size() && !is_free_format_separator(text[j])) ++j;
  v.token = text.substr(col_, j - col_);
  col_ = j;
  if (kind == Kind::Integer) {
    std::size_t k = 0;
    if (k < v.token.size() && (v.token[k] == '+' || v.token[k] == '-')) ++k;
    bool digits_only = k < v.token.size();
    for (std::size_t m = k; m < v.token.size(); ++m) digits_only = digits_only && is_digit(v.token[m]);
    if (!digits_only) fail(item, say("atteso {1}, trovato \"{2}\""_it, {kind_word(0), v.token}));
  } else if (kind == Kind::Real) {
    std::string c_syntax;
    if (!normalise_real(v.token, c_syntax)) fail(item, say("atteso {1}, trovato \"{2}\""_it, {kind_word(1), v.token}));
  }
  return v;
}

void FreeFormatReader::integer_item(int& value, Arg name) {
  const Value v = next(Kind::Integer, name);
  if (v.null) return;
  errno = 0;
  const long long r = std::strtoll(v.token.c_str(), nullptr, 10);
  if (errno == ERANGE || r > INT32_MAX || r < INT32_MIN) {
    fail(name, say("intero fuori dall'intervallo a 32 bit: \"{1}\""_it, {v.token}));
  }
  value = static_cast<int>(r);
}

void FreeFormatReader::real_item(double& value, Arg name) {
  const Value v = next(Kind::Real, name);
  if (v.null) return;
  std::string c_syntax;
  normalise_real(v.token, c_syntax);
  value = std::strtod(c_syntax.c_str(), nullptr);
}

void FreeFormatReader::text(char* field, int width, std::string_view name) {
  const Value v = next(Kind::Text, name);
  last_text_length_ = v.null ? 0 : v.token.size();
  last_text_quoted_ = v.quoted;
  if (v.null) return;
  for (int k = 0; k < width; ++k) {
    field[k] = k < static_cast<int>(v.token.size()) ? v.token[k] : ' ';
  }
}

}  // namespace fiamma
