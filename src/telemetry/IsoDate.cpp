#include "telemetry/IsoDate.h"

#include <cstdio>
#include <ctime>

namespace IsoDate {

std::string format(Date date)
{
    std::time_t seconds = std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(date));
    std::tm utc {};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::optional<Date> parse(const std::string& text)
{
    std::tm utc {};
    const char* end = strptime(text.c_str(), "%Y-%m-%dT%H:%M:%SZ", &utc);
    if (!end || *end != '\0')
        return std::nullopt;
    std::time_t seconds = timegm(&utc);
    Date date = std::chrono::system_clock::from_time_t(seconds);
    // strptime accepts unpadded or out-of-range fields; only a canonical text counts.
    if (format(date) != text)
        return std::nullopt;
    return date;
}

}
