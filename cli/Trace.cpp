#include "cli/Trace.h"

#include <cstdio>
#include <ctime>

namespace qm90cli {

namespace {

std::tm LocalTime(std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  if (const std::tm* converted = std::localtime(&seconds)) local = *converted;
  return local;
}

long long SubSecond(std::chrono::system_clock::time_point when, long long per_second) {
  const auto since = when.time_since_epoch();
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(since).count();
  long long part = micros % 1000000;
  if (part < 0) part += 1000000;
  return part / (1000000 / per_second);
}

std::string Bytes(const std::array<std::uint8_t, 5>& d) {
  char text[20];
  std::snprintf(text, sizeof text, "%02X %02X %02X %02X %02X", d[0], d[1], d[2], d[3], d[4]);
  return text;
}

}  // namespace

std::string TimeOfDay(std::chrono::system_clock::time_point when) {
  const std::tm local = LocalTime(when);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%06lld", local.tm_hour, local.tm_min,
                local.tm_sec, SubSecond(when, 1000000));
  return text;
}

std::string IsoTimestamp(std::chrono::system_clock::time_point when) {
  const std::tm local = LocalTime(when);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
  char zone[16];
  std::strftime(zone, sizeof zone, "%z", &local);
  char text[64];
  std::snprintf(text, sizeof text, "%s.%03lld%s", date, SubSecond(when, 1000), zone);
  return text;
}

std::string TraceLine(const ExchangeRecord& record) {
  char text[160];
  std::snprintf(text, sizeof text, "%s addr %u cmd %u sub %u sent %s -> status %u recv %s %lld us",
                TimeOfDay(record.when).c_str(), record.address, record.command, record.subcode,
                Bytes(record.sent).c_str(), record.status, Bytes(record.received).c_str(),
                static_cast<long long>(record.microseconds));
  if (record.answers > 1)
    return text + std::string(", ") + std::to_string(record.answers) + " answers";
  return text;
}

}  // namespace qm90cli
