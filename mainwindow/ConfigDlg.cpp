#include "mainwindow/ConfigDlg.h"

#include "devicecontrol/ConfigurationSequences.h"
#include "devicecontrol/ReadBack.h"
#include "devicecontrol/VersionCheck.h"
#include "devicelink/UsbDriver.h"
#include "effects/Profiles.h"
#include "mainwindow/LedDlg.h"
#include "platform/DebugLog.h"
#include "platform/Folders.h"
#include "platform/Process.h"
#include "platform/SingleInstance.h"
#include "platform/Timing.h"
#include "platform/Utf16.h"
#include "skin/ApplicationIcon.h"
#include "skin/FindWindow.h"
#include "skin/PrivateFonts.h"
#include "skin/SkinDocuments.h"
#include "skin/SkinMessages.h"
#include "skin/SkinPicture.h"
#include "skin/SkinText.h"
#include "skin/Sliders.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <thread>

using namespace std::chrono_literals;
using devicelink::Family;
using devicelink::LinkMode;

namespace {

const char* const kViewKeys[3] = {"BUTTON_MAIN_CONTROL", "BUTTON_MACRO", "BUTTON_LIBRARY"};
const char* const kDeviceButtonKeys[2] = {"BUTTON_DEV_TITLE", "BUTTON_5_LED_DEV_TITLE"};
const char* const kTitleFormatKeys[2] = {"STRING_DEV_TITLE", "STRING_5_LED_DEV_TITLE"};

xml::CXmlDoc& buttonsDocument() { return skin::skinDocument(skin::SkinDocument::Buttons); }

QRect recordRect(std::string_view key) {
    const skin::SkinRecord record = skin::ParseSkinRecord(skin::GetSkinText(buttonsDocument(), "MAIN", key));
    return QRect(record.left, record.top, record.right - record.left, record.bottom - record.top);
}

int menuAttribute(std::string_view key, std::string_view attribute) {
    return skin::leadingInteger(skin::GetSkinAttribute(buttonsDocument(), "MAIN", key, attribute));
}

Family familyOf(int family) { return family == 1 ? Family::Led5 : Family::Standard; }

}  // namespace

// The in-place name editor over a device menu item; reports Enter (0) or
// cancel (-1) to the main window with the editor as wParam.
class CRename : public skin::CEditTrans {
public:
    CRename(QWidget* owner, const QString& start) : skin::CEditTrans(owner), m_owner(owner), m_committed(start) {
        setObjectName(QStringLiteral("DEV_NAME"));
        setText(start);
        setMaxLength(static_cast<int>(devicecontrol::kNameUnits));
        setColours(0xFFFFFF, -1);
    }
    const QString& committed() const { return m_committed; }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            m_committed = text();
            finish(0);
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            finish(-1);
            return;
        }
        skin::CEditTrans::keyPressEvent(event);
    }
    void focusOutEvent(QFocusEvent* event) override {
        // Clicking elsewhere leaves the name as it was.
        skin::CEditTrans::focusOutEvent(event);
        finish(-1);
    }

private:
    void finish(std::intptr_t result) {
        if (m_finished) return;
        m_finished = true;
        platform::postMessage(m_owner, {CConfigDlg::kMsgRenameDone, reinterpret_cast<std::uintptr_t>(this), result});
    }
    QWidget* m_owner;
    QString m_committed;
    bool m_finished = false;
};

// What the group and name logic asks of the window for one family.
class CConfigDlg::GroupHost : public devicecontrol::GroupHost {
public:
    GroupHost(CConfigDlg& window, int family) : m_window(window), m_family(family) {}
    bool confirmOverwrite() override { return m_window.ShowWarning("OVERWRITE", "") == skin::kResultOk; }
    void copyRecords(int from, int to) override {
        m_window.editCopy(m_family, to) = m_window.editCopy(m_family, from);
        m_window.appliedCopy(m_family, to) = m_window.appliedCopy(m_family, from);
    }
    void selectDevice(int position) override { m_window.SelectDevice(position, m_family); }

private:
    CConfigDlg& m_window;
    int m_family;
};

CConfigDlg::CConfigDlg(QWidget* parent) : skin::CBaseDlg(parent), m_versionPage(this), m_progress(this) {
    setSection("MAIN");
    setObjectName(QStringLiteral("MAIN"));
    setWindowTitle(QString::fromLatin1(kTitle));
    for (int family = 0; family < kFamilies; ++family) {
        auto page = std::make_unique<CLedDlg>(familyOf(family), this);
        page->setBusyQuery([this] { return m_busy; });
        m_pages[family] = std::move(page);
    }
}

CConfigDlg::~CConfigDlg() = default;

devicelink::CUSBDriver& CConfigDlg::applicationLink(int family) { return m_links.link(familyOf(family)); }

int CConfigDlg::DeviceCount(int family) {
    const int count = applicationLink(family).deviceCount();
    // Without the device check the standard page works on two devices that are not there.
    if (family == 0 && !m_deviceCheck && count == 0) return 2;
    return count;
}

effects::LedProfileSet& CConfigDlg::editCopy(int family, int position) {
    if (position < 0) position = std::max(m_currentDevice, 0);
    return m_edit[family][static_cast<std::size_t>(std::min(position, kMaxDevices - 1))];
}

effects::LedProfileSet& CConfigDlg::appliedCopy(int family, int position) {
    if (position < 0) position = std::max(m_currentDevice, 0);
    return m_applied[family][static_cast<std::size_t>(std::min(position, kMaxDevices - 1))];
}

