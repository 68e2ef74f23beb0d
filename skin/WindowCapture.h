#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

class QWidget;

namespace skin {

// Demo and headless support for every top-level window that is shown:
//   LUMENSTRA_SCREENSHOTS=FOLDER  saves a PNG of the window shortly after it
//                                 appears, as FOLDER/NN-title.png;
//   LUMENSTRA_AUTOCLOSE_MS=N      closes the window N ms after it appeared, so a
//                                 run without a display ends by itself.
class WindowCapture : public QObject {
public:
    WindowCapture(QString screenshotFolder, std::optional<std::chrono::milliseconds> closeAfter);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void save(QWidget* window);

    QString m_folder;
    std::optional<std::chrono::milliseconds> m_closeAfter;
    int m_count = 0;
};

// Installs what the environment asks for on the running application; null
// when it asks for nothing. Keep the object for as long as windows may open.
std::unique_ptr<WindowCapture> installDemoSupportFromEnvironment();

}  // namespace skin
