// Kernel objects behind HANDLE values for the Win32 stand-ins: one registry
// shared by events and devices, so that CloseHandle and the waits work on
// either and a closed or made-up handle is refused instead of dereferenced.
#pragma once

#include "serial_api.h"

#include <memory>
#include <typeinfo>

namespace kernel {

class Object {
  public:
    virtual ~Object() = default;
    // Called by CloseHandle once the handle is gone from the registry; a
    // device ends its outstanding transfers here.
    virtual void Close() {}
};

HANDLE Register(std::shared_ptr<Object> object);
std::shared_ptr<Object> Lookup(HANDLE handle);

template <class T> std::shared_ptr<T> LookupAs(HANDLE handle)
{
    std::shared_ptr<Object> object = Lookup(handle);
    const Object* raw = object.get();
    // The exact type, the usual case, is checked far faster than a cast.
    if (raw != nullptr && typeid(*raw) == typeid(T))
        return std::static_pointer_cast<T>(std::move(object));
    return std::dynamic_pointer_cast<T>(std::move(object));
}

} // namespace kernel