std::string CConfigDlg::DeviceTitle(int family, int position) {
    const std::string format =
        skin::GetSkinText(skin::skinDocument(skin::SkinDocument::Strings), "MAIN", kTitleFormatKeys[family]);
    const devicecontrol::IdentityTable& table = m_identities[family];
    const devicecontrol::IdentityBlock block = position >= 0 && static_cast<std::size_t>(position) < table.size()
                                                   ? table[position]
                                                   : devicecontrol::IdentityBlock{};
    const int number = family == 0 ? position + 1 : DeviceCount(0) + position + 1;
    return devicecontrol::DeviceTitle(block, format, number);
}

// ---- start

void CConfigDlg::OnInitDialog() {
    setWindowTitle(QString::fromLatin1(kTitle));
    const std::string resolution = m_resolutionFolder.toStdString();
    skin::LoadSkinDocuments(skin::skinProgramFolder(), resolution);
    const std::string dataFolder = platform::setUpDataFolder(effects::kDataFolder);
    for (const char* sub : {"Macros/", "Profiles/", "MousePads/"})
        platform::setUpDataFolder(std::string(effects::kDataFolder) + sub);
    setSkinFolder(resolution.empty() ? resolution : resolution.substr(0, resolution.size() - 1));
    skin::CBaseDlg::OnInitDialog();

    skin::LoadPrivateFont(skin::kFontCondensedMedium, m_fonts[0]);
    skin::LoadPrivateFont(skin::kFontCondensedBook, m_fonts[1]);
    skin::LoadPrivateFont(skin::kFontNotoSans, m_fonts[2]);
    platform::DebugTrace("Ready Init");
    platform::DebugTrace("Ready Sub Dlg Init");
    // The task bar and the minimised window show the application icon.
    setWindowIcon(skin::ApplicationIcon(skin::skinProgramFolder()));

    // The start-up load of each family's current device.
    for (int family = 0; family < kFamilies; ++family) {
        effects::LedProfileSet& set = editCopy(family, m_lastDevice[family]);
        effects::LoadStartupProfileSet(set, dataFolder);
        appliedCopy(family, m_lastDevice[family]) = set;
    }

    m_progress.setSkinFolder("");
    m_progress.CreateSkinned(skin::kPageTemplate, this);
    m_progress.setObjectName(QStringLiteral("LOADING"));
    m_progress.move(0, height() - m_progress.height());
    m_progress.hide();

    const QRect pageRect = recordRect("SUB_DLG");
    m_pageRect = pageRect;
    for (int family = 0; family < kFamilies; ++family) {
        CLedPage& page = *m_pages[family];
        page.setSkinFolder(skinFolder());
        page.setLink(&applicationLink(family));
        page.CreateSkinned(skin::kPageTemplate, this);
        page.setRecords(&editCopy(family, m_lastDevice[family]), &appliedCopy(family, m_lastDevice[family]));
        page.move(pageRect.topLeft());
        if (page.width() == 0) page.resize(pageRect.size());
        page.hide();
    }
    m_versionPage.setDevice(&applicationLink(0), Family::Standard, 0);
    m_versionPage.setSkinFolder(skinFolder());
    m_versionPage.CreateSkinned(skin::kPageTemplate, this);
    platform::DebugTrace("Version Dlg Read Init");
    platform::DebugTrace("Version Dlg Skin Finish ");
    platform::DebugTrace("Version Dlg Read Init Finish");
    m_versionPage.move(pageRect.topLeft());
    ShowView(m_currentView);
    platform::DebugTrace("Init Sub Dlg Success");

    m_links.setOwner(this);
    m_links.openAll();
    if (applicationLink(0).deviceCount() > 0) return;
    if (!AnyDevice() && m_deviceCheck) {
        platform::DebugTrace("Detect No Device");
        m_noDeviceWarningShown = true;
        skin::CWarnDlg warning(this);
        warning.SetSections("NO_KEYBOARD", "");
        warning.SetMessage("NO_KEYBOARD");
        warning.exec();
        if (!AnyDevice()) platform::postMessage(this, {kWmClose, 0, 0});
    }
    SelectProfile(editCopy(m_currentFamily, m_currentDevice).selectedProfile);
}

void CConfigDlg::LoadSkin() {
    skin::CBaseDlg::LoadSkin();
    // Where the window system cannot shape windows, the picture's white
    // surroundings are left unpainted on a transparent window instead.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")) && !mask().isEmpty()) {
        m_shape = mask();
        clearMask();
        setAttribute(Qt::WA_OpaquePaintEvent, false);
        setAttribute(Qt::WA_TranslucentBackground, true);
    }
    const skin::SkinContext& context = skinContext();
    for (auto [button, key] : {std::pair{&m_minimise, "BUTTON_MIN"}, std::pair{&m_close, "BUTTON_CLOSE"}}) {
        skin::CreateSkinButton(*button, "MAIN", key, context, this, false, skin::kAlignCenter, 0, -1);
        button->setObjectName(QString::fromLatin1(key));
    }
    for (int view = 0; view < 3; ++view) {
        skin::CBitmapBtn& button = m_viewButtons[view];
        skin::CreateSkinButton(button, "MAIN", kViewKeys[view], context, this, true, skin::kAlignCenter, 0, -1);
        button.setObjectName(QString::fromLatin1(kViewKeys[view]));
        button.setToggle(true);
        button.setColours(0xFFFFFF, 0xFFFFFF, 0x272727, 0x0000FF);
        button.update();
    }
    const std::string folder = pictureFolder();
    skin::LoadPicture(folder + "DevCheckBoxNormal.png", m_checkNormal);
    skin::LoadPicture(folder + "DevCheckBoxDown.png", m_checkDown);
    skin::LoadPicture(folder + "DevKV6000.png", m_devicePictures[0]);
    skin::LoadPicture(folder + "DevKV6000-1.png", m_devicePictures[1]);
    for (int family = 0; family < kFamilies; ++family) BuildDeviceList(family);
    m_deviceMenus[1]->setMessageNumbers(kMsgLed5MenuClick, kMsgLed5MenuDoubleClick, kMsgLed5MenuPart);
    for (int family = 0; family < kFamilies; ++family) {
        m_deviceButtons[family].hide();
        m_deviceMenus[family]->hide();
    }
}

