// The viewer's entry point.
#include "app/app.hpp"

int main(int argc, char** argv) {
  return corvath::startUp(argc, argv);
}
