#include "telemetry/TelemetryStore.h"

#include "base/SerialQueue.h"
#include "platform/encoding/Utf8.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/FileLock.h"
#include "platform/http/HttpUrl.h"
#include "platform/system/Uuid.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <limits>
#include <mutex>

using nlohmann::json;

namespace {

constexpr double referenceDateOffset = 978307200; // 2001-01-01 00:00:00 UTC in Unix time

// Work arriving from other threads (network completions, retry timers)
// reaches the queue only while the outbox still exists.
class Gate {
public:
    explicit Gate(SerialQueue& queue) : queue_(&queue) {}

    void post(std::function<void()> task)
    {
        std::lock_guard lock(mutex_);
        if (queue_)
            queue_->async(std::move(task));
    }

    void close()
    {
        std::lock_guard lock(mutex_);
        queue_ = nullptr;
    }

private:
    std::mutex mutex_;
    SerialQueue* queue_;
};

std::string folderOf(const std::string& path)
{
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string provenanceOf(const std::string& firstSeenAt, bool isFirstLaunch)
{
    if (firstSeenAt.empty())
        return "unknown";
    return isFirstLaunch ? "first_launch" : "migrated_local_period";
}

std::optional<std::string> serialised(const json& event)
{
    try {
        return event.dump(-1, ' ', false, json::error_handler_t::strict);
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

std::int64_t saturatingIncrement(std::int64_t value)
{
    return value == std::numeric_limits<std::int64_t>::max() ? value : value + 1;
}

}

class TelemetryStore::Core {
public:
    explicit Core(Options options);
    ~Core();

    // Everything below runs on the queue.
    void open();
    void enqueue(json event);
    void recordObservedLayoutChange();
    void prune();
    bool persist();
    void pump();

    std::unique_ptr<SerialQueue> queue;

private:
    void deliveryFinished(const Entry& sent, bool acknowledged);
    void scheduleRetry();
    void diagnose(const std::string& message) const;

    const std::string fileURL;
    const std::string endpoint;
    const std::int64_t maxEntries;
    const std::int64_t maxBytes;
    const double retention;
    const double retryDelay;
    const Transport transport;
    const Diagnostic diagnostic;
    const Scheduler scheduler;

    State state;
    bool inFlight = false;
    bool retryScheduled = false;
    bool persistenceHealthy = true;
    std::unique_ptr<FileLock> lock;
    bool ownsStore = true;

    std::shared_ptr<Gate> gate;
};

TelemetryStore::Core::Core(Options options)
    : queue(std::make_unique<SerialQueue>("com.orvelle.telemetry.serial")),
      fileURL(std::move(options.fileURL)),
      endpoint(std::move(options.endpoint)),
      maxEntries(std::max<std::int64_t>(options.maxEntries, 1)),
      maxBytes(std::max<std::int64_t>(options.maxBytes, 1024)),
      retention(options.retention),
      retryDelay(options.retryDelay),
      transport(std::move(options.transport)),
      diagnostic(std::move(options.diagnostic)),
      // The queue itself, not the field: work that runs while the queue is
      // being shut down may still ask for a retry, which is then dropped.
      scheduler(options.scheduler ? std::move(options.scheduler)
                                  : Scheduler([serial = queue.get()](double seconds, std::function<void()> task) {
                                        serial->after(seconds, std::move(task));
                                    })),
      gate(std::make_shared<Gate>(*queue))
{
    state.installFirstSeenAt = options.firstSeenAt;
    state.installDateProvenance = provenanceOf(options.firstSeenAt, options.isFirstLaunch);
}

TelemetryStore::Core::~Core()
{
    gate->close();
    // Runs the work already queued while every field is still alive.
    queue.reset();
    lock.reset();
}

void TelemetryStore::Core::diagnose(const std::string& message) const
{
    if (diagnostic)
        diagnostic(message);
}

void TelemetryStore::Core::open()
{
    if (!AtomicFile::makeDirectories(folderOf(fileURL))) {
        persistenceHealthy = false;
        state.orderingReliable = false;
        diagnose("telemetry_storage_unavailable; ordering not claimed");
        return;
    }
    lock = FileLock::tryAcquire(fileURL + ".lock");
    if (!lock) {
        ownsStore = false;
        diagnose("telemetry_store_in_use_or_unavailable; ordering not claimed");
        return;
    }
    if (AtomicFile::exists(fileURL)) {
        // Room for a full queue in Base64 with its bookkeeping; anything larger
        // is not a file this outbox wrote.
        std::size_t limit = (16u << 20) + 2 * static_cast<std::size_t>(maxBytes);
        auto text = AtomicFile::read(fileURL, limit);
        auto decoded = text ? State::decode(*text) : std::nullopt;
        if (decoded) {
            state = std::move(*decoded);
        } else {
            state.orderingReliable = false;
            diagnose("telemetry_metadata_unreadable; ordering not claimed");
        }
    }
    prune();
    persist();
    pump();
}

void TelemetryStore::Core::enqueue(json event)
{
    if (!ownsStore)
        return;
    // A sequence that cannot go on counting can no longer claim to be gapless.
    if (state.eventSequence == std::numeric_limits<std::int64_t>::max())
        state.orderingReliable = false;
    state.eventSequence = saturatingIncrement(state.eventSequence);

    if (!event.is_object())
        event = json::object();
    event["schemaVersion"] = 3;
    event["activityCount"] = state.activityCount;
    event["installFirstSeenAt"] = state.installFirstSeenAt;
    if (state.orderingReliable)
        event["eventSequence"] = state.eventSequence;
    else
        event.erase("eventSequence");

    auto given = event.find("properties");
    json properties = given != event.end() && given->is_object() ? *given : json::object();
    properties["installDateProvenance"] = state.installDateProvenance;
    properties["telemetryDroppedCount"] = state.droppedEvents;
    properties["sequenceReliable"] = state.orderingReliable ? persistenceHealthy : false;
    properties["outboxPersistenceHealthy"] = persistenceHealthy;
    event["properties"] = std::move(properties);

    auto givenId = event.find("eventId");
    std::string eventId = givenId != event.end() && givenId->is_string() ? givenId->get<std::string>() : Uuid::random();
    event["eventId"] = eventId;

    auto payload = serialised(event);
    if (!payload) {
        diagnose("telemetry_encoding_failed");
        return;
    }
    state.pending.push_back({eventId, TelemetryStore::referenceTimeNow(), std::move(*payload)});
    prune();
    if (!persist()) {
        // Not durably saved: the event must not claim a place in the sequence.
        event.erase("eventSequence");
        event["properties"]["sequenceReliable"] = false;
        event["properties"]["outboxPersistenceHealthy"] = false;
        auto remarked = serialised(event);
        auto entry = std::find_if(state.pending.begin(), state.pending.end(),
                                  [&](const Entry& pending) { return pending.id == eventId; });
        if (remarked && entry != state.pending.end())
            entry->payload = std::move(*remarked);
    }
    pump();
}

void TelemetryStore::Core::recordObservedLayoutChange()
{
    if (!ownsStore)
        return;
    state.activityCount = saturatingIncrement(state.activityCount);
    persist();
}

void TelemetryStore::Core::prune()
{
    double cutoff = TelemetryStore::referenceTimeNow() - retention;
    while (!state.pending.empty() && state.pending.front().createdAt < cutoff) {
        state.pending.pop_front();
        state.droppedEvents = saturatingIncrement(state.droppedEvents);
    }
    std::size_t bytes = 0;
    for (const Entry& entry : state.pending)
        bytes += entry.payload.size();
    while (!state.pending.empty() && (state.pending.size() > static_cast<std::size_t>(maxEntries) ||
                                      bytes > static_cast<std::size_t>(maxBytes))) {
        bytes -= state.pending.front().payload.size();
        state.pending.pop_front();
        state.droppedEvents = saturatingIncrement(state.droppedEvents);
    }
}

bool TelemetryStore::Core::persist()
{
    if (!ownsStore)
        return false;
    // Only the lock holder writes the file. A store that found no folder at
    // opening never took the lock; the writer would create the folder later.
    if (lock && AtomicFile::write(fileURL, state.encode(), 0600)) {
        persistenceHealthy = true;
        return true;
    }
    persistenceHealthy = false;
    diagnose("telemetry_persistence_failed; ordering not claimed for unsaved messages");
    return false;
}

void TelemetryStore::Core::pump()
{
    if (!ownsStore || inFlight || retryScheduled || state.pending.empty())
        return;
    Entry entry = state.pending.front();
    if (!Utf8::isValid(entry.payload))
        return;
    auto url = HttpUrl::appendingQueryItem(endpoint, "data", entry.payload);
    if (!url)
        return;
    inFlight = true;
    transport({*url, TelemetryStore::requestTimeout}, [gate = gate, core = this, entry](bool acknowledged) {
        gate->post([core, entry, acknowledged] { core->deliveryFinished(entry, acknowledged); });
    });
}

void TelemetryStore::Core::deliveryFinished(const Entry& sent, bool acknowledged)
{
    inFlight = false;
    if (!acknowledged) {
        diagnose("telemetry_delivery_unacknowledged; retrying retained payload");
        scheduleRetry();
        return;
    }
    // The entry may have been pruned while it was on its way; then the
    // acknowledgement must not take its successor with it.
    if (!state.pending.empty() && state.pending.front().id == sent.id)
        state.pending.pop_front();
    persist();
    pump();
}

void TelemetryStore::Core::scheduleRetry()
{
    retryScheduled = true;
    scheduler(retryDelay, [gate = gate, core = this] {
        gate->post([core] {
            core->retryScheduled = false;
            core->prune();
            core->persist();
            core->pump();
        });
    });
}

TelemetryStore::TelemetryStore(Options options) : core_(std::make_unique<Core>(std::move(options)))
{
    Core* core = core_.get();
    core->queue->async([core] { core->open(); });
}

TelemetryStore::~TelemetryStore() = default;

void TelemetryStore::enqueue(json event)
{
    Core* core = core_.get();
    core->queue->async([core, event = std::move(event)]() mutable { core->enqueue(std::move(event)); });
}

void TelemetryStore::recordObservedLayoutChange()
{
    Core* core = core_.get();
    core->queue->async([core] { core->recordObservedLayoutChange(); });
}

void TelemetryStore::commitPending(double timeout)
{
    Core* core = core_.get();
    auto saved = std::make_shared<std::promise<void>>();
    auto done = saved->get_future();
    core->queue->async([core, saved] {
        core->persist();
        saved->set_value();
    });
    done.wait_for(std::chrono::duration<double>(std::max(timeout, 0.0)));
}

TelemetryStore::Transport TelemetryStore::networkTransport(HttpSession& session)
{
    return [&session](const HttpSession::Request& request, Completion completion) {
        auto data = HttpUrl::queryItem(request.url, "data");
        json event = data ? json::parse(*data, nullptr, false) : json();
        auto eventId = event.is_object() ? event.find("eventId") : event.end();
        if (!event.is_object() || eventId == event.end() || !eventId->is_string()) {
            completion(false);
            return;
        }
        session.send(request, [completion = std::move(completion), expected = eventId->get<std::string>()](
                                  HttpSession::Response response) {
            completion(acknowledges(response.body, response.statusCode, response.error, expected));
        });
    };
}

bool TelemetryStore::acknowledges(const std::optional<std::string>& data, std::optional<long> statusCode,
                                  const std::optional<std::string>& error, std::string_view expectedEventId)
{
    if (error || !statusCode || *statusCode < 200 || *statusCode > 299 || !data)
        return false;
    json answer = json::parse(*data, nullptr, false);
    if (!answer.is_object())
        return false;
    auto ok = answer.find("ok");
    auto eventId = answer.find("eventId");
    return ok != answer.end() && ok->is_boolean() && ok->get<bool>() && eventId != answer.end() &&
           eventId->is_string() && eventId->get_ref<const std::string&>() == expectedEventId;
}

double TelemetryStore::referenceTimeNow()
{
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count() - referenceDateOffset;
}
