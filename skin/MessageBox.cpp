#include "skin/MessageBox.h"

#include <QMessageBox>

namespace skin {
namespace {
MessageBoxHandler& handler() {
    static MessageBoxHandler current;
    return current;
}
}  // namespace

void ShowMessageBox(QWidget* parent, const std::string& text) {
    if (handler()) {
        handler()(parent, text);
        return;
    }
    QMessageBox::information(parent, QString(), QString::fromStdString(text), QMessageBox::Ok);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler replacement) {
    MessageBoxHandler previous = std::move(handler());
    handler() = std::move(replacement);
    return previous;
}

}  // namespace skin
