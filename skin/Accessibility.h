#pragma once

#include <QString>
#include <QWidget>

#include <string_view>

// The skinned controls paint themselves, so Qt alone puts them on the
// accessibility bus without role, name or value. Here they get them: the name
// is the caption (or a readable name), the description the skin key, so that
// screen readers can use a window and tests can find a control by its key.
namespace skin {

// Every skinned control calls this from its constructor: it installs the
// toolkit's accessibility factory once, and makes the objectName a window
// gives the control its skin key.
void MakeAccessible(QWidget& control);

// The skin key (Buttons.xml key, window section, message name) the control
// was made from; a control without caption is named after it.
void SetSkinKey(QWidget& control, std::string_view key);
QString SkinKeyOf(const QWidget& control);

// "BUTTON_BRIGHTNESS_UP" gives "Brightness up".
QString ReadableSkinKey(const QString& key);

// Tell assistive technology that a control's name or value changed.
void NotifyNameChanged(QWidget& control);
void NotifyValueChanged(QWidget& control, int value);
void NotifyCheckedChanged(QWidget& control);

// Text that a window draws into its background picture, made readable: a
// widget at the text's place that paints nothing and lets clicks through.
class CSkinTextLabel : public QWidget {
public:
    explicit CSkinTextLabel(QWidget* parent = nullptr);
    // Places the label at the record section / key of Buttons.xml; shown when
    // there is text.
    void Place(std::string_view section, std::string_view key, const std::string& text);
    void SetText(const QString& text);
    const QString& text() const { return m_text; }

protected:
    void paintEvent(QPaintEvent*) override {}

private:
    QString m_text;
};

}  // namespace skin
