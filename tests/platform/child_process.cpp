#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/system.h"

extern char** environ;

namespace duz::test {
namespace {

using namespace duz::os;

int ServeCommands() {
  std::unique_ptr<File> file;
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string cmd;
    in >> cmd;
    std::string answer = "ok";
    try {
      if (cmd == "open") {
        std::string path, access, share;
        in >> path >> access >> share;
        FileAccess a = access == "r" ? FileAccess::Read : access == "w" ? FileAccess::Write : FileAccess::ReadWrite;
        FileShare s = share == "excl"    ? FileShare::Exclusive
                      : share == "denyw" ? FileShare::DenyWrite
                      : share == "denyr" ? FileShare::DenyRead
                                         : FileShare::DenyNone;
        try {
          file = std::make_unique<File>(File::Open(path, a, s, FileCreate::OpenExisting));
        } catch (const EOSError& e) {
          answer = e.Code() == EBUSY ? "fail" : std::string("error ") + e.what();
        }
      } else if (cmd == "lock" || cmd == "unlock") {
        uint64_t off = 0, len = 0;
        in >> off >> len;
        bool ok = file && (cmd == "lock" ? file->Lock(off, len) : file->Unlock(off, len));
        answer = ok ? "ok" : "fail";
      } else if (cmd == "close") {
        file.reset();
      } else {
        answer = "error unknown command";
      }
    } catch (const std::exception& e) {
      answer = std::string("error ") + e.what();
    }
    std::cout << answer << std::endl;
  }
  return 0;
}

// Runs before the test framework's main when this binary is the child.
const int kChildMode = [] {
  if (std::getenv("DUZ_PLATFORM_CHILD")) std::_Exit(ServeCommands());
  return 0;
}();

}  // namespace

ChildProcess::ChildProcess(const std::string& argv0) {
  int toChild[2], fromChild[2];
  if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
  posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
  std::string self = "/proc/self/exe";
  std::string arg0 = argv0;
  char* argv[] = {arg0.data(), nullptr};
  std::vector<char*> env;
  for (char** e = environ; *e; ++e) env.push_back(*e);
  std::string flag = "DUZ_PLATFORM_CHILD=1";
  env.push_back(flag.data());
  env.push_back(nullptr);
  int rc = posix_spawn(&pid_, self.c_str(), &actions, nullptr, argv, env.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(toChild[0]);
  ::close(fromChild[1]);
  in_ = toChild[1];
  out_ = fromChild[0];
  if (rc != 0) {
    pid_ = -1;
    throw std::runtime_error("posix_spawn failed");
  }
}

ChildProcess::~ChildProcess() {
  if (in_ >= 0) ::close(in_);
  if (pid_ > 0) {
    int status = 0;
    for (int i = 0; i < 1000; ++i) {  // up to 10 s
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      duz::os::Sleep(10);
    }
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
    }
  }
  if (out_ >= 0) ::close(out_);
}

std::string ChildProcess::Call(const std::string& command) {
  std::string line = command + "\n";
  if (::write(in_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return "error write";
  const uint64_t deadline = duz::os::TickCount() + 10000;
  for (;;) {
    size_t nl = buffered_.find('\n');
    if (nl != std::string::npos) {
      std::string answer = buffered_.substr(0, nl);
      buffered_.erase(0, nl + 1);
      return answer;
    }
    uint64_t now = duz::os::TickCount();
    if (now >= deadline) return "timeout";
    pollfd p{out_, POLLIN, 0};
    int r = ::poll(&p, 1, static_cast<int>(deadline - now));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return "timeout";
    char buf[256];
    ssize_t n = ::read(out_, buf, sizeof buf);
    if (n <= 0) return "eof";
    buffered_.append(buf, static_cast<size_t>(n));
  }
}

}  // namespace duz::test
