// CPU cost of serving one Modbus/TCP read in the slave engine, with faults off:
// the plain handler against the one the TCP server calls (which also looks for
// faults and writes the MBAP length), in alternating rounds, measured as thread
// CPU time so that other load on the machine counts little. Then the same with
// a fault set on another definition, so the fault path runs its lookup.
//
//   slave_serve_bench [rounds, default 20]
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "slave/engine/slave_engine.h"
#include "slave/engine/tcp_server.h"

namespace {

constexpr int kRequestsPerRound = 200000;

double ThreadSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Nanoseconds per request of one round.
template <typename Serve>
double Round(Serve serve) {
  std::uint8_t request[12] = {0, 1, 0, 0, 0, 6, 1, 3, 0, 0, 0, 10};
  std::uint8_t reply[slaveengine::kReplyCapacity];
  unsigned sink = 0;
  const double begin = ThreadSeconds();
  for (int i = 0; i < kRequestsPerRound; ++i) {
    request[1] = static_cast<std::uint8_t>(i);
    sink += serve(request, reply);
  }
  const double ns = (ThreadSeconds() - begin) * 1e9 / kRequestsPerRound;
  if (sink == 0) std::printf("(nothing served)\n");
  return ns;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
  slaveengine::InitEngine();
  // 32 definitions like the TCP benchmark; slave 1 serves the reads.
  slaveengine::RegisterSlot(0, 0, 0, 1, 3, 0, 2048);
  for (int i = 1; i < 32; ++i)
    slaveengine::RegisterSlot(0, 0, 0, static_cast<std::uint16_t>(i + 1), static_cast<std::uint16_t>(1 + i % 4), 0,
                              100);
  auto plain = [](const std::uint8_t* request, std::uint8_t* reply) {
    const std::uint16_t r = slaveengine::ServeTcpRequest(request, 12, reply);
    reply[4] = static_cast<std::uint8_t>((r - 6) >> 8);
    reply[5] = static_cast<std::uint8_t>(r - 6);
    return static_cast<unsigned>(r);
  };
  auto withFaults = [](const std::uint8_t* request, std::uint8_t* reply) {
    slaveengine::ReplyFaults faults;
    return static_cast<unsigned>(slaveengine::ServeTcpRequest(request, 12, reply, &faults));
  };
  std::vector<double> a, b, c;
  for (int i = 0; i < rounds; ++i) {
    a.push_back(Round(plain));
    b.push_back(Round(withFaults));
  }
  slavefaults::FaultSettings elsewhere;
  elsewhere.delayMinMs = elsewhere.delayMaxMs = 50;
  slaveengine::SetSlotFaults(31, elsewhere);
  for (int i = 0; i < rounds; ++i) c.push_back(Round(withFaults));
  const double pa = Median(a), pb = Median(b), pc = Median(c);
  std::printf("serve one read of 10 registers, median of %d rounds of %d requests (thread CPU time):\n", rounds,
              kRequestsPerRound);
  std::printf("  plain handler                         %7.1f ns\n", pa);
  std::printf("  TCP server's handler, faults off      %7.1f ns  (%+.1f %%)\n", pb, 100 * (pb - pa) / pa);
  std::printf("  same, a fault on another definition   %7.1f ns  (%+.1f %%)\n", pc, 100 * (pc - pa) / pa);
  return 0;
}
