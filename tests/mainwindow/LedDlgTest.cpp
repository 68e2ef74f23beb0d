// The effect editor page inside the real main window, offscreen, against an emulated controller.
#include "devicecontrol/Encoding.h"
#include "effects/Morse.h"
#include "effects/Profiles.h"
#include "mainwindow/LedDlg.h"
#include "platform/Folders.h"
#include "platform/Utf16.h"
#include "skin/SkinMessages.h"
#include "tests/mainwindow/MainWindowFixture.h"

#include <QAccessible>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>

#include <gmock/gmock.h>

#include <dlfcn.h>

#include <fstream>

using namespace std::chrono_literals;
using devicecontroltest::commandOf;
using effects::EffectLayer;
using effects::LedProfileSet;
using mainwindowtest::PopupAnswerer;
using mainwindowtest::pumpUntil;

namespace {

class LedDlgTest : public mainwindowtest::MainWindowTest {
protected:
    void SetUp() override {
        device = simulator->plug(sim::ControllerKind::Standard).front();
        open();
        ASSERT_TRUE(settled());
        page = dynamic_cast<CLedDlg*>(&window->page(0));
        ASSERT_NE(page, nullptr);
        idle();
        simulator->clearTrace();
    }

    LedProfileSet& edit() { return window->editCopy(0, 0); }
    effects::LedProfile& profile() { return edit().selected(); }
    devicelink::CUSBDriver& link() { return window->applicationLink(0); }

