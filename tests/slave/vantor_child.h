#pragma once
// Headless vantor as a child process for C++ tests and benchmarks, and a
// null-modem relay joining two pseudo-terminals.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace slavetest {

class VantorChild {
 public:
  // Starts `executable --headless args...` and waits for its ready line on
  // standard error. ok() tells whether it got ready in time.
  VantorChild(const std::string& executable, const std::vector<std::string>& args, int timeoutMs = 10000) {
    int errPipe[2];
    if (::pipe2(errPipe, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(errPipe[1], 2);
      const int devNull = ::open("/dev/null", O_WRONLY);
      ::dup2(devNull, 1);
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(executable.c_str()));
      argv.push_back(const_cast<char*>("--headless"));
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(executable.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(errPipe[1]);
    errFd_ = errPipe[0];
    while (readyLine_.find('\n') == std::string::npos) {
      pollfd p{errFd_, POLLIN, 0};
      if (::poll(&p, 1, timeoutMs) <= 0) break;
      char chunk[256];
      const ssize_t n = ::read(errFd_, chunk, sizeof chunk);
      if (n <= 0) break;
      readyLine_.append(chunk, static_cast<std::size_t>(n));
    }
    ok_ = readyLine_.find("serving") != std::string::npos;
  }
  ~VantorChild() { stop(); }
  VantorChild(const VantorChild&) = delete;
  VantorChild& operator=(const VantorChild&) = delete;

  bool ok() const { return ok_; }
  const std::string& readyLine() const { return readyLine_; }
  int pid() const { return pid_; }
  std::uint16_t tcpPort() const {
    const std::size_t colon = readyLine_.rfind(':');
    return colon == std::string::npos ? 0 : static_cast<std::uint16_t>(std::stoi(readyLine_.substr(colon + 1)));
  }
  // SIGTERM by pid; returns the exit status (-1 when it did not exit normally).
  int stop() {
    if (pid_ <= 0) return -1;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    if (errFd_ >= 0) ::close(errFd_);
    errFd_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  int pid_ = -1;
  int errFd_ = -1;
  bool ok_ = false;
  std::string readyLine_;
};

class NullModem {
 public:
  NullModem() {
    char a[256] = {}, b[256] = {};
    if (::openpty(&masterA_, &slaveA_, a, nullptr, nullptr) != 0) return;
    if (::openpty(&masterB_, &slaveB_, b, nullptr, nullptr) != 0) return;
    pathA_ = a;
    pathB_ = b;
    relay_ = std::thread([this] { run(); });
  }
  ~NullModem() {
    stop_ = true;
    if (relay_.joinable()) relay_.join();
    for (int fd : {masterA_, slaveA_, masterB_, slaveB_})
      if (fd >= 0) ::close(fd);
  }
  bool ok() const { return !pathA_.empty() && !pathB_.empty(); }
  const std::string& pathA() const { return pathA_; }
  const std::string& pathB() const { return pathB_; }

 private:
  void run() {
    while (!stop_) {
      pollfd p[2] = {{masterA_, POLLIN, 0}, {masterB_, POLLIN, 0}};
      if (::poll(p, 2, 20) <= 0) continue;
      for (int i = 0; i < 2; ++i) {
        if (!(p[i].revents & POLLIN)) continue;
        char chunk[4096];
        const ssize_t n = ::read(p[i].fd, chunk, sizeof chunk);
        if (n > 0) [[maybe_unused]] ssize_t w = ::write(i == 0 ? masterB_ : masterA_, chunk, static_cast<std::size_t>(n));
      }
    }
  }
  int masterA_ = -1, slaveA_ = -1, masterB_ = -1, slaveB_ = -1;
  std::string pathA_, pathB_;
  std::atomic<bool> stop_{false};
  std::thread relay_;
};

}  // namespace slavetest
