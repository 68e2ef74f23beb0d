// skingallery: renders every skinned window and control of the toolkit, in
// each state and at each resolution set, into PNG files, so that the skin can
// be looked at without starting the programs.
#include "devicelink/HidLibrary.h"
#include "mainwindow/ConfigDlg.h"
#include "mainwindow/LedDlg.h"
#include "platform/Messages.h"
#include "platform/Timing.h"
#include "sim/SimBackend.h"
#include "skin/BaseDlg.h"
#include "skin/BitmapBtn.h"
#include "skin/BtnMenu.h"
#include "skin/ColorPicker.h"
#include "skin/MessageBox.h"
#include "skin/PopupDlgs.h"
#include "skin/PrivateFonts.h"
#include "skin/SkinDocuments.h"
#include "skin/SkinManifest.h"
#include "skin/SkinPicture.h"
#include "skin/SkinText.h"
#include "skin/Sliders.h"
#include "updater/Package.h"
#include "updater/nimbrel/NimbrelDlg.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

int gWritten = 0;
bool gFailed = false;

void write(QWidget& widget, const QString& path) {
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "skingallery: cannot write %s\n", qPrintable(path));
        gFailed = true;
        return;
    }
    ++gWritten;
}

const std::vector<std::string>& keysOf(const std::string& section) {
    static const std::vector<std::string> none;
    for (const skin::KeySet& set : skin::skinManifest().buttons)
        if (set.section == section) return set.keys;
    return none;
}

// A window of the skin with a button for every button key of its section and
// the captions of its text keys drawn on it.
class PreviewDlg : public skin::CBaseDlg {
public:
    PreviewDlg(const std::string& section, const std::string& folder, const std::string& buttonSection,
               const std::string& textSection, QWidget* parent = nullptr)
        : skin::CBaseDlg(parent), m_buttonSection(buttonSection), m_textSection(textSection) {
        setSection(section);
        setSkinFolder(folder);
    }
    std::vector<std::unique_ptr<skin::CBitmapBtn>> buttons;

protected:
    void LoadSkin() override {
        skin::CBaseDlg::LoadSkin();
        for (const std::string& key : keysOf(m_buttonSection)) {
            if (key.rfind("BUTTON_", 0) != 0) continue;
            auto button = std::make_unique<skin::CBitmapBtn>(this);
            skin::CreateSkinButton(*button, m_buttonSection, key, skinContext(), this, true, skin::kAlignCenter, 0, -1);
            button->setColours(0xFFFFFF, 0xFFFFFF, 0x68605B, 0xFFFFFF);
            buttons.push_back(std::move(button));
        }
    }
    void DrawOverlay(QPainter& painter) override {
        painter.setPen(QColor(0xEC, 0xEE, 0xF1));
        for (const std::string& key : keysOf(m_textSection))
            if (key.rfind("STR_", 0) == 0)
                skin::DrawSkinString(painter, m_textSection, key,
                                     skin::kTextLeft | skin::kTextVCenter | skin::kTextEndEllipsis);
    }

private:
    std::string m_buttonSection;
    std::string m_textSection;
};

void windowStates(PreviewDlg& dialog, const QString& stem) {
    dialog.EnsureInitialised();
    const struct {
        const char* name;
        bool hover, pressed, disabled, checked;
    } states[] = {{"normal", false, false, false, false},
                  {"over", true, false, false, false},
                  {"down", true, true, false, false},
                  {"checked", false, false, false, true},
                  {"disabled", false, false, true, false}};
    for (const auto& s : states) {
        for (auto& button : dialog.buttons) {
            button->forceState(s.hover, s.pressed);
            button->SetChecked(s.checked);
            button->setEnabled(!s.disabled);
        }
        write(dialog, stem + "-" + s.name + ".png");
    }
}

