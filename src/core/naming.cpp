#include "core/naming.hpp"

#include <algorithm>
#include <cstdio>

namespace fiamma {

void set_file_name(Addr& addr, std::string_view templ) {
  addr.file_name.fill(' ');
  std::copy_n(templ.begin(), std::min(templ.size(), addr.file_name.size()), addr.file_name.begin());
}

void sver(Addr& addr) { addr.file_name[0] = addr.run_tag[0]; }

void put_counter(Addr& addr, int first, int width, long long value) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%0*lld", width, value);
  const std::string d(digits);
  std::string name(addr.file_name.data(), addr.file_name.size());
  const std::size_t at = static_cast<std::size_t>(first - 1);
  name = name.substr(0, at) + d + name.substr(at + static_cast<std::size_t>(width));
  set_file_name(addr, name);
}

void strg(Addr& addr) {
  addr.full_path.fill(' ');
  std::size_t pos = 0;
  for (const auto* field : {&addr.path_prefix_1, &addr.path_prefix_2, &addr.file_name}) {
    const int len = used_length(*field);
    std::copy_n(field->begin(), len, addr.full_path.begin() + pos);
    pos += static_cast<std::size_t>(len);
  }
}

std::filesystem::path tagged_output_path(State& s, std::string_view templ, int first, int width,
                                         long long counter) {
  set_file_name(s.addr, templ);
  sver(s.addr);
  if (width > 0) put_counter(s.addr, first, width, counter);
  strg(s.addr);
  return trimmed(s.addr.full_path);
}

}  // namespace fiamma
