#pragma once

#include <QThreadPool>

#include <malloc.h>

#include <memory>
#include <utility>

// Lets go of a large value in a pool thread: freeing the hundreds of
// thousands of strings of a busy server's refresh would hold up the GUI
// thread for tens of milliseconds. Only values whose contents are shared
// across threads safely (Qt's implicitly shared types, plain structs,
// std containers no other thread uses) may go this way. With `trim`, the
// memory freed goes back to the system afterwards.
template <typename T> void disposeInBackground(T value, bool trim = false)
{
    auto held = std::make_shared<T>(std::move(value));
    QThreadPool::globalInstance()->start([held, trim]() mutable {
        held.reset();
        if (trim)
            ::malloc_trim(0);
    });
}
