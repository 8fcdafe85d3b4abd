// One entry per text reader of the program, taking a file's whole content:
// the libFuzzer targets call them, and a test replays the seed corpus
// through them. Bad input must end in an InputError, nothing else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fiamma::fuzz {

// Nodes of the grid and restart inputs.
inline constexpr int kNodes = 17;

void configuration(const std::uint8_t* data, std::size_t size);
void grid(const std::uint8_t* data, std::size_t size);
void restart(const std::uint8_t* data, std::size_t size);
void resume_index(const std::uint8_t* data, std::size_t size);
void analytic_profile(const std::uint8_t* data, std::size_t size);

// The entry of a target by its corpus name ("configuration", "grid",
// "restart", "resume_index", "analytic_profile"), or nullptr.
using Entry = void (*)(const std::uint8_t*, std::size_t);
Entry entry(const std::string& name);

}  // namespace fiamma::fuzz
