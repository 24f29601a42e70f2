#include "ziparchive/dos_time.h"

namespace duz {

std::time_t DosDateTimeToUnix(uint16_t dosDate, uint16_t dosTime) {
  std::tm tm{};
  tm.tm_year = ((dosDate >> 9) & 0x7F) + 80;
  tm.tm_mon = ((dosDate >> 5) & 0x0F) - 1;
  tm.tm_mday = dosDate & 0x1F;
  tm.tm_hour = (dosTime >> 11) & 0x1F;
  tm.tm_min = (dosTime >> 5) & 0x3F;
  tm.tm_sec = (dosTime & 0x1F) * 2;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

uint32_t UnixToDosDateTime(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  if (tm.tm_year < 80) return (1 << 5 | 1) << 16;  // 1980-01-01 00:00:00, the earliest DOS date
  const uint32_t date = static_cast<uint32_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
  const uint32_t time = static_cast<uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
  return date << 16 | time;
}

}  // namespace duz
