#include "telemetry/TelemetryStore.h"

#include "platform/encoding/Base64.h"

#include <cmath>
#include <limits>

using nlohmann::json;

namespace {

// The file is an object of entries of plain values; anything nested deeper is
// not an outbox, and refusing it early keeps a hostile file from costing more
// than its size.
constexpr std::size_t maxDepth = 3;

const json* member(const json& object, const char* key)
{
    auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

std::optional<std::string> stringAt(const json& object, const char* key)
{
    const json* value = member(object, key);
    if (!value || !value->is_string())
        return std::nullopt;
    return value->get<std::string>();
}

std::optional<std::int64_t> integerAt(const json& object, const char* key)
{
    const json* value = member(object, key);
    if (!value)
        return std::nullopt;
    if (value->is_number_integer() && !value->is_number_unsigned())
        return value->get<std::int64_t>();
    if (value->is_number_unsigned() && value->get<std::uint64_t>() <= std::numeric_limits<std::int64_t>::max())
        return static_cast<std::int64_t>(value->get<std::uint64_t>());
    return std::nullopt;
}

std::optional<bool> booleanAt(const json& object, const char* key)
{
    const json* value = member(object, key);
    if (!value || !value->is_boolean())
        return std::nullopt;
    return value->get<bool>();
}

std::optional<double> numberAt(const json& object, const char* key)
{
    const json* value = member(object, key);
    if (!value || !value->is_number())
        return std::nullopt;
    double number = value->get<double>();
    if (!std::isfinite(number))
        return std::nullopt;
    return number;
}

std::optional<TelemetryStore::Entry> entryFrom(const json& object)
{
    if (!object.is_object())
        return std::nullopt;
    auto id = stringAt(object, "id");
    auto createdAt = numberAt(object, "createdAt");
    auto encoded = stringAt(object, "payload");
    if (!id || !createdAt || !encoded)
        return std::nullopt;
    auto payload = Base64::decode(*encoded);
    if (!payload)
        return std::nullopt;
    return TelemetryStore::Entry{std::move(*id), *createdAt, std::move(*payload)};
}

}

std::string TelemetryStore::State::encode() const
{
    json entries = json::array();
    for (const Entry& entry : pending)
        entries.push_back({{"id", entry.id}, {"createdAt", entry.createdAt}, {"payload", Base64::encode(entry.payload)}});
    json file = {
        {"installFirstSeenAt", installFirstSeenAt},
        {"installDateProvenance", installDateProvenance},
        {"eventSequence", eventSequence},
        {"activityCount", activityCount},
        {"droppedEvents", droppedEvents},
        {"orderingReliable", orderingReliable},
        {"pending", std::move(entries)},
    };
    // The first-seen text comes from the caller unchecked; replacing a bad
    // byte beats failing every save from then on.
    return file.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<TelemetryStore::State> TelemetryStore::State::decode(std::string_view text)
{
    bool tooDeep = false;
    json::parser_callback_t limitDepth = [&](int depth, json::parse_event_t event, json&) {
        bool opens = event == json::parse_event_t::object_start || event == json::parse_event_t::array_start;
        if (opens && static_cast<std::size_t>(depth) >= maxDepth)
            tooDeep = true;
        return !tooDeep;
    };
    json file = json::parse(text.begin(), text.end(), limitDepth, false);
    if (tooDeep || !file.is_object())
        return std::nullopt;

    State state;
    auto firstSeen = stringAt(file, "installFirstSeenAt");
    auto provenance = stringAt(file, "installDateProvenance");
    auto sequence = integerAt(file, "eventSequence");
    auto activity = integerAt(file, "activityCount");
    auto dropped = integerAt(file, "droppedEvents");
    auto reliable = booleanAt(file, "orderingReliable");
    const json* entries = member(file, "pending");
    if (!firstSeen || !provenance || !sequence || !activity || !dropped || !reliable || !entries || !entries->is_array())
        return std::nullopt;
    for (const json& element : *entries) {
        auto entry = entryFrom(element);
        if (!entry)
            return std::nullopt;
        state.pending.push_back(std::move(*entry));
    }
    state.installFirstSeenAt = std::move(*firstSeen);
    state.installDateProvenance = std::move(*provenance);
    state.eventSequence = *sequence;
    state.activityCount = *activity;
    state.droppedEvents = *dropped;
    state.orderingReliable = *reliable;
    return state;
}
