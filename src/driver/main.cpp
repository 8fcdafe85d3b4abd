#include <iostream>
#include <string>
#include <vector>

#include "driver/run.hpp"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(true);
  const std::vector<std::string> args(argv + 1, argv + argc);
  return fiamma::fiamma_main(args, std::cout, std::cerr);
}