// The main window in each view with a standard and an LED5 controller of the
// simulator listed. Their firmware is newer than any package, so nothing asks.
void renderMainWindow(const QString& prefix, const std::string& resolution) {
    auto simulator = std::make_shared<sim::SimBackend>(std::chrono::milliseconds(0));
    devicelink::HidSetBackend(simulator);
    for (const sim::ControllerKind kind : {sim::ControllerKind::Standard, sim::ControllerKind::Led5}) {
        sim::DeviceSpec spec;
        spec.kind = kind;
        spec.firmware = {99, 0, 0};
        simulator->plug(spec);
    }
    {
        CConfigDlg window;
        window.setResolutionFolder(QString::fromStdString(resolution + "/"));
        window.show();
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < end &&
               (window.busy() || window.deviceMenu(1).itemCount() < 1 ||
                window.windowTimerRunning(CConfigDlg::kTimerDeferredSelection)))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        for (const int view : {0, 1, 2}) {
            window.ShowView(view);
            write(window, prefix + QStringLiteral("MainWindow-view%1.png").arg(view));
        }
        // The effect page of each family in each zone, and zone 0 with the effects that change its controls.
        window.ShowView(0);
        for (const int family : {0, 1}) {
            window.SelectDevice(0, family);
            auto& page = dynamic_cast<CLedDlg&>(window.page(family));
            const auto settle = [&] {
                for (int round = 0; round < 20; ++round) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            };
            const QString stem = prefix + (family == 0 ? "LedPage" : "Led5Page");
            for (const int zone : {1, 2, 0}) {
                page.SelectZone(zone);
                settle();
                write(page, stem + QStringLiteral("-zone%1.png").arg(zone));
            }
            for (const char* key : {"BUTTON_MENU_3", "BUTTON_MENU_4", "BUTTON_MENU_6", "BUTTON_MENU_8",
                                    "BUTTON_LIGHT_ON", "BUTTON_MENU_1"}) {
                if (auto* button = dynamic_cast<skin::CBitmapBtn*>(page.control(key))) button->ClickFromAssistant();
                settle();
                write(page, stem + "-" + QString::fromLatin1(key) + ".png");
            }
            if (auto* more = page.control("BUTTON_DEFAULT")) {
                const QPointF at = more->geometry().center();
                QMouseEvent move(QEvent::MouseMove, at, page.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                                 Qt::NoModifier);
                QApplication::sendEvent(&page, &move);
                settle();
                write(page, stem + "-default-panel.png");
            }
        }
        window.done(0);
    }
    devicelink::HidSetBackend(nullptr);
}

