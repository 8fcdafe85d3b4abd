// What the program says to its user, in Italian (the default) or English.
//
// Every message lives in one table, core/message_table.hpp, its Italian and
// its English text side by side. Code names a message by its Italian text
// with the suffix _it: "velocità fronte  = "_it. The suffix looks the text up
// while compiling, so a text that is not in the table does not compile, and
// a message cannot reach the user without passing through a language:
//
//   s.voice("velocità fronte  = "_it)              the text in the run's language
//   s.voice("... {1} ... {2}"_it, {a, b})          with its values filled in
//   say("... {1} ..."_it, {a})                     both languages, for errors
//
// {1} ... {9} stand for values (numbers, names, paths), the same in both
// languages; each language places them where its sentence needs them.
// Adding a message: one row in the table, the _it text at the call site.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/message_table.hpp"

namespace fiamma {

enum class Language : unsigned char { it = 0, en = 1 };
inline constexpr std::size_t kLanguages = 2;

// "it" or "en" (the values of --lang and FIAMMA_LANG).
std::optional<Language> language_named(std::string_view name);

// Never defined as constexpr: reached only while compiling a _it text that is
// missing from core/message_table.hpp, where it stops the compilation.
void message_missing_from_the_table();

// One message of the table.
class Msg {
 public:
  constexpr std::string_view in(Language l) const {
    return l == Language::en ? kMessageTable[index_].en : kMessageTable[index_].it;
  }
  constexpr std::size_t index() const { return index_; }
  // A message is its Italian text: the key it was named by.
  friend constexpr bool operator==(Msg m, std::string_view italian) { return m.in(Language::it) == italian; }

 private:
  constexpr explicit Msg(std::size_t index) : index_(index) {}
  std::size_t index_;
  friend consteval Msg operator""_it(const char* text, std::size_t length);
};

consteval Msg operator""_it(const char* text, std::size_t length) {
  const std::string_view key(text, length);
  for (std::size_t i = 0; i < std::size(kMessageTable); ++i) {
    if (kMessageTable[i].it == key) return Msg(i);
  }
  message_missing_from_the_table();
  return Msg(0);
}

// A text in both languages: composed where a message is made (deep in the
// readers, the file writer), printed in the run's language where it is
// reported. Plain text (a name, a path, a number) is the same in both.
class Message {
 public:
  Message() = default;
  Message(Msg m) : text_{std::string(m.in(Language::it)), std::string(m.in(Language::en))} {}
  Message(std::string plain) : text_{plain, plain} {}
  // Two texts made apart, Italian and English.
  static Message pair(std::string it, std::string en) {
    Message m;
    m.text_ = {std::move(it), std::move(en)};
    return m;
  }
  const std::string& in(Language l) const { return text_[static_cast<std::size_t>(l)]; }
  bool empty() const { return text_[0].empty() && text_[1].empty(); }
  Message& operator+=(const Message& m) {
    for (std::size_t l = 0; l < kLanguages; ++l) text_[l] += m.text_[l];
    return *this;
  }
  friend Message operator+(Message a, const Message& b) { return a += b; }

 private:
  std::array<std::string, kLanguages> text_;
};

// A value that fills a placeholder: plain text, or a message of the table or
// a composed one (then in the language being written).
class Arg {
 public:
  Arg(std::string_view plain) : plain_(plain) {}
  Arg(const std::string& plain) : plain_(plain) {}
  Arg(Msg m) : msg_(m) {}
  Arg(const Message& m) : message_(&m) {}
  std::string_view in(Language l) const;

 private:
  std::string_view plain_;
  std::optional<Msg> msg_;
  const Message* message_ = nullptr;
};

// The text of `m` in language `l` with {1}..{9} replaced by `args`.
std::string fill(Msg m, Language l, std::initializer_list<Arg> args);

// The message `m` with its values, in both languages.
Message say(Msg m, std::initializer_list<Arg> args = {});

// The language a run speaks in: it travels with the console and standard
// error of the state (State::voice) and of the command line.
class Voice {
 public:
  constexpr Voice() = default;
  constexpr explicit Voice(Language l) : language_(l) {}
  constexpr Language language() const { return language_; }
  std::string_view operator()(Msg m) const { return m.in(language_); }
  std::string operator()(Msg m, std::initializer_list<Arg> args) const { return fill(m, language_, args); }
  const std::string& operator()(const Message& m) const { return m.in(language_); }

 private:
  Language language_ = Language::it;
};

}  // namespace fiamma