void CConfigDlg::BuildDeviceList(int family) {
    xml::CXmlDoc& skins = skin::skinDocument(skin::SkinDocument::Skins);
    const std::string folder = pictureFolder();
    QImage normal, over, down;
    skin::LoadPicture(folder + skin::GetSkinText(skins, "BUTTON_DEV_TITLE", "NORMAL"), normal);
    skin::LoadPicture(folder + skin::GetSkinText(skins, "BUTTON_DEV_TITLE", "OVER"), over);
    skin::LoadPicture(folder + skin::GetSkinText(skins, "BUTTON_DEV_TITLE", "DOWN"), down);
    const skin::SkinContext context{&normal, &over, &down, &normal, true, 0, 0};
    skin::CBitmapListBtn& button = m_deviceButtons[family];
    skin::CreateSkinButton(button, "MAIN", kDeviceButtonKeys[family], context, this, false, skin::kAlignCenter, 0, -1);
    button.setObjectName(QString::fromLatin1(kDeviceButtonKeys[family]));
    button.setColours(0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF);
    button.setFontHeight(menuAttribute("LIST_MENU", "SIZE"));
    button.SetFaceName(skin::GetSkinAttribute(buttonsDocument(), "MAIN", "LIST_MENU", "FONT"));
    button.setItems({skin::CBitmapListBtn::Item{recordRect("BTN_CHECK"), m_checkNormal, {}, false}});
    button.setTextRect(recordRect("DEV_NAME"));
    // The button of the current family and the current device's rows are marked.
    QImage titleActive, listActive;
    skin::LoadPicture(folder + "DevTitleActive.jpg", titleActive);
    skin::LoadPicture(folder + "DevListActive.jpg", listActive);
    button.setHighlightPicture(titleActive);

    auto menu = std::make_unique<skin::CBtnMenu>(this);
    // The device lists lie in the window's device panel, not over it.
    menu->setWindowFlags(Qt::Widget);
    menu->setObjectName(QStringLiteral("LIST_MENU"));
    menu->SetPictures(folder + skin::GetSkinText(skins, "MENU_DEV", "NORMAL"),
                      folder + skin::GetSkinText(skins, "MENU_DEV", "OVER"),
                      folder + skin::GetSkinText(skins, "MENU_DEV", "DOWN"),
                      folder + skin::GetSkinText(skins, "MENU_DEV", "DISABLE"), "", true);
    menu->setItemSize(menuAttribute("LIST_MENU", "ITEM_HEIGHT"), menuAttribute("LIST_MENU", "ITEM_WIDTH"));
    menu->setCaptionFace(skin::GetSkinAttribute(buttonsDocument(), "MAIN", "LIST_MENU", "FONT"),
                         menuAttribute("LIST_MENU", "OFFSETX"));
    menu->setCaptionColours(0xF1EEEC, 0xFFFFFF);
    menu->setHighlightPicture(listActive);
    const QRect rect = recordRect("LIST_MENU");
    menu->setPosition(rect.left(), rect.top());
    menu->Create(menuAttribute("LIST_MENU", "ITEM_NUM"));
    m_deviceMenus[family] = std::move(menu);
}

// ---- device lists

