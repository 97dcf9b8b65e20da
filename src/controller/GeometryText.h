#pragma once

#include "base/LogFormat.h"
#include "platform/graphics/cgimage/CFBase.h"

#include <string>

// "WxH", as log lines write a cursor's size.
inline std::string sizeText(const CGSize& size)
{
    return LogFormat::number(size.width) + "x" + LogFormat::number(size.height);
}

// "(x,y)", as log lines write a hot spot.
inline std::string pointText(const CGPoint& point)
{
    return "(" + LogFormat::number(point.x) + "," + LogFormat::number(point.y) + ")";
}
