// The viewer's entry point; command-line arguments are ignored.
#include "app/app.hpp"

int main() {
  return corvath::startUp();
}
