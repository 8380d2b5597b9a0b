// corvath-convert: a mesh file of another program into mesh text for the viewer, or back.
#pragma once

namespace corvath {

// The whole run of corvath-convert with its command line; returns the exit code.
int runConvert(int argc, char** argv);

}  // namespace corvath
