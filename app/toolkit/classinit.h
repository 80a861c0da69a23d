#pragma once

namespace bibsources::toolkit {

// Runs T::initialize() the first time it is called for T in this process and
// never again. A class calls it first thing in its constructors, so the class's
// own initialisation happens once, before the first object is used. The C++
// runtime guards the static, so two threads cannot both run it.
template <class T> void initializeClass()
{
    static const bool initialized = (T::initialize(), true);
    (void)initialized;
}

} // namespace bibsources::toolkit
