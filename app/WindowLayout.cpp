#include "app/WindowLayout.h"

#include <QApplication>
#include <QLayout>
#include <QPalette>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QWindow>

#include <algorithm>

namespace hvk32::layout {

void installPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(230, 230, 230));
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Base, QColor(255, 255, 255));
    palette.setColor(QPalette::AlternateBase, QColor(105, 105, 105));
    palette.setColor(QPalette::ToolTipBase, Qt::black);
    palette.setColor(QPalette::ToolTipText, Qt::black);
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::Button, QColor(105, 105, 105));
    palette.setColor(QPalette::ButtonText, Qt::black);
    palette.setColor(QPalette::BrightText, Qt::red);
    palette.setColor(QPalette::Highlight, QColor(142, 45, 197).lighter(150));
    palette.setColor(QPalette::HighlightedText, Qt::black);
    QApplication::setPalette(palette);
}

void fitToolRows(QTabWidget* tabs)
{
    for (int i = 0; i < tabs->count(); ++i) {
        QWidget* page = tabs->widget(i);
        const QString title = tabs->tabText(i);
        const QIcon icon = tabs->tabIcon(i);
        tabs->removeTab(i);
        auto* scroll = new QScrollArea;
        scroll->setObjectName(page->objectName() + "_scroll");
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setWidgetResizable(true);
        scroll->setWidget(page);
        scroll->setMinimumHeight(page->sizeHint().height() + scroll->horizontalScrollBar()->sizeHint().height());
        tabs->insertTab(i, scroll, icon, title);
    }
    tabs->setCurrentIndex(0);
}

void showCentred(QWidget* dialog, const QWidget* window)
{
    // The dialogs are windows of their own: place each over the middle of the window, and
    // keep it within the screen, whatever its size and wherever the window is.
    dialog->ensurePolished();
    if (QLayout* layout = dialog->layout())
        layout->activate();
    const QScreen* screen = window->windowHandle() ? window->windowHandle()->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(QPoint(), dialog->size());
    QRect place(QPoint(), dialog->size().boundedTo(available.size()));
    place.moveCenter(window->frameGeometry().center());
    place.moveLeft(std::clamp(place.left(), available.left(), available.right() + 1 - place.width()));
    place.moveTop(std::clamp(place.top(), available.top(), available.bottom() + 1 - place.height()));
    dialog->resize(place.size());
    dialog->move(place.topLeft());
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

} // namespace hvk32::layout
