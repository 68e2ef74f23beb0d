#include "skin/Accessibility.h"

#include "skin/BitmapBtn.h"
#include "skin/BtnMenu.h"
#include "skin/ColorPicker.h"
#include "skin/PopupDlgs.h"
#include "skin/SkinDocuments.h"
#include "skin/SkinRecord.h"
#include "skin/SkinText.h"
#include "skin/Sliders.h"

#include <QAccessibleWidget>
#include <QTimer>

#include <mutex>
#include <optional>

namespace skin {
namespace {

QString colourText(ColorRef colour) {
    return QStringLiteral("#%1%2%3")
        .arg(redOf(colour), 2, 16, QLatin1Char('0'))
        .arg(greenOf(colour), 2, 16, QLatin1Char('0'))
        .arg(blueOf(colour), 2, 16, QLatin1Char('0'))
        .toUpper();
}

// What a value interface reads from a slider-like control.
struct Range {
    int value = 0;
    int minimum = 0;
    int maximum = 0;
};

std::optional<Range> rangeOf(const QWidget* widget) {
    if (const auto* slider = dynamic_cast<const CPngHSliderBar*>(widget))
        return Range{slider->value(), slider->minimum(), slider->maximum()};
    if (const auto* bar = dynamic_cast<const CSkinScrollBar*>(widget))
        return Range{bar->position(), bar->minimum(), bar->lastPosition()};
    if (const auto* colour = dynamic_cast<const GTColorSliderWnd*>(widget))
        return Range{colour->position(), 0, colour->maximum()};
    if (const auto* band = dynamic_cast<const CProgressBandDlg*>(widget)) return Range{band->progress(), 0, 100};
    return std::nullopt;
}

// One interface for every skinned control; what it says depends on the
// control's class and is read live, so captions and values are always current.
class SkinAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit SkinAccessible(QWidget* widget) : QAccessibleWidget(widget) {}

    QAccessible::Role role() const override {
        const QWidget* w = widget();
        if (dynamic_cast<const CSkinTextLabel*>(w)) return QAccessible::StaticText;
        if (const auto* button = dynamic_cast<const CBitmapBtn*>(w)) {
            if (dynamic_cast<const CBtnMenu*>(w->parentWidget())) return QAccessible::MenuItem;
            return button->isToggle() ? QAccessible::CheckBox : QAccessible::PushButton;
        }
        if (dynamic_cast<const CBtnMenu*>(w)) return QAccessible::PopupMenu;
        if (dynamic_cast<const CPngHSliderBar*>(w) || dynamic_cast<const GTColorSliderWnd*>(w))
            return QAccessible::Slider;
        if (dynamic_cast<const CSkinScrollBar*>(w)) return QAccessible::ScrollBar;
        if (dynamic_cast<const GTColorSelectorWnd*>(w)) return QAccessible::ColorChooser;
        if (dynamic_cast<const GTColorWellWnd*>(w)) return QAccessible::Graphic;
        if (dynamic_cast<const CWarnDlg*>(w) && w->isWindow()) return QAccessible::AlertMessage;
        if (dynamic_cast<const CProgressBandDlg*>(w)) return QAccessible::ProgressBar;
        return w->isWindow() ? QAccessible::Dialog : QAccessible::Pane;
    }

