#include "mainwindow/LedDlg.h"

#include "devicelink/UsbDriver.h"
#include "effects/Morse.h"
#include "effects/Profiles.h"
#include "platform/DebugLog.h"
#include "platform/Folders.h"
#include "platform/Utf16.h"
#include "skin/Accessibility.h"
#include "skin/PopupDlgs.h"
#include "skin/SkinDocuments.h"
#include "skin/SkinMessages.h"
#include "skin/SkinPicture.h"
#include "skin/SkinRecord.h"
#include "skin/SkinText.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <tuple>

using namespace effects;

namespace {

constexpr char kFanSection[] = "FAN_LED";
constexpr char kLogoSection[] = "LOGO_LED";
constexpr char kRotateSection[] = "ROTATE_LED";
constexpr char kDefaultSection[] = "DEFAULT_LED";
constexpr int kMaxColourValue = 255;

const char* const kZoneKeys[3] = {"BUTTON_LED_DEV_1", "BUTTON_LED_DEV_3", "BUTTON_LED_DEV_2"};
const char* const kMenuKeys[9] = {"BUTTON_MENU_1", "BUTTON_MENU_2", "BUTTON_MENU_3", "BUTTON_MENU_4",  "BUTTON_MENU_5",
                                  "BUTTON_MENU_6", "BUTTON_MENU_7", "BUTTON_MENU_8", "BUTTON_LIGHT_ON"};
const char* const kFanKeys[4] = {"BUTTON_FAN_EFF_1", "BUTTON_FAN_EFF_2", "BUTTON_FAN_EFF_3", "BUTTON_FAN_EFF_4"};
const char* const kColourFieldKeys[3] = {"EDIT_R", "EDIT_G", "EDIT_B"};
const char* const kHzFieldKeys[3] = {"EDIT_HZ_R", "EDIT_HZ_G", "EDIT_HZ_B"};
const char* const kChannelSliderKeys[3] = {"SLIDER_R", "SLIDER_G", "SLIDER_B"};
const char* const kHzSliderKeys[3] = {"SLIDER_HZ_R", "SLIDER_HZ_G", "SLIDER_HZ_B"};
const char* const kMorseKeys[3] = {"BUTTON_MORSE_1", "BUTTON_MORSE_2", "BUTTON_MORSE_3"};
const char* const kMirageKeys[4] = {"BUTTON_M1", "BUTTON_M2", "BUTTON_M3", "BUTTON_MIRAGE_ON"};
const char* const kColourCaptions[4] = {"STR_HUE", "STR_R", "STR_G", "STR_B"};

xml::CXmlDoc& buttonsDocument() { return skin::skinDocument(skin::SkinDocument::Buttons); }
xml::CXmlDoc& stringsDocument() { return skin::skinDocument(skin::SkinDocument::Strings); }

QRect recordRect(std::string_view section, std::string_view key) {
    const skin::SkinRecord record = skin::ParseSkinRecord(skin::GetSkinText(buttonsDocument(), section, key));
    return QRect(record.left, record.top, record.right - record.left, record.bottom - record.top);
}

int attributeOf(std::string_view section, std::string_view key, std::string_view attribute) {
    return skin::leadingInteger(skin::GetSkinAttribute(buttonsDocument(), section, key, attribute));
}

QFont fieldFont(std::string_view section, std::string_view key) {
    const int size = attributeOf(section, key, "SIZE");
    return skin::SkinFontOf(skin::GetSkinAttribute(buttonsDocument(), section, key, "FONT"), size > 0 ? size : 20, 400);
}

// The four state pictures of a Skins.xml section kept in `folder`.
CLedDlg::SectionPictures sectionPictures(const std::string& folder, const char* section) {
    xml::CXmlDoc& skins = skin::skinDocument(skin::SkinDocument::Skins);
    CLedDlg::SectionPictures pictures;
    const auto load = [&](const char* state, QImage& picture) {
        const std::string name = skin::GetSkinText(skins, section, state);
        if (!name.empty()) skin::LoadPicture(folder + name, picture);
    };
    load("NORMAL", pictures.normal);
    load("OVER", pictures.over);
    load("DOWN", pictures.down);
    load("DISABLE", pictures.disable);
    return pictures;
}

bool isRotating(std::int32_t effect) { return effect == EFFECT_MODE_0A || effect == EFFECT_MODE_09; }

// A whole decimal number within 0..maximum, or nothing.
std::optional<int> fieldNumber(const QString& text, int maximum) {
    if (text.isEmpty() || text.size() > 4) return std::nullopt;
    for (const QChar c : text)
        if (!c.isDigit() || c.unicode() > 0x7F) return std::nullopt;
    const int value = text.toInt();
    if (value > maximum) return std::nullopt;
    return value;
}

}  // namespace

// The edit box that opens over a field of the page: Enter or leaving it ends
// it (1283), Tab ends it and asks for the next field (1284). Every change of
// its text is offered to `accept`; a refused change puts the last accepted
// text back.
class CInPlaceEdit : public skin::CEditTrans {
public:
    using Acceptor = std::function<bool(const QString&)>;
    CInPlaceEdit(QWidget* owner, const QString& start, Acceptor accept)
        : skin::CEditTrans(owner), m_owner(owner), m_accept(std::move(accept)), m_accepted(start) {
        setText(start);
        selectAll();
        connect(this, &QLineEdit::textEdited, this, [this](const QString& text) {
            if (m_accept && !m_accept(text)) {
                setText(m_accepted);
                return;
            }
            m_accepted = text;
        });
    }
    // Puts `text` back as the accepted text (the Morse rules do it).
    void Restore(const QString& text) {
        m_accepted = text;
        setText(text);
    }
    void Finish(bool tab) {
        if (m_finished) return;
        m_finished = true;
        platform::postMessage(m_owner, {tab ? CLedDlg::kMsgInPlaceTab : CLedDlg::kMsgInPlaceDone,
                                        reinterpret_cast<std::uintptr_t>(this), 0});
    }
    bool finished() const { return m_finished; }

protected:
    bool focusNextPrevChild(bool) override { return false; }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Tab) {
            Finish(true);
            return;
        }
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Escape) {
            Finish(false);
            return;
        }
        skin::CEditTrans::keyPressEvent(event);
    }
    void focusOutEvent(QFocusEvent* event) override {
        skin::CEditTrans::focusOutEvent(event);
        Finish(false);
    }

private:
    QWidget* m_owner;
    Acceptor m_accept;
    QString m_accepted;
    bool m_finished = false;
};

CLedDlg::CLedDlg(devicelink::Family family, QWidget* parent)
    : CLedPage(family, parent),
      m_previews([this] { SendPreview(); }, [this] { QTimer::singleShot(0, this, [this] { m_previews.run(); }); }) {
    setMouseTracking(true);
}

CLedDlg::~CLedDlg() { stopBridge(); }

skin::CEditTrans* CLedDlg::inPlaceEdit() const { return m_edit.get(); }

void CLedDlg::setChromaLibrary(const std::string& name) {
    stopBridge();
    m_bridge.reset();
    m_chromaLibrary = name;
}

// ---- start

