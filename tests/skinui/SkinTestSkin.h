#pragma once

#include "platform/Messages.h"
#include "tests/support/TestEnvironment.h"

#include <QImage>
#include <QMouseEvent>
#include <QWidget>

#include <string>
#include <vector>

namespace skintest {

// Records the numbered messages a control sends or posts to its parent.
class Recorder : public platform::MessageWindow<QWidget> {
public:
    Recorder() { resize(640, 640); }
    std::vector<platform::WindowMessage> messages;
    int count(unsigned id, std::uintptr_t wParam) const {
        int n = 0;
        for (const auto& m : messages) n += m.id == id && m.wParam == wParam;
        return n;
    }

protected:
    std::intptr_t onMessage(const platform::WindowMessage& message) override {
        messages.push_back(message);
        return 0;
    }
};

// A small skin in a temporary program folder, loaded as the process's skin:
// window pictures of one colour per state, so a test can tell them apart.
class SkinTest : public testsupport::IsolatedTest {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string programFolder;

    static constexpr QRgb kNormal = 0xFF404040;
    static constexpr QRgb kOver = 0xFF00A000;
    static constexpr QRgb kDown = 0xFF0000C0;
    static constexpr QRgb kDisable = 0xFF101010;
};

QImage solid(int width, int height, QRgb colour);
void savePicture(const QImage& image, const std::string& path);

// Delivers a mouse event straight to the widget, as the implicit grab does.
void mouse(QWidget& widget, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held);

}  // namespace skintest
