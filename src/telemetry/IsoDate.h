#pragma once

#include <chrono>
#include <optional>
#include <string>

// Internet date-time in UTC without fractional seconds: 2026-01-31T09:15:00Z.
namespace IsoDate {

using Date = std::chrono::system_clock::time_point;

std::string format(Date date);
// Only the exact form that format writes.
std::optional<Date> parse(const std::string& text);

}