void CLedDlg::OnInitDialog() {
    platform::DebugTrace("LED Dlg Read Init");
    if (m_dataFolder.empty()) m_dataFolder = platform::setUpDataFolder(effects::kDataFolder);
    skin::CBaseDlg::OnInitDialog();
    platform::DebugTrace("LED Dlg Skin Finish");
    // The engineers' conversion dialog stays hidden until its shortcut shows it.
    m_conversion = std::make_unique<CLEDConvDlg>(link(), this);
    m_conversion->hide();
    InstallLedConversionShortcut(this, m_conversion.get());
    SelectZone(ZONE_MAIN);
}

skin::CBitmapBtn& CLedDlg::MakeButton(skin::CBitmapBtn& button, std::string_view section, std::string_view key,
                                      const skin::SkinContext& context, bool withCaption) {
    skin::CreateSkinButton(button, section, key, context, this, withCaption, skin::kAlignCenter, 0, -1);
    button.setObjectName(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())));
    button.setColours(0xFFFFFF, 0xFFFFFF, 0x68605B, 0xFFFFFF);
    return button;
}

void CLedDlg::LoadSkin() {
    skin::CBaseDlg::LoadSkin();
    const std::string menuFolder = pictureFolder() + "Menu/";
    m_rotate = sectionPictures(menuFolder, kRotateSection);
    m_fan = sectionPictures(menuFolder, kFanSection);
    m_logoPicture = sectionPictures(menuFolder, kLogoSection).normal;
    m_panel = sectionPictures(menuFolder, kDefaultSection);
    m_defaultRect = recordRect(kDefaultSection, "RECT_DEFAULT");
    platform::DebugTrace("LED Dlg Base Skin Finish");
    CreateButtons();
    CreatePicker();
    CreateSliders();
    CreateFields();
}

void CLedDlg::CreateButtons() {
    const std::string& section = buttonSection();
    const skin::SkinContext& context = skinContext();
    for (int zone = 0; zone < 3; ++zone) MakeButton(m_zoneButtons[zone], section, kZoneKeys[zone], context, false);
    for (int i = 0; i < 9; ++i) MakeButton(m_menuButtons[i], section, kMenuKeys[i], context, false);
    for (skin::CBitmapBtn* b : {&m_chroma, &m_import, &m_export, &m_apply, &m_default}) b->setParent(this);
    MakeButton(m_chroma, section, "BUTTON_CHROMA", context, true);
    MakeButton(m_import, section, "BUTTON_IMPORT", context, true);
    MakeButton(m_export, section, "BUTTON_EXPORT", context, true);
    MakeButton(m_apply, section, "BUTTON_APPLY", context, true);
    MakeButton(m_default, section, "BUTTON_DEFAULT", context, true);
    const Keyed plain[] = {{&m_speedUp, "BUTTON_SPEED_UP"},
                           {&m_speedDown, "BUTTON_SPEED_DOWN"},
                           {&m_brightnessUp, "BUTTON_BRIGHTNESS_UP"},
                           {&m_brightnessDown, "BUTTON_BRIGHTNESS_DOWN"},
                           {&m_morseSave, "BUTTON_MORSE_SAVE"},
                           {&m_morseReset, "BUTTON_MORSE_RESET"},
                           {&m_play, "BUTTON_PLAY"},
                           {&m_cycle, "BUTTON_CYCLE"}};
    for (const Keyed& k : plain) MakeButton(*k.button, section, k.key, context, true);
    // The rotation pair and L1/L2 are drawn on the rotation page's pictures.
    const skin::SkinContext rotation = m_rotate.context(false);
    MakeButton(m_rotateButton, section, "BUTTON_ROTATE", rotation, false);
    MakeButton(m_rotateReverse, section, "BUTTON_ROTATE_REVERSE", rotation, false);
    for (skin::CBitmapBtn* b : {&m_speedUp, &m_speedDown, &m_brightnessUp, &m_brightnessDown}) b->setAutoRepeat(false);
    for (int i = 0; i < 3; ++i) MakeButton(m_morseButtons[i], section, kMorseKeys[i], context, false);

    // L1 and L2 carry their captions.
    for (auto [button, key, caption] :
         {std::tuple{&m_l1, "BUTTON_L1", "STR_L1"}, std::tuple{&m_l2, "BUTTON_L2", "STR_L2"}}) {
        MakeButton(*button, section, key, rotation, false);
        button->SetFaceName(skin::GetSkinAttribute(buttonsDocument(), section, caption, "FONT"));
        button->setFontHeight(attributeOf(section, caption, "SIZE"));
        button->SetCaption(skin::GetSkinText(stringsDocument(), section, caption), 0, true);
        button->setColours(0xA09E9A, 0xFFFFFF, 0x68605B, 0xFFB000);
    }

    // Buttons with pictures of their own section, drawn alone.
    const std::string menuFolder = pictureFolder() + "Menu/";
    const auto ownPictures = [&](skin::CBitmapBtn& button, const char* key, const char* pictureSection) {
        const SectionPictures pictures = sectionPictures(menuFolder, pictureSection);
        MakeButton(button, section, key, pictures.context(true), false);
        // The picture keeps its size, centred in the record.
        if (!pictures.normal.isNull()) {
            QRect rect(QPoint(0, 0), pictures.normal.size());
            rect.moveCenter(recordRect(section, key).center());
            button.setGeometry(rect);
            button.CutStatePictures(&pictures.normal, &pictures.over, &pictures.down, &pictures.disable,
                                    QRect(QPoint(0, 0), pictures.normal.size()));
        }
    };
    ownPictures(m_lightOff, "BUTTON_LIGHT_OFF", "SWITCH_LIGHT_ON");
    ownPictures(m_random, "BUTTON_SWITCH_RANDOM", "BUTTON_SWITCH_RANDOM");
    ownPictures(m_fixed, "BUTTON_FIXED_COLOR", "BUTTON_SWITCH_SPECIFY");
    m_random.setToggle(false);
    m_fixed.setToggle(false);

    // The fan and logo zones' buttons and the mirage controls: pictures of FAN_LED.
    const skin::SkinContext fan = m_fan.context(false);
    for (int i = 0; i < 4; ++i) MakeButton(m_fanButtons[i], kFanSection, kFanKeys[i], fan, false);
    for (int i = 0; i < 4; ++i) MakeButton(m_mirageButtons[i], kFanSection, kMirageKeys[i], fan, i == 3);
    MakeButton(m_mirageOff, kFanSection, "BUTTON_MIRAGE_OFF", fan, true);
    MakeButton(m_mirageReset, kFanSection, "BUTTON_RESET", fan, true);
    MakeButton(m_mirageSave, kFanSection, "BUTTON_SAVE", fan, true);

    // The default panel's items are cut from its picture at their place in it.
    for (auto [button, key] : {std::pair{&m_zelvor, "BUTTON_ZELVOR"}, std::pair{&m_demo, "BUTTON_DEMO"}}) {
        const skin::SkinContext none{};
        MakeButton(*button, kDefaultSection, key, none, false);
        const QRect rect = recordRect(kDefaultSection, key);
        button->CutStatePictures(&m_panel.normal, &m_panel.over, &m_panel.down, &m_panel.normal,
                                 rect.translated(-m_defaultRect.topLeft()));
        const std::string caption = key == std::string("BUTTON_ZELVOR") ? "STR_ZELVOR" : "STR_DEMO";
        button->SetFaceName(skin::GetSkinAttribute(buttonsDocument(), kDefaultSection, caption, "FONT"));
        button->setFontHeight(attributeOf(kDefaultSection, caption, "SIZE"));
        button->SetCaption(skin::GetSkinText(stringsDocument(), kDefaultSection, caption), 0, true);
        button->hide();
    }
}

