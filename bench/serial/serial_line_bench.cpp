// Serial throughput on a paced line (run by hand, under nice): vantor and
// zelmor against libmodbus (RTU) and pymodbus (ASCII) in the same run, at 9600,
// 19200 and 115200 baud (8N1), reading 10 and 125 holding registers.
//
//   serial_line_bench [seconds per figure, default 3] [baud: only this rate]
//   serial_line_bench --check      only the emulator against the arithmetic
//   serial_line_bench --line BAUD  a paced line with libmodbus's RTU server on
//                                  one end; prints the free end's device and
//                                  keeps the line until standard input closes
//                                  (to study one master with strace or perf);
//                                  each line on standard input prints the mean
//                                  request pause and server delay since the last
//
// Servers are measured with one fixed client (libmodbus's for RTU, the ASCII
// client below for ASCII), masters against one fixed server (libmodbus's RTU
// server, vantor for ASCII). "limit" is what the line allows: the frames' time
// plus one t3.5 silence before each RTU request; for a master also the server's
// reply delay as the line saw it in that master's run (the master cannot go
// faster than its server answers).
#include <fcntl.h>
#include <modbus.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/serial/paced_line.h"

namespace {

constexpr std::uint32_t kBits = 10;  // 8N1

struct Child {
  pid_t pid = -1;
  int out = -1;  // its standard output (and error, merged)
};

Child Spawn(const std::vector<std::string>& args) {
  int pipeFds[2];
  Child child;
  if (::pipe(pipeFds) != 0) return child;
  child.pid = ::fork();
  if (child.pid == 0) {
    ::dup2(pipeFds[1], 1);
    ::dup2(pipeFds[1], 2);
    ::close(pipeFds[0]);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  child.out = pipeFds[0];
  return child;
}

void Stop(Child& child) {
  if (child.pid > 0) {
    ::kill(child.pid, SIGTERM);
    ::waitpid(child.pid, nullptr, 0);
  }
  if (child.out >= 0) ::close(child.out);
  child = Child{};
}

// Reads the child's output until a line contains `word`, or `timeoutMs` passed.
// With lines != nullptr, every line's arrival time is kept.
bool ReadUntil(const Child& child, const char* word, int timeoutMs, std::vector<double>* lines = nullptr,
               double untilUs = 0) {
  std::string pending;
  const double endUs = untilUs > 0 ? untilUs : bench::NowUs() + timeoutMs * 1000.0;
  for (;;) {
    const double leftUs = endUs - bench::NowUs();
    if (leftUs <= 0) return false;
    pollfd p{child.out, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(leftUs / 1000) + 1) <= 0) continue;
    char chunk[4096];
    const ssize_t n = ::read(child.out, chunk, sizeof chunk);
    if (n <= 0) return false;
    pending.append(chunk, static_cast<size_t>(n));
    for (std::size_t eol; (eol = pending.find('\n')) != std::string::npos; pending.erase(0, eol + 1)) {
      const std::string line = pending.substr(0, eol);
      if (lines) lines->push_back(bench::NowUs());
      if (word && line.find(word) != std::string::npos) return true;
    }
  }
}

std::string Dir(const char* executable) {
  const std::string path = executable;
  return path.substr(0, path.rfind('/') + 1);
}

// ---- Clients -------------------------------------------------------------------

double LibmodbusClientRate(const std::string& device, std::uint32_t baud, int address, int registers,
                           double seconds) {
  modbus_t* ctx = modbus_new_rtu(device.c_str(), static_cast<int>(baud), 'N', 8, 1);
  modbus_set_slave(ctx, 1);
  modbus_set_response_timeout(ctx, 1, 0);
  if (modbus_connect(ctx) != 0) return 0;
  std::uint16_t values[125];
  modbus_read_registers(ctx, address, registers, values);  // the first exchange opens the line
  long count = 0, failures = 0;
  const double start = bench::NowUs();
  while (bench::NowUs() - start < seconds * 1e6) {
    // A reply, good or an exception, completes a transaction; a time-out does not.
    if (modbus_read_registers(ctx, address, registers, values) == registers || errno == EMBXILADD)
      ++count;
    else
      ++failures;
  }
  const double elapsed = (bench::NowUs() - start) / 1e6;
  if (failures > 0) std::fprintf(stderr, "  (libmodbus client: %ld failed transactions)\n", failures);
  modbus_close(ctx);
  modbus_free(ctx);
  return count / elapsed;
}

int OpenRaw(const std::string& device) {
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
  termios t{};
  ::tcgetattr(fd, &t);
  cfmakeraw(&t);
  ::tcsetattr(fd, TCSANOW, &t);
  return fd;
}

// Reads holding registers of slave 1 in Modbus ASCII, one request at a time.
double AsciiClientRate(const std::string& device, int registers, double seconds) {
  const int fd = OpenRaw(device);
  char request[32];
  const int sum = 1 + 3 + registers;
  std::snprintf(request, sizeof request, ":01030000%04X%02X\r\n", registers, (0x100 - sum) & 0xFF);
  const std::size_t length = std::strlen(request);
  long count = 0;
  const double start = bench::NowUs();
  while (bench::NowUs() - start < seconds * 1e6) {
    if (::write(fd, request, length) != static_cast<ssize_t>(length)) break;
    char c = 0;
    bool answered = false;
    for (;;) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 1000) <= 0 || ::read(fd, &c, 1) != 1) break;
      if (c == '\n') {
        answered = true;
        break;
      }
    }
    if (answered) ++count;
  }
  const double elapsed = (bench::NowUs() - start) / 1e6;
  ::close(fd);
  return count / elapsed;
}

