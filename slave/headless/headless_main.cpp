// vantor-headless: "vantor --headless" without the windowing libraries. vantor
// hands a headless run over to this program (same process, same arguments), so
// that a fixture serving a line for hours holds only the engine in memory.
#include "slave/headless/headless_autochange.h"
#include "slave/headless/headless_vantor.h"

int main(int argc, char** argv) {
  headless::SetRefreshHandler(&HeadlessAutoChange);
  return RunHeadlessVantor(argc, argv);
}
