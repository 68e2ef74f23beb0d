#include "skin/WindowCapture.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace skin {
namespace {

constexpr std::chrono::milliseconds kScreenshotDelay{300};

QString fileNamePart(const QString& title) {
    QString part;
    for (const QChar c : title) part += (c.isLetterOrNumber() || c == '-' || c == '_') ? c : QChar('_');
    return part.isEmpty() ? QStringLiteral("window") : part;
}

}  // namespace

WindowCapture::WindowCapture(QString screenshotFolder, std::optional<std::chrono::milliseconds> closeAfter)
    : m_folder(std::move(screenshotFolder)), m_closeAfter(closeAfter) {
    if (!m_folder.isEmpty()) QDir().mkpath(m_folder);
}

bool WindowCapture::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Show || !watched->isWidgetType()) return QObject::eventFilter(watched, event);
    auto* widget = static_cast<QWidget*>(watched);
    if (!widget->isWindow()) return QObject::eventFilter(watched, event);

    QPointer<QWidget> window(widget);
    // The picture waits for the first paint and the window's own start-up work,
    // but is always taken before an automatic close.
    std::chrono::milliseconds shotDelay = kScreenshotDelay;
    if (m_closeAfter) shotDelay = std::min(shotDelay, *m_closeAfter / 2);
    if (!m_folder.isEmpty()) {
        QTimer::singleShot(shotDelay, this, [this, window] {
            if (window && window->isVisible()) save(window);
        });
    }
    if (m_closeAfter) {
        QTimer::singleShot(*m_closeAfter, this, [window] {
            if (window && window->isVisible()) window->close();
        });
    }
    return QObject::eventFilter(watched, event);
}

void WindowCapture::save(QWidget* window) {
    const QString path = QStringLiteral("%1/%2-%3.png")
                             .arg(m_folder)
                             .arg(++m_count, 2, 10, QChar('0'))
                             .arg(fileNamePart(window->windowTitle()));
    if (window->grab().save(path)) std::fprintf(stderr, "screenshot: %s\n", qPrintable(path));
}

std::unique_ptr<WindowCapture> installDemoSupportFromEnvironment() {
    const QString folder = qEnvironmentVariable("LUMENSTRA_SCREENSHOTS");
    bool ok = false;
    const int closeAfter = qEnvironmentVariableIntValue("LUMENSTRA_AUTOCLOSE_MS", &ok);
    std::optional<std::chrono::milliseconds> close;
    if (ok && closeAfter >= 0) close = std::chrono::milliseconds(closeAfter);
    if (folder.isEmpty() && !close) return nullptr;
    auto capture = std::make_unique<WindowCapture>(folder, close);
    qApp->installEventFilter(capture.get());
    return capture;
}

}  // namespace skin
