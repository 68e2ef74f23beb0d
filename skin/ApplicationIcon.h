#pragma once

#include <QIcon>

#include <string>

namespace skin {

// The application icon that `skingen --icon` draws: the hicolor pictures of an
// install (prefix/share/icons beside prefix/lib/lumenstra/) or of the build
// tree (build/dist/icons beside build/bin/), found from the program folder;
// else the icon theme's "lumenstra". Null when there is none.
QIcon ApplicationIcon(const std::string& programFolder);

}  // namespace skin