void renderResolution(const QString& out, const std::string& resolution) {
    const std::string programFolder = skin::skinProgramFolder();
    skin::LoadSkinDocuments(programFolder, resolution + "/");
    const QString prefix = out + "/" + QString::fromStdString(resolution) + "/";
    QDir().mkpath(prefix);

    for (const char* section : {"MAIN", "LED", "LED5"}) {
        PreviewDlg dialog(section, resolution, section, section);
        windowStates(dialog, prefix + section);
    }
    for (const char* panel : {"FAN_LED", "LOGO_LED", "ROTATE_LED"}) {
        const std::string buttons = std::string(panel) == "FAN_LED" ? "FAN_LED" : "LED";
        PreviewDlg dialog(panel, resolution + "/Menu", buttons, buttons);
        windowStates(dialog, prefix + panel);
    }
    for (const std::string& message : skin::warningMessages()) {
        for (const bool hovered : {false, true}) {
            skin::CWarnDlg warning;
            warning.SetSections(skin::isNotice(message) ? "NO_KEYBOARD" : "WarnDlg", "");
            warning.SetMessage(message);
            if (message == "NO_SAVE") warning.SetAffixes("", "\r\nGraphics card 1, Graphics card 2");
            warning.EnsureInitialised();
            warning.okButton().forceState(hovered, false);
            write(warning, prefix + "Warn-" + QString::fromStdString(message) + (hovered ? "-over.png" : ".png"));
        }
    }
    {
        PreviewDlg info("InfoDlg", "PopDlg", "InfoDlg", "InfoDlg");
        windowStates(info, prefix + "InfoDlg");
        PreviewDlg version("VersionDlg", resolution, "VersionDlg", "VersionDlg");
        windowStates(version, prefix + "VersionDlg");
    }
    for (const int percent : {0, 40, 100}) {
        skin::CLoadingDlg loading;
        loading.EnsureInitialised();
        loading.SetProgress(percent);
        write(loading, prefix + QStringLiteral("Loading-%1.png").arg(percent));
        skin::CProgressDlg progress;
        progress.EnsureInitialised();
        progress.SetProgress(percent);
        write(progress, prefix + QStringLiteral("Progress-%1.png").arg(percent));
    }

    renderMainWindow(prefix, resolution);
    skin::LoadSkinDocuments(programFolder, resolution + "/");

    // Controls on the effect page's pictures.
    PreviewDlg page("LED", resolution, "LED", "LED");
    page.EnsureInitialised();
    QImage normal, over, down, disable;
    const std::string pictures = programFolder + "Skins/" + resolution + "/";
    xml::CXmlDoc& skins = skin::skinDocument(skin::SkinDocument::Skins);
    skin::LoadPicture(pictures + skin::GetSkinText(skins, "LED", "NORMAL"), normal);
    skin::LoadPicture(pictures + skin::GetSkinText(skins, "LED", "OVER"), over);
    skin::LoadPicture(pictures + skin::GetSkinText(skins, "LED", "DOWN"), down);
    skin::LoadPicture(pictures + skin::GetSkinText(skins, "LED", "DISABLE"), disable);
    const skin::SkinContext context{&normal, &over, &down, &disable, false, 0, 0};
    QWidget host;
    host.resize(normal.size());
    for (const bool enabled : {true, false})
        for (const int value : {0, 128, 255}) {
            skin::CPngHSliderBar slider;
            skin::CreateSkinSlider(slider, "LED", "SLIDER_R", context, &host, 1000,
                                   {pictures + "SilderNormal.png", pictures + "SilderOff.png",
                                    pictures + "SilderOver.png"},
                                   false, 0, 255);
            slider.SetValue(value);
            slider.setEnabled(enabled);
            write(slider, prefix + QStringLiteral("Slider-%1%2.png").arg(value).arg(enabled ? "" : "-disabled"));
            if (enabled && value == 128) {
                slider.forceThumbHover(true);
                write(slider, prefix + "Slider-128-over.png");
            }
        }
    for (const auto& [r, g, b] : {std::tuple{255, 64, 32}, std::tuple{35, 181, 211}, std::tuple{255, 255, 255}}) {
        skin::CColorBtn swatch;
        skin::CreateSkinButton(swatch, "LED", "BUTTON_COLOR", context, &host, true, skin::kAlignCenter, 0, -1);
        QImage templatePicture;
        skin::LoadPicture(pictures + "LEDCpas.bmp", templatePicture);
        swatch.setSwatchTemplate(templatePicture, swatch.geometry(), QPoint(0, 0));
        swatch.SetSwatchColor(r, g, b);
        write(swatch, prefix + QStringLiteral("Swatch-%1-%2-%3.png").arg(r).arg(g).arg(b));
    }

    // Menu of device rows with a scroll bar, and one with a cascading child.
    std::vector<skin::BMPMENUINFO> items;
    for (int i = 0; i < 7; ++i) {
        skin::BMPMENUINFO item;
        item.text = "Graphics card " + std::to_string(i + 1);
        item.value = static_cast<std::uint16_t>(i);
        item.enabled = i != 5;
        items.push_back(item);
    }
    items[1].hasSubmenu = true;
    items[1].subItems = {items[2], items[3]};
    skin::CBtnMenu menu(&host, items);
    const std::string menuFolder = pictures;
    menu.SetPictures(menuFolder + skin::GetSkinText(skins, "MENU_DEV", "NORMAL"),
                     menuFolder + skin::GetSkinText(skins, "MENU_DEV", "OVER"),
                     menuFolder + skin::GetSkinText(skins, "MENU_DEV", "DOWN"),
                     menuFolder + skin::GetSkinText(skins, "MENU_DEV", "DISABLE"), "", true);
    menu.setCaptionColours(0xF1EEEC, 0xFFFFFF);
    menu.setCaptionFace("Roboto Condensed", 16);
    QImage active;
    skin::LoadPicture(pictures + "DevListActive.jpg", active);
    menu.setHighlightPicture(active);
    // The head's scroll buttons, from the menu folder of the set.
    const std::string scrollFolder = pictures + "Menu/";
    const auto headerButton = [&](const char* section) {
        return skin::MenuHeaderButton{"",
                                      -1,
                                      scrollFolder + skin::GetSkinText(skins, section, "NORMAL"),
                                      scrollFolder + skin::GetSkinText(skins, section, "OVER"),
                                      scrollFolder + skin::GetSkinText(skins, section, "DOWN"),
                                      scrollFolder + skin::GetSkinText(skins, section, "DISABLE")};
    };
    menu.setHeaderButtons(headerButton("MENU_SCROLL_UP"), headerButton("MENU_SCROLL_DOWN"));
    menu.Create(4);
    menu.Select(2);
    menu.row(1)->forceState(true, false);
    write(menu, prefix + "Menu.png");
    menu.Scroll(3);
    write(menu, prefix + "Menu-scrolled.png");

    // Colour picker.
    QWidget picker;
    picker.resize(320, 300);
    picker.setStyleSheet("background:#23262B");
    skin::GTColorSelectorWnd selector;
    skin::GTColorSliderWnd hue;
    skin::GTColorWellWnd well(&picker);
    selector.CreateSelector(&picker, 10, 10, 290, 210);
    hue.CreateSlider(&picker, 10, 220, 290, 250);
    well.CreateWell(10, 260, 60, 290, nullptr);
    selector.setLinks(&hue, &well);
    hue.setLinkedSelector(&selector);
    well.setSource(&selector);
    selector.SetMode(3);
    hue.SetMode(3);
    for (const auto& [name, colour] :
         {std::pair{"orange", skin::makeColorRef(255, 140, 0)}, std::pair{"dark", skin::makeColorRef(20, 30, 90)},
          std::pair{"cyan", skin::makeColorRef(35, 181, 211)}}) {
        selector.SetSelectedColour(colour);
        write(picker, prefix + "ColorPicker-" + name + ".png");
    }
}

}  // namespace