void CLedDlg::CreatePicker() {
    const QRect plane = recordRect(buttonSection(), "BUTTON_SEL_BRIGHTNESS");
    m_plane.CreateSelector(this, plane.left(), plane.top(), plane.right() + 1, plane.bottom() + 1);
    m_plane.setObjectName(QStringLiteral("BUTTON_SEL_BRIGHTNESS"));
    m_plane.SetMode(3);
    const QRect hue = recordRect(buttonSection(), "SLIDER_RGB");
    m_hueBar.CreateSlider(this, hue.left(), hue.top(), hue.right() + 1, hue.bottom() + 1);
    m_hueBar.setObjectName(QStringLiteral("SLIDER_RGB"));
    m_hueBar.SetMode(3);
    m_hueBar.setKeyboardEnabled(false);
    // The hue bar sits on the dark page: its face and pointers follow it.
    QPalette palette = m_hueBar.palette();
    palette.setColor(QPalette::Button, QColor(0x1E, 0x20, 0x24));
    palette.setColor(QPalette::WindowText, QColor(0xEC, 0xEE, 0xF1));
    m_hueBar.setPalette(palette);
    m_plane.setPalette(palette);
    const QRect swatch = recordRect(buttonSection(), "BUTTON_COLOR");
    m_well.setParent(this);
    m_well.CreateWell(swatch.left(), swatch.top(), swatch.right() + 1, swatch.bottom() + 1, this);
    m_well.hide();
    m_plane.setLinks(&m_hueBar, &m_well);
    m_hueBar.setLinkedSelector(&m_plane);
    m_well.setSource(&m_plane);

    // The swatches are tinted from the page's swatch template.
    QImage swatchTemplate;
    skin::LoadPicture(pictureFolder() + "LEDCpas.bmp", swatchTemplate);
    for (auto [button, key] : {std::pair{&m_colour, "BUTTON_COLOR"}, std::pair{&m_oldColour, "BUTTON_OLD_COLOR"}}) {
        MakeButton(*button, buttonSection(), key, skinContext(), true);
        const QRect rect = recordRect(buttonSection(), key);
        button->setSwatchTemplate(swatchTemplate, rect, QPoint(0, 0));
        button->setColours(0xFFFFFF, 0xFFFFFF, 0x68605B, 0xFFFFFF);
    }
    m_colour.setEnabled(true);
}

void CLedDlg::CreateSliders() {
    const std::string folder = pictureFolder();
    const skin::ThumbPaths thumbs{folder + "SilderNormal.png", folder + "SilderOff.png", folder + "SilderOver.png"};
    for (int i = 0; i < 3; ++i) {
        skin::CreateSkinSlider(m_channelSliders[i], buttonSection(), kChannelSliderKeys[i], skinContext(), this,
                               kSliderR + i, thumbs, false, 0, kMaxColourValue);
        m_channelSliders[i].setObjectName(QString::fromLatin1(kChannelSliderKeys[i]));
    }
    skin::CreateSkinSlider(m_speed, buttonSection(), "SLIDER_S", skinContext(), this, kSliderSpeed, thumbs, false, 0,
                           kMaxSpeedLevel);
    m_speed.setObjectName(QStringLiteral("SLIDER_S"));
    skin::CreateSkinSlider(m_brightness, buttonSection(), "SLIDER_L", skinContext(), this, kSliderBrightness, thumbs,
                           false, 0, kMaxBrightnessLevel);
    m_brightness.setObjectName(QStringLiteral("SLIDER_L"));
    const skin::SkinContext fan = m_fan.context(false);
    for (int i = 0; i < 3; ++i) {
        skin::CreateSkinSlider(m_hzSliders[i], kFanSection, kHzSliderKeys[i], fan, this, kSliderHzR + i, thumbs, false,
                               0, kMaxFrequency);
        m_hzSliders[i].setObjectName(QString::fromLatin1(kHzSliderKeys[i]));
    }
}

void CLedDlg::CreateFields() {
    const auto makeField = [&](skin::CBitmapBtn& field, std::string_view section, const char* key) {
        MakeButton(field, section, key, section == buttonSection() ? skinContext() : skin::SkinContext{}, false);
        field.SetFaceName(skin::GetSkinAttribute(buttonsDocument(), section, key, "FONT"));
        field.setFontHeight(attributeOf(section, key, "SIZE"));
        field.setAlignment(skin::kAlignCenter);
        field.setColours(0xF1EEEC, 0xFFFFFF, 0x68605B, 0xFFFFFF);
        field.setAccessibleName(skin::ReadableSkinKey(QString::fromLatin1(key)));
    };
    for (int i = 0; i < 3; ++i) makeField(m_colourFields[i], buttonSection(), kColourFieldKeys[i]);
    for (int i = 0; i < 3; ++i) makeField(m_hzFields[i], kFanSection, kHzFieldKeys[i]);
    makeField(m_morseInput, buttonSection(), "EDIT_INPUT");
    m_morseInput.setAlignment(skin::kAlignWrap);
    const QRect input = recordRect(buttonSection(), "EDIT_INPUT_RECT");
    m_morseInput.setTextRect(input);

    const QRect output = recordRect(buttonSection(), "EDIT_OUTPUT");
    const QRect inner = recordRect(buttonSection(), "EDIT_OUTPUT_RECT");
    m_morseOutput.setParent(this);
    m_morseOutput.setObjectName(QStringLiteral("EDIT_OUTPUT"));
    m_morseOutput.setGeometry(inner.isEmpty() ? output : inner.translated(output.topLeft()));
    m_morseOutput.setFont(fieldFont(buttonSection(), "EDIT_OUTPUT"));
    // One line of code sits in the middle of the field.
    m_morseOutput.document()->setDocumentMargin(
        std::max(0, (m_morseOutput.height() - QFontMetrics(m_morseOutput.font()).height()) / 2));
    m_morseOutput.setColours(0xF1EEEC, -1);
    m_morseOutput.setReadOnly(true);
    m_morseOutput.setFocusPolicy(Qt::NoFocus);
    m_morseOutput.show();
}

// ---- zones and refresh

void CLedDlg::SelectZone(int zone) {
    if (zone < 0 || zone > 2) return;
    for (int i = 0; i < 3; ++i) m_zoneButtons[i].SetChecked(i == zone);
    EditorState& state = editorState();
    if (state.currentZone == zone) return;
    state.currentZone = zone;
    m_chroma.hide();
    if (m_edit) InPlaceDone(false);
    RefreshZoneVisibility();
    if (ready() && zone != ZONE_LOGO) {
        LedProfile& p = profile();
        m_chromaDrawn = editRecord()->chromaSync == 1;
        m_chroma.SetChecked(m_chromaDrawn);
        for (int i = 0; i < 3; ++i) m_morseButtons[i].SetChecked(i == p.selectedMorse);
        if (p.cardEffect != EFFECT_MULTI) state.controlModeMarker = 0xFF;
        state.cardEffect = EFFECT_MULTI;
        p.cardEffect = EFFECT_MULTI;
        if (link()) devicecontrol::SelectMode(*link(), *editRecord(), state);
        RequestPreview();
        if (zone == ZONE_FAN) MirageRefresh();
    }
    RefreshControls();
    update();
}

