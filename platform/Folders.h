#pragma once

#include <string>
#include <string_view>

// Where the programs find their own files and the user's folders.
// Folder results end with '/', except the desktop folder, which callers join with '/'.
namespace platform {

// The folder of the running executable, ending with '/'.
std::string programFolder();

// The folder of Lumenstra's own files (Skins.xml, Strings.xml, Skins/, Nimbrel/),
// ending with '/': `programFolder` when it holds Skins.xml (the build tree's
// bin/, or Lumenstra itself), else the installed lib/lumenstra/ beside the
// bin/ folder that `programFolder` is.
std::string lumenstraFolder(const std::string& programFolder);

// $XDG_CONFIG_HOME, or ~/.config when it is unset or not absolute; no trailing '/'.
std::string configHome();

// Creates every missing level of configHome() + relativePath (a path such as
// "/Vendor/Product/") and returns the joined path. Errors creating a level are
// ignored: the caller's later file access reports them.
std::string setUpDataFolder(std::string_view relativePath);

// The user's desktop folder from xdg-user-dirs (user-dirs.dirs, then
// $XDG_DESKTOP_DIR), default ~/Desktop; created when missing. No trailing '/'.
std::string desktopFolder();

// A per-user path for a lock file or socket named `name`: $XDG_RUNTIME_DIR/name,
// or, without a runtime folder, the temporary folder with the user id appended.
std::string runtimeFilePath(std::string_view name);

// The user's home folder ($HOME, else the password database).
std::string homeFolder();

}  // namespace platform
