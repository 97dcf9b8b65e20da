#pragma once

#include "platform/prefs/PropertyList.h"

#include <ostream>

// Shows a value in its XML form when an expectation fails.
inline void PrintTo(const PropertyList& value, std::ostream* out)
{
    *out << value.serialized(PropertyList::Format::xml);
}
