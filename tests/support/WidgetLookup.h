#pragma once
// Finds a form's widget by its object name; a missing one stops the test run at once,
// naming it, instead of a null pointer crashing later. Also the boxes and buttons of a
// dialog's form by name.

#include <QComboBox>
#include <QLineEdit>
#include <QObject>
#include <QPushButton>
#include <QtGlobal>
#include <QtTest>

namespace hvk32::test {

template <typename T>
T* child(const QObject& parent, const char* name)
{
    T* found = parent.findChild<T*>(name);
    if (!found)
        qFatal("missing widget %s", name);
    return found;
}

inline QLineEdit* edit(const QWidget& w, const char* name) { return child<QLineEdit>(w, name); }
inline QComboBox* combo(const QWidget& w, const char* name) { return child<QComboBox>(w, name); }
inline void click(const QWidget& w, const char* name) { QTest::mouseClick(child<QPushButton>(w, name), Qt::LeftButton); }

} // namespace hvk32::test
