#include "skin/PrivateFonts.h"

#include "platform/Process.h"
#include "platform/Timing.h"
#include "skin/MessageBox.h"

#include <QFile>
#include <QFontDatabase>
#include <QStandardPaths>

#include <thread>

static void initialiseFontResources() { Q_INIT_RESOURCE(lumenstra_fonts); }

namespace skin {

namespace {
constexpr int kInstallAttempts = 2;
}

void LoadPrivateFont(int resourceId, int& holder) {
    if (holder != kNoFont) {
        ShowMessageBox(nullptr, "Font hande is not null!!");
        holder = kNoFont;
    }
    initialiseFontResources();
    QFile resource(QStringLiteral(":/fonts/%1").arg(resourceId));
    if (!resource.open(QIODevice::ReadOnly)) return;
    const QByteArray bytes = resource.readAll();
    for (int attempt = 0; attempt < kInstallAttempts && holder == kNoFont; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(platform::timing().fontRetryPause);
        const int id = QFontDatabase::addApplicationFontFromData(bytes);
        if (id >= 0) holder = id;
    }
    if (holder == kNoFont) ShowMessageBox(nullptr, "Font add fails");
}

void RemovePrivateFont(int& holder) {
    if (holder == kNoFont) return;
    QFontDatabase::removeApplicationFont(holder);
    holder = kNoFont;
}

int OpenInBrowser(const std::string& address) {
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) return -1;
    return platform::startDetached(opener.toStdString(), {address}) ? 0 : -1;
}

}  // namespace skin