void CLedDlg::RefreshZoneVisibility() {
    const int zone = currentZone();
    const bool main = zone == ZONE_MAIN;
    for (QWidget* w :
         std::initializer_list<QWidget*>{&m_colour, &m_plane, &m_hueBar, &m_oldColour, &m_speed, &m_brightness,
                                         &m_speedUp, &m_speedDown, &m_brightnessUp, &m_brightnessDown, &m_random,
                                         &m_fixed, &m_channelSliders[0], &m_channelSliders[1], &m_channelSliders[2],
                                         &m_colourFields[0], &m_colourFields[1], &m_colourFields[2]})
        w->setVisible(main);
    if (!main)
        for (skin::CBitmapBtn& b : m_menuButtons) b.hide();
    const bool fan = zone == ZONE_FAN;
    for (QWidget* w :
         std::initializer_list<QWidget*>{&m_mirageReset, &m_mirageSave, &m_hzFields[0], &m_hzFields[1], &m_hzFields[2],
                                         &m_hzSliders[0], &m_hzSliders[1], &m_hzSliders[2], &m_mirageButtons[0],
                                         &m_mirageButtons[1], &m_mirageButtons[2], &m_mirageButtons[3]})
        w->setVisible(fan);
    if (!fan) m_mirageOff.hide();
    if (zone == ZONE_LOGO) {
        for (skin::CBitmapBtn& b : m_fanButtons) b.hide();
        m_lightOff.hide();
    }
}

void CLedDlg::ReloadControls() {
    if (!ready()) {
        update();
        return;
    }
    for (int i = 0; i < 3; ++i) m_morseButtons[i].SetChecked(i == profile().selectedMorse);
    m_chromaDrawn = editRecord()->chromaSync == 1;
    m_chroma.SetChecked(m_chromaDrawn);
    RefreshControls();
    if (currentZone() == ZONE_FAN) MirageRefresh();
    update();
}

EffectLayer& CLedDlg::EditLayer() { return LayerOfZone(profile(), std::max(currentZone(), 0), editorState()); }

std::int32_t CLedDlg::EditEffect() { return EffectOfZone(profile(), std::max(currentZone(), 0), editorState()); }

void CLedDlg::RefreshMenuButtons() {
    const int zone = currentZone();
    const LedProfile& p = profile();
    const bool zelvor = p.zelvor == 1;
    const std::int32_t shown = zelvor ? EFFECT_LIGHT_OFF : p.zoneEffects[static_cast<std::size_t>(zone)];
    const bool lightsOff = p.zoneEffects[static_cast<std::size_t>(zone)] == EFFECT_LIGHT_OFF && !zelvor;
    if (editorState().cardEffect == EFFECT_MULTI) {
        if (zone == ZONE_MAIN)
            for (int i = 0; i < 9; ++i) m_menuButtons[i].SetChecked(kMainMenu[i] == shown);
        else
            for (int i = 0; i < 4; ++i) m_fanButtons[i].SetChecked(kZoneMenu[i] == shown);
    }
    if (zone == ZONE_MAIN) {
        for (int i = 0; i < 8; ++i) m_menuButtons[i].setVisible(!m_defaultPanel);
        m_menuButtons[8].setVisible(!m_defaultPanel && !lightsOff);
        for (skin::CBitmapBtn& b : m_fanButtons) b.hide();
    } else if (zone == ZONE_FAN) {
        for (skin::CBitmapBtn& b : m_menuButtons) b.hide();
        for (skin::CBitmapBtn& b : m_fanButtons) b.hide();
        m_fanButtons[3].setVisible(!lightsOff);
    }
    if (zone != ZONE_LOGO) m_lightOff.setVisible(lightsOff && !(zone == ZONE_MAIN && m_defaultPanel));
}

void CLedDlg::RefreshControls() {
    const int zone = currentZone();
    if (!ready() || zone < 0) return;
    RefreshMenuButtons();
    LedProfile& p = profile();
    const std::int32_t effect = EditEffect();
    const EffectParams params =
        GetEffectParams(EditLayer(), effect, p.multiLayer, editorState().chromaColour, m_colour.swatchColour());
    if (zone != ZONE_LOGO) {
        const bool hasRandom = params.random != 0xFF;
        if (hasRandom) {
            m_random.setVisible(zone == ZONE_MAIN && params.random == 1);
            m_fixed.setVisible(zone == ZONE_MAIN && params.random == 0);
            m_fixed.setEnabled(true);
        } else {
            m_random.hide();
            m_fixed.setVisible(zone == ZONE_MAIN);
            m_fixed.setEnabled(false);
        }
        const bool colourOn = !params.noColour && params.random != 1;
        for (QWidget* w : std::initializer_list<QWidget*>{&m_plane, &m_hueBar, &m_colour, &m_channelSliders[0],
                                                          &m_channelSliders[1], &m_channelSliders[2],
                                                          &m_colourFields[0], &m_colourFields[1], &m_colourFields[2]})
            w->setEnabled(colourOn);
        const bool hasSpeed = params.speed != 0xFF;
        m_speed.SetValue(hasSpeed ? params.speed : 0);
        for (QWidget* w : std::initializer_list<QWidget*>{&m_speed, &m_speedUp, &m_speedDown}) w->setEnabled(hasSpeed);
        const bool hasBrightness = params.brightness != 0xFFFF;
        m_brightness.SetValue(hasBrightness ? params.brightness : 0);
        for (QWidget* w : std::initializer_list<QWidget*>{&m_brightness, &m_brightnessUp, &m_brightnessDown})
            w->setEnabled(hasBrightness);
        if (!params.noColour) ShowColour(params.colour, true);
    }
    const bool main = zone == ZONE_MAIN;
    const bool rotating = main && isRotating(effect);
    m_rotateButton.setVisible(rotating);
    m_rotateReverse.setVisible(rotating);
    if (rotating) {
        const std::size_t offset = effect == EFFECT_MODE_0A ? EffectLayer::kMode0ADirection
                                                            : EffectLayer::kMode09Direction;
        const int direction = EditLayer().byte(offset);
        m_rotateButton.SetChecked(direction == 0);
        m_rotateReverse.SetChecked(direction == 1);
    }
    const bool layers = main && effect == EFFECT_MODE_09;
    m_l1.setVisible(layers);
    m_l2.setVisible(layers);
    if (layers) {
        const bool first = p.multiLayer.byte(EffectLayer::kMode09Selector) != 0;
        m_l1.SetChecked(first);
        m_l2.SetChecked(!first);
    }
    const bool morseShown = main && !rotating;
    const bool morseOn = effect == EFFECT_MORSE;
    for (QWidget* w :
         std::initializer_list<QWidget*>{&m_morseInput, &m_morseOutput, &m_morseButtons[0], &m_morseButtons[1],
                                         &m_morseButtons[2], &m_morseSave, &m_morseReset, &m_play, &m_cycle}) {
        w->setVisible(morseShown);
        w->setEnabled(morseOn);
    }
    m_play.SetChecked(editorState().morseRepeat == 0);
    m_cycle.SetChecked(editorState().morseRepeat == 1);
    const std::u16string& text = SelectedMorseText(p);
    if (!m_edit || m_editField != &m_morseInput) {
        m_lastMorseInput = platform::utf16ToUtf8(text);
        m_morseInput.SetCaption(text.empty() ? skin::GetSkinText(stringsDocument(), buttonSection(), "EDIT_INPUT")
                                             : m_lastMorseInput,
                                0, true);
        const std::string output = EncodeMorse(text, nullptr).outputText;
        m_morseOutput.SetText(QString::fromStdString(
            output.empty() ? skin::GetSkinText(stringsDocument(), buttonSection(), "EDIT_OUTPUT") : output));
    }
    update();
}

