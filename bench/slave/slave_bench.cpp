// Headless vantor against a libmodbus server over loopback Modbus/TCP, in the
// same run: 1, 10 and 100 concurrent clients doing back-to-back reads of 10 and
// 125 holding registers. Prints requests per second, p50 and p99 latency,
// errors, and vantor's resident memory with 32 definitions and 100 connections.
// Then the isolation of an injected delay: 10 connections, one of them reading
// a definition that answers 50 ms late; the other 9 keep their p99. Last, the
// network transports: vantor's RTU over TCP and Modbus/UDP beside its own
// Modbus/TCP and libmodbus, at 1 and 10 clients reading 10 registers.
//
//   slave_bench [seconds per row and server, default 3] [vantor executable] [transports]
// ("transports": only the rows of the network transports)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/framing.h"
#include "tests/slave/vantor_child.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSlices = 8;

struct RowResult {
  double requestsPerSecond = 0;
  double p50Ms = 0;
  double p99Ms = 0;
  long errors = 0;
};

int Connect(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  timeval timeout{2, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  return fd;
}

bool ReceiveAll(int fd, std::uint8_t* out, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::recv(fd, out + done, count - done, 0);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// One client: back-to-back reads until the deadline; latencies in microseconds.
void ClientLoop(int fd, int registers, Clock::time_point deadline, std::vector<std::uint32_t>* latencies,
                long* errors, std::uint8_t unit) {
  std::uint8_t request[12] = {0, 0, 0, 0, 0, 6, unit, 3, 0, 0, 0, static_cast<std::uint8_t>(registers)};
  std::uint8_t reply[260];
  const std::size_t replySize = 9 + 2 * static_cast<std::size_t>(registers);
  std::uint16_t transaction = 0;
  while (Clock::now() < deadline) {
    ++transaction;
    request[0] = static_cast<std::uint8_t>(transaction >> 8);
    request[1] = static_cast<std::uint8_t>(transaction);
    const auto start = Clock::now();
    if (::send(fd, request, sizeof request, MSG_NOSIGNAL) != sizeof request || !ReceiveAll(fd, reply, replySize)) {
      ++*errors;
      return;
    }
    const auto end = Clock::now();
    if (reply[0] != request[0] || reply[1] != request[1] || reply[7] != 3 || reply[8] != 2 * registers) ++*errors;
    latencies->push_back(static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(end - start).count()));
  }
}

// Measurements of one server in one row, added up over several slices.
struct Samples {
  std::vector<std::uint32_t> latencies;
  double seconds = 0;
  long errors = 0;

  RowResult result() {
    RowResult r;
    r.errors = errors;
    if (latencies.empty()) return r;
    std::sort(latencies.begin(), latencies.end());
    r.requestsPerSecond = static_cast<double>(latencies.size()) / seconds;
    r.p50Ms = latencies[latencies.size() / 2] / 1000.0;
    r.p99Ms = latencies[std::min(latencies.size() - 1, latencies.size() * 99 / 100)] / 1000.0;
    return r;
  }
};

void RunSlice(std::uint16_t port, int clients, int registers, double seconds, int vantorPid, long* rssKiB,
              Samples* samples) {
  std::vector<int> sockets;
  for (int i = 0; i < clients; ++i) {
    const int fd = Connect(port);
    if (fd < 0) ++samples->errors;
    else sockets.push_back(fd);
  }
  std::vector<std::vector<std::uint32_t>> latencies(sockets.size());
  std::vector<long> errors(sockets.size(), 0);
  for (auto& l : latencies) l.reserve(100000);
  const auto begin = Clock::now();
  const auto deadline = begin + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < sockets.size(); ++i)
    threads.emplace_back(ClientLoop, sockets[i], registers, deadline, &latencies[i], &errors[i], std::uint8_t{1});
  for (auto& t : threads) t.join();
  samples->seconds += std::chrono::duration<double>(Clock::now() - begin).count();
  if (vantorPid > 0 && rssKiB) {
    // Read while all connections are still open.
    std::ifstream status("/proc/" + std::to_string(vantorPid) + "/status");
    std::string line;
    while (std::getline(status, line))
      if (line.rfind("VmRSS:", 0) == 0) *rssKiB = std::max(*rssKiB, std::stol(line.substr(6)));
  }
  for (int fd : sockets) ::close(fd);
  for (auto& l : latencies) samples->latencies.insert(samples->latencies.end(), l.begin(), l.end());
  for (long e : errors) samples->errors += e;
}

