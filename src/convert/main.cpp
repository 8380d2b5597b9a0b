// corvath-convert's entry point.
#include "convert/convert.hpp"

int main(int argc, char** argv) {
  return corvath::runConvert(argc, argv);
}