void CLedDlg::ShowColour(Colour colour, bool updatePlane) {
    const int channels[3] = {skin::redOf(colour), skin::greenOf(colour), skin::blueOf(colour)};
    for (int i = 0; i < 3; ++i) {
        if (m_editField != &m_colourFields[i]) SetFieldText(m_colourFields[i], QString::number(channels[i]));
        m_channelSliders[i].SetValue(channels[i]);
    }
    m_colour.SetSwatchColor(channels[0], channels[1], channels[2]);
    if (updatePlane && !m_suspended) {
        // The plane reports the colour back through the well; that is no new pick.
        m_suspended = true;
        m_plane.SetSelectedColour(colour);
        m_suspended = false;
    }
    if (ready()) {
        LedProfile& applied = appliedRecord() ? appliedRecord()->selected() : profile();
        const int zone = std::max(currentZone(), 0);
        const EffectLayer& layer = LayerOfZone(applied, zone, editorState());
        // The applied colour of the effect being edited, as the old-colour button restores it.
        const Colour old = GetEffectParams(layer, EffectOfZone(profile(), zone, editorState()), applied.multiLayer,
                                           editorState().chromaColour, 0)
                               .colour;
        m_oldColour.SetSwatchColor(skin::redOf(old), skin::greenOf(old), skin::blueOf(old));
    }
}

// ---- previews

void CLedDlg::RequestPreview() {
    if (!ready()) return;
    m_previews.request();
}

void CLedDlg::SendPreview() {
    if (!ready() || !link()) return;
    devicecontrol::PreviewEffect(*link(), *editRecord(), editorState(), this);
}

void CLedDlg::RefreshWithModeSelect() {
    if (!ready()) return;
    LedProfile& p = profile();
    EditorState& state = editorState();
    state.controlModeMarker = 0xFF;
    state.cardEffect = EFFECT_MULTI;
    p.cardEffect = EFFECT_MULTI;
    if (link()) devicecontrol::SelectMode(*link(), *editRecord(), state);
    RequestPreview();
    RefreshControls();
}

bool CLedDlg::startBridge() {
    if (!m_bridge) {
        m_bridge = std::make_unique<devicelink::ChromaBridge>(
            [this](const devicelink::ChromaColours& colours) {
                if (!ready() || !link()) return;
                devicecontrol::OnChromaColours(*link(), *editRecord(), colours, m_busy && m_busy());
            },
            m_chromaLibrary);
    }
    m_bridge->follow(true);
    m_chromaActive = m_bridge->active();
    return m_chromaActive;
}

void CLedDlg::stopBridge() {
    m_chromaActive = false;
    if (m_bridge) m_bridge->Stop();
}

// ---- edits

void CLedDlg::ChooseEffect(std::int32_t effect) {
    if (!ready()) return;
    SelectZoneEffect(profile(), editorState(), effect);
    if (link()) devicecontrol::SelectMode(*link(), *editRecord(), editorState());
    RequestPreview();
    RefreshControls();
    update();
}

void CLedDlg::LightsOnAgain() { ChooseEffect(LightsOnEffect(editorState())); }

void CLedDlg::ColourChange(Colour colour) {
    if (!m_suspended) {
        m_suspended = true;
        m_plane.SetSelectedColour(colour);
        m_suspended = false;
    }
    m_colour.SetSwatchColor(skin::redOf(colour), skin::greenOf(colour), skin::blueOf(colour));
    if (!ready() || !m_colour.isEnabled() || editorState().cardEffect == -1) return;
    SetColour(EditLayer(), EditEffect(), colour, editorState());
    RequestPreview();
}

void CLedDlg::OnColorPicked(skin::ColorRef colour) {
    if (m_suspended) return;
    m_suspended = true;
    const int channels[3] = {skin::redOf(colour), skin::greenOf(colour), skin::blueOf(colour)};
    for (int i = 0; i < 3; ++i) {
        SetFieldText(m_colourFields[i], QString::number(channels[i]));
        m_channelSliders[i].SetValue(channels[i]);
    }
    ColourChange(colour);
    m_suspended = false;
}

void CLedDlg::RestoreOldColour() {
    if (!ready() || !appliedRecord()) return;
    LedProfile& p = profile();
    LedProfile& applied = appliedRecord()->selected();
    const EditorState& state = editorState();
    if (state.cardEffect == EFFECT_MULTI) {
        const int zone = std::max(currentZone(), 0);
        const std::int32_t effect = p.zoneEffects[static_cast<std::size_t>(zone)];
        const EffectLayer& from = LayerOfZone(applied, zone, state);
        const Colour colour = GetEffectParams(from, effect, applied.multiLayer, state.chromaColour, 0).colour;
        SetColour(LayerOfZone(p, zone, state), effect, colour, editorState());
    } else {
        const std::size_t offset = state.cardEffect == EFFECT_STATIC    ? 48
                                   : state.cardEffect == EFFECT_MODE_01 ? 164
                                   : state.cardEffect == EFFECT_MODE_0A ? 76
                                                                        : 0;
        if (offset != 0) p.baseLayer.setColour(offset, applied.baseLayer.colour(offset));
    }
    RequestPreview();
    RefreshControls();
}

void CLedDlg::ToggleRandom() {
    if (!ready() || editorState().cardEffect != EFFECT_MULTI) return;
    const EffectParams params =
        GetEffectParams(EditLayer(), EditEffect(), profile().multiLayer, editorState().chromaColour, 0);
    SetRandom(EditLayer(), EditEffect(), params.random == 0 ? 1 : 0);
    RequestPreview();
    RefreshControls();
}

void CLedDlg::SetDirection(int direction) {
    if (!ready()) return;
    effects::SetDirection(EditLayer(), EditEffect(), direction);
    RequestPreview();
    RefreshControls();
}

void CLedDlg::SetLayerChoice(int choice) {
    if (!ready() || EditEffect() != EFFECT_MODE_09) return;
    EditLayer().setByte(EffectLayer::kMode09Selector, static_cast<std::uint8_t>(choice));
    RequestPreview();
    RefreshControls();
}

