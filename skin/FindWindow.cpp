#include "skin/FindWindow.h"

#include <QApplication>
#include <QWidget>

namespace skin {

QWidget* findWindow(const QString& title) {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->windowTitle() == title) return window;
    return nullptr;
}

}  // namespace skin
