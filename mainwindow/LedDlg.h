#pragma once

#include "devicecontrol/Encoding.h"
#include "devicecontrol/PreviewCoalescer.h"
#include "devicelink/ChromaBridge.h"
#include "mainwindow/LedConvDlg.h"
#include "mainwindow/LedPage.h"
#include "skin/BitmapBtn.h"
#include "skin/ColorPicker.h"
#include "skin/Sliders.h"

#include <QPointer>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class CInPlaceEdit;

// The effect editor page of one device family: zone tabs, the effect menus,
// the colour picker and channel sliders, speed and brightness, random and
// rotation choices, the Morse texts, the fan zone's mirage presets, the Chroma
// toggle, import, export, Apply and the panel with Zelvor sync and reset-all.
// Every edit changes the edit copy and is previewed on the card.
class CLedDlg : public CLedPage, public skin::ColorPickedReceiver, public devicecontrol::ChromaHost {
public:
    static constexpr unsigned kMsgInPlaceDone = 1283;
    static constexpr unsigned kMsgInPlaceTab = 1284;
    static constexpr unsigned kMsgApply = 1274;
    static constexpr unsigned kMsgSelectProfile = 2926;
    static constexpr unsigned kMsgResetProfile = 2927;
    static constexpr unsigned kTimerMirage = 0x10003;
    static constexpr int kSliderR = 1000, kSliderG = 1001, kSliderB = 1002;
    static constexpr int kSliderSpeed = 1003, kSliderBrightness = 1004;
    static constexpr int kSliderHzR = 1008, kSliderHzG = 1009, kSliderHzB = 1010;
    static constexpr int kPlaneId = 2000, kHueBarId = 2001, kWellId = 2002;
    static constexpr std::uint16_t kMirageResetFrequency = 330;
    static constexpr int kMaxFrequency = 2000;

    // The state pictures of a skin section, and the context that cuts controls from them.
    struct SectionPictures {
        QImage normal, over, down, disable;
        skin::SkinContext context(bool standalone) const { return {&normal, &over, &down, &disable, standalone, 0, 0}; }
    };

    explicit CLedDlg(devicelink::Family family, QWidget* parent = nullptr);
    ~CLedDlg() override;

    // Shows the records again; sends nothing.
    void ReloadControls() override;
    devicecontrol::ChromaHost* chromaHost() override { return this; }

    void SelectZone(int zone);
    int currentZone() const { return editorState().currentZone; }
    // The control made from a skin key, or null.
    QWidget* control(std::string_view key) const;

    // Import and export without the file dialogs; false when nothing was read or written.
    bool ImportFrom(const std::string& path);
    bool ExportTo(const std::string& path);
    // Where Apply saves the profile (the data folder, ending with '/').
    void setDataFolder(const std::string& folder) { m_dataFolder = folder; }
    // The broadcast library the Chroma bridge loads (tests use a stand-in).
    void setChromaLibrary(const std::string& name);
    // The hidden conversion dialog that receives the mirage frequencies; null before the page is built.
    CLEDConvDlg* conversionDialog() const { return m_conversion.get(); }
    // The main window's busy flag: Chroma colours wait while a whole write runs.
    void setBusyQuery(std::function<bool()> busy) { m_busy = std::move(busy); }

    const devicecontrol::PreviewCoalescer& previews() const { return m_previews; }
    // Sends a preview that is still waiting for its turn.
    void FlushPreview() { m_previews.flush(); }
    bool defaultPanelOpen() const { return m_defaultPanel; }
    const std::string& lastMorseInput() const { return m_lastMorseInput; }
    // The in-place edit open over a field, or null.
    skin::CEditTrans* inPlaceEdit() const;
    skin::GTColorSelectorWnd& plane() { return m_plane; }
    skin::GTColorSliderWnd& hueBar() { return m_hueBar; }
    skin::CEditTransMultiLine& morseOutput() { return m_morseOutput; }

    // devicecontrol::ChromaHost
    bool bridgeActive() const override { return m_chromaActive; }
    bool startBridge() override;
    void stopBridge() override;
    // skin::ColorPickedReceiver: the hidden well hands on every pick of the plane.
    void OnColorPicked(skin::ColorRef colour) override;

protected:
    void OnInitDialog() override;
    void LoadSkin() override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    std::intptr_t onMessage(const platform::WindowMessage& message) override;
    void onTimer(unsigned id) override;

private:
    struct Keyed {
        skin::CBitmapBtn* button;
        const char* key;
    };

    bool ready() const { return editRecord() != nullptr; }
    effects::LedProfile& profile() { return editRecord()->selected(); }
    const std::string& buttonSection() const { return section(); }