    QString text(QAccessible::Text t) const override {
        const QWidget* w = widget();
        switch (t) {
        case QAccessible::Name: return name();
        case QAccessible::Description: return SkinKeyOf(*w);
        case QAccessible::Value:
            if (const std::optional<Range> range = rangeOf(w)) return QString::number(range->value);
            if (const auto* selector = dynamic_cast<const GTColorSelectorWnd*>(w))
                return colourText(selector->GetSelectedColour());
            if (const auto* well = dynamic_cast<const GTColorWellWnd*>(w)) return colourText(well->colour());
            return {};
        default: return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        if (const auto* button = dynamic_cast<const CBitmapBtn*>(widget())) {
            s.checkable = button->isToggle();
            s.checked = button->isChecked();
            s.pressed = button->isPressed();
        }
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface && rangeOf(widget()))
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QStringList actionNames() const override {
        QStringList names = QAccessibleWidget::actionNames();
        if (const auto* button = dynamic_cast<const CBitmapBtn*>(widget()))
            names.prepend(button->isToggle() ? toggleAction() : pressAction());
        return names;
    }

    void doAction(const QString& action) override {
        auto* button = dynamic_cast<CBitmapBtn*>(widget());
        if (button && (action == pressAction() || action == toggleAction())) {
            // Queued: a click may open a modal pop-up, which must not hold up
            // the reply to the screen reader.
            QTimer::singleShot(0, button, [button] { button->ClickFromAssistant(); });
            return;
        }
        QAccessibleWidget::doAction(action);
    }

    QVariant currentValue() const override {
        const std::optional<Range> range = rangeOf(widget());
        return range ? QVariant(range->value) : QVariant();
    }
    void setCurrentValue(const QVariant& value) override {
        // Only the value slider takes a value; its owner decides, as after a drag.
        if (auto* slider = dynamic_cast<CPngHSliderBar*>(widget())) slider->RequestValue(value.toInt());
    }
    QVariant maximumValue() const override {
        const std::optional<Range> range = rangeOf(widget());
        return range ? QVariant(range->maximum) : QVariant();
    }
    QVariant minimumValue() const override {
        const std::optional<Range> range = rangeOf(widget());
        return range ? QVariant(range->minimum) : QVariant();
    }
    QVariant minimumStepSize() const override { return 1; }

private:
    QString name() const {
        const QWidget* w = widget();
        if (!w->accessibleName().isEmpty()) return w->accessibleName();
        QString shown;
        if (const auto* label = dynamic_cast<const CSkinTextLabel*>(w)) shown = label->text();
        if (const auto* button = dynamic_cast<const CBitmapBtn*>(w)) {
            shown = QString::fromStdString(ReplaceLineBreakMarks(button->caption()));
            if (shown.trimmed().isEmpty()) shown = w->toolTip();
        }
        if (const auto* warning = dynamic_cast<const CWarnDlg*>(w)) shown = warning->titleLabel().text();
        if (dynamic_cast<const GTColorSelectorWnd*>(w)) shown = QStringLiteral("Colour plane");
        if (dynamic_cast<const GTColorSliderWnd*>(w)) shown = QStringLiteral("Colour bar");
        if (dynamic_cast<const GTColorWellWnd*>(w)) shown = QStringLiteral("Chosen colour");
        if (shown.trimmed().isEmpty() && w->isWindow()) shown = w->windowTitle();
        if (shown.trimmed().isEmpty()) shown = ReadableSkinKey(SkinKeyOf(*w));
        if (shown.trimmed().isEmpty() && dynamic_cast<const CSkinScrollBar*>(w)) shown = QStringLiteral("Scroll bar");
        if (shown.trimmed().isEmpty() && dynamic_cast<const CBtnMenu*>(w)) shown = QStringLiteral("Menu");
        return shown.simplified();
    }
};

bool isSkinControl(QObject* object) {
    return dynamic_cast<CSkinTextLabel*>(object) || dynamic_cast<CBitmapBtn*>(object) ||
           dynamic_cast<CBtnMenu*>(object) || dynamic_cast<CPngHSliderBar*>(object) ||
           dynamic_cast<CSkinScrollBar*>(object) || dynamic_cast<GTColorSelectorWnd*>(object) ||
           dynamic_cast<GTColorSliderWnd*>(object) || dynamic_cast<GTColorWellWnd*>(object) ||
           dynamic_cast<CBaseDlg*>(object);
}

QAccessibleInterface* skinFactory(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    return widget && isSkinControl(object) ? new SkinAccessible(widget) : nullptr;
}

}  // namespace

void MakeAccessible(QWidget& control) {
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(skinFactory); });
    QObject::connect(&control, &QObject::objectNameChanged, &control,
                     [&control](const QString& name) { SetSkinKey(control, name.toStdString()); });
}

void SetSkinKey(QWidget& control, std::string_view key) {
    const QString text = QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
    control.setAccessibleDescription(text);
    // An edit box keeps Qt's own interface, which names it only when told.
    if (dynamic_cast<CEditTrans*>(&control) || dynamic_cast<CEditTransMultiLine*>(&control))
        control.setAccessibleName(ReadableSkinKey(text));
    NotifyNameChanged(control);
}

QString SkinKeyOf(const QWidget& control) { return control.accessibleDescription(); }

QString ReadableSkinKey(const QString& key) {
    static const QStringList kKindWords = {QStringLiteral("BUTTON"), QStringLiteral("BTN"),    QStringLiteral("SLIDER"),
                                           QStringLiteral("STR"),    QStringLiteral("STATIC"), QStringLiteral("EDIT")};
    QStringList words = key.split(QLatin1Char('_'), Qt::SkipEmptyParts);
    if (words.size() > 1 && kKindWords.contains(words.front())) words.removeFirst();
    QString readable = words.join(QLatin1Char(' ')).toLower();
    if (!readable.isEmpty()) readable[0] = readable[0].toUpper();
    return readable;
}

void NotifyNameChanged(QWidget& control) {
    if (!QAccessible::isActive()) return;
    QAccessibleEvent event(&control, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

void NotifyValueChanged(QWidget& control, int value) {
    if (!QAccessible::isActive()) return;
    QAccessibleValueChangeEvent event(&control, value);
    QAccessible::updateAccessibility(&event);
}

void NotifyCheckedChanged(QWidget& control) {
    if (!QAccessible::isActive()) return;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(&control, changed);
    QAccessible::updateAccessibility(&event);
}

// ---- CSkinTextLabel

CSkinTextLabel::CSkinTextLabel(QWidget* parent) : QWidget(parent) {
    MakeAccessible(*this);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void CSkinTextLabel::Place(std::string_view section, std::string_view key, const std::string& text) {
    const SkinRecord record = ParseSkinRecord(GetSkinText(skinDocument(SkinDocument::Buttons), section, key));
    setGeometry(record.left, record.top, record.right - record.left, record.bottom - record.top);
    SetSkinKey(*this, key);
    SetText(QString::fromStdString(ReplaceLineBreakMarks(text)));
    // No text, nothing to read out.
    setVisible(!m_text.trimmed().isEmpty());
}

void CSkinTextLabel::SetText(const QString& text) {
    if (text == m_text) return;
    m_text = text;
    NotifyNameChanged(*this);
}

}  // namespace skin