void CConfigDlg::RefreshDeviceMenus() {
    const int standardCount = DeviceCount(0);
    const int led5Count = DeviceCount(1);
    const bool both = standardCount > 0 && led5Count > 0;
    const char* menuKey = both ? "LIST_MENU_NEW" : "LIST_MENU";
    const int rows = menuAttribute(menuKey, "ITEM_NUM");
    for (int family = 0; family < kFamilies; ++family) {
        skin::CBitmapListBtn& button = m_deviceButtons[family];
        skin::CBtnMenu& menu = *m_deviceMenus[family];
        const int count = DeviceCount(family);
        button.setVisible(count >= 1);
        menu.setVisible(count >= 1);
        button.SetChecked(family == m_currentFamily);
        if (family == 1) {
            button.setGeometry(recordRect(both ? "BUTTON_5_LED_DEV_TITLE_NEW" : "BUTTON_5_LED_DEV_TITLE"));
            menu.move(recordRect(menuKey).topLeft());
        }
        int selection = std::min(menu.selected(), count - 1);
        if (selection < 0) selection = 0;
        const devicecontrol::IdentityTable& table = m_identities[family];
        const auto member = [&](int position) {
            return position >= 0 && static_cast<std::size_t>(position) < table.size() &&
                   devicecontrol::IsGroupMember(table[position]);
        };
        const QRect checkRect = recordRect("DEV_CHECK");
        const QRect pictureRect = recordRect("DEV_PIC_POS");
        const QImage& picture = m_devicePictures[family];
        std::vector<skin::BMPMENUINFO> items;
        bool allMembers = count > 0;
        for (int position = 0; position < count; ++position) {
            skin::BMPMENUINFO item;
            item.text = DeviceTitle(family, position);
            item.value = static_cast<std::uint16_t>(kItemCommandBase + position);
            item.picture = picture;
            item.picturePosition = pictureRect.center() - QPoint(picture.width() / 2, picture.height() / 2);
            item.parts = {skin::CBitmapListBtn::Item{checkRect, m_checkNormal, {}, false}};
            item.options = member(position) ? 1 : 0;
            item.specialPicture = m_checkDown;
            item.highlighted = family == m_currentFamily &&
                               (position == selection || (member(selection) && member(position)));
            allMembers = allMembers && member(position);
            items.push_back(std::move(item));
        }
        menu.setItems(std::move(items));
        menu.SetVisibleCount(std::min(rows, std::max(count, 1)));
        // Names end with an ellipsis before the device picture.
        for (int row = 0; row < menu.visibleRows(); ++row) {
            if (skin::CBitmapListBtn* rowButton = menu.row(row)) {
                rowButton->setFontHeight(menuAttribute("LIST_MENU", "SIZE"));
                rowButton->setTextRect(recordRect("DEV_NAME"));
            }
        }
        menu.Select(selection);
        button.setItemOptions(allMembers ? 1 : 0, m_checkDown);
        button.SetCaption(count > 0 ? DeviceTitle(family, selection) : std::string(),
                          menuAttribute("LIST_MENU", "OFFSETX"), true);
        button.update();
        menu.update();
        if (count > 0 && selection != m_lastDevice[family])
            platform::postMessage(this, {kMsgSelectDevice, static_cast<std::uintptr_t>(selection), family});
    }
}

void CConfigDlg::OnMenuItem(int family, int index) {
    if (index < 0 || index >= DeviceCount(family)) return;
    if (ConfirmDiscard(m_currentFamily, m_currentDevice) != 1) {
        m_deviceMenus[family]->Select(m_currentDevice);
        return;
    }
    SelectDevice(index, family);
    skin::CBtnMenu& menu = *m_deviceMenus[family];
    if (const QWidget* row = menu.row(index - menu.firstVisible());
        row && recordRect("DEV_NAME").contains(row->mapFromGlobal(QCursor::pos())))
        StartRename(family, index);
}

void CConfigDlg::ToggleGroupMember(int family, int position) {
    if (m_checking) {
        // Run once the discard question has been answered.
        m_pendingGroupFamily = family;
        m_pendingGroupPosition = position;
        return;
    }
    GroupHost host(*this, family);
    devicecontrol::ToggleGroupMember(applicationLink(family), m_identities[family], position,
                                     family == m_currentFamily ? m_currentDevice : -1, host);
    RefreshDeviceMenus();
}

void CConfigDlg::ToggleGroupAll(int family) {
    if (ConfirmDiscard(m_currentFamily, m_currentDevice) != 1) return;
    GroupHost host(*this, family);
    devicecontrol::ToggleGroupAll(applicationLink(family), m_identities[family], m_currentDevice, host);
    RefreshDeviceMenus();
}

void CConfigDlg::StartRename(int family, int position) {
    m_rename.reset();
    m_renameFamily = family;
    m_renamePosition = position;
    skin::CBtnMenu& menu = *m_deviceMenus[family];
    const QWidget* row = menu.row(position - menu.firstVisible());
    if (!row) return;
    const int marginY = menuAttribute("LIST_MENU", "MENUY");
    const QRect name = recordRect("DEV_NAME").adjusted(0, marginY, 0, -marginY);
    const std::string stored = static_cast<std::size_t>(position) < m_identities[family].size()
                                   ? platform::utf16ToUtf8(devicecontrol::IdentityName(m_identities[family][position]))
                                   : std::string();
    m_rename = std::make_unique<CRename>(this, QString::fromStdString(stored));
    m_rename->setGeometry(QRect(row->mapTo(this, name.topLeft()), name.size()));
    m_rename->setFont(skin::SkinFontOf(skin::GetSkinAttribute(buttonsDocument(), "MAIN", "LIST_MENU", "FONT"),
                                       menuAttribute("LIST_MENU", "SIZE"), 400));
    m_rename->show();
    m_rename->raise();
    m_rename->setFocus();
    m_rename->end(false);
    menu.setEnabled(false);
}

void CConfigDlg::FinishRename() {
    m_deviceMenus[m_renameFamily]->setEnabled(true);
    const QString text = m_rename->committed();
    m_rename.release()->deleteLater();
    if (text.isEmpty()) return;
    GroupHost host(*this, m_renameFamily);
    devicecontrol::StoreDeviceName(applicationLink(m_renameFamily), m_identities[m_renameFamily], m_renamePosition,
                                   text.toStdU16String(), host);
    RefreshDeviceMenus();
}

// ---- views and selection

void CConfigDlg::ShowView(int view) {
    m_currentView = view;
    for (int i = 0; i < 3; ++i) m_viewButtons[i].SetChecked(i == view);
    for (int family = 0; family < kFamilies; ++family)
        m_pages[family]->setVisible(view == 0 && family == m_currentFamily);
    m_versionPage.setVisible(view == 2);
    if (view == 2) {
        m_versionPage.setDevice(&applicationLink(m_currentFamily), familyOf(m_currentFamily), m_currentDevice);
        m_versionPage.FirmwareCheck();
        m_versionPage.Refresh();
    } else if (view == 0) {
        currentPage().update();
    }
}

