#include "SkinTestSkin.h"

#include "platform/Messages.h"
#include "skin/Accessibility.h"
#include "skin/BaseDlg.h"
#include "skin/BitmapBtn.h"
#include "skin/BtnMenu.h"
#include "skin/ColorPicker.h"
#include "skin/PopupDlgs.h"
#include "skin/SkinMessages.h"
#include "skin/Sliders.h"

#include <QAccessible>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

namespace skintest {
namespace {

std::string textOf(QAccessibleInterface* iface, QAccessible::Text which) { return iface->text(which).toStdString(); }

QAccessibleInterface* accessibleOf(QWidget* widget) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    EXPECT_NE(iface, nullptr);
    return iface;
}

// Pictures for the controls that cut their own out of the window's.
skin::SkinContext context() {
    static const QImage picture = solid(400, 600, 0xFF404040);
    return skin::SkinContext{&picture, &picture, &picture, &picture, false, 0, 0};
}

class AccessibilityTest : public SkinTest {
protected:
    Recorder parent;
};

// What a screen reader and a test see of each kind of control.
struct Expected {
    const char* what;
    std::function<QWidget*(Recorder&)> make;
    QAccessible::Role role;
    const char* name;
    const char* description;
    std::optional<int> value;
};

skin::CBitmapBtn* button(Recorder& parent, const char* key, bool caption) {
    auto* b = new skin::CBitmapBtn;
    skin::SkinContext context{};
    skin::CreateSkinButton(*b, "WarnDlg", key, context, &parent, caption, skin::kAlignCenter, 0, -1);
    return b;
}

// A control that a window keys by its objectName, as the main window does.
template <class Control>
Control* keyedBy(Recorder& parent, const char* key) {
    auto* control = new Control(&parent);
    control->setObjectName(QString::fromLatin1(key));
    return control;
}

const Expected kControls[] = {
    {"push button with its caption", [](Recorder& p) { return button(p, "BUTTON_OK", true); }, QAccessible::PushButton,
     "OK", "BUTTON_OK", std::nullopt},
    {"toggle without caption", [](Recorder& p) { return button(p, "TOGGLE", false); }, QAccessible::CheckBox, "Toggle",
     "TOGGLE", std::nullopt},
    {"button without caption", [](Recorder& p) { return button(p, "BUTTON_CLOSE", false); }, QAccessible::PushButton,
     "Close", "BUTTON_CLOSE", std::nullopt},
    {"button named by its tooltip",
     [](Recorder& p) {
         skin::CBitmapBtn* b = button(p, "PUSH", false);
         b->SetTooltip("Next page");
         return b;
     },
     QAccessible::PushButton, "Next page", "PUSH", std::nullopt},
    {"caption with a line break mark",
     [](Recorder& p) {
         skin::CBitmapBtn* b = button(p, "PUSH", false);
         b->SetCaption("Fan\\r\\nspeed", 0, true);
         return b;
     },
     QAccessible::PushButton, "Fan speed", "PUSH", std::nullopt},
    {"list button keyed by the window's objectName",
     [](Recorder& p) {
         auto* b = keyedBy<skin::CBitmapListBtn>(p, "BUTTON_LED_DEV_1");
         b->SetCaption("Top card", 0, true);
         return b;
     },
     QAccessible::PushButton, "Top card", "BUTTON_LED_DEV_1", std::nullopt},
    {"colour swatch", [](Recorder& p) { return keyedBy<skin::CColorBtn>(p, "BUTTON_COLOR"); }, QAccessible::PushButton,
     "Color", "BUTTON_COLOR", std::nullopt},
    {"value slider",
     [](Recorder& p) {
         auto* s = new skin::CPngHSliderBar;
         skin::CreateSkinSlider(*s, "WarnDlg", "SLIDER_R", context(), &p, 7, {}, false, 0, 255);
         s->SetValue(128);
         return s;
     },
     QAccessible::Slider, "R", "SLIDER_R", 128},
    {"scroll bar",
     [](Recorder& p) {
         auto* bar = new skin::CSkinScrollBar(Qt::Vertical, &p);
         bar->setRange(0, 9, 3);
         bar->setPosition(4);
         return bar;
     },
     QAccessible::ScrollBar, "Scroll bar", "", 4},
    {"menu", [](Recorder& p) { return keyedBy<skin::CBtnMenu>(p, "DEVICE_MENU"); }, QAccessible::PopupMenu,
     "Device menu", "DEVICE_MENU", std::nullopt},
    {"colour plane",
     [](Recorder& p) {
         auto* selector = new skin::GTColorSelectorWnd;
         selector->CreateSelector(&p, 0, 0, 100, 100);
         return selector;
     },
     QAccessible::ColorChooser, "Colour plane", "GTColorSelectorWnd", std::nullopt},
    {"colour bar",
     [](Recorder& p) {
         auto* slider = new skin::GTColorSliderWnd;
         slider->CreateSlider(&p, 0, 0, 200, 30);
         return slider;
     },
     QAccessible::Slider, "Colour bar", "GTColorSliderWnd", 0},
    {"colour well",
     [](Recorder& p) {
         auto* well = new skin::GTColorWellWnd(&p);
         well->CreateWell(0, 0, 20, 20, nullptr);
         return well;
     },
     QAccessible::Graphic, "Chosen colour", "GTColorWellWnd", std::nullopt},
    {"edit box", [](Recorder& p) { return keyedBy<skin::CEditTrans>(p, "EDIT_CARD_NAME"); }, QAccessible::EditableText,
     "Card name", "EDIT_CARD_NAME", std::nullopt},
    {"multi-line edit box", [](Recorder& p) { return keyedBy<skin::CEditTransMultiLine>(p, "EDIT_OUTPUT"); },
     QAccessible::EditableText, "Output", "EDIT_OUTPUT", std::nullopt},
    {"skinned window",
     [](Recorder&) {
         auto* dialog = new skin::CBaseDlg;
         dialog->setSection("WarnDlg");
         dialog->setSkinFolder("PopDlg");
         dialog->setWindowTitle(QStringLiteral("Lumenstra test window"));
         dialog->EnsureInitialised();
         return dialog;
     },
     QAccessible::Dialog, "Lumenstra test window", "WarnDlg", std::nullopt},
    {"skinned page",
     [](Recorder& p) {
         auto* page = new skin::CBaseDlg;
         page->setSection("LOAD_KEYBOARD");
         page->setSkinFolder("PopDlg");
         page->CreateSkinned(skin::kPageTemplate, &p);
         return page;
     },
     QAccessible::Pane, "Load keyboard", "LOAD_KEYBOARD", std::nullopt},
    {"loading pop-up",
     [](Recorder&) {
         auto* loading = new skin::CLoadingDlg;
         loading->EnsureInitialised();
         loading->SetProgress(40);
         return loading;
     },
     QAccessible::ProgressBar, skin::kPopupTitle, "LOAD_KEYBOARD", 40},
    {"warning",
     [](Recorder&) {
         auto* warning = new skin::CWarnDlg;
         warning->SetMessage("NO_SAVE");
         warning->EnsureInitialised();
         return warning;
     },
     QAccessible::AlertMessage, "Unsaved", "NO_SAVE", std::nullopt},
};

TEST_F(AccessibilityTest, EachControlHasRoleNameKeyAndValue) {
    for (const Expected& e : kControls) {
        SCOPED_TRACE(e.what);
        QWidget* widget = e.make(parent);
        QAccessibleInterface* iface = accessibleOf(widget);
        ASSERT_NE(iface, nullptr);
        EXPECT_EQ(iface->role(), e.role);
        EXPECT_EQ(textOf(iface, QAccessible::Name), e.name);
        EXPECT_EQ(textOf(iface, QAccessible::Description), e.description);
        QAccessibleValueInterface* value = iface->valueInterface();
        EXPECT_EQ(value != nullptr, e.value.has_value());
        if (value && e.value) {
            EXPECT_EQ(value->currentValue().toInt(), *e.value);
            EXPECT_EQ(textOf(iface, QAccessible::Value), std::to_string(*e.value));
        }
        if (widget->isWindow()) delete widget;
    }
}

TEST_F(AccessibilityTest, ACaptionChangeRenamesTheButton) {
    skin::CBitmapBtn* b = button(parent, "BUTTON_OK", true);
    QAccessibleInterface* iface = accessibleOf(b);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(textOf(iface, QAccessible::Name), "OK");
    b->SetCaption("Apply now", 0, true);
    EXPECT_EQ(textOf(iface, QAccessible::Name), "Apply now");
    b->setAccessibleName(QStringLiteral("Apply the effect"));  // a window's own name wins
    b->SetCaption("Apply", 0, true);
    EXPECT_EQ(textOf(iface, QAccessible::Name), "Apply the effect");
}

TEST_F(AccessibilityTest, TheLatestKeyIsTheDescription) {
    skin::CBitmapBtn* b = button(parent, "BUTTON_OK", true);
    QAccessibleInterface* iface = accessibleOf(b);
    ASSERT_NE(iface, nullptr);
    b->setObjectName(QStringLiteral("BUTTON_APPLY"));
    EXPECT_EQ(textOf(iface, QAccessible::Description), "BUTTON_APPLY");
    EXPECT_EQ(skin::SkinKeyOf(*b).toStdString(), "BUTTON_APPLY");
}

TEST_F(AccessibilityTest, SliderRangeAndASetValueGoesToItsOwner) {
    skin::CPngHSliderBar slider;
    skin::CreateSkinSlider(slider, "WarnDlg", "SLIDER_R", context(), &parent, 7, {}, false, 1, 10);
    slider.SetValue(4);
    QAccessibleValueInterface* value = accessibleOf(&slider)->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->minimumValue().toInt(), 1);
    EXPECT_EQ(value->maximumValue().toInt(), 10);
    EXPECT_EQ(value->currentValue().toInt(), 4);
    for (const int asked : {6, 99}) value->setCurrentValue(asked);
    platform::pumpEvents(2);
    ASSERT_EQ(parent.messages.size(), 2u);
    EXPECT_EQ(parent.messages[0].wParam, 6u);
    EXPECT_EQ(parent.messages[1].wParam, 10u);  // kept within the range
    EXPECT_EQ(parent.messages[1].lParam, 7);
    EXPECT_EQ(value->currentValue().toInt(), 4);  // the owner sets it, not the request
    slider.SetValue(6);
    EXPECT_EQ(value->currentValue().toInt(), 6);
}

