#include "platform/graphics/cgimage/CGEvent.h"

#include "platform/graphics/cgimage/CFObject.h"

struct CGEventObject {
    CFObject header;
    CGEventType type;
    CGPoint location;
    CGMouseButton button;
};

static const struct CGEventObject* eventOf(CGEventRef event)
{
    return (const struct CGEventObject*)CFObjectOfType(event, CFObjectEventTypeID);
}

CFTypeID CGEventGetTypeID(void)
{
    return CFObjectEventTypeID;
}

CGEventRef CGEventCreateMouseEvent(CGEventSourceRef source, CGEventType type, CGPoint location,
                                   CGMouseButton button)
{
    if (source)
        return NULL;
    struct CGEventObject* event = CFObjectAllocate(sizeof(struct CGEventObject), CFObjectEventTypeID, NULL);
    if (!event)
        return NULL;
    event->type = type;
    event->location = location;
    event->button = button;
    return event;
}

CGEventType CGEventGetType(CGEventRef event)
{
    return eventOf(event) ? event->type : 0;
}

CGPoint CGEventGetLocation(CGEventRef event)
{
    CGPoint none = {0, 0};
    return eventOf(event) ? event->location : none;
}

CGMouseButton CGEventGetMouseButton(CGEventRef event)
{
    return eventOf(event) ? event->button : kCGMouseButtonLeft;
}