void CConfigDlg::PageUpdate() {
    CLedPage& page = currentPage();
    devicecontrol::UpdatePage(applicationLink(m_currentFamily), editCopy(m_currentFamily, m_currentDevice),
                              page.editorState(), page.chromaHost());
    // The card now runs its zones again, whatever it ran when it was read
    // back; that is no unsaved edit.
    appliedCopy(m_currentFamily, m_currentDevice).selected().cardEffect = effects::EFFECT_MULTI;
}

void CConfigDlg::SelectDevice(int position, int family) {
    m_currentFamily = family;
    devicelink::CUSBDriver& link = applicationLink(family);
    m_currentDevice = devicecontrol::SelectDeviceGroup(link, m_identities[family], position);
    m_lastDevice[family] = m_currentDevice;
    CLedPage& page = currentPage();
    page.setRecords(&editCopy(family, m_currentDevice), &appliedCopy(family, m_currentDevice));
    PageUpdate();
    m_deviceMenus[family]->Select(m_currentDevice);
    RefreshDeviceMenus();
    m_busy = true;
    PageUpdate();
    page.ReloadControls();
    m_busy = false;
    if (m_currentView == 2) {
        m_versionPage.setDevice(&link, familyOf(family), m_currentDevice);
        m_versionPage.FirmwareCheck();
        m_versionPage.Refresh();
    } else if (m_currentView == 0 && !page.isVisible()) {
        if (family == 0) platform::pumpEvents(1);
        m_pages[1 - family]->hide();
        page.show();
        page.update();
    }
}

int CConfigDlg::ShowWarning(const std::string& message, const std::string& text) {
    return skin::ShowSkinnedWarning(this, skinFolder(), message, text);
}

bool CConfigDlg::Differs(int family, int position) {
    return editCopy(family, position).profiles != appliedCopy(family, position).profiles;
}

std::string CConfigDlg::UnsavedEditsText(int family, int first, int last) {
    const std::string format =
        skin::GetSkinText(skin::skinDocument(skin::SkinDocument::Strings), "MAIN", kTitleFormatKeys[family]);
    const devicecontrol::IdentityTable& table = m_identities[family];
    std::string text;
    for (int position = std::max(first, 0); position <= last && position < kMaxDevices; ++position) {
        if (!Differs(family, position)) continue;
        const bool known = static_cast<std::size_t>(position) < table.size();
        text +=
            devicecontrol::DeviceTitle(known ? table[position] : devicecontrol::IdentityBlock{}, format, position + 1);
        if (known && devicecontrol::IsGroupMember(table[position])) text += "... ";
    }
    if (!text.empty()) text += ", ";
    return text;
}

int CConfigDlg::ConfirmDiscard(int family, int position) {
    m_checking = true;
    std::string text;
    if (DeviceCount(family) >= 2 && Differs(m_currentFamily, m_currentDevice))
        text = UnsavedEditsText(m_currentFamily, m_currentDevice, m_currentDevice);
    int result = 1;
    if (!text.empty()) {
        if (ShowWarning("NO_SAVE", text) == skin::kResultOk) {
            editCopy(family, position) = appliedCopy(family, position);
            if (family == m_currentFamily && position == m_currentDevice) currentPage().ReloadControls();
        } else {
            result = 0;
        }
    }
    m_checking = false;
    const int pending = m_pendingGroupPosition;
    m_pendingGroupPosition = -1;
    if (pending >= 0 && result == 1) ToggleGroupMember(m_pendingGroupFamily, pending);
    return result;
}

// ---- Apply, profiles, reset

void CConfigDlg::CopyToGroup(int family, int from, bool profileOnly) {
    const devicecontrol::IdentityTable& table = m_identities[family];
    const effects::LedProfileSet& source = editCopy(family, from);
    const bool member = static_cast<std::size_t>(from) < table.size() && devicecontrol::IsGroupMember(table[from]);
    if (!member) {
        if (profileOnly)
            appliedCopy(family, from).selected() = source.selected();
        else
            appliedCopy(family, from) = source;
        return;
    }
    const int members = std::min({DeviceCount(family), static_cast<int>(table.size()), kMaxDevices});
    for (int position = 0; position < members; ++position) {
        if (!devicecontrol::IsGroupMember(table[static_cast<std::size_t>(position)]) || position == from) continue;
        if (profileOnly) {
            editCopy(family, position).selected() = source.selected();
            appliedCopy(family, position).selected() = source.selected();
        } else {
            editCopy(family, position) = source;
            appliedCopy(family, position) = source;
        }
    }
    if (profileOnly)
        appliedCopy(family, from).selected() = source.selected();
    else
        appliedCopy(family, from) = source;
}

