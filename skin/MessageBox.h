#pragma once

#include <functional>
#include <string>

class QWidget;

// The plain message boxes of the skinned windows ("error", font failures).
// Tests replace the handler so that nothing waits for a click.
namespace skin {

using MessageBoxHandler = std::function<void(QWidget* parent, const std::string& text)>;

void ShowMessageBox(QWidget* parent, const std::string& text);
// Returns the previous handler; an empty handler restores the real box.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace skin
