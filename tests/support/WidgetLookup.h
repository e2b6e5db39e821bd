#pragma once
// Finds a form's widget by its object name; a missing one stops the test run at once,
// naming it, instead of a null pointer crashing later.

#include <QObject>
#include <QtGlobal>

namespace hvk32::test {

template <typename T>
T* child(const QObject& parent, const char* name)
{
    T* found = parent.findChild<T*>(name);
    if (!found)
        qFatal("missing widget %s", name);
    return found;
}

} // namespace hvk32::test
