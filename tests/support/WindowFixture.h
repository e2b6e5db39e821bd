#pragma once
// The main window as the window's suites drive it: built with prompts the test answers and
// reads, shown and exposed; its widgets found by name, its tool buttons clicked, a live frame
// shown and waited for. A suite derives from QObject and from this.

#include "app/manwindow.h"
#include "records/LidarData.h"
#include "support/RecordingPrompts.h"
#include "support/WidgetLookup.h"

#include <QApplication>
#include <QSize>
#include <QSurfaceFormat>
#include <QToolButton>
#include <QVTKOpenGLNativeWidget.h>
#include <QtTest>

#include <memory>

namespace hvk32::test {

class WindowFixture {
protected:
    RecordingPrompts prompts_;
    std::unique_ptr<manwindow> window_;

    // A fresh window answering from prompts_, which forget what was shown so far; showWindow
    // shows it, after whatever the suite sets up first.
    void makeWindow()
    {
        prompts_.shown.clear();
        window_ = std::make_unique<manwindow>(&prompts_);
    }

    // Shows the window, at `size` when one is given; false when it is never exposed.
    bool showWindow(QSize size = QSize())
    {
        if (size.isValid())
            window_->resize(size);
        window_->show();
        return QTest::qWaitForWindowExposed(window_.get());
    }

    bool openWindow(QSize size = QSize())
    {
        makeWindow();
        return showWindow(size);
    }

    template <typename T>
    T* widget(const char* name)
    {
        return child<T>(*window_, name);
    }

    void click(const char* button) { QTest::mouseClick(widget<QToolButton>(button), Qt::LeftButton); }

    // Hands `frame` to the window as a live frame and waits until it is drawn.
    void showFrame(const LidarData& frame)
    {
        const auto drawn = window_->framesDrawn();
        window_->CalculateCoordinatesK32(frame);
        QTRY_COMPARE(window_->framesDrawn(), drawn + 1);
    }
};

// main() of a window suite: the 3-D view's surface format is the default before the
// application exists.
template <typename Suite>
int runWindowSuite(int argc, char** argv)
{
    QSurfaceFormat::setDefaultFormat(QVTKOpenGLNativeWidget::defaultFormat());
    QApplication app(argc, argv);
    Suite suite;
    return QTest::qExec(&suite, argc, argv);
}

} // namespace hvk32::test
