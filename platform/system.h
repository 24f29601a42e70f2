// Process-level facilities: memory budget, process list, sleep, randomness,
// GUIDs and a millisecond clock.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace duz::os {

// MemAvailable of /proc/meminfo, in bytes (0 when unknown).
uint64_t AvailablePhysicalMemory();

struct ProcessEntry {
  int Pid = 0;
  // The executable's name as the process list reports it; may be a bare name
  // or a path ("C:\\Quorvel\\Quorvel.exe" under a compatibility layer).
  std::vector<std::string> Names;  // comm, basename of /proc/pid/exe, argv[0]
};
std::vector<ProcessEntry> ListProcesses();

void Sleep(unsigned milliseconds);
uint32_t Random(uint32_t range);  // uniform in [0, range); 0 when range is 0
uint64_t TickCount();             // milliseconds since an arbitrary start, monotonic

using Guid = std::array<uint8_t, 16>;
Guid CreateGuid();                      // random (version 4)
std::string GuidToString(const Guid&);  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case
                                        // with the first three groups read little-endian as Windows does

}  // namespace duz::os
