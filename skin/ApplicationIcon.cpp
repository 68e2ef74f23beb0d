#include "skin/ApplicationIcon.h"

#include <QDir>
#include <QFileInfo>

namespace skin {

QIcon ApplicationIcon(const std::string& programFolder) {
    const QString folder = QString::fromStdString(programFolder);
    for (const char* icons : {"../../share/icons/hicolor", "../dist/icons/hicolor"}) {
        const QDir hicolor(folder + QLatin1String(icons));
        if (!hicolor.exists()) continue;
        QIcon icon;
        for (const QString& size : hicolor.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
            const QString picture = hicolor.filePath(size + QStringLiteral("/apps/lumenstra.png"));
            if (QFileInfo::exists(picture)) icon.addFile(picture);
        }
        if (!icon.isNull()) return icon;
    }
    return QIcon::fromTheme(QStringLiteral("lumenstra"));
}

}  // namespace skin