void CLedDlg::StepLevel(int id, int step) {
    const skin::CPngHSliderBar& slider = id == kSliderSpeed ? m_speed : m_brightness;
    const int maximum = id == kSliderSpeed ? kMaxSpeedLevel : kMaxBrightnessLevel;
    const int value = slider.value() + step;
    if (step > 0 && value > maximum) return;
    platform::postMessage(this,
                          {skin::kSliderNotify, static_cast<std::uintptr_t>(static_cast<std::intptr_t>(value)), id});
}

void CLedDlg::OnSliderValue(int value, int id) {
    if (value < 0 || !ready()) return;
    switch (id) {
    case kSliderR:
    case kSliderG:
    case kSliderB: {
        m_channelSliders[id - kSliderR].SetValue(value);
        SetFieldText(m_colourFields[id - kSliderR], QString::number(m_channelSliders[id - kSliderR].value()));
        ColourChange(
            skin::makeColorRef(m_channelSliders[0].value(), m_channelSliders[1].value(), m_channelSliders[2].value()));
        return;
    }
    case kSliderSpeed:
        m_speed.SetValue(value);
        SetSpeed(EditLayer(), EditEffect(), m_speed.value());
        RequestPreview();
        return;
    case kSliderBrightness:
        m_brightness.SetValue(value);
        SetBrightness(EditLayer(), EditEffect(), m_brightness.value());
        RequestPreview();
        return;
    case kSliderHzR:
    case kSliderHzG:
    case kSliderHzB: {
        MirageBlock& mirage = profile().mirage;
        if (mirage.selection() > 2) return;
        mirage.setFrequency(id - kSliderHzR, mirage.selection(),
                            static_cast<std::uint16_t>(std::min(value, kMaxFrequency)));
        MirageRefresh();
        return;
    }
    default: return;
    }
}

// ---- Morse

bool CLedDlg::AcceptMorseText(const QString& text) {
    const QString remembered = m_morseOutput.text();
    const MorseEncoding encoding = EncodeMorse(text.toStdU16String(), nullptr);
    if (!text.isEmpty() && encoding.outputText.find('#') != std::string::npos) {
        m_morseOutput.SetText(remembered);
        return false;
    }
    if (encoding.complete) {
        m_lastMorseInput = text.toStdString();
        m_morseOutput.SetText(QString::fromStdString(encoding.outputText));
        return true;
    }
    // Too long: the last text that fitted stays and the edit ends.
    m_morseOutput.SetText(remembered);
    if (m_edit) {
        m_edit->Restore(QString::fromStdString(m_lastMorseInput));
        m_edit->Finish(false);
    }
    return false;
}

void CLedDlg::MorseCommand(QWidget* sender) {
    if (!ready()) return;
    LedProfile& p = profile();
    for (int i = 0; i < 3; ++i) {
        if (sender != &m_morseButtons[i]) continue;
        p.selectedMorse = i;
        for (int j = 0; j < 3; ++j) m_morseButtons[j].SetChecked(j == i);
    }
    if (sender == &m_morseReset) {
        std::u16string& text = SelectedMorseText(p);
        text = p.selectedMorse == 0 ? u"Ostmar" : u"";
    }
    if (sender == &m_play) editorState().morseRepeat = 0;
    if (sender == &m_cycle) editorState().morseRepeat = 1;
    RequestPreview();
    RefreshControls();
}

void CLedDlg::SaveMorse() {
    if (!ready()) return;
    m_previews.flush();
    LedProfile scratch;
    LedProfile& applied = appliedRecord() ? appliedRecord()->selected() : scratch;
    if (link()) devicecontrol::SaveMorseTexts(*link(), profile(), applied);
    RefreshWithModeSelect();
}

// ---- mirage

void CLedDlg::MirageSelect(int selection) {
    if (!ready()) return;
    profile().mirage.setSelection(selection);
    MirageRefresh();
}

void CLedDlg::MirageRefresh() {
    if (!ready()) return;
    const MirageBlock& mirage = profile().mirage;
    const int selection = mirage.selection();
    if (selection < 3) m_miragePreset = selection;
    for (int i = 0; i < 4; ++i) m_mirageButtons[i].SetChecked(i == std::min(selection, 3));
    const bool fan = currentZone() == ZONE_FAN;
    const bool off = selection == MirageBlock::kOff;
    m_mirageOff.setVisible(fan && off);
    m_mirageButtons[3].setVisible(fan && !off);
    const bool unlocked = profile().zelvor == 0;
    for (QWidget* w : std::initializer_list<QWidget*>{&m_mirageButtons[0], &m_mirageButtons[1], &m_mirageButtons[2],
                                                      &m_mirageButtons[3], &m_mirageOff, &m_mirageReset, &m_mirageSave})
        w->setEnabled(unlocked);
    const bool editable = unlocked && selection <= 2;
    for (int channel = 0; channel < 3; ++channel) {
        m_hzFields[channel].setEnabled(editable);
        m_hzSliders[channel].setEnabled(editable);
        if (selection <= 2) {
            const int hertz = mirage.frequency(channel, selection);
            m_hzSliders[channel].SetValue(hertz);
            if (m_editField != &m_hzFields[channel]) SetFieldText(m_hzFields[channel], QString::number(hertz));
        }
    }
    setWindowTimer(kTimerMirage, std::chrono::milliseconds(50));
    update();
}

void CLedDlg::MirageReset() {
    if (!ready()) return;
    MirageBlock& mirage = profile().mirage;
    if (mirage.selection() > 2) return;
    for (int channel = 0; channel < 3; ++channel)
        mirage.setFrequency(channel, mirage.selection(), kMirageResetFrequency);
    MirageRefresh();
}

void CLedDlg::MirageSave() {
    if (!ready() || !appliedRecord()) return;
    m_previews.flush();
    const std::string path = effects::ProfileFilePath(m_dataFolder, editRecord()->selectedProfile);
    const auto hand = [this](const std::array<std::uint16_t, 4>& hertz) {
        if (m_conversion) m_conversion->SetPwmFrequencies({hertz[0], hertz[1], hertz[2], hertz[3], 0, 0});
    };
    if (link()) {
        devicecontrol::SaveMirage(*link(), profile(), appliedRecord()->selected(), path, hand);
    } else {
        profile().mirage.markSaved();
        appliedRecord()->selected().mirage = profile().mirage;
        effects::WriteSyncBlock(path, profile());
    }
    MirageRefresh();
}

// ---- page buttons

void CLedDlg::ToggleChroma() {
    if (!ready()) return;
    editRecord()->chromaSync = editRecord()->chromaSync == 1 ? 0 : 1;
    m_chroma.SetChecked(editRecord()->chromaSync == 1);
    RefreshWithModeSelect();
}

void CLedDlg::Apply() {
    if (!ready()) return;
    m_previews.flush();
    // Under the data folder's lock, so that a lumenstra-cli change at the same
    // moment is not torn; the page's set replaces what was saved.
    effects::LedProfileSet saved;
    effects::UpdateSavedProfiles(m_dataFolder, saved, [this](effects::LedProfileSet& set) {
        set = *editRecord();
        return true;
    });
    if (QWidget* parent = parentWidget()) platform::postMessage(parent, {kMsgApply, 0, 0});
}

