#pragma once

#include "skin/SkinDocuments.h"

#include <QFont>
#include <QPainter>

#include <string>
#include <string_view>

// Texts of layout records drawn with the record's rectangle and attributes.
namespace skin {

// Text flags of the skinned controls, a subset of what the record texts use.
enum TextFormat : int {
    kTextLeft = 0,
    kTextCenter = 0x1,
    kTextRight = 0x2,
    kTextVCenter = 0x4,
    kTextWordBreak = 0x10,
    kTextSingleLine = 0x20,
    kTextEndEllipsis = 0x8000,
};

// A font of `height` pixels (cell height), `weight` 1..1000, plain, sans serif.
QFont SkinFontOf(const std::string& face, int height, int weight);

// Draws `text` (its \r\n marks as line breaks) into `rect` with the flags.
void DrawFormattedText(QPainter& painter, const QRect& rect, const QString& text, int format);

// Draws `text` into the rectangle of Buttons.xml section / key, with the
// record's FONT, SIZE, WEIGHT and COLOR when present and the painter's own
// font and pen otherwise; both are restored afterwards.
void DrawSkinText(QPainter& painter, std::string_view section, std::string_view key, const std::string& text,
                  int format);
// DrawSkinText with the caption of Strings.xml section / key.
void DrawSkinString(QPainter& painter, std::string_view section, std::string_view key, int format);

QColor ColorFromColorRef(std::uint32_t colorRef);

}  // namespace skin