void CConfigDlg::Apply() {
    m_busy = true;
    m_applyProgress.clear();
    m_progress.SetProgress(0);
    m_progress.show();
    m_progress.raise();
    currentPage().hide();
    m_minimise.hide();
    m_close.hide();
    for (skin::CBitmapBtn& button : m_viewButtons) button.hide();

    effects::LedProfileSet& set = editCopy(m_currentFamily, m_currentDevice);
    appliedCopy(m_currentFamily, m_currentDevice) = set;
    platform::SingleInstanceLock controllers;
    const bool locked = devicecontrol::LockControllers(controllers);
    const int failed = !locked ? 1
                               : devicecontrol::ApplyConfiguration(
                                     applicationLink(m_currentFamily), familyOf(m_currentFamily), set,
                                     currentPage().editorState(),
                                     [&](int value) {
                                         if (value == 100) return;  // shown below, after the pauses
                                         m_applyProgress.push_back(value);
                                         m_progress.SetProgress(value);
                                         if (value == 10 || value == 90) std::this_thread::sleep_for(1ms);
                                         if (value == 90) platform::pumpEvents(1);
                                     },
                                     currentPage().chromaHost());
    controllers.release();
    CopyToGroup(m_currentFamily, m_currentDevice, false);
    m_lastAppliedProfile = appliedCopy(m_currentFamily, m_currentDevice).selectedProfile;
    std::this_thread::sleep_for(50ms);
    m_applyProgress.push_back(100);
    m_progress.SetProgress(100);
    std::this_thread::sleep_for(100ms);
    m_progress.hide();
    currentPage().ReloadControls();
    ShowView(m_currentView);
    m_minimise.show();
    m_close.show();
    for (skin::CBitmapBtn& button : m_viewButtons) button.show();
    m_busy = false;
    // The user must not believe the card runs what the window shows.
    if (failed != 0) ShowWarning("APPLY_FAIL", "");
}

void CConfigDlg::SelectProfile(int profile) {
    m_busy = true;
    effects::LedProfileSet& set = editCopy(m_currentFamily, m_currentDevice);
    set.selectedProfile = static_cast<std::uint8_t>(profile);
    CLedPage& page = currentPage();
    page.ReloadControls();
    devicecontrol::PreviewEffect(applicationLink(m_currentFamily), set, page.editorState(), page.chromaHost());
    m_busy = false;
}

void CConfigDlg::ResetProfile(int lParam) {
    const int profile = lParam & 0xFFFF;
    const bool zelvor = (lParam >> 16) == 1;
    effects::LedProfile& edited = editCopy(m_currentFamily, m_currentDevice).selected();
    effects::ResetProfile(edited);
    m_busy = true;
    devicelink::CUSBDriver& link = applicationLink(m_currentFamily);
    int failed = 1;
    {
        platform::SingleInstanceLock controllers;
        if (devicecontrol::LockControllers(controllers))
            failed = zelvor ? devicecontrol::ZelvorSync(link, edited) : devicecontrol::ResetAll(link, edited);
    }
    RunLoading(profile, m_currentDevice, m_currentFamily);
    CopyToGroup(m_currentFamily, m_currentDevice, true);
    platform::postMessage(this, {kMsgSelectProfile, reinterpret_cast<std::uintptr_t>(this), profile});
    m_busy = false;
    if (failed != 0) ShowWarning("APPLY_FAIL", "");
}

int CConfigDlg::RunLoading(int profile, int position, int family) {
    skin::CLoadingDlg loading(this);
    loading.setJob(
        [this](skin::CLoadingDlg& popup, int profileNumber, int at, int familyNumber) {
            devicecontrol::ReadBackRequest request;
            request.family = familyOf(familyNumber);
            request.position = at;
            request.profileNumber = profileNumber;
            request.setProgress = [&popup](int value) { popup.SetProgress(value); };
            request.dispatchPending = [] { platform::pumpEvents(1); };
            return devicecontrol::LoadDeviceSettings(applicationLink(familyNumber), request, editCopy(familyNumber, at),
                                                     m_lastAppliedProfile);
        },
        profile, position, family);
    return loading.exec();
}

// ---- plug handling

bool CConfigDlg::AnyDevice() {
    for (int instance = 0; instance < 4; ++instance)
        if (m_links.linkOfInstance(instance)->deviceCount() > 0) return true;
    return false;
}

void CConfigDlg::OnDevicePlug(std::uintptr_t wParam, std::intptr_t lParam) {
    // Closing links report their controllers gone; the window has ended by then.
    if (m_closing || m_ended) return;
    const int instance = static_cast<int>(wParam & 0xFFFF);
    const int position = static_cast<int>((wParam >> 16) & 0xFFFF);
    if (instance > 3) return;
    const int family = instance / 2;
    const bool bootLoader = instance % 2 == 1;
    platform::DebugTrace("onDevicePlug: %s", lParam == 1 ? "OPEN" : "CLOSE");
    for (int f = 0; f < kFamilies; ++f)
        devicecontrol::RefreshDeviceIdentities(applicationLink(f), DeviceCount(f), m_identities[f]);
    if (lParam != 1) {
        OnDeviceRemoval(instance, family, position, bootLoader);
        return;
    }
    if (m_popupPending) {
        m_plugQueue.append({instance, position, 1});
        setWindowTimer(kTimerPlugQueue, 1000ms);
        return;
    }
    if (bootLoader) {
        const int result = ShowFirmwareInformation(m_links.linkOfInstance(instance), family, position);
        // The program does not run with a controller in its boot loader.
        if (result != CInfoDlg::kResultUpdate) platform::postMessage(this, {kWmClose, 0, 0});
        return;
    }
    OnDeviceArrival(family, position);
}

