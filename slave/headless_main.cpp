// The vantor executable while the windowed program is not part of the build:
// headless mode only.
#include "slave/headless/headless_vantor.h"

int main(int argc, char** argv) { return RunHeadlessVantor(argc, argv); }