// A headless zelmor polling as fast as the line allows: completed polls per
// second between its first and its last line within `seconds`.
double ZelmorRate(const std::string& zelmor, const std::string& device, std::uint32_t baud, bool ascii,
                  int address, int registers, double seconds) {
  std::vector<std::string> args = {zelmor, "--headless", "--serial", device, "--baud", std::to_string(baud),
                                   "--parity", "none", "--delay-between-polls", "0", "--poll",
                                   "1:3:" + std::to_string(address) + ":" + std::to_string(registers) + ":0"};
  if (ascii) args.push_back("--ascii");
  Child child = Spawn(args);
  std::vector<double> lines;
  ReadUntil(child, nullptr, 0, &lines, bench::NowUs() + (seconds + 2) * 1e6);
  Stop(child);
  // Start-up lines are left out: the first second is not counted.
  std::size_t first = 0;
  while (first < lines.size() && lines[first] - lines.front() < 1e6) ++first;
  if (lines.size() < first + 2) return 0;
  return (lines.size() - 1 - first) / ((lines.back() - lines[first]) / 1e6);
}

double PymodbusClientRate(const std::string& script, const std::string& device, std::uint32_t baud,
                          int registers, double seconds) {
  Child child = Spawn({"/usr/bin/python3", script, "client", device, std::to_string(baud),
                       std::to_string(registers), std::to_string(seconds)});
  char text[256] = {};
  std::size_t used = 0;
  for (ssize_t n; used < sizeof text - 1 && (n = ::read(child.out, text + used, sizeof text - 1 - used)) > 0;)
    used += static_cast<std::size_t>(n);
  ::waitpid(child.pid, nullptr, 0);
  ::close(child.out);
  double count = 0, elapsed = 0;
  return std::sscanf(text, "%lf %lf", &count, &elapsed) == 2 && elapsed > 0 ? count / elapsed : 0;
}

// ---- Servers -------------------------------------------------------------------

Child StartVantor(const std::string& vantor, const std::string& device, std::uint32_t baud, bool ascii) {
  std::vector<std::string> args = {vantor, "--headless", "--slave", "1:3:0:200", "--serial", device,
                                   "--baud", std::to_string(baud)};
  if (ascii) args.push_back("--ascii");
  Child child = Spawn(args);
  ReadUntil(child, "serving", 10000);
  return child;
}

Child StartReady(const std::vector<std::string>& args) {
  Child child = Spawn(args);
  ReadUntil(child, "ready", 10000);
  return child;
}

// ---- Figures -------------------------------------------------------------------

// The RTU silence that ends a frame: 3.5 characters, 1750 us above 19200 baud.
double T35Us(std::uint32_t baud) { return baud > 19200 ? 1750 : 3.5 * 1e6 * kBits / baud; }

// A transaction lost to a frame the relay tore (see PacedLine::setTearGap) is
// the line's fault, not the program's: shown next to the failures. Servers are
// on side B: a torn request costs a transaction, a torn reply to libmodbus's
// client (which reads replies by their length) does not.
void NoteTornFrames(const bench::PacedLine& line) {
  const unsigned long long requests = line.tornGapsToB(), replies = line.tornGapsToA();
  if (requests + replies > 0)
    std::fprintf(stderr, "  (paced line: %llu requests and %llu replies torn by a relay stall longer than t3.5)\n",
                 requests, replies);
}