void CConfigDlg::OnDeviceArrival(int family, int position) {
    // The records hold 20 devices per family; further controllers are not loaded.
    if (position >= kMaxDevices) return;
    devicelink::CUSBDriver& link = applicationLink(family);
    {
        CInfoDlg check(this);
        check.setDevice(&link, familyOf(family), position);
        if (check.FirmwareCheck() < 0) {
            m_popupPending = true;
            platform::DebugTrace("Post Show Info");
            const int result = ShowFirmwareInformation(&link, family, position);
            m_popupPending = false;
            if (result == skin::kResultCancel || result == CInfoDlg::kResultUpdate) {
                platform::postMessage(this, {kWmClose, 0, 0});
                return;
            }
        }
    }
    if (m_closing) return;
    // A load that is still running runs further down this thread's stack (this
    // message came through its loading pop-up) and cannot end before this
    // handler returns: waiting for it would only add its whole time limit, so
    // this load nests at once, as it would after that limit.
    m_loading = m_busy = true;
    if (m_closing) return;
    devicecontrol::PrepareArrivedDevice(link, position);
    RunLoading(-1, position, family);
    if (m_closing) return;
    platform::DebugTrace("Load Dev Info Finish");
    appliedCopy(family, position) = editCopy(family, position);
    link.SetControlMode(0, position);
    link.SetControlMode(128, position);
    m_loading = m_busy = false;
    m_deferredFamily = family;
    m_deferredPosition = position;
    setWindowTimer(kTimerDeferredSelection, 5ms);
    platform::DebugTrace("PutSettingToControl Finish");
    if (QWidget* popup = skin::findWindow(QString::fromUtf8(skin::kPopupTitle)))
        platform::postEvent(popup, new QCloseEvent);
}

void CConfigDlg::OnDeviceRemoval(int instance, int family, int position, bool bootLoader) {
    if (!bootLoader) {
        const int count = DeviceCount(family);
        if (count > 0) {
            if (position < count) {
                devicecontrol::RemoveRecordAt(m_edit[family], position);
                devicecontrol::RemoveRecordAt(m_applied[family], position);
            }
            if (family == m_currentFamily) {
                SelectDevice(std::min(m_currentDevice, count - 1), family);
            } else {
                // A controller of the other family left: the page shown stays.
                m_lastDevice[family] = std::min(m_lastDevice[family], count - 1);
                m_deviceMenus[family]->Select(m_lastDevice[family]);
                RefreshDeviceMenus();
            }
            return;
        }
        m_plugQueue.removeArrival(instance, position);
        RefreshDeviceMenus();
        // The page of a family without controllers gives way to the other family's.
        const int other = 1 - family;
        if (family == m_currentFamily && applicationLink(other).deviceCount() > 0)
            SelectDevice(m_lastDevice[other], other);
    } else {
        m_plugQueue.removeArrival(instance, position);
    }
    LastDeviceCheck();
}

void CConfigDlg::LastDeviceCheck() {
    if (AnyDevice() || !m_deviceCheck) return;
    if (m_noDeviceWarningShown && skin::findWindow(QString::fromUtf8(skin::kPopupTitle))) return;
    platform::postMessage(this, {kWmClose, 0, 0});
}

// ---- firmware

int CConfigDlg::ShowFirmwareInformation(devicelink::CUSBDriver* link, int family, int position) {
    if (!link) link = &applicationLink(family);
    platform::DebugTrace("Ready Show Info");
    const QString popupTitle = QString::fromUtf8(skin::kPopupTitle);
    if (QWidget* popup = skin::findWindow(popupTitle)) {
        m_noDeviceWarningShown = false;
        platform::postEvent(popup, new QCloseEvent);
        for (int i = 0; i < 20 && skin::findWindow(popupTitle); ++i) {
            platform::pumpEvents(1);
            std::this_thread::sleep_for(5ms);
        }
    }
    platform::DebugTrace("Ready Show Info - Close Warn Finished");
    if (m_updaterStarted) return skin::kResultOk;
    CInfoDlg info(this);
    info.setDevice(link, familyOf(family), position);
    info.setBootLoaderMode(link == &m_links.link(familyOf(family), LinkMode::BootLoader));
    int result = 0;
    if (isVisible()) {
        platform::DebugTrace("Show Info DoModal");
        skin::CDlgLoading cover(this, skinFolder(), info);
        result = cover.runBeside();
        platform::DebugTrace("Exit Show Info");
    } else {
        result = info.exec();
    }
    if (result == CInfoDlg::kResultUpdate) {
        LaunchUpdater(position, family);
        m_updaterStarted = true;
    }
    return result;
}

void CConfigDlg::LaunchUpdater(int position, int family) {
    m_closing = true;
    if (position < 0) position = m_currentDevice;
    const std::string updater = devicecontrol::UpdaterPath(skin::skinProgramFolder(), familyOf(family));
    const std::string program = QFileInfo(QCoreApplication::applicationFilePath()).fileName().toStdString();
    raise();
    activateWindow();
    platform::startDetached(updater, {"dev:" + std::to_string(position + 1), "true", "../" + program});
    platform::postMessage(this, {kWmClose, 0, 0});
}

// ---- messages and timers

