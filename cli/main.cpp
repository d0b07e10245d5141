#include <cstdio>

#include "app/params.h"

int main() {
  std::printf("veltrix-cli %s\n", vx::kSoftwareVersion);
  return 0;
}