double LimitRate(std::uint32_t baud, bool ascii, int replyRegisters, bool exception = false) {
  const double characterUs = 1e6 * kBits / baud;
  double characters = ascii ? 17 + 11 + 4.0 * replyRegisters : 8 + 5 + 2.0 * replyRegisters;
  if (exception) characters = 8 + 5;
  const double gapUs = ascii ? 0 : T35Us(baud);
  return 1e6 / (characters * characterUs + gapUs);
}

void PrintRow(const char* what, std::uint32_t baud, int registers, double ours, double theirs, double limit,
              const char* extra = "") {
  std::printf("%-34s %6u %4d %9.1f %9.1f %6.2f %9.1f %5.0f%% %s\n", what, baud, registers, ours, theirs,
              theirs > 0 ? ours / theirs : 0, limit, limit > 0 ? 100 * ours / limit : 0, extra);
  std::fflush(stdout);
}

// A master's figure with what the line saw: its pause between a reply's last
// byte and its next request (t3.5 plus its own time), and the server's delay.
struct MasterRun {
  double rate = 0;
  double pauseUs = 0;
  double serverUs = 0;
  double lateUs = 0;  // how late the relay delivered frame ends (counted nowhere)
};

template <typename Run>
MasterRun MeasureMaster(bench::PacedLine& line, Run run) {
  line.resetTurnaround();
  MasterRun m;
  m.rate = run();
  m.pauseUs = line.meanTurnaroundAUs();
  m.serverUs = line.meanTurnaroundUs();
  m.lateUs = line.meanLateUs();
  NoteTornFrames(line);
  return m;
}

void PrintMasterRow(const char* what, std::uint32_t baud, int registers, const MasterRun& ours,
                    const MasterRun& theirs, double limit, const char* reference) {
  char pauses[160];
  std::snprintf(pauses, sizeof pauses,
                "request pause %.3f ms (%s %.3f ms), server delay %.3f ms (%.3f ms), line late %.3f ms",
                ours.pauseUs / 1000, reference, theirs.pauseUs / 1000, ours.serverUs / 1000, theirs.serverUs / 1000,
                ours.lateUs / 1000);
  const double withServer = limit > 0 ? 1e6 / (1e6 / limit + ours.serverUs) : 0;
  PrintRow(what, baud, registers, ours.rate, theirs.rate, withServer, pauses);
}

bool CheckEmulator() {
  bench::PacedLine line(9600, kBits);
  if (!line.start()) return false;
  const int a = OpenRaw(line.pathA());
  const int b = OpenRaw(line.pathB());
  std::vector<std::uint8_t> bytes(1000, 0x55);
  const double start = bench::NowUs();
  if (::write(a, bytes.data(), bytes.size()) != 1000) return false;
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(b, bytes.data(), bytes.size() - got);
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  const double seconds = (bench::NowUs() - start) / 1e6;
  std::printf("paced line: 1000 bytes at 9600 8N1 took %.4f s (arithmetic 1000 x 10 / 9600 = %.4f s)%s, "
              "last byte %.3f ms late\n",
              seconds, 1000.0 * kBits / 9600, line.realTimeRelay() ? ", relay real-time" : ", relay not real-time",
              line.meanLateUs() / 1000);
  ::close(a);
  ::close(b);
  return true;
}

