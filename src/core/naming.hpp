// Output file names: a template in `file_name`, the run tag in its first
// character, counters in their placeholders, then the path assembled from the
// two configured prefixes.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "core/shared_state.hpp"

namespace fiamma {

// Used length of a blank-padded field: up to its last non-blank character.
template <std::size_t N>
int used_length(const std::array<char, N>& field) {
  int len = static_cast<int>(N);
  while (len > 0 && field[len - 1] == ' ') --len;
  return len;
}

// The whole field, trailing blanks included (console lines that show it).
template <std::size_t N>
std::string whole(const std::array<char, N>& field) {
  return std::string(field.data(), N);
}

template <std::size_t N>
std::string trimmed(const std::array<char, N>& field) {
  return std::string(field.data(), used_length(field));
}

// Copies a template into `file_name`, padded with blanks to 32 characters.
void set_file_name(Addr& addr, std::string_view templ);
// Copies the run tag into character 1 of `file_name`.
void sver(Addr& addr);
// Writes `value` with leading zeros into characters first..first+width-1
// (counted from 1) of `file_name`. A value with more digits than the field
// widens the name: the characters after the field move right.
void put_counter(Addr& addr, int first, int width, long long value);
// Rebuilds `full_path` from the prefixes and `file_name`.
void strg(Addr& addr);

// The whole protocol for a tagged name with one counter (width 0: none);
// returns the path to open, relative to the working directory.
std::filesystem::path tagged_output_path(State& s, std::string_view templ, int first = 0,
                                         int width = 0, long long counter = 0);

}  // namespace fiamma
