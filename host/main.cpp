#include <cstdio>
#include <iostream>

#include "host/host_app.h"

int main(int argc, char **argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return kdr::host::runHost(args, kdr::host::processEnvironment(), std::cout, std::cerr);
}
