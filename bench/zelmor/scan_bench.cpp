// The bus scan's pace: zelmor --headless --scan of ids 1..247 against headless
// vantor serving one id, on a pty line at 9600 baud and over Modbus/TCP on
// loopback, against the time-out arithmetic (every silent id waits its probe
// time-out, plus the poll thread's pause before each pass).
//
//   scan_bench ZELMOR_BINARY VANTOR_BINARY [timeout ms = 100]
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/master_engine/loopback_peers.h"

namespace {

pid_t Spawn(const std::vector<std::string>& args, bool quiet) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (quiet) {
      (void)!freopen("/dev/null", "w", stdout);
      (void)!freopen("/dev/null", "w", stderr);
    }
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

double RunScan(const std::vector<std::string>& args) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = Spawn(args, false);
  int status = 0;
  waitpid(pid, &status, 0);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Stop(pid_t pid) {
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: scan_bench ZELMOR_BINARY VANTOR_BINARY [timeout ms]\n");
    return 2;
  }
  const std::string zelmor = argv[1], vantor = argv[2];
  const int timeout = argc > 3 ? std::atoi(argv[3]) : 100;
  constexpr int kIds = 247, kDelayBetweenPollsMs = 10;
  const double arithmetic = kIds * (timeout + kDelayBetweenPollsMs) / 1000.0;

  testpeer::Pty a, b;
  testpeer::PtyBridge bridge(a.master, b.master);
  const pid_t serial = Spawn({vantor, "--headless", "--serial", a.path, "--slave", "123:3:0:10"}, true);
  std::this_thread::sleep_for(std::chrono::seconds(3));  // vantor opens its end of the line
  const double rtu = RunScan({zelmor, "--headless", "--scan", "--serial", b.path, "--baud", "9600", "--parity",
                              "none", "--scan-timeout", std::to_string(timeout)});
  Stop(serial);

  const std::uint16_t port = testpeer::FreePort();
  const pid_t tcp = Spawn({vantor, "--headless", "--tcp", "127.0.0.1:" + std::to_string(port), "--slave", "123:3:0:10"},
                          true);
  for (int k = 0; k < 100 && !testpeer::PortAccepts(port); ++k) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const double overTcp = RunScan({zelmor, "--headless", "--scan", "--tcp", "127.0.0.1:" + std::to_string(port),
                                  "--scan-timeout", std::to_string(timeout)});
  Stop(tcp);

  std::printf("247 ids, probe time-out %d ms: arithmetic %.1f s (247 ids x (time-out + %d ms pause before each pass))\n",
              timeout, arithmetic, kDelayBetweenPollsMs);
  std::printf("  RTU 9600 on a pty: %.1f s (%.1f ms per id)\n", rtu, rtu * 1000 / kIds);
  std::printf("  Modbus/TCP loopback: %.1f s (%.1f ms per id)\n", overTcp, overTcp * 1000 / kIds);
  return 0;
}
