#include "recovery/output_file.h"

namespace quarrow {

std::optional<std::time_t> FatEntryTime(std::uint16_t date, std::uint16_t time) {
  std::tm t{};
  t.tm_year = 80 + (date >> 9);
  t.tm_mon = ((date >> 5) & 0x0F) - 1;
  t.tm_mday = date & 0x1F;
  t.tm_hour = time >> 11;
  t.tm_min = (time >> 5) & 0x3F;
  t.tm_sec = (time & 0x1F) * 2;
  t.tm_isdst = -1;  // whether summer time applied is the local rules' to say
  if (t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 || t.tm_hour > 23 || t.tm_min > 59 || t.tm_sec > 59)
    return std::nullopt;
  const std::tm asked = t;
  const std::time_t when = std::mktime(&t);
  // mktime moves a day the month does not have (30 February) into the next month.
  if (when == static_cast<std::time_t>(-1) || t.tm_mday != asked.tm_mday || t.tm_mon != asked.tm_mon)
    return std::nullopt;
  return when;
}

}  // namespace quarrow
