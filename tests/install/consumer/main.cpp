#include <korvan/korvan.h>

#include <cstdio>

int main() {
  std::printf("korvan %s\n", KorvanVersion());
  return 0;
}
