#include "platform/system.h"

#include <dirent.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <thread>

#include "platform/path.h"

namespace duz::os {
namespace {

std::string ReadSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string data;
  char buf[4096];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    data.append(buf, static_cast<size_t>(in.gcount()));
    if (data.size() > (1u << 20)) break;
  }
  return data;
}

void FillRandom(void* out, size_t n) {
  auto* p = static_cast<unsigned char*>(out);
  while (n > 0) {
    ssize_t r = ::getrandom(p, n, 0);
    if (r < 0) {
      if (errno == EINTR) continue;
      // No kernel randomness: fall back to the library's source.
      std::random_device rd;
      for (; n > 0; --n) *p++ = static_cast<unsigned char>(rd());
      return;
    }
    p += r;
    n -= static_cast<size_t>(r);
  }
}

std::mt19937_64& ThreadEngine() {
  thread_local std::mt19937_64 engine = [] {
    std::seed_seq::result_type seed[8];
    FillRandom(seed, sizeof seed);
    std::seed_seq seq(std::begin(seed), std::end(seed));
    return std::mt19937_64(seq);
  }();
  return engine;
}

}  // namespace

uint64_t AvailablePhysicalMemory() {
  std::ifstream in("/proc/meminfo");
  std::string key;
  uint64_t value = 0;
  std::string unit;
  while (in >> key >> value) {
    std::getline(in, unit);
    if (key == "MemAvailable:") return value * 1024;
  }
  return 0;
}

std::vector<ProcessEntry> ListProcesses() {
  std::vector<ProcessEntry> list;
  std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir("/proc"), ::closedir);
  if (!d) return list;
  while (dirent* e = ::readdir(d.get())) {
    char* end = nullptr;
    long pid = std::strtol(e->d_name, &end, 10);
    if (pid <= 0 || *end != '\0') continue;
    const std::string base = std::string("/proc/") + e->d_name;
    ProcessEntry p;
    p.Pid = static_cast<int>(pid);

    std::string comm = ReadSmallFile(base + "/comm");
    if (!comm.empty() && comm.back() == '\n') comm.pop_back();
    if (!comm.empty()) p.Names.push_back(comm);

    char exe[4096];
    ssize_t n = ::readlink((base + "/exe").c_str(), exe, sizeof exe - 1);
    if (n > 0) {
      std::string target(exe, static_cast<size_t>(n));
      const std::string deleted = " (deleted)";
      if (target.size() > deleted.size() &&
          target.compare(target.size() - deleted.size(), deleted.size(), deleted) == 0)
        target.resize(target.size() - deleted.size());
      size_t slash = target.rfind('/');
      std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
      if (!name.empty()) p.Names.push_back(name);
    }

    // argv[0] as the process gave it, which may be a Windows path.
    std::string cmdline = ReadSmallFile(base + "/cmdline");
    std::string argv0(cmdline.c_str());
    if (!argv0.empty()) p.Names.push_back(argv0);

    if (!p.Names.empty()) list.push_back(std::move(p));  // a process that ended meanwhile has nothing
  }
  return list;
}

void Sleep(unsigned milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

uint32_t Random(uint32_t range) {
  if (range == 0) return 0;
  std::uniform_int_distribution<uint32_t> dist(0, range - 1);
  return dist(ThreadEngine());
}

uint64_t TickCount() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

Guid CreateGuid() {
  Guid g;
  FillRandom(g.data(), g.size());
  // Byte 7 is the high byte of the little-endian third group: version 4.
  g[7] = static_cast<uint8_t>((g[7] & 0x0F) | 0x40);
  g[8] = static_cast<uint8_t>((g[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return g;
}

std::string GuidToString(const Guid& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g[3], g[2],
                g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
  return buf;
}

}  // namespace duz::os
