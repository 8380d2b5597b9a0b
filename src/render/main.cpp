// corvath-render's entry point.
#include "render/render.hpp"

int main(int argc, char** argv) {
  return corvath::runRender(argc, argv);
}
