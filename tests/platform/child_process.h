// A second process for the lock and share tests: the test binary run again
// with DUZ_PLATFORM_CHILD set, which then serves one-line commands on stdin
// instead of running the tests:
//   open PATH ACCESS SHARE   ACCESS r|w|rw, SHARE excl|denyw|denyr|none
//   lock OFFSET LENGTH       unlock OFFSET LENGTH       close
// Each command answers one line: "ok", "fail" (lock refused, or open refused
// for sharing) or "error ...". End of input ends the child.
#pragma once

#include <sys/types.h>

#include <string>

namespace duz::test {

class ChildProcess {
 public:
  // Starts the child; argv0 is what it reports as its argv[0].
  explicit ChildProcess(const std::string& argv0 = "/proc/self/exe");
  ~ChildProcess();  // closes its input and waits for it (killed after a timeout)
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Sends one command and returns the answer line ("timeout" after 10 s).
  std::string Call(const std::string& command);
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int in_ = -1;   // child's stdin
  int out_ = -1;  // child's stdout
  std::string buffered_;
};

}  // namespace duz::test
