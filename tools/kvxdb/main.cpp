#include <iostream>

#include "tools/kvxdb/kvxdb.h"

int main(int argc, char** argv) {
  return kvxdb::Run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
