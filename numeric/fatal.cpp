#include "numeric/fatal.h"

#include <cstdlib>
#include <iostream>

FatalHandler fatal_handler = nullptr;

void fatal_exit(std::string const& msg, int status) {
  if (fatal_handler) fatal_handler(msg, status);
  std::cout << msg;
  std::cout.flush();
  std::exit(status);
}
