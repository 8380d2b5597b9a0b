// The viewer's entry point.
#include "viewer/viewer.hpp"

int main(int argc, char** argv) {
  return corvath::startUp(argc, argv);
}