    // Every preview asked for has gone out.
    void idle() {
        ASSERT_TRUE(pumpUntil([&] { return !page->previews().pending() && !page->previews().scheduled(); }));
        platform::pumpEventsFor(5ms);
    }
    skin::CBitmapBtn& button(const char* key) {
        auto* found = dynamic_cast<skin::CBitmapBtn*>(page->control(key));
        EXPECT_NE(found, nullptr) << key;
        return *found;
    }
    void click(const char* key) {
        button(key).ClickFromAssistant();
        idle();
    }
    void post(int value, int id) {
        platform::postMessage(page, {skin::kSliderNotify,
                                     static_cast<std::uintptr_t>(static_cast<std::intptr_t>(value)), id});
        idle();
    }
    std::vector<std::string> commands(const std::vector<sim::TraceEntry>& trace) {
        std::vector<std::string> out;
        for (const auto& entry : trace) out.push_back(commandOf(entry));
        return out;
    }
    // What the encoding sends for the page's model state now: the mode select and the preview.
    std::vector<sim::TraceEntry> expectedPreview(bool withModeSelect) {
        LedProfileSet set = edit();
        effects::EditorState state = page->editorState();
        simulator->clearTrace();
        if (withModeSelect) devicecontrol::SelectMode(link(), set, state);
        devicecontrol::PreviewEffect(link(), set, state);
        return simulator->takeTrace();
    }
    static void expectSameRecords(const std::vector<sim::TraceEntry>& sent,
                                  const std::vector<sim::TraceEntry>& expected, const std::string& what) {
        ASSERT_EQ(sent.size(), expected.size()) << what;
        for (std::size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(sent[i].record, expected[i].record) << what << " " << i;
    }
    // The colour of the last effect-slot write on the wire.
    static effects::Colour lastSlotColour(const std::vector<sim::TraceEntry>& trace) {
        for (auto it = trace.rbegin(); it != trace.rend(); ++it)
            if (commandOf(*it).rfind("51/2c/", 0) == 0) {
                const sim::RecordData data = sim::recordData(it->record);
                return skin::makeColorRef(data[6], data[7], data[8]);
            }
        return 0xFFFFFFFF;
    }
    QLineEdit& openEdit(const char* key) {
        click(key);
        auto* edit = static_cast<QLineEdit*>(page->inPlaceEdit());
        EXPECT_NE(edit, nullptr) << key;
        EXPECT_EQ(edit->objectName().toStdString(), key);
        return *edit;
    }
    void endEdit(QLineEdit& edit, Qt::Key key = Qt::Key_Return) {
        QTest::keyClick(&edit, key);
        idle();
    }

    int device = 0;
    CLedDlg* page = nullptr;
    // The frequencies the hidden conversion dialog shows in its six edits.
    std::array<int, 6> shownPwm() {
        std::array<int, 6> hz{};
        for (int channel = 0; channel < 6; ++channel) {
            const auto* edit = page->conversionDialog()->findChild<QLineEdit*>(QString::number(1001 + channel));
            hz[static_cast<std::size_t>(channel)] = edit ? edit->text().toInt() : -1;
        }
        return hz;
    }
};

TEST_F(LedDlgTest, EveryEffectButtonOfEachZoneSendsWhatTheEncodingSendsForTheChosenEffect) {
    struct Case {
        int zone;
        const char* key;
        std::int32_t effect;
    };
    std::vector<Case> cases;
    const char* const mainKeys[9] = {"BUTTON_MENU_1", "BUTTON_MENU_2", "BUTTON_MENU_3",
                                     "BUTTON_MENU_4", "BUTTON_MENU_5", "BUTTON_MENU_6",
                                     "BUTTON_MENU_7", "BUTTON_MENU_8", "BUTTON_LIGHT_ON"};
    const char* const zoneKeys[4] = {"BUTTON_FAN_EFF_1", "BUTTON_FAN_EFF_2", "BUTTON_FAN_EFF_3", "BUTTON_FAN_EFF_4"};
    for (int i = 0; i < 9; ++i) cases.push_back({0, mainKeys[i], effects::kMainMenu[static_cast<std::size_t>(i)]});
    for (int zone : {1, 2})
        for (int i = 0; i < 4; ++i)
            cases.push_back({zone, zoneKeys[i], effects::kZoneMenu[static_cast<std::size_t>(i)]});
    for (const Case& c : cases) {
        page->SelectZone(c.zone);
        idle();
        simulator->clearTrace();
        click(c.key);
        const auto sent = simulator->takeTrace();
        const std::string what = std::string(c.key) + " zone " + std::to_string(c.zone);
        EXPECT_EQ(profile().zoneEffects[static_cast<std::size_t>(c.zone)], c.effect) << what;
        EXPECT_TRUE(button(c.key).isChecked()) << what;
        expectSameRecords(sent, expectedPreview(true), what);
        if (c.zone == 0) {
            EXPECT_EQ(button("BUTTON_LIGHT_OFF").isVisible(), c.effect == effects::EFFECT_LIGHT_OFF) << what;
            if (c.effect == effects::EFFECT_LIGHT_OFF) {
                // The group map gives the main zone's positions the off mode, and no zone-0 record goes out.
                const auto list = commands(sent);
                EXPECT_EQ(std::count(list.begin(), list.end(), "51/2c/1"), 0);
                for (const auto& entry : sent) {
                    if (commandOf(entry) == "51/a0/1") {
                        EXPECT_EQ(sim::recordData(entry.record)[6], 0xFE);
                    }
                }
            }
        }
    }
}

TEST_F(LedDlgTest, LightsOnAgainReturnsToTheEffectTheZoneLeft) {
    click("BUTTON_MENU_8");
    click("BUTTON_LIGHT_ON");
    ASSERT_EQ(profile().zoneEffects[0], effects::EFFECT_LIGHT_OFF);
    EXPECT_FALSE(button("BUTTON_LIGHT_ON").isVisible());
    click("BUTTON_LIGHT_OFF");
    EXPECT_EQ(profile().zoneEffects[0], effects::EFFECT_MODE_01);
    EXPECT_FALSE(button("BUTTON_LIGHT_OFF").isVisible());
}

TEST_F(LedDlgTest, SelectingZonesShowsTheirControlsAndTheLogoZoneSendsNoPreview) {
    page->SelectZone(2);
    idle();
    EXPECT_TRUE(simulator->takeTrace().empty());
    for (const char* key : {"SLIDER_R", "EDIT_R", "BUTTON_COLOR", "BUTTON_MENU_1", "SLIDER_HZ_R", "BUTTON_M1"})
        EXPECT_FALSE(page->control(key)->isVisible()) << key;
    page->SelectZone(1);
    idle();
    EXPECT_FALSE(simulator->takeTrace().empty());
    for (const char* key : {"BUTTON_FAN_EFF_1", "BUTTON_FAN_EFF_2", "BUTTON_FAN_EFF_3", "BUTTON_MENU_1", "SLIDER_R"})
        EXPECT_FALSE(page->control(key)->isVisible()) << key;
    for (const char* key : {"BUTTON_FAN_EFF_4", "BUTTON_M1", "SLIDER_HZ_R", "EDIT_HZ_G", "BUTTON_SAVE"})
        EXPECT_TRUE(page->control(key)->isVisible()) << key;
    EXPECT_FALSE(page->control("BUTTON_CHROMA")->isVisible());
}

TEST_F(LedDlgTest, ColourFromThePlaneTheHueBarTheSlidersAndTheFieldsReachesTheLayerAndTheCard) {
    const auto staticColour = [&] { return profile().multiLayer.colour(48); };
    const auto fieldsShow = [&](effects::Colour colour) {
        return button("EDIT_R").caption() == std::to_string(skin::redOf(colour)) &&
               button("EDIT_G").caption() == std::to_string(skin::greenOf(colour)) &&
               button("EDIT_B").caption() == std::to_string(skin::blueOf(colour));
    };
    // The plane: its bottom left corner is black.
    skin::GTColorSelectorWnd& plane = page->plane();
    const QPoint corner = plane.planeRect().bottomLeft();
    QTest::mousePress(&plane, Qt::LeftButton, {}, corner);
    QTest::mouseRelease(&plane, Qt::LeftButton, {}, corner);
    idle();
    EXPECT_EQ(staticColour(), 0u);
    EXPECT_TRUE(fieldsShow(0));
    EXPECT_EQ(lastSlotColour(simulator->takeTrace()), 0u);

    // A saturated colour, then the hue bar turns it.
    post(255, CLedDlg::kSliderR);
    EXPECT_EQ(staticColour(), skin::makeColorRef(255, 0, 0));
    EXPECT_EQ(lastSlotColour(simulator->takeTrace()), skin::makeColorRef(255, 0, 0));
    skin::GTColorSliderWnd& hue = page->hueBar();
    const QRect bar = hue.innerBar();
    QTest::mouseClick(&hue, Qt::LeftButton, {}, QPoint(bar.left() + bar.width() / 3, bar.center().y()));
    idle();
    EXPECT_EQ(staticColour(), plane.GetSelectedColour());
    EXPECT_NE(staticColour(), skin::makeColorRef(255, 0, 0));
    EXPECT_TRUE(fieldsShow(staticColour()));
    EXPECT_EQ(lastSlotColour(simulator->takeTrace()), staticColour());

    // The fields: 0 to 255, Enter commits, digits only.
    post(0, CLedDlg::kSliderR);
    post(0, CLedDlg::kSliderB);
    post(0, CLedDlg::kSliderG);
    QLineEdit& green = openEdit("EDIT_G");
    green.selectAll();
    QTest::keyClicks(&green, "12x8");
    EXPECT_EQ(green.text().toStdString(), "128");
    endEdit(green);
    EXPECT_EQ(staticColour(), skin::makeColorRef(0, 128, 0));
    EXPECT_EQ(dynamic_cast<skin::CPngHSliderBar*>(page->control("SLIDER_G"))->value(), 128);
    EXPECT_EQ(lastSlotColour(simulator->takeTrace()), skin::makeColorRef(0, 128, 0));
}

TEST_F(LedDlgTest, ColourFieldsRefuseOutOfRangeValuesAndTabMovesOnRoundTheThree) {
    QLineEdit& blue = openEdit("EDIT_B");
    blue.selectAll();
    QTest::keyClicks(&blue, "300");
    EXPECT_EQ(blue.text().toStdString(), "30") << "300 is beyond 255";
    QTest::keyClick(&blue, Qt::Key_Tab);
    idle();
    auto* red = static_cast<QLineEdit*>(page->inPlaceEdit());
    ASSERT_NE(red, nullptr);
    EXPECT_EQ(red->objectName().toStdString(), "EDIT_R") << "B moves on to R";
    EXPECT_EQ(skin::blueOf(profile().multiLayer.colour(48)), 30);
    red->selectAll();
    QTest::keyClicks(red, "255");
    QTest::keyClick(red, Qt::Key_Tab);
    idle();
    auto* green = static_cast<QLineEdit*>(page->inPlaceEdit());
    ASSERT_NE(green, nullptr);
    EXPECT_EQ(green->objectName().toStdString(), "EDIT_G");
    green->clear();
    endEdit(*green);
    EXPECT_EQ(page->inPlaceEdit(), nullptr);
    EXPECT_EQ(profile().multiLayer.colour(48), skin::makeColorRef(255, 0, 30)) << "an empty field takes its default 0";
}

TEST_F(LedDlgTest, SpeedAndBrightnessStopAtTheirLimits) {
    click("BUTTON_MENU_8");  // speed and brightness
    struct Case {
        const char* key;
        int slider;
        int start;
        int expected;
        bool sends;
    };
    const Case cases[] = {{"BUTTON_SPEED_UP", CLedDlg::kSliderSpeed, 3, 4, true},
                          {"BUTTON_SPEED_UP", CLedDlg::kSliderSpeed, 4, 4, false},
                          {"BUTTON_SPEED_DOWN", CLedDlg::kSliderSpeed, 1, 0, true},
                          {"BUTTON_SPEED_DOWN", CLedDlg::kSliderSpeed, 0, 0, false},
                          {"BUTTON_BRIGHTNESS_UP", CLedDlg::kSliderBrightness, 2, 2, false},
                          {"BUTTON_BRIGHTNESS_UP", CLedDlg::kSliderBrightness, 1, 2, true},
                          {"BUTTON_BRIGHTNESS_DOWN", CLedDlg::kSliderBrightness, 0, 0, false}};
    for (const Case& c : cases) {
        post(c.start, c.slider);
        simulator->clearTrace();
        const int sentBefore = page->previews().sent();
        click(c.key);
        const bool speed = c.slider == CLedDlg::kSliderSpeed;
        EXPECT_EQ(profile().multiLayer.byte(speed ? 168 : 169), c.expected) << c.key << " from " << c.start;
        EXPECT_EQ(page->previews().sent() > sentBefore, c.sends) << c.key << " from " << c.start;
        EXPECT_EQ(simulator->takeTrace().empty(), !c.sends) << c.key << " from " << c.start;
    }
}

TEST_F(LedDlgTest, RandomRotationAndLayerChoicesEditTheirEffect) {
    click("BUTTON_MENU_8");
    ASSERT_TRUE(button("BUTTON_FIXED_COLOR").isVisible());
    click("BUTTON_FIXED_COLOR");
    EXPECT_EQ(profile().multiLayer.byte(170), 1);
    EXPECT_TRUE(button("BUTTON_SWITCH_RANDOM").isVisible());
    EXPECT_FALSE(page->control("SLIDER_R")->isEnabled()) << "a random colour has no colour controls";
    EXPECT_EQ(sim::recordData(simulator->trace().back().record)[0], 0xE0) << "the preview went out";
    click("BUTTON_SWITCH_RANDOM");
    EXPECT_EQ(profile().multiLayer.byte(170), 0);
    EXPECT_TRUE(page->control("SLIDER_R")->isEnabled());

    click("BUTTON_MENU_3");  // rotation
    EXPECT_TRUE(button("BUTTON_ROTATE").isVisible());
    EXPECT_FALSE(button("BUTTON_MORSE_1").isVisible());
    simulator->clearTrace();
    click("BUTTON_ROTATE_REVERSE");
    EXPECT_EQ(profile().multiLayer.byte(EffectLayer::kMode0ADirection), 1);
    const auto reversed = simulator->takeTrace();
    expectSameRecords(reversed, expectedPreview(false), "reverse");
    click("BUTTON_ROTATE");
    EXPECT_EQ(profile().multiLayer.byte(EffectLayer::kMode0ADirection), 0);

    click("BUTTON_MENU_4");  // two layers
    ASSERT_TRUE(button("BUTTON_L1").isVisible());
    click("BUTTON_L1");
    EXPECT_EQ(profile().multiLayer.byte(EffectLayer::kMode09Selector), 1);
    post(77, CLedDlg::kSliderG);
    EXPECT_EQ(skin::greenOf(profile().multiLayer.colour(100)), 77) << "L1 edits the second colour";
    click("BUTTON_L2");
    EXPECT_EQ(profile().multiLayer.byte(EffectLayer::kMode09Selector), 0);
    post(66, CLedDlg::kSliderG);
    EXPECT_EQ(skin::greenOf(profile().multiLayer.colour(92)), 66);
    EXPECT_EQ(skin::greenOf(profile().multiLayer.colour(100)), 77);
}

TEST_F(LedDlgTest, MorseInputTakesTableCharactersUpToTheLimitAndShowsTheCode) {
    click("BUTTON_MENU_6");
    ASSERT_TRUE(button("EDIT_INPUT").isEnabled());
    QLineEdit& input = openEdit("EDIT_INPUT");
    input.clear();
    QTest::keyClicks(&input, "a b");
    EXPECT_EQ(page->morseOutput().text().toStdString(), ".-   -... ");
    QKeyEvent accented(QEvent::KeyPress, Qt::Key_Eacute, Qt::NoModifier, QString::fromUtf8("\xC3\xA9"));
    QApplication::sendEvent(&input, &accented);
    EXPECT_EQ(input.text().toStdString(), "a b") << "an e with an acute accent has no code";
    EXPECT_EQ(page->morseOutput().text().toStdString(), ".-   -... ");
    input.clear();
    QTest::keyClicks(&input, "sos");
    simulator->clearTrace();
    endEdit(input);
    EXPECT_EQ(effects::SelectedMorseText(profile()), u"sos");
    EXPECT_EQ(page->morseOutput().text().toStdString(), "... --- ... ");
    // The preview sends the text, upper-cased, in blocks 0 and 1.
    bool found = false;
    for (const auto& entry : simulator->takeTrace())
        if (commandOf(entry) == "51/73/0") {
            const sim::RecordData data = sim::recordData(entry.record);
            EXPECT_THAT(std::vector<int>(data.begin(), data.begin() + 5),
                        testing::ElementsAre(0x15, 0x2A, 0x15, 0x03, 0));
            found = true;
        }
    EXPECT_TRUE(found);

    // 'E' is one dot and a gap: the 230th reaches 460 symbols and is refused, ending the edit.
    QLineEdit& longer = openEdit("EDIT_INPUT");
    longer.clear();
    QTest::keyClicks(&longer, QString(240, QLatin1Char('e')));
    idle();
    EXPECT_EQ(page->inPlaceEdit(), nullptr);
    EXPECT_EQ(effects::SelectedMorseText(profile()), std::u16string(229, u'e'));
}

TEST_F(LedDlgTest, MorseTextsSelectResetPlayAndSave) {
    click("BUTTON_MENU_6");
    profile().morseTexts = {u"one", u"two", u"three"};
    click("BUTTON_MORSE_2");
    EXPECT_EQ(profile().selectedMorse, 1);
    click("BUTTON_MORSE_RESET");
    EXPECT_EQ(profile().morseTexts[1], u"");
    click("BUTTON_MORSE_1");
    click("BUTTON_MORSE_RESET");
    EXPECT_EQ(profile().morseTexts[0], u"Ostmar");

    simulator->clearTrace();
    click("BUTTON_PLAY");
    EXPECT_EQ(page->editorState().morseRepeat, 0);
    bool playsOnce = false;
    for (const auto& entry : simulator->takeTrace())
        if (commandOf(entry) == "51/2c/1" && sim::recordData(entry.record)[0] == 0x0B)
            playsOnce = sim::recordData(entry.record)[4] == 1;
    EXPECT_TRUE(playsOnce);
    click("BUTTON_CYCLE");
    EXPECT_EQ(page->editorState().morseRepeat, 1);

    simulator->clearTrace();
    click("BUTTON_MORSE_SAVE");
    const auto sent = commands(simulator->takeTrace());
    ASSERT_GE(sent.size(), 10u);
    EXPECT_THAT(std::vector<std::string>(sent.begin(), sent.begin() + 9),
                testing::ElementsAre("41/03/0", "50/00/0", "51/73/2", "51/73/3", "51/73/4", "51/73/5", "51/73/6",
                                     "51/73/7", "50/55/0"));
    EXPECT_EQ(window->appliedCopy(0, 0).selected().morseTexts, profile().morseTexts);
}

TEST_F(LedDlgTest, MiragePresetsFrequenciesResetAndSave) {
    page->SelectZone(1);
    idle();
    click("BUTTON_M2");
    EXPECT_EQ(profile().mirage.selection(), 1);
    post(700, CLedDlg::kSliderHzG);
    EXPECT_EQ(profile().mirage.frequency(1, 1), 700);
    EXPECT_EQ(button("EDIT_HZ_G").caption(), "700");
    ASSERT_TRUE(pumpUntil([&] { return shownPwm() == std::array<int, 6>{2500, 330, 700, 330, 0, 0}; }));

    QLineEdit& red = openEdit("EDIT_HZ_R");
    red.selectAll();
    QTest::keyClicks(&red, "2001");
    EXPECT_EQ(red.text().toStdString(), "200");
    QTest::keyClick(&red, Qt::Key_Tab);
    idle();
    EXPECT_EQ(profile().mirage.frequency(0, 1), 200);
    ASSERT_NE(page->inPlaceEdit(), nullptr);
    EXPECT_EQ(page->inPlaceEdit()->objectName().toStdString(), "EDIT_HZ_G");
    endEdit(*page->inPlaceEdit());

    click("BUTTON_MIRAGE_ON");
    EXPECT_EQ(profile().mirage.selection(), 3);
    EXPECT_FALSE(page->control("SLIDER_HZ_R")->isEnabled());
    EXPECT_TRUE(button("BUTTON_MIRAGE_OFF").isVisible());
    ASSERT_TRUE(pumpUntil([&] { return shownPwm() == std::array<int, 6>{2500, 2500, 2500, 2500, 0, 0}; }));
    click("BUTTON_MIRAGE_OFF");
    EXPECT_EQ(profile().mirage.selection(), 1) << "back to the preset";
    click("BUTTON_RESET");
    for (int channel = 0; channel < 3; ++channel) EXPECT_EQ(profile().mirage.frequency(channel, 1), 330);

    simulator->clearTrace();
    platform::pumpEventsFor(100ms);  // the reset's hand-over has gone out
    page->conversionDialog()->SetPwmFrequencies({});
    click("BUTTON_SAVE");
    EXPECT_THAT(commands(simulator->takeTrace()), testing::ElementsAre("41/03/0", "50/00/0", "51/96/0", "50/55/0"));
    EXPECT_TRUE(profile().mirage.savedToController());
    EXPECT_EQ(window->appliedCopy(0, 0).selected().mirage, profile().mirage);
    EXPECT_EQ(shownPwm(), (std::array<int, 6>{2500, 330, 330, 330, 0, 0})) << "the save hands them over at once";
    effects::LedProfile stored;
    const std::string dataFolder = platform::setUpDataFolder(effects::kDataFolder);
    ASSERT_TRUE(effects::ReadSyncBlock(effects::ProfileFilePath(dataFolder, 0), stored));
    EXPECT_EQ(stored.mirage, profile().mirage);
}

TEST_F(LedDlgTest, MirageControlsAreLockedUnderZelvor) {
    profile().zelvor = 1;
    page->SelectZone(1);
    idle();
    EXPECT_FALSE(page->control("BUTTON_M1")->isEnabled());
    EXPECT_FALSE(page->control("SLIDER_HZ_R")->isEnabled());
    EXPECT_FALSE(page->control("BUTTON_LIGHT_OFF")->isVisible());
}

TEST_F(LedDlgTest, ABurstOfSliderMovesEndsAtTheLastValueWithFewPreviews) {
    auto* slider = dynamic_cast<skin::CPngHSliderBar*>(page->control("SLIDER_R"));
    ASSERT_NE(slider, nullptr);
    slider->RequestValue(0);
    idle();
    simulator->clearTrace();
    const int before = page->previews().sent();
    for (int value = 1; value <= 200; ++value) slider->RequestValue(value);
    idle();
    const auto sent = simulator->takeTrace();
    EXPECT_EQ(skin::redOf(profile().multiLayer.colour(48)), 200);
    EXPECT_EQ(skin::redOf(lastSlotColour(sent)), 200);
    EXPECT_LE(page->previews().sent() - before, 3);
    const auto list = commands(sent);
    EXPECT_LE(std::count(list.begin(), list.end(), "51/a0/1"), 3) << "group maps on the wire";
}

TEST_F(LedDlgTest, ZelvorAndResetAllRunOnlyAfterTheirConfirmation) {
    PopupAnswerer answerer;
    profile().zoneEffects[0] = effects::EFFECT_MODE_02;
    for (const auto& [key, message] :
         {std::pair{"BUTTON_ZELVOR", "ZELVOR_WARN"}, std::pair{"BUTTON_DEMO", "RESET_ALL_WARN"}}) {
        answerer.answers[message] = skin::kResultCancel;
        simulator->clearTrace();
        click(key);
        platform::pumpEventsFor(50ms);
        EXPECT_THAT(answerer.seen, testing::Contains(message));
        EXPECT_EQ(profile().zelvor, 0) << key;
        EXPECT_EQ(profile().zoneEffects[0], effects::EFFECT_MODE_02) << key;
        const auto list = commands(simulator->takeTrace());
        EXPECT_EQ(std::count(list.begin(), list.end(), "50/10/0"), 0) << key;
    }
    answerer.answers.clear();
    click("BUTTON_DEMO");
    ASSERT_TRUE(pumpUntil([&] { return !window->busy() && profile().zoneEffects[0] == effects::EFFECT_STATIC; }));
    ASSERT_TRUE(settled());
    EXPECT_EQ(profile().zelvor, 0);
    click("BUTTON_ZELVOR");
    ASSERT_TRUE(pumpUntil([&] { return !window->busy() && profile().zelvor == 1; }));
    ASSERT_TRUE(settled());
    const auto list = commands(simulator->takeTrace());
    EXPECT_EQ(std::count(list.begin(), list.end(), "50/10/0"), 2);
}

TEST_F(LedDlgTest, HoveringTheDefaultButtonOpensThePanelUntilThePointerLeavesIt) {
    QWidget* more = page->control("BUTTON_DEFAULT");
    const auto moveTo = [&](const QPoint& at) {
        QMouseEvent move(QEvent::MouseMove, at, page->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(page, &move);
    };
    moveTo(more->geometry().center());
    EXPECT_TRUE(page->defaultPanelOpen());
    EXPECT_FALSE(page->control("BUTTON_MENU_1")->isVisible());
    EXPECT_TRUE(page->control("BUTTON_ZELVOR")->isVisible());
    moveTo(page->control("BUTTON_DEMO")->geometry().center());
    EXPECT_TRUE(page->defaultPanelOpen()) << "inside the panel";
    moveTo({5, page->height() - 5});
    EXPECT_FALSE(page->defaultPanelOpen());
    EXPECT_TRUE(page->control("BUTTON_MENU_1")->isVisible());
    EXPECT_FALSE(page->control("BUTTON_ZELVOR")->isVisible());
}

TEST_F(LedDlgTest, ExportAndImportRoundTrip) {
    const std::string path = home.path("Night.KV6");
    profile().zoneEffects = {effects::EFFECT_MODE_02, effects::EFFECT_MODE_01, effects::EFFECT_LIGHT_OFF};
    profile().multiLayer.setColour(48, 0x123456);
    profile().morseTexts[2] = u"night";
    const effects::LedProfile exported = profile();
    ASSERT_TRUE(page->ExportTo(path));
    EXPECT_EQ(profile(), exported) << "the device's profile keeps its name";

    effects::ResetProfile(profile());
    simulator->clearTrace();
    ASSERT_TRUE(page->ImportFrom(path));
    ASSERT_TRUE(pumpUntil([&] { return !simulator->trace().empty() && !window->busy(); }));
    effects::LedProfile expected = exported;
    expected.name = u"Night";
    EXPECT_EQ(profile(), expected);
    // Saved at once, without the mirage block.
    effects::LedProfile onDisk;
    ASSERT_TRUE(
        effects::ReadProfileFile(effects::ProfileFilePath(platform::setUpDataFolder(effects::kDataFolder), 0), onDisk));
    EXPECT_EQ(onDisk.zoneEffects, expected.zoneEffects);
    EXPECT_EQ(onDisk.name, u"Night");
}

// The import refuses what yields no profile: the profile stays as it was and the warning says so.
class LedDlgImportRefusal : public LedDlgTest {
protected:
    void expectRefused(const std::vector<std::string>& paths) {
        PopupAnswerer answerer;
        profile().zoneEffects[0] = effects::EFFECT_MODE_02;
        const effects::LedProfile before = profile();
        for (const std::string& path : paths) {
            answerer.seen.clear();
            EXPECT_FALSE(page->ImportFrom(path)) << path;
            platform::pumpEventsFor(30ms);
            EXPECT_EQ(profile(), before) << path;
            EXPECT_THAT(answerer.seen, testing::Contains("IMPORT_FAIL")) << path;
        }
    }
};

TEST_F(LedDlgImportRefusal, AFileThatCannotBeReadChangesNothing) {
    expectRefused({home.path("missing.KV6"), home.path("")});
}

TEST_F(LedDlgImportRefusal, AFileWithoutAProfileChangesNothing) {
    const std::string empty = home.path("empty.KV6");
    const std::string garbage = home.path("garbage.KV6");
    std::ofstream(empty).close();
    std::ofstream(garbage) << "[NAME]\nPROFILE_NAME=junk\nthis is no profile\n\x01\x02\x03";
    expectRefused({empty, garbage});
}

TEST_F(LedDlgTest, ApplySavesTheProfileAndTheWindowWritesItWhole) {
    click("BUTTON_MENU_2");
    simulator->clearTrace();
    click("BUTTON_APPLY");
    ASSERT_TRUE(pumpUntil([&] { return !window->applyProgress().empty() && !window->busy(); }));
    EXPECT_EQ(window->appliedCopy(0, 0), edit());
    effects::LedProfile onDisk;
    ASSERT_TRUE(
        effects::ReadProfileFile(effects::ProfileFilePath(platform::setUpDataFolder(effects::kDataFolder), 0), onDisk));
    EXPECT_EQ(onDisk.zoneEffects[0], effects::EFFECT_MODE_07);
    const auto list = commands(simulator->takeTrace());
    EXPECT_GE(std::count(list.begin(), list.end(), "51/2c/1"), 9) << "every effect of the menus";
    EXPECT_EQ(list.back(), "51/28/0") << "ends with the page update";
}

class ChromaSubstitute {
public:
    ChromaSubstitute() : m_handle(dlopen(CHROMA_LIBRARY_OK, RTLD_NOW)) {}
    ~ChromaSubstitute() {
        if (m_handle) dlclose(m_handle);
    }
    int broadcast(const std::array<std::uint32_t, 5>& colours) const {
        auto fn = reinterpret_cast<int (*)(int, const std::uint32_t*)>(dlsym(m_handle, "ChromaSubstituteEmit"));
        return fn ? fn(1, colours.data()) : -1;
    }
    bool registered() const {
        auto fn = reinterpret_cast<int (*)()>(dlsym(m_handle, "ChromaSubstituteRegistered"));
        return fn && fn() == 1;
    }

private:
    void* m_handle;
};

TEST_F(LedDlgTest, TheChromaToggleStartsTheBridgeWhoseColoursReachTheCardAndStopsIt) {
    ChromaSubstitute library;
    // Without the library the toggle changes the flag only; the next Apply tries again.
    page->setChromaLibrary(home.path("missing/libRzChromaBroadcastAPI.so"));
    click("BUTTON_CHROMA");
    EXPECT_EQ(edit().chromaSync, 1);
    EXPECT_FALSE(page->bridgeActive());
    page->setChromaLibrary(CHROMA_LIBRARY_OK);
    click("BUTTON_APPLY");
    ASSERT_TRUE(pumpUntil([&] { return page->bridgeActive() && !window->busy(); }));
    EXPECT_TRUE(library.registered());

    simulator->clearTrace();
    ASSERT_EQ(library.broadcast({0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF, 0xFFFF00}), 0);
    ASSERT_TRUE(pumpUntil([&] {
        const auto list = commands(simulator->trace());
        return std::count(list.begin(), list.end(), "51/28/0") > 0;
    }));
    const auto sent = simulator->takeTrace();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(commandOf(sent[0]), "51/a8/0");
    const sim::RecordData first = sim::recordData(sent[0].record);
    EXPECT_THAT(std::vector<int>(first.begin(), first.begin() + 6), testing::ElementsAre(0, 0xFF, 0, 0, 0, 0xFF))
        << "the logo gets the second colour, the fan the third";

    click("BUTTON_CHROMA");
    EXPECT_EQ(edit().chromaSync, 0);
    EXPECT_FALSE(page->bridgeActive());
    EXPECT_FALSE(library.registered());
}

TEST_F(LedDlgTest, ControlsAreNamedByTheirKeyForAssistiveTechnology) {
    for (const char* key : {"BUTTON_MENU_1", "BUTTON_APPLY", "SLIDER_R", "EDIT_R", "EDIT_OUTPUT",
                            "BUTTON_SEL_BRIGHTNESS", "SLIDER_RGB", "BUTTON_M1", "SLIDER_HZ_B", "BUTTON_ZELVOR"}) {
        QWidget* control = page->control(key);
        ASSERT_NE(control, nullptr) << key;
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
        ASSERT_NE(accessible, nullptr) << key;
        EXPECT_EQ(accessible->text(QAccessible::Description).toStdString(), key);
        EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << key;
    }
    post(42, CLedDlg::kSliderR);
    QAccessibleInterface* slider = QAccessible::queryAccessibleInterface(page->control("SLIDER_R"));
    ASSERT_NE(slider->valueInterface(), nullptr);
    EXPECT_EQ(slider->valueInterface()->currentValue().toInt(), 42);
}

}  // namespace