void CLedDlg::ConfirmReset(bool zelvor) {
    if (!ready()) return;
    const int result =
        skin::ShowSkinnedWarning(window(), skinFolder(), zelvor ? "ZELVOR_WARN" : "RESET_ALL_WARN", std::string());
    if (result != skin::kResultOk) return;
    const std::intptr_t lParam = editRecord()->selectedProfile + (zelvor ? 0x10000 : 0);
    if (QWidget* parent = parentWidget())
        platform::postMessage(parent, {kMsgResetProfile, reinterpret_cast<std::uintptr_t>(this), lParam});
}

void CLedDlg::OpenDefaultPanel(bool open) {
    m_defaultPanel = open;
    m_default.SetChecked(open);
    m_zelvor.setVisible(open);
    m_demo.setVisible(open);
    if (open) {
        m_zelvor.raise();
        m_demo.raise();
    }
    platform::DebugTrace("Draw Check:%d", open ? 1 : 0);
    if (ready() && currentZone() >= 0) RefreshMenuButtons();
    update();
}

bool CLedDlg::ImportFrom(const std::string& path) {
    if (!ready()) return false;
    if (!effects::ImportProfile(profile(), path)) {
        skin::ShowSkinnedWarning(window(), skinFolder(), "IMPORT_FAIL", std::string());
        return false;
    }
    const int index = editRecord()->selectedProfile;
    if (QWidget* parent = parentWidget())
        platform::postMessage(parent, {kMsgSelectProfile, reinterpret_cast<std::uintptr_t>(this), index});
    effects::WriteProfileFile(effects::ProfileFilePath(m_dataFolder, index), profile());
    ReloadControls();
    return true;
}

bool CLedDlg::ExportTo(const std::string& path) {
    if (!ready()) return false;
    return effects::ExportProfile(profile(), path);
}

namespace {

// The folder the file dialogs start in: the desktop, made when missing.
QString profileDialogFolder() {
    const std::string folder = platform::desktopFolder();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return QString::fromStdString(folder);
}

const QString kProfileFilter = QStringLiteral("KV6 File(*.KV6)");

}  // namespace

void CLedDlg::ImportDialog() {
    const QString path = QFileDialog::getOpenFileName(this, QString(), profileDialogFolder(), kProfileFilter);
    if (!path.isEmpty()) ImportFrom(path.toStdString());
}

void CLedDlg::ExportDialog() {
    QFileDialog dialog(this, QString(), profileDialogFolder(), kProfileFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("KV6"));
    dialog.setOption(QFileDialog::ReadOnly, false);
    const int result = dialog.exec();
    platform::DebugTrace("iRet:%d", result);
    if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    ExportTo(dialog.selectedFiles().front().toStdString());
}

// ---- in-place edits

void CLedDlg::SetFieldText(skin::CBitmapBtn& field, const QString& text) {
    field.SetCaption(text.toStdString(), 0, true);
}

QString CLedDlg::FieldText(const skin::CBitmapBtn& field) const { return QString::fromStdString(field.caption()); }

void CLedDlg::OpenInPlaceEdit(skin::CBitmapBtn& field) {
    if (m_edit) InPlaceDone(false);
    const bool morse = &field == &m_morseInput;
    const bool hertz = std::any_of(m_hzFields.begin(), m_hzFields.end(), [&](auto& f) { return &f == &field; });
    const int maximum = hertz ? kMaxFrequency : kMaxColourValue;
    const QString start = morse ? QString::fromStdString(m_lastMorseInput) : FieldText(field);
    CInPlaceEdit::Acceptor accept;
    if (morse)
        accept = [this](const QString& text) { return AcceptMorseText(text); };
    else
        accept = [maximum](const QString& text) { return text.isEmpty() || fieldNumber(text, maximum).has_value(); };
    m_edit = std::make_unique<CInPlaceEdit>(this, start, std::move(accept));
    m_edit->setObjectName(field.objectName());
    m_edit->setMaxLength(morse ? static_cast<int>(kTextUnits - 1) : (hertz ? 4 : 3));
    const std::string section = hertz ? kFanSection : buttonSection();
    const std::string key = field.objectName().toStdString();
    const int offsetX = attributeOf(section, key, morse ? "OFFSETX" : "MENUX");
    const int offsetY = attributeOf(section, key, morse ? "OFFSETY" : "MENUY");
    m_edit->setGeometry(field.geometry().adjusted(offsetX, offsetY, -offsetX, -offsetY));
    m_edit->setFont(fieldFont(section, key));
    m_edit->setAlignment(morse ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
    m_edit->setColours(0xFFFFFF, 0x24201E);
    m_editField = &field;
    m_edit->show();
    m_edit->raise();
    m_edit->setFocus();
}

void CLedDlg::InPlaceDone(bool tab) {
    if (!m_edit) return;
    std::unique_ptr<CInPlaceEdit> edit = std::move(m_edit);
    skin::CBitmapBtn* field = std::exchange(m_editField, nullptr);
    edit->hide();
    QString text = edit->text();
    edit.release()->deleteLater();
    if (!ready() || !field) return;
    if (field == &m_morseInput) {
        std::u16string stored = text.toStdU16String().substr(0, kTextUnits - 1);
        SelectedMorseText(profile()) = stored;
        RefreshWithModeSelect();
        return;
    }
    const auto next = [&](auto& fields) {
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (&fields[i] == field) return &fields[(i + 1) % fields.size()];
        return field;
    };
    for (int i = 0; i < 3; ++i) {
        if (field != &m_colourFields[i]) continue;
        if (text.isEmpty())
            text = QString::fromStdString(skin::GetSkinText(stringsDocument(), buttonSection(), kColourFieldKeys[i]));
        SetFieldText(*field, QString::number(fieldNumber(text, kMaxColourValue).value_or(0)));
        int channels[3];
        for (int c = 0; c < 3; ++c)
            channels[c] = fieldNumber(FieldText(m_colourFields[c]), kMaxColourValue).value_or(0);
        for (int c = 0; c < 3; ++c) m_channelSliders[c].SetValue(channels[c]);
        ColourChange(skin::makeColorRef(channels[0], channels[1], channels[2]));
        RefreshControls();
        if (tab) OpenInPlaceEdit(*next(m_colourFields));
        return;
    }
    for (int i = 0; i < 3; ++i) {
        if (field != &m_hzFields[i]) continue;
        const std::optional<int> hertz = fieldNumber(text, kMaxFrequency);
        MirageBlock& mirage = profile().mirage;
        if (hertz && mirage.selection() <= 2)
            mirage.setFrequency(i, mirage.selection(), static_cast<std::uint16_t>(*hertz));
        MirageRefresh();
        if (tab) OpenInPlaceEdit(*next(m_hzFields));
        return;
    }
}

// ---- messages

QWidget* CLedDlg::control(std::string_view key) const {
    return findChild<QWidget*>(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())),
                               Qt::FindDirectChildrenOnly);
}

