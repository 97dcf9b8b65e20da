// The test controls of SimWindowServer.h: thin C wrappers over the model.

#pragma GCC visibility push(default)
#include "providers/sim/SimWindowServer.h"
#pragma GCC visibility pop

#include "providers/sim/SimWindowServerModel.h"

#include <cstdio>

namespace {

SimWindowServerModel& model()
{
    return SimWindowServerModel::shared();
}

size_t copyText(const std::string& text, char* buffer, size_t capacity)
{
    if (buffer && capacity > 0)
        std::snprintf(buffer, capacity, "%s", text.c_str());
    return text.size();
}

}

void SimWindowServerReset(void)
{
    model().reset();
}

void SimWindowServerSetMainConnectionID(CGSConnectionID connection)
{
    model().setMainConnectionID(connection);
}

void SimWindowServerSetFailure(const char* function, CGSError status)
{
    if (function)
        model().setFailure(function, std::nullopt, status);
}

void SimWindowServerSetFailureFor(const char* function, const char* argument, CGSError status)
{
    if (function && argument)
        model().setFailure(function, std::string(argument), status);
}

void SimWindowServerClearFailures(void)
{
    model().clearFailures();
}

void SimWindowServerSetGlobalDataOverReport(int32_t extraBytes)
{
    model().setGlobalDataOverReport(extraBytes);
}

bool SimWindowServerCopyCursor(const char* name, SimCursorContents* contents)
{
    if (!name || !contents)
        return false;
    auto found = model().copyCursor(name);
    if (!found)
        return false;
    *contents = *found;
    return true;
}

bool SimWindowServerCopyCurrentCursor(SimCursorContents* contents)
{
    if (!contents)
        return false;
    *contents = model().copyCurrentCursor();
    return true;
}

size_t SimWindowServerCurrentCursorName(char* buffer, size_t capacity)
{
    return copyText(model().currentCursorName(), buffer, capacity);
}

bool SimWindowServerIsRegistered(const char* name)
{
    return name && model().isRegistered(name);
}

size_t SimWindowServerRegisteredCount(void)
{
    return model().registeredCount();
}

CGSCursorSeed SimWindowServerCurrentSeed(void)
{
    return model().currentSeed();
}

float SimWindowServerCursorScale(void)
{
    return model().cursorScale();
}

int32_t SimWindowServerHideCount(void)
{
    return model().hideCount();
}

bool SimWindowServerDockCursorOverride(void)
{
    return model().dockCursorOverride();
}

void SimWindowServerSetMouseLocation(CGPoint location)
{
    model().setMouseLocation(location);
}

void SimWindowServerSetPrimaryScreenHeight(bool present, CGFloat height)
{
    model().setPrimaryScreenHeight(present ? std::optional<CGFloat>(height) : std::nullopt);
}

size_t SimWindowServerPostedEventCount(void)
{
    return model().postedEventCount();
}

bool SimWindowServerPostedEvent(size_t index, SimPostedEvent* event)
{
    auto posted = model().postedEvent(index);
    if (!event || !posted)
        return false;
    *event = *posted;
    return true;
}

size_t SimWindowServerCallCount(const char* function)
{
    return function ? model().callCount(function) : 0;
}

size_t SimWindowServerCallLogCount(void)
{
    return model().callLogSize();
}

size_t SimWindowServerCallLogEntry(size_t index, char* buffer, size_t capacity)
{
    return copyText(model().callLogEntry(index).value_or(std::string()), buffer, capacity);
}

void SimWindowServerClearCallLog(void)
{
    model().clearCallLog();
}
