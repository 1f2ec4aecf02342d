#include "numeric/warnings.h"

#include <iostream>

#include "numeric/report.h"

namespace {
std::vector<std::string>& store() {
  static std::vector<std::string> w;
  return w;
}
}  // namespace

void warn(std::string const& text) {
  std::cout << console_line(text) << std::endl;
  store().push_back(text);
}

std::vector<std::string> take_warnings() {
  std::vector<std::string> w;
  w.swap(store());
  return w;
}