TEST_F(AccessibilityTest, ScrollBarValueStopsAtTheLastPage) {
    skin::CSkinScrollBar bar(Qt::Vertical, &parent);
    bar.setRange(0, 9, 3);
    bar.setPosition(50);
    QAccessibleValueInterface* value = accessibleOf(&bar)->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->maximumValue().toInt(), 7);
    EXPECT_EQ(value->currentValue().toInt(), 7);
}

TEST_F(AccessibilityTest, ButtonsAreCheckedAndPressedThroughTheirInterface) {
    skin::CBitmapBtn* toggle = button(parent, "TOGGLE", false);
    skin::CBitmapBtn* push = button(parent, "PUSH", false);
    QAccessibleInterface* toggleIface = accessibleOf(toggle);
    QAccessibleInterface* pushIface = accessibleOf(push);
    ASSERT_NE(toggleIface, nullptr);
    ASSERT_NE(pushIface, nullptr);
    EXPECT_TRUE(toggleIface->state().checkable);
    EXPECT_FALSE(toggleIface->state().checked);
    ASSERT_NE(toggleIface->actionInterface(), nullptr);
    toggleIface->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    pushIface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    platform::pumpEvents(3);
    EXPECT_TRUE(toggleIface->state().checked);
    EXPECT_EQ(parent.count(skin::kWmCommand, skin::kToggleReleased), 1);
    EXPECT_EQ(parent.count(skin::kWmCommand, skin::makeWord(0, skin::kBnClicked)), 1);
    // A disabled button cannot be pressed this way either.
    push->setEnabled(false);
    pushIface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    platform::pumpEvents(3);
    EXPECT_EQ(parent.count(skin::kWmCommand, skin::makeWord(0, skin::kBnClicked)), 1);
}

