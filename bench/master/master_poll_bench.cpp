// Transactions per second of the master's poll thread (delay between polls 0,
// one continuous Read Holding Registers poll) against a loopback libmodbus
// server, measured side by side with a plain blocking libmodbus client loop
// against the same server.
#include <arpa/inet.h>
#include <modbus.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "master/engine/comm_interface.h"
#include "tests/master_engine/loopback_peers.h"

using testpeer::FreePort;
using testpeer::PortAccepts;

namespace {

constexpr int kRegisters = 10;

// The server: one connection at a time, forever (until killed).
[[noreturn]] void RunServer(std::uint16_t port) {
  modbus_t* context = modbus_new_tcp("127.0.0.1", port);
  modbus_mapping_t* mapping = modbus_mapping_new(0, 0, 100, 0);
  for (int i = 0; i < 100; ++i) mapping->tab_registers[i] = static_cast<std::uint16_t>(i);
  int listener = modbus_tcp_listen(context, 4);
  for (;;) {
    int client = modbus_tcp_accept(context, &listener);
    if (client < 0) continue;
    std::uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    for (;;) {
      const int length = modbus_receive(context, query);
      if (length < 0) break;
      if (length > 0) modbus_reply(context, query, length, mapping);
    }
    ::close(client);
  }
}

double LibmodbusLoop(std::uint16_t port, double seconds) {
  modbus_t* context = modbus_new_tcp("127.0.0.1", port);
  if (modbus_connect(context) != 0) {
    std::fprintf(stderr, "libmodbus client cannot connect\n");
    std::exit(1);
  }
  std::uint16_t registers[kRegisters];
  long done = 0;
  const auto start = std::chrono::steady_clock::now();
  const auto end = start + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (modbus_read_registers(context, 0, kRegisters, registers) == kRegisters) ++done;
  }
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  modbus_close(context);
  modbus_free(context);
  return done / elapsed;
}

double EngineLoop(std::uint16_t port, double seconds) {
  using namespace masterengine;
  InitEngine();
  if (NetConnect(kLinkTcp, "127.0.0.1", port, 1000) != RESULT_OK) {
    std::fprintf(stderr, "engine cannot connect\n");
    std::exit(1);
  }
  SetLinkMode(kLinkTcp);
  SetDelayBetweenPolls(0);
  const int slot = RegisterPoll(0, platform::WM_ENGINE_NOTIFY, 0, 1, 3, 0, kRegisters, 0, 0);
  SetPollMode(slot, kModeContinuous);
  StartPolling();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // warm-up, not measured
  std::uint32_t sentBefore = 0, goodBefore = 0, sentAfter = 0, goodAfter = 0;
  ReadCounters(slot, &sentBefore, &goodBefore);
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  ReadCounters(slot, &sentAfter, &goodAfter);
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  StopPolling();
  TcpDisconnect();
  if (sentAfter - sentBefore != goodAfter - goodBefore) {
    std::fprintf(stderr, "engine: %u of %u transactions failed\n", (sentAfter - sentBefore) - (goodAfter - goodBefore),
                 sentAfter - sentBefore);
  }
  return (goodAfter - goodBefore) / elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  const std::uint16_t port = FreePort();
  const pid_t server = fork();
  if (server == 0) RunServer(port);
  while (!PortAccepts(port)) std::this_thread::sleep_for(std::chrono::milliseconds(10));

  double bestLib = 0, bestEngine = 0;
  for (int round = 1; round <= 3; ++round) {
    const double lib = LibmodbusLoop(port, seconds);
    const double engine = EngineLoop(port, seconds);
    std::printf("round %d: libmodbus client %.0f tx/s, master engine poll thread %.0f tx/s (%.1f%%)\n", round, lib,
                engine, 100.0 * engine / lib);
    if (lib > bestLib) bestLib = lib;
    if (engine > bestEngine) bestEngine = engine;
  }
  std::printf("best: libmodbus %.0f tx/s, engine %.0f tx/s, ratio %.1f%%\n", bestLib, bestEngine,
              100.0 * bestEngine / bestLib);
  ::kill(server, SIGTERM);
  ::waitpid(server, nullptr, 0);
  return 0;
}