    void CreateButtons();
    void CreatePicker();
    void CreateSliders();
    void CreateFields();
    skin::CBitmapBtn& MakeButton(skin::CBitmapBtn& button, std::string_view section, std::string_view key,
                                 const skin::SkinContext& context, bool withCaption);

    void OnCommand(QWidget* sender, unsigned code);
    void OnSliderValue(int value, int id);
    void ChooseEffect(std::int32_t effect);
    void LightsOnAgain();
    void ColourChange(effects::Colour colour);
    void RestoreOldColour();
    void ToggleRandom();
    void SetDirection(int direction);
    void SetLayerChoice(int choice);
    void StepLevel(int id, int step);
    void MorseCommand(QWidget* sender);
    void SaveMorse();
    void MirageSelect(int selection);
    void MirageRefresh();
    void MirageReset();
    void MirageSave();
    void ToggleChroma();
    void Apply();
    void ConfirmReset(bool zelvor);
    void OpenDefaultPanel(bool open);
    void ImportDialog();
    void ExportDialog();

    // The layer and effect that speed, brightness and colour edits of the current zone reach.
    effects::EffectLayer& EditLayer();
    std::int32_t EditEffect();
    void RefreshWithModeSelect();
    void RequestPreview();
    void SendPreview();
    void RefreshControls();
    void RefreshZoneVisibility();
    void RefreshMenuButtons();
    void ShowColour(effects::Colour colour, bool updatePlane);

    void OpenInPlaceEdit(skin::CBitmapBtn& field);
    void InPlaceDone(bool tab);
    bool AcceptMorseText(const QString& text);
    void SetFieldText(skin::CBitmapBtn& field, const QString& text);
    QString FieldText(const skin::CBitmapBtn& field) const;

    const QImage& Background() const;

    // Zone tabs in zone order (keys 1, 3, 2).
    std::array<skin::CBitmapBtn, 3> m_zoneButtons;
    std::array<skin::CBitmapBtn, 9> m_menuButtons;  // BUTTON_MENU_1..8, BUTTON_LIGHT_ON
    std::array<skin::CBitmapBtn, 4> m_fanButtons;
    skin::CBitmapBtn m_lightOff, m_random, m_fixed, m_rotateButton, m_rotateReverse, m_l1, m_l2;
    skin::CBitmapBtn m_speedUp, m_speedDown, m_brightnessUp, m_brightnessDown;
    skin::CColorBtn m_colour, m_oldColour;
    std::array<skin::CBitmapBtn, 3> m_colourFields;  // EDIT_R, EDIT_G, EDIT_B
    std::array<skin::CBitmapBtn, 3> m_hzFields;      // EDIT_HZ_R, EDIT_HZ_G, EDIT_HZ_B
    skin::CBitmapBtn m_morseInput;
    skin::CEditTransMultiLine m_morseOutput;
    std::array<skin::CBitmapBtn, 3> m_morseButtons;
    skin::CBitmapBtn m_morseSave, m_morseReset, m_play, m_cycle;
    std::array<skin::CBitmapBtn, 4> m_mirageButtons;  // BUTTON_M1..3, BUTTON_MIRAGE_ON
    skin::CBitmapBtn m_mirageOff, m_mirageReset, m_mirageSave;
    skin::CBitmapBtn m_chroma, m_import, m_export, m_apply, m_default, m_zelvor, m_demo;
    std::array<skin::CPngHSliderBar, 3> m_channelSliders;
    skin::CPngHSliderBar m_speed, m_brightness;
    std::array<skin::CPngHSliderBar, 3> m_hzSliders;
    skin::GTColorSelectorWnd m_plane;
    skin::GTColorSliderWnd m_hueBar;
    skin::GTColorWellWnd m_well;

    QImage m_logoPicture;
    SectionPictures m_rotate, m_fan, m_panel;  // ROTATE_LED, FAN_LED, DEFAULT_LED
    QRect m_defaultRect;

    std::unique_ptr<CInPlaceEdit> m_edit;
    skin::CBitmapBtn* m_editField = nullptr;
    bool m_tabFlag = false;
    bool m_suspended = false;
    bool m_defaultPanel = false;
    int m_miragePreset = -1;
    bool m_chromaDrawn = false;
    std::string m_lastMorseInput;
    std::string m_dataFolder;

    devicecontrol::PreviewCoalescer m_previews;
    std::unique_ptr<devicelink::ChromaBridge> m_bridge;
    std::string m_chromaLibrary = devicelink::kChromaLibraryName;
    bool m_chromaActive = false;
    std::unique_ptr<CLEDConvDlg> m_conversion;
    std::function<bool()> m_busy;
};
