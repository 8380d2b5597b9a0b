// corvath-render: draws a model file, or a generated scene, headless into a BMP or PNG picture.
#pragma once

namespace corvath {

// The whole run of corvath-render with its command line; returns the exit code.
int runRender(int argc, char** argv);

}  // namespace corvath
