// MS-DOS date and time fields (local time, two-second resolution).
#pragma once

#include <cstdint>
#include <ctime>

namespace duz {

// Local DOS date/time → UTC seconds.
std::time_t DosDateTimeToUnix(uint16_t dosDate, uint16_t dosTime);
// UTC seconds → local DOS date-time, date in the high 16 bits.
uint32_t UnixToDosDateTime(std::time_t t);

}  // namespace duz