std::intptr_t CLedDlg::onMessage(const platform::WindowMessage& message) {
    switch (message.id) {
    case skin::kSliderNotify:
        OnSliderValue(static_cast<int>(static_cast<std::intptr_t>(message.wParam)), static_cast<int>(message.lParam));
        return 0;
    case kMsgInPlaceDone:
    case kMsgInPlaceTab:
        if (m_edit && message.wParam == reinterpret_cast<std::uintptr_t>(m_edit.get())) {
            m_tabFlag = message.id == kMsgInPlaceTab;
            InPlaceDone(std::exchange(m_tabFlag, false));
        }
        return 0;
    case skin::kWmMouseMove: {
        const auto word = static_cast<std::uintptr_t>(message.lParam);
        const QPoint at(static_cast<std::int16_t>(skin::lowWord(word)),
                        static_cast<std::int16_t>(skin::highWord(word)));
        QMouseEvent move(QEvent::MouseMove, at, mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        mouseMoveEvent(&move);
        return 0;
    }
    case skin::kWmCommand:
        OnCommand(reinterpret_cast<QWidget*>(message.lParam), skin::highWord(message.wParam));
        return 0;
    default: return 0;
    }
}

void CLedDlg::OnCommand(QWidget* sender, unsigned code) {
    if (!sender) return;
    // Buttons that act on any notification.
    if (sender == &m_chroma) return ToggleChroma();
    if (sender == &m_import) return ImportDialog();
    if (sender == &m_export) return ExportDialog();
    if (sender == &m_apply) return Apply();
    if (sender == &m_default) return OpenDefaultPanel(!m_defaultPanel);
    if (sender == &m_zelvor) return ConfirmReset(true);
    if (sender == &m_demo) return ConfirmReset(false);
    if (sender == &m_morseSave) return SaveMorse();
    if (sender == &m_morseReset) return MorseCommand(sender);
    if (code == skin::kRightButtonCode || code == skin::kMiddleButtonCode) return;
    for (int zone = 0; zone < 3; ++zone)
        if (sender == &m_zoneButtons[zone]) return SelectZone(zone);
    for (int i = 0; i < 9; ++i)
        if (sender == &m_menuButtons[i]) return ChooseEffect(kMainMenu[i]);
    for (int i = 0; i < 4; ++i)
        if (sender == &m_fanButtons[i]) return ChooseEffect(kZoneMenu[i]);
    for (int i = 0; i < 4; ++i)
        if (sender == &m_mirageButtons[i]) return MirageSelect(i);
    for (int i = 0; i < 3; ++i) {
        if (sender == &m_colourFields[i] || sender == &m_hzFields[i])
            return OpenInPlaceEdit(*static_cast<skin::CBitmapBtn*>(sender));
        if (sender == &m_morseButtons[i]) return MorseCommand(sender);
    }
    if (sender == &m_morseInput) return OpenInPlaceEdit(m_morseInput);
    if (sender == &m_lightOff) return LightsOnAgain();
    if (sender == &m_oldColour) return RestoreOldColour();
    if (sender == &m_random || sender == &m_fixed) return ToggleRandom();
    if (sender == &m_rotateButton) return SetDirection(0);
    if (sender == &m_rotateReverse) return SetDirection(1);
    if (sender == &m_l1) return SetLayerChoice(1);
    if (sender == &m_l2) return SetLayerChoice(0);
    if (sender == &m_speedUp) return StepLevel(kSliderSpeed, 1);
    if (sender == &m_speedDown) return StepLevel(kSliderSpeed, -1);
    if (sender == &m_brightnessUp) return StepLevel(kSliderBrightness, 1);
    if (sender == &m_brightnessDown) return StepLevel(kSliderBrightness, -1);
    if (sender == &m_play || sender == &m_cycle) return MorseCommand(sender);
    if (sender == &m_mirageOff) return MirageSelect(m_miragePreset < 0 ? 0 : m_miragePreset);
    if (sender == &m_mirageReset) return MirageReset();
    if (sender == &m_mirageSave) return MirageSave();
}

void CLedDlg::onTimer(unsigned id) {
    killWindowTimer(id);
    if (id != kTimerMirage || !ready()) return;
    const MirageBlock& mirage = profile().mirage;
    const auto active = mirage.activeFrequencies();
    if (m_conversion)
        m_conversion->SetPwmFrequencies({MirageBlock::kOffFrequency, active[0], active[1], active[2], 0, 0});
}

void CLedDlg::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const bool onButton = m_default.geometry().contains(at);
    if (onButton && !m_defaultPanel)
        OpenDefaultPanel(true);
    else if (m_defaultPanel && !onButton && !m_defaultRect.contains(at))
        OpenDefaultPanel(false);
    CLedPage::mouseMoveEvent(event);
}

void CLedDlg::mousePressEvent(QMouseEvent* event) {
    if (m_edit) m_edit->Finish(false);
    CLedPage::mousePressEvent(event);
}

// ---- painting

const QImage& CLedDlg::Background() const {
    switch (currentZone()) {
    case ZONE_FAN:
        if (!m_fan.normal.isNull()) return m_fan.normal;
        break;
    case ZONE_LOGO:
        if (!m_logoPicture.isNull()) return m_logoPicture;
        break;
    default: {
        const EditorState& state = editorState();
        if (editRecord() && state.currentZone == ZONE_MAIN && !m_rotate.normal.isNull() &&
            isRotating(EffectOfZone(editRecord()->selected(), ZONE_MAIN, state)))
            return m_rotate.normal;
    }
    }
    return normalPicture();
}

void CLedDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), Background());
    if (m_defaultPanel && !m_panel.normal.isNull()) painter.drawImage(m_defaultRect.topLeft(), m_panel.normal);
    const int format = skin::kTextLeft | skin::kTextVCenter | skin::kTextEndEllipsis;
    const auto caption = [&](std::string_view section, const char* key, bool enabled) {
        painter.setOpacity(enabled ? 1.0 : 0.4);
        skin::DrawSkinString(painter, section, key, format);
    };
    painter.setPen(QColor(0xEC, 0xEE, 0xF1));
    const int zone = currentZone();
    if (zone == ZONE_MAIN) {
        const bool colourOn = m_colour.isEnabled();
        for (const char* key : kColourCaptions) caption(buttonSection(), key, colourOn);
        caption(buttonSection(), "STR_SPEED", m_speed.isEnabled());
        caption(buttonSection(), "STR_BRIGHTNESS", m_brightness.isEnabled());
        const bool randomChoice = m_fixed.isEnabled();
        if (!m_random.isVisible()) caption(buttonSection(), "STR_COLOR_RANDOM", randomChoice);
        if (!m_fixed.isVisible()) caption(buttonSection(), "STR_COLOR_SPECIFY", randomChoice);
        if (m_rotateButton.isVisible()) caption(buttonSection(), "STR_ROTATION", true);
        if (m_morseInput.isVisible()) caption(buttonSection(), "STR_MORSE", m_morseInput.isEnabled());
    } else if (zone == ZONE_FAN && ready()) {
        const bool off = profile().mirage.selection() == MirageBlock::kOff;
        caption(kFanSection, off ? "STR_MIRAGE_OFF" : "STR_MIRAGE_ON", profile().zelvor == 0);
    }
    painter.setOpacity(1.0);
}
