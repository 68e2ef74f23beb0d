#include "skin/SkinPicture.h"

#include <QFile>
#include <QPainter>

#include <vector>

namespace skin {

bool LoadPicture(const std::string& path, QImage& picture, QSize* size) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return false;
    QImage decoded;
    if (!decoded.loadFromData(file.readAll())) return false;
    // Kept in the decoded format: Qt converts large pictures on worker
    // threads, and every use here reads any format.
    picture = decoded;
    if (size) *size = picture.size();
    return true;
}

void CutPicture(QImage& target, const QImage& source, int left, int top, int right, int bottom) {
    if (source.isNull()) return;
    QImage cut(std::max(0, right - left), std::max(0, bottom - top), QImage::Format_ARGB32_Premultiplied);
    cut.fill(Qt::transparent);
    if (!cut.isNull()) {
        QPainter painter(&cut);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QPoint(0, 0), source, QRect(left, top, cut.width(), cut.height()));
    }
    target = cut;
}

std::optional<QRegion> RegionFromPicture(const QImage& picture) {
    if (picture.isNull()) return std::nullopt;
    // Read in place rather than converted: Qt converts large pictures on
    // worker threads.
    const bool direct = picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32;
    const auto isWhite = [&](const QRgb* row, int x, int y) {
        const QRgb pixel = direct ? row[x] : picture.pixel(x, y);
        return (pixel & 0xFFFFFF) == 0xFFFFFF;
    };
    const QImage& pixels = picture;
    constexpr std::size_t kBatch = 2000;
    constexpr std::size_t kGrowth = 100;
    std::vector<QRect> runs;
    runs.reserve(kGrowth);
    QRegion region;
    bool any = false;
    const auto flush = [&] {
        if (runs.empty()) return;
        QRegion batch;
        batch.setRects(runs.data(), static_cast<int>(runs.size()));
        region += batch;
        runs.clear();
    };
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        int x = 0;
        while (x < pixels.width()) {
            while (x < pixels.width() && isWhite(row, x, y)) ++x;
            const int start = x;
            while (x < pixels.width() && !isWhite(row, x, y)) ++x;
            if (x == start) continue;
            if (runs.size() == runs.capacity()) runs.reserve(runs.capacity() + kGrowth);
            runs.emplace_back(start, y, x - start, 1);
            any = true;
            if (runs.size() == kBatch) flush();
        }
    }
    flush();
    if (!any) return std::nullopt;
    return region;
}

QImage StretchMenuPicture(const QImage& picture, int newHeight, int capHeight) {
    if (picture.isNull() || newHeight <= 0) return picture;
    const int height = picture.height();
    QImage result(picture.width(), newHeight, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const auto copyRows = [&](int sourceTop, int rows, int targetTop) {
        if (rows > 0) painter.drawImage(QPoint(0, targetTop), picture, QRect(0, sourceTop, picture.width(), rows));
    };
    if (newHeight < height) {
        if (capHeight < newHeight) {
            copyRows(0, newHeight, 0);
            copyRows(height - capHeight, capHeight, newHeight - capHeight);
        } else {
            copyRows(0, newHeight, 0);
            copyRows(height - newHeight / 2, newHeight / 2, newHeight - newHeight / 2);
        }
    } else if (newHeight > height) {
        copyRows(0, height, 0);
        const int bandTop = capHeight;
        const int bandRows = height - 2 * capHeight;
        if (bandRows > 0)
            for (int y = capHeight; y < newHeight; y += bandRows) copyRows(bandTop, bandRows, y);
        const int closeAt = std::max(newHeight + capHeight - height, capHeight);
        copyRows(capHeight, height - capHeight, closeAt);
    } else {
        return picture;
    }
    return result;
}

QImage TintSwatch(const QImage& swatchTemplate, int red, int green, int blue) {
    // The tinted channels carry the factor f already: they are premultiplied.
    QImage tinted(swatchTemplate.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < tinted.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(tinted.scanLine(y));
        for (int x = 0; x < tinted.width(); ++x) {
            const QRgb pixel = swatchTemplate.pixel(x, y);
            const int f = qRed(pixel);
            row[x] = f == 0 ? qPremultiply(pixel) : qRgba(red * f / 255, green * f / 255, blue * f / 255, f);
        }
    }
    return tinted;
}

}  // namespace skin
