#pragma once

#include "platform/graphics/cgimage/CFBase.h"

#include <utility>

// Owns one reference to a boundary object and drops it when it goes away, so
// C++ code can copy images and lists around as values.
template <typename Ref>
class CFRef {
public:
    CFRef() = default;
    // Takes over the reference that a Create or Copy function returned.
    static CFRef adopt(Ref object) { return CFRef(object); }
    // Adds a reference of its own to a borrowed object.
    static CFRef retain(Ref object)
    {
        CFRetain(object);
        return CFRef(object);
    }

    CFRef(const CFRef& other) : object_(other.object_) { CFRetain(object_); }
    CFRef(CFRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    CFRef& operator=(CFRef other) noexcept
    {
        std::swap(object_, other.object_);
        return *this;
    }
    ~CFRef() { CFRelease(object_); }

    Ref get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    friend bool operator==(const CFRef& a, const CFRef& b) { return a.object_ == b.object_; }

private:
    explicit CFRef(Ref object) : object_(object) {}
    Ref object_ = nullptr;
};