std::intptr_t CConfigDlg::onMessage(const platform::WindowMessage& message) {
    switch (message.id) {
    case kMsgApply: Apply(); return 0;
    case devicelink::kMsgPlug: OnDevicePlug(message.wParam, message.lParam); return 0;
    case devicelink::kMsgDeviceEvent: return 0;
    case kMsgSelectProfile: SelectProfile(static_cast<int>(message.lParam)); return 0;
    case kMsgResetProfile: ResetProfile(static_cast<int>(message.lParam)); return 0;
    case kMsgSelectDevice: SelectDevice(static_cast<int>(message.wParam), static_cast<int>(message.lParam)); return 0;
    case kMsgStartUpdater:
        LaunchUpdater(static_cast<int>(static_cast<std::intptr_t>(message.wParam)), message.lParam == 0 ? 0 : 1);
        return 0;
    case kWmClose: close(); return 0;
    case kMsgRenameDone:
        if (m_rename && message.wParam == reinterpret_cast<std::uintptr_t>(m_rename.get())) FinishRename();
        return 0;
    case skin::kMenuClick:
    case kMsgLed5MenuClick: {
        const int index = static_cast<int>(skin::highWord(static_cast<std::uintptr_t>(message.lParam))) -
                          static_cast<int>(kItemCommandBase);
        if (index >= 0 && index <= 99) OnMenuItem(message.id == skin::kMenuClick ? 0 : 1, index);
        return 0;
    }
    case skin::kMenuRightClick:
    case kMsgLed5MenuPart: {
        const int family = message.id == skin::kMenuRightClick ? 0 : 1;
        const int index = static_cast<int>(skin::highWord(message.wParam));
        if (skin::lowWord(static_cast<std::uintptr_t>(message.lParam)) == 1)
            ToggleGroupMember(family, index);
        else
            OnMenuItem(family, index);
        return 0;
    }
    case skin::kWmCommand: break;
    default: return 0;
    }
    const auto* sender = reinterpret_cast<const QWidget*>(message.lParam);
    const unsigned code = skin::highWord(message.wParam);
    for (int family = 0; family < kFamilies; ++family) {
        if (sender != &m_deviceButtons[family]) continue;
        if ((code == skin::kListItemCode || code == skin::kRightButtonCode) && skin::lowWord(message.wParam) == 1) {
            if (family == m_currentFamily) ToggleGroupAll(family);
        } else if (code == skin::kBnClicked && ConfirmDiscard(m_currentFamily, m_currentDevice) == 1) {
            SelectDevice(m_lastDevice[family], family);
        }
        return 0;
    }
    if (code != skin::kBnClicked) return 0;
    if (sender == &m_minimise) showMinimized();
    if (sender == &m_close) CloseButton();
    for (int view = 0; view < 3; ++view)
        if (sender == &m_viewButtons[view]) ShowView(view);
    return 0;
}

void CConfigDlg::onTimer(unsigned id) {
    if (id == kTimerPlugQueue) {
        devicecontrol::DEV_PLUG_INFO info;
        if (!m_popupPending && m_plugQueue.takeOldest(info))
            platform::postMessage(this, {devicelink::kMsgPlug, devicecontrol::PlugWord(info.position, info.instance),
                                         info.event});
        else if (m_plugQueue.empty())
            killWindowTimer(kTimerPlugQueue);
        return;
    }
    if (id == kTimerDeferredSelection) {
        if (m_busy || !m_plugQueue.empty()) return;
        killWindowTimer(kTimerDeferredSelection);
        SelectDevice(m_deferredPosition, m_deferredFamily);
        devicelink::CUSBDriver& link = applicationLink(m_deferredFamily);
        link.SetControlMode(0, m_deferredPosition);
        link.SetControlMode(128, m_deferredPosition);
        currentPage().ReloadControls();
        return;
    }
    killWindowTimer(id);
}

// ---- closing

void CConfigDlg::CloseButton() {
    for (int family = 0; family < kFamilies; ++family) {
        bool changed = false;
        for (int position = 0; position < kMaxDevices; ++position)
            changed = changed || !(m_edit[family][position] == m_applied[family][position]);
        const int count = DeviceCount(family);
        if (!changed || count < 2) continue;
        const std::string text = UnsavedEditsText(family, 0, count - 1);
        if (!text.empty() && ShowWarning("NO_SAVE", text) != skin::kResultOk) return;
    }
    platform::postMessage(this, {kWmClose, 0, 0});
}

void CConfigDlg::CloseWarningPopups() {
    const QString title = QString::fromUtf8(skin::kPopupTitle);
    for (int i = 0; i < 3; ++i) {
        QWidget* popup = skin::findWindow(title);
        if (!popup) break;
        platform::postEvent(popup, new QCloseEvent);
        std::this_thread::sleep_for(10ms);
    }
}

void CConfigDlg::closeEvent(QCloseEvent* event) {
    CloseWarningPopups();
    skin::CBaseDlg::closeEvent(event);
}

void CConfigDlg::done(int result) {
    skin::CBaseDlg::done(result);
    if (m_ended) return;
    m_ended = true;
    ExitSequence();
}

void CConfigDlg::ExitSequence() {
    killWindowTimer(kTimerDeferredSelection);
    killWindowTimer(kTimerPlugQueue);
    // The updater takes the controllers over: they get no exit sequence then.
    if (!m_closing && m_lastAppliedProfile == 0) {
        for (Family family : {Family::Standard, Family::Led5}) {
            devicelink::CUSBDriver& link = m_links.link(family);
            devicecontrol::SendExitSequence(link);
            link.CloseDriver();
        }
    }
    for (int& font : m_fonts) skin::RemovePrivateFont(font);
    platform::DebugTrace("Destroy App");
    for (int instance = 0; instance < 4; ++instance) m_links.linkOfInstance(instance)->CloseDriver();
}

// ---- painting

void CConfigDlg::DrawOverlay(QPainter& painter) {
    painter.setPen(Qt::white);
    skin::DrawSkinString(painter, "MAIN", "STR_DEV_LIST",
                         skin::kTextCenter | skin::kTextVCenter | skin::kTextEndEllipsis);
}

void CConfigDlg::paintEvent(QPaintEvent* event) {
    if (m_shape.isEmpty()) {
        skin::CBaseDlg::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setClipRegion(m_shape);
    painter.drawImage(QPoint(0, 0), m_normal);
    DrawOverlay(painter);
}