// Nimbrel's window as the demo updater shows it, before, during and after an
// update of an emulated controller with older firmware, and both result pop-ups.
void renderNimbrel(const QString& out, const std::string& programFolder) {
    const updater::PackageLoad load = updater::LoadPackage(programFolder + "Nimbrel/Nimbrel");
    const std::string skinFolder = programFolder + "Nimbrel/NimbrelSkin/";
    if (!load.ok) {
        std::fprintf(stderr, "skingallery: no demo updater in %sNimbrel\n", programFolder.c_str());
        gFailed = true;
        return;
    }
    const QString prefix = out + "/Nimbrel/";
    QDir().mkpath(prefix);
    auto simulator = std::make_shared<sim::SimBackend>(std::chrono::milliseconds(0));
    devicelink::HidSetBackend(simulator);
    simulator->plug(*sim::parseDeviceSpec("standard,fw=1.2.5").spec);
    {
        updater::CNimbrelDlg window(load.package, updater::NimbrelOptions{}, skinFolder);
        if (!window.skinLoaded() || !window.start()) {
            std::fprintf(stderr, "skingallery: the updater window did not open\n");
            gFailed = true;
        } else {
            for (int round = 0; round < 500 && !window.okButton().isEnabled(); ++round)
                platform::pumpEventsFor(std::chrono::milliseconds(10));
            write(window, prefix + "Window-before.png");
            window.setControlState(true, false);
            window.setProgress(40);
            write(window, prefix + "Window-during.png");
            window.setProgress(100);
            window.setControlState(false, true);
            write(window, prefix + "Window-after.png");
        }
    }
    devicelink::HidSetBackend(nullptr);
    updater::NimbrelSkin skin;
    skin.load(skinFolder);
    const struct {
        int code;
        const char* detail;
        const char* name;
    } results[] = {{updater::kWarningSuccess, "", "Warning-success"},
                   {updater::kWarningFailed, "Fail to write the firmware!", "Warning-failed"},
                   {updater::kWarningError, "The controller already runs this firmware.", "Warning-error"}};
    for (const auto& result : results) {
        updater::CWarning warning(skin, result.code, result.detail, nullptr);
        warning.EnsureInitialised();
        write(warning, prefix + result.name + ".png");
    }
}

int main(int argc, char** argv) {
    if (argc != 2 || std::string(argv[1]) == "--help") {
        std::fprintf(argc == 2 ? stdout : stderr,
                     "usage: skingallery FOLDER\n  renders every skinned window and control, in each state and at "
                     "each resolution set, into PNG files under FOLDER\n");
        return argc == 2 ? 0 : 64;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The main window keeps its settings under the configuration folder: a throw-away one.
    QTemporaryDir configuration;
    qputenv("XDG_CONFIG_HOME", configuration.path().toLocal8Bit());
    QApplication application(argc, argv);
    skin::SetMessageBoxHandler([](QWidget*, const std::string& text) {
        std::fprintf(stderr, "skingallery: message box: %s\n", text.c_str());
    });
    platform::TimingPolicy quick = platform::timing();
    quick.loadingPopupDelay = std::chrono::milliseconds(5);
    quick.loadingPopupSettle = std::chrono::milliseconds(1);
    platform::setTiming(quick);
    skin::setSkinProgramFolder(QCoreApplication::applicationDirPath().toStdString() + "/");
    int fonts[3] = {skin::kNoFont, skin::kNoFont, skin::kNoFont};
    skin::LoadPrivateFont(skin::kFontCondensedMedium, fonts[0]);
    skin::LoadPrivateFont(skin::kFontCondensedBook, fonts[1]);
    skin::LoadPrivateFont(skin::kFontNotoSans, fonts[2]);
    const QString out = QString::fromLocal8Bit(argv[1]);
    for (const std::string& resolution : skin::resolutionSets()) renderResolution(out, resolution);
    renderNimbrel(out, skin::skinProgramFolder());
    for (int& font : fonts) skin::RemovePrivateFont(font);
    std::printf("%d pictures in %s\n", gWritten, argv[1]);
    return gFailed ? 1 : 0;
}
