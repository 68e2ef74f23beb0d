#include "skin/SkinText.h"

#include "skin/SkinRecord.h"

#include <QFontMetrics>

namespace skin {

QFont SkinFontOf(const std::string& face, int height, int weight) {
    QFont font(QString::fromStdString(face));
    font.setStyleHint(QFont::SansSerif);
    // The skin gives cell heights; Qt sizes by the em, which is about 3/4 of the cell.
    font.setPixelSize(std::max(1, height * 3 / 4));
    font.setWeight(static_cast<QFont::Weight>(std::clamp(weight, 1, 1000)));
    font.setItalic(false);
    font.setUnderline(false);
    return font;
}

QColor ColorFromColorRef(std::uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

void DrawFormattedText(QPainter& painter, const QRect& rect, const QString& text, int format) {
    int flags = 0;
    if (format & kTextCenter)
        flags |= Qt::AlignHCenter;
    else if (format & kTextRight)
        flags |= Qt::AlignRight;
    else
        flags |= Qt::AlignLeft;
    flags |= (format & kTextVCenter) ? Qt::AlignVCenter : Qt::AlignTop;
    const bool wrap = (format & kTextWordBreak) != 0;
    if (wrap) flags |= Qt::TextWordWrap;
    QString shown = text;
    if ((format & kTextEndEllipsis) && !wrap && !text.contains(QLatin1Char('\n')))
        shown = painter.fontMetrics().elidedText(text, Qt::ElideRight, rect.width());
    QRect target = rect;
    if (wrap || (format & kTextVCenter)) {
        // Centre wrapped text vertically: shrink the rectangle by half the spare height.
        const QRect needed = painter.fontMetrics().boundingRect(rect, flags, shown);
        const auto [top, bottom] = CenteredTopBottom(rect.top(), rect.top() + rect.height(), needed.height());
        target = QRect(rect.left(), top, rect.width(), bottom - top);
        flags = (flags & ~Qt::AlignTop) | Qt::AlignVCenter;
    }
    painter.drawText(target, flags, shown);
}

void DrawSkinText(QPainter& painter, std::string_view section, std::string_view key, const std::string& text,
                  int format) {
    const SkinTextStyle style = GetSkinTextStyle(skinDocument(SkinDocument::Buttons), section, key);
    const QRect rect(style.record.left, style.record.top, style.record.right - style.record.left,
                     style.record.bottom - style.record.top);
    painter.save();
    if (style.font) painter.setFont(SkinFontOf(style.font->face, style.font->height, style.font->weight));
    if (style.color) painter.setPen(ColorFromColorRef(*style.color));
    DrawFormattedText(painter, rect, QString::fromStdString(ReplaceLineBreakMarks(text)), format);
    painter.restore();
}

void DrawSkinString(QPainter& painter, std::string_view section, std::string_view key, int format) {
    DrawSkinText(painter, section, key, GetSkinText(skinDocument(SkinDocument::Strings), section, key), format);
}

}  // namespace skin