// The libmodbus reference server as a child: its port from "ready PORT".
struct ReferenceServer {
  int pid = -1;
  std::uint16_t port = 0;
  explicit ReferenceServer(const char* executable) {
    int out[2];
    if (::pipe(out) != 0) return;
    pid = ::fork();
    if (pid == 0) {
      ::dup2(out[1], 1);
      ::close(out[0]);
      ::execl(executable, executable, static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(out[1]);
    char line[64] = {};
    std::size_t used = 0;
    while (used < sizeof line - 1 && !std::strchr(line, '\n')) {
      const ssize_t n = ::read(out[0], line + used, sizeof line - 1 - used);
      if (n <= 0) break;
      used += static_cast<std::size_t>(n);
    }
    ::close(out[0]);
    unsigned value = 0;
    if (std::sscanf(line, "ready %u", &value) == 1) port = static_cast<std::uint16_t>(value);
  }
  ~ReferenceServer() {
    if (pid > 0) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
  }
};

// Nine clients read slave 1 while a tenth reads slave 2; only the nine are
// measured.
void RunMixedSlice(std::uint16_t port, double seconds, Samples* nine) {
  constexpr int kClients = 10;
  int sockets[kClients];
  for (int& fd : sockets) fd = Connect(port);
  std::vector<std::vector<std::uint32_t>> latencies(kClients);
  std::vector<long> errors(kClients, 0);
  for (auto& l : latencies) l.reserve(100000);
  const auto begin = Clock::now();
  const auto deadline = begin + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
  std::vector<std::thread> threads;
  for (int i = 0; i < kClients; ++i)
    if (sockets[i] >= 0)
      threads.emplace_back(ClientLoop, sockets[i], 10, deadline, &latencies[i], &errors[i],
                           static_cast<std::uint8_t>(i == kClients - 1 ? 2 : 1));
    else
      ++nine->errors;
  for (auto& t : threads) t.join();
  nine->seconds += std::chrono::duration<double>(Clock::now() - begin).count();
  for (int i = 0; i < kClients; ++i) {
    if (sockets[i] >= 0) ::close(sockets[i]);
    if (i == kClients - 1) continue;
    nine->latencies.insert(nine->latencies.end(), latencies[i].begin(), latencies[i].end());
    nine->errors += errors[i];
  }
}


enum class Wire { kMbap, kRtu, kUdp };

int ConnectWire(Wire wire, std::uint16_t port) {
  if (wire != Wire::kUdp) return Connect(port);
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  timeval timeout{2, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  return fd;
}

// Back-to-back reads of 10 registers in the wire's framing until the deadline.
void WireClientLoop(Wire wire, int fd, Clock::time_point deadline, std::vector<std::uint32_t>* latencies,
                    long* errors) {
  constexpr int kRegisters = 10;
  std::uint8_t request[16];
  std::size_t requestSize = 0;
  std::size_t replySize = 0;
  if (wire == Wire::kRtu) {
    const std::uint8_t head[6] = {1, 3, 0, 0, 0, kRegisters};
    std::memcpy(request, head, sizeof head);
    requestSize = linklayer::AppendCrc(request, sizeof head);
    replySize = 5 + 2 * kRegisters;
  } else {
    const std::uint8_t adu[12] = {0, 0, 0, 0, 0, 6, 1, 3, 0, 0, 0, kRegisters};
    std::memcpy(request, adu, sizeof adu);
    requestSize = sizeof adu;
    replySize = 9 + 2 * kRegisters;
  }
  std::uint8_t reply[300];
  std::uint16_t transaction = 0;
  while (Clock::now() < deadline) {
    if (wire != Wire::kRtu) {
      ++transaction;
      request[0] = static_cast<std::uint8_t>(transaction >> 8);
      request[1] = static_cast<std::uint8_t>(transaction);
    }
    const auto start = Clock::now();
    bool ok = ::send(fd, request, requestSize, MSG_NOSIGNAL) == static_cast<ssize_t>(requestSize);
    if (ok && wire == Wire::kUdp) ok = ::recv(fd, reply, sizeof reply, 0) == static_cast<ssize_t>(replySize);
    else if (ok) ok = ReceiveAll(fd, reply, replySize);
    if (!ok) {
      ++*errors;
      return;
    }
    const auto end = Clock::now();
    const bool matches = wire == Wire::kRtu ? reply[1] == 3 : reply[0] == request[0] && reply[1] == request[1];
    if (!matches) ++*errors;
    latencies->push_back(static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(end - start).count()));
  }
}

void RunWireSlice(Wire wire, std::uint16_t port, int clients, double seconds, Samples* samples) {
  std::vector<int> sockets;
  for (int i = 0; i < clients; ++i) {
    const int fd = ConnectWire(wire, port);
    if (fd < 0) ++samples->errors;
    else sockets.push_back(fd);
  }
  std::vector<std::vector<std::uint32_t>> latencies(sockets.size());
  std::vector<long> errors(sockets.size(), 0);
  for (auto& l : latencies) l.reserve(100000);
  const auto begin = Clock::now();
  const auto deadline = begin + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < sockets.size(); ++i)
    threads.emplace_back(WireClientLoop, wire, sockets[i], deadline, &latencies[i], &errors[i]);
  for (auto& t : threads) t.join();
  samples->seconds += std::chrono::duration<double>(Clock::now() - begin).count();
  for (int fd : sockets) ::close(fd);
  for (auto& l : latencies) samples->latencies.insert(samples->latencies.end(), l.begin(), l.end());
  for (long e : errors) samples->errors += e;
}

// vantor over Modbus/TCP, RTU over TCP and Modbus/UDP, and libmodbus, in
// alternating slices of the same run. False when a new transport falls more
// than 10 % below vantor's Modbus/TCP figure.
bool RunTransportRows(const std::string& vantorExecutable, std::uint16_t libmodbusPort, double seconds) {
  const std::vector<std::string> definition = {"--slave", "1:3:0:100"};
  auto with = [&](const char* option) {
    std::vector<std::string> args = definition;
    args.insert(args.end(), {option, "127.0.0.1:0"});
    return args;
  };
  slavetest::VantorChild tcp(vantorExecutable, with("--tcp"));
  slavetest::VantorChild rtu(vantorExecutable, with("--rtu-over-tcp"));
  slavetest::VantorChild udp(vantorExecutable, with("--udp"));
  if (!tcp.ok() || !rtu.ok() || !udp.ok()) {
    std::printf("transports: the servers did not start\n");
    return false;
  }
  struct Row {
    const char* name;
    Wire wire;
    std::uint16_t port;
  } rows[] = {{"vantor Modbus/TCP", Wire::kMbap, tcp.tcpPort()},
              {"vantor RTU over TCP", Wire::kRtu, rtu.tcpPort()},
              {"vantor Modbus/UDP", Wire::kUdp, udp.tcpPort()},
              {"libmodbus Modbus/TCP", Wire::kMbap, libmodbusPort}};
  bool met = true;
  std::printf("\n%-22s %7s %12s %9s %9s %7s %11s\n", "transport", "clients", "requests/s", "p50 ms", "p99 ms",
              "errors", "vs own TCP");
  for (int clients : {1, 10}) {
    Samples samples[4];
    // The order turns each slice, so that no server always runs first.
    for (int slice = 0; slice < kSlices; ++slice)
      for (int k = 0; k < 4; ++k) {
        const int r = (slice + k) % 4;
        RunWireSlice(rows[r].wire, rows[r].port, clients, seconds / kSlices, &samples[r]);
      }
    const double own = samples[0].result().requestsPerSecond;
    for (int r = 0; r < 4; ++r) {
      const RowResult result = samples[r].result();
      const double ratio = own > 0 ? result.requestsPerSecond / own : 0;
      std::printf("%-22s %7d %12.0f %9.3f %9.3f %7ld %10.0f%%\n", rows[r].name, clients, result.requestsPerSecond,
                  result.p50Ms, result.p99Ms, result.errors, 100 * ratio);
      if ((r == 1 || r == 2) && (ratio < 0.9 || result.errors != 0)) met = false;
    }
  }
  std::printf("target (RTU over TCP and Modbus/UDP within 10 %% of vantor's Modbus/TCP, no errors): %s\n",
              met ? "met" : "NOT met");
  const bool stopped = tcp.stop() == 0 && rtu.stop() == 0 && udp.stop() == 0;
  return met && stopped;
}
}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  const std::string vantorExecutable = argc > 2 ? argv[2] : VANTOR_EXECUTABLE;
  std::vector<std::string> args;
  // 32 definitions, the first one serving the benchmark's registers.
  args.insert(args.end(), {"--slave", "1:3:0:2048"});
  for (int i = 1; i < 32; ++i) args.insert(args.end(), {"--slave", std::to_string(i + 1) + ":" + std::to_string(1 + i % 4) + ":0:100"});
  args.insert(args.end(), {"--tcp", "127.0.0.1:0"});
  slavetest::VantorChild vantor(vantorExecutable, args);
  ReferenceServer reference(LIBMODBUS_SERVER_EXECUTABLE);
  if (!vantor.ok() || reference.port == 0) {
    std::fprintf(stderr, "could not start the servers: %s\n", vantor.readyLine().c_str());
    return 1;
  }
  // "slave_bench SECONDS VANTOR transports": the transport rows only.
  if (argc > 3 && std::string(argv[3]) == "transports") {
    const bool met = RunTransportRows(vantorExecutable, reference.port, seconds);
    return vantor.stop() == 0 && met ? 0 : 1;
  }
  std::printf("%-9s %7s %9s %12s %9s %9s %7s %9s\n", "server", "clients", "registers", "requests/s", "p50 ms",
              "p99 ms", "errors", "vs libm.");
  long rssKiB = 0;
  bool targetsMet = true;
  for (int clients : {1, 10, 100}) {
    for (int registers : {10, 125}) {
      // Alternate short slices of both servers, so that load from elsewhere on
      // the machine falls on both alike.
      Samples oursSamples, theirsSamples;
      for (int slice = 0; slice < kSlices; ++slice) {
        RunSlice(vantor.tcpPort(), clients, registers, seconds / kSlices, vantor.pid(),
                 clients == 100 ? &rssKiB : nullptr, &oursSamples);
        RunSlice(reference.port, clients, registers, seconds / kSlices, -1, nullptr, &theirsSamples);
      }
      const RowResult ours = oursSamples.result();
      const RowResult theirs = theirsSamples.result();
      const double ratio = theirs.requestsPerSecond > 0 ? ours.requestsPerSecond / theirs.requestsPerSecond : 0;
      std::printf("%-9s %7d %9d %12.0f %9.3f %9.3f %7ld %8.0f%%\n", "vantor", clients, registers,
                  ours.requestsPerSecond, ours.p50Ms, ours.p99Ms, ours.errors, 100 * ratio);
      std::printf("%-9s %7d %9d %12.0f %9.3f %9.3f %7ld\n", "libmodbus", clients, registers,
                  theirs.requestsPerSecond, theirs.p50Ms, theirs.p99Ms, theirs.errors);
      if (ratio < 0.8 || ours.errors != 0 || (clients == 10 && ours.p99Ms >= 5.0)) targetsMet = false;
    }
  }
  std::printf("vantor resident memory with 32 definitions and 100 connections: %.1f MiB\n", rssKiB / 1024.0);
  if (rssKiB >= 20 * 1024) targetsMet = false;
  std::printf("targets (>= 80%% of libmodbus, p99 < 5 ms at 10 clients, no errors, < 20 MiB): %s\n",
              targetsMet ? "met" : "NOT met");
  const bool stopped = vantor.stop() == 0;

  // The same 10 connections against two servers, in alternating slices: one
  // without faults and one whose slave 2 answers 50 ms late.
  const std::vector<std::string> two = {"--slave", "1:3:0:100", "--slave", "2:3:0:100", "--tcp", "127.0.0.1:0"};
  std::vector<std::string> delayedArgs = two;
  delayedArgs.insert(delayedArgs.end(), {"--delay", "2=50"});
  slavetest::VantorChild plain(vantorExecutable, two);
  slavetest::VantorChild delayed(vantorExecutable, delayedArgs);
  if (!plain.ok() || !delayed.ok()) {
    std::printf("delay isolation: the servers did not start (the executable may not know --delay)\n");
    return stopped ? 0 : 1;
  }
  Samples plainNine, delayedNine;
  for (int slice = 0; slice < kSlices; ++slice) {
    RunMixedSlice(plain.tcpPort(), seconds / kSlices, &plainNine);
    RunMixedSlice(delayed.tcpPort(), seconds / kSlices, &delayedNine);
  }
  const RowResult without = plainNine.result();
  const RowResult with = delayedNine.result();
  std::printf("delay isolation, 9 of 10 connections: p50 %.3f / p99 %.3f ms (%.0f req/s) without a delay, "
              "p50 %.3f / p99 %.3f ms (%.0f req/s) with 50 ms on the tenth; errors %ld / %ld\n",
              without.p50Ms, without.p99Ms, without.requestsPerSecond, with.p50Ms, with.p99Ms,
              with.requestsPerSecond, without.errors, with.errors);
  const bool transports = RunTransportRows(vantorExecutable, reference.port, seconds);
  return stopped && plain.stop() == 0 && delayed.stop() == 0 && transports ? 0 : 1;
}
