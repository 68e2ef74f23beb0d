#pragma once

#include <QImage>
#include <QRegion>

#include <optional>
#include <string>

// Picture operations of the skinned windows: loading, cutting, shaping.
namespace skin {

// Decodes the file (PNG, BMP, JPEG, GIF) into `picture`, replacing it; a file
// that cannot be read or decoded leaves `picture` unchanged and gives false.
bool LoadPicture(const std::string& path, QImage& picture, QSize* size = nullptr);

// Replaces `target` by the rectangle of `source`; does nothing when `source`
// is empty. Parts outside the source stay transparent.
void CutPicture(QImage& target, const QImage& source, int left, int top, int right, int bottom);

// The union of the picture's non-white pixels (white: red, green and blue
// all 255), or empty when there are none.
std::optional<QRegion> RegionFromPicture(const QImage& picture);

// The picture brought to `newHeight`, keeping `capHeight` rows at top and
// bottom and repeating the band between them when it grows.
QImage StretchMenuPicture(const QImage& picture, int newHeight, int capHeight);

// A colour swatch tinted from its template: every pixel whose red byte f is
// not 0 becomes the colour scaled by f / 255 with alpha f.
QImage TintSwatch(const QImage& swatchTemplate, int red, int green, int blue);

}  // namespace skin