TEST_F(AccessibilityTest, AWarningReadsItsTextAndNamesItsButtons) {
    skin::CWarnDlg warning;
    warning.SetMessage("NO_SAVE");
    warning.SetAffixes("Card 1: ", "");
    warning.EnsureInitialised();
    QAccessibleInterface* iface = accessibleOf(&warning);
    ASSERT_NE(iface, nullptr);
    std::vector<std::pair<std::string, std::string>> children;  // description, name
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface* child = iface->child(i);
        children.emplace_back(textOf(child, QAccessible::Description), textOf(child, QAccessible::Name));
    }
    using Child = std::pair<std::string, std::string>;
    for (const Child& wanted :
         {Child{"STR_TITLE", "Unsaved"}, Child{"STR_WARN", "Card 1: Discard?"}, Child{"BUTTON_OK", "OK"},
          Child{"BUTTON_CANCEL", "Cancel"}, Child{"BUTTON_CLOSE", "Close"}})
        EXPECT_NE(std::find(children.begin(), children.end(), wanted), children.end()) << wanted.first;
    // The text sits where it is drawn, and clicks go through it to the window.
    EXPECT_EQ(warning.messageLabel().geometry(), QRect(0, 100, 400, 200));
    EXPECT_TRUE(warning.messageLabel().testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_TRUE(warning.messageLabel().isVisibleTo(&warning));

    skin::CWarnDlg untitled;  // a message without texts has nothing to read out
    untitled.SetMessage("NO_SUCH_MESSAGE");
    untitled.EnsureInitialised();
    EXPECT_FALSE(untitled.titleLabel().isVisibleTo(&untitled));
    EXPECT_FALSE(untitled.messageLabel().isVisibleTo(&untitled));
}

TEST(ReadableSkinKey, KindWordDroppedAndWordsSpaced) {
    const struct {
        const char* key;
        const char* readable;
    } cases[] = {{"BUTTON_BRIGHTNESS_UP", "Brightness up"},
                 {"BTN_CHECK", "Check"},
                 {"SLIDER_SPEED", "Speed"},
                 {"BUTTON", "Button"},
                 {"MAIN", "Main"},
                 {"", ""},
                 {"FAN__LED", "Fan led"}};
    for (const auto& c : cases) EXPECT_EQ(skin::ReadableSkinKey(QString::fromLatin1(c.key)).toStdString(), c.readable);
}

}  // namespace
}  // namespace skintest
