#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

// Where the programs find their own files and the user's folders.
// Folder results end with '/', except the desktop folder, which callers join with '/'.
namespace platform {

// The folder of the running executable, ending with '/'.
std::string programFolder();

// $XDG_CONFIG_HOME, or ~/.config when it is unset or not absolute; no trailing '/'.
std::string configHome();

// Creates every missing level of configHome() + relativePath (a path such as
// "/Vendor/Product/") and returns the joined path. Errors creating a level are
// ignored: the caller's later file access reports them.
std::string setUpDataFolder(std::string_view relativePath);

// The user's desktop folder from xdg-user-dirs (user-dirs.dirs, then
// $XDG_DESKTOP_DIR), default ~/Desktop; created when missing. No trailing '/'.
std::string desktopFolder();

// The user's folder for lock files and sockets: $XDG_RUNTIME_DIR, or without it
// "lumenstra-<uid>" in the temporary folder, created with mode 0700. Nothing,
// with the reason in `problem`, when that folder is not the user's own private
// folder: another user could otherwise hold our locks or stand in for our sockets.
std::optional<std::string> runtimeFolder(std::string& problem);
// runtimeFolder() + "/" + name.
std::optional<std::string> runtimeFilePath(std::string_view name, std::string& problem);

// Why `folder` is no private folder of user `owner` (a message naming it), or
// empty when it is a real folder, not a link, of `owner` that nobody else may use.
std::string privateFolderProblem(const std::string& folder, uid_t owner);

// The user's home folder ($HOME, else the password database).
std::string homeFolder();

}  // namespace platform