// --line BAUD: the line for a master run by hand.
int ServeLine(const std::string& rtuServer, std::uint32_t baud) {
  bench::PacedLine line(baud, kBits);
  if (baud == 0 || !line.start()) return 1;
  Child server = StartReady({rtuServer, line.pathB(), std::to_string(baud)});
  std::printf("%s\n", line.pathA().c_str());
  std::fflush(stdout);
  char c;
  while (::read(0, &c, 1) > 0) {
    if (c != '\n') continue;
    std::printf("request pause %.3f ms, server delay %.3f ms, line late %.3f ms\n", line.meanTurnaroundAUs() / 1000,
                line.meanTurnaroundUs() / 1000, line.meanLateUs() / 1000);
    std::fflush(stdout);
    line.resetTurnaround();
  }
  Stop(server);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ::signal(SIGPIPE, SIG_IGN);
  if (!CheckEmulator()) return 1;
  if (argc > 1 && std::strcmp(argv[1], "--check") == 0) return 0;
  if (argc > 2 && std::strcmp(argv[1], "--line") == 0)
    return ServeLine(Dir(argv[0]) + "serial_bench_libmodbus_rtu_server", static_cast<std::uint32_t>(std::atol(argv[2])));
  const double seconds = argc > 1 ? std::atof(argv[1]) : 3;
  const std::string dir = Dir(argv[0]);
  const std::string vantor = VANTOR_EXECUTABLE, zelmor = ZELMOR_EXECUTABLE;
  const std::string rtuServer = dir + "serial_bench_libmodbus_rtu_server";
  const std::string pymodbus = PYMODBUS_ASCII_SCRIPT;
  std::printf("%-34s %6s %4s %9s %9s %6s %9s %6s\n", "figure (tx/s)", "baud", "regs", "ours", "reference", "ratio",
              "limit", "limit");
  const std::uint32_t onlyBaud = argc > 2 ? static_cast<std::uint32_t>(std::atol(argv[2])) : 0;
  for (std::uint32_t baud : {9600u, 19200u, 115200u}) {
    if (onlyBaud != 0 && baud != onlyBaud) continue;
    for (int registers : {10, 125}) {
      const double limit = LimitRate(baud, false, registers);
      const double asciiLimit = LimitRate(baud, true, registers);
      char delays[96];
      {
        bench::PacedLine line(baud, kBits);
        line.start();
        line.setTearGap(T35Us(baud));
        Child server = StartVantor(vantor, line.pathB(), baud, false);
        line.resetTurnaround();
        const double ours = LibmodbusClientRate(line.pathA(), baud, 0, registers, seconds);
        const double oursDelay = line.meanTurnaroundUs();
        NoteTornFrames(line);
        Stop(server);
        server = StartReady({rtuServer, line.pathB(), std::to_string(baud)});
        line.resetTurnaround();
        const double theirs = LibmodbusClientRate(line.pathA(), baud, 0, registers, seconds);
        NoteTornFrames(line);
        std::snprintf(delays, sizeof delays, "reply delay %.3f ms (libmodbus %.3f ms)", oursDelay / 1000,
                      line.meanTurnaroundUs() / 1000);
        PrintRow("vantor RTU vs libmodbus server", baud, registers, ours, theirs, limit, delays);
        const MasterRun master = MeasureMaster(
            line, [&] { return ZelmorRate(zelmor, line.pathA(), baud, false, 0, registers, seconds); });
        const MasterRun reference = MeasureMaster(
            line, [&] { return LibmodbusClientRate(line.pathA(), baud, 0, registers, seconds); });
        PrintMasterRow("zelmor RTU vs libmodbus client", baud, registers, master, reference, limit, "libmodbus");
        if (baud == 115200) {
          const MasterRun exceptions = MeasureMaster(
              line, [&] { return ZelmorRate(zelmor, line.pathA(), baud, false, 1000, registers, seconds); });
          const MasterRun theirExceptions = MeasureMaster(
              line, [&] { return LibmodbusClientRate(line.pathA(), baud, 1000, registers, seconds); });
          PrintMasterRow("zelmor RTU exceptions vs libmodbus", baud, registers, exceptions, theirExceptions,
                         LimitRate(baud, false, 0, true), "libmodbus");
        }
        Stop(server);
      }
      bench::PacedLine line(baud, kBits);
      line.start();
      Child server = StartVantor(vantor, line.pathB(), baud, true);
      line.resetTurnaround();
      const double ours = AsciiClientRate(line.pathA(), registers, seconds);
      const double oursDelay = line.meanTurnaroundUs();
      const MasterRun master =
          MeasureMaster(line, [&] { return ZelmorRate(zelmor, line.pathA(), baud, true, 0, registers, seconds); });
      const MasterRun reference = MeasureMaster(
          line, [&] { return PymodbusClientRate(pymodbus, line.pathA(), baud, registers, seconds); });
      Stop(server);
      server = StartReady({"/usr/bin/python3", pymodbus, "server", line.pathB(), std::to_string(baud)});
      line.resetTurnaround();
      const double theirs = AsciiClientRate(line.pathA(), registers, seconds);
      std::snprintf(delays, sizeof delays, "reply delay %.3f ms (pymodbus %.3f ms)", oursDelay / 1000,
                    line.meanTurnaroundUs() / 1000);
      Stop(server);
      PrintRow("vantor ASCII vs pymodbus server", baud, registers, ours, theirs, asciiLimit, delays);
      PrintMasterRow("zelmor ASCII vs pymodbus client", baud, registers, master, reference, asciiLimit, "pymodbus");
    }
  }
  return 0;
}
