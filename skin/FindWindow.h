#pragma once

#include <QString>

class QWidget;

namespace skin {

// The live top-level window with this title, or null. Looked up at every call,
// never cached, so a window that closed is never returned.
QWidget* findWindow(const QString& title);

}  // namespace skin
