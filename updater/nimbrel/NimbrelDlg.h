#pragma once

#include "skin/Accessibility.h"
#include "skin/BaseDlg.h"
#include "skin/BitmapBtn.h"
#include "updater/UpdateProcedure.h"
#include "xml/XmlDoc.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>

#include <functional>
#include <string>
#include <vector>

// Nimbrel's window: which image fits the controller, the package's and the
// controller's versions, OK to update, the progress bar and the result
// pop-up. The update procedure does the work; the flashing reaches the window
// only through the procedure's posted messages.
namespace updater {

inline constexpr char kWarningTitle[] = "Halvern NIMBREL WARN";
inline constexpr unsigned kTimerShowSuccess = 4113;
inline constexpr unsigned kTimerShowFailure = 4114;
// Result pop-up codes.
inline constexpr int kWarningLayoutError = 0;
inline constexpr int kWarningSuccess = 1;
inline constexpr int kWarningFailed = 2;
inline constexpr int kWarningError = 3;

const char* WarningText(int code);

// The window's skin: Layout.xml and the pictures beside it.
struct NimbrelSkin {
    xml::CXmlDoc layout;
    std::string folder;  // ends with '/'
    // False when the layout cannot be read.
    bool load(const std::string& skinFolder);
    QRect rect(const std::string& section, const std::string& key);
};

// The result pop-up: a code chooses its text, the SUCCESS or FAIL section its
// buttons and look. `detail` is an optional second line.
class CWarning : public skin::CBaseDlg {
public:
    CWarning(NimbrelSkin& skin, int code, const std::string& detail, QWidget* parent);
    int code() const { return m_code; }
    skin::CBitmapBtn& okButton() { return m_ok; }
    skin::CBitmapBtn& closeButton() { return m_close; }
    const skin::CSkinTextLabel& textLabel() const { return m_text; }

protected:
    void LoadSkin() override;
    void DrawOverlay(QPainter& painter) override;
    std::intptr_t onMessage(const platform::WindowMessage& message) override;

private:
    NimbrelSkin& m_skin;
    int m_code;
    std::string m_detail;
    std::string m_section;
    skin::CSkinTextLabel m_text{this};
    skin::CBitmapBtn m_ok{this}, m_close{this};
};

// The progress bar in the skin's pictures; a QProgressBar so that assistive
// technology reads its value.
class CNimbrelProgress : public QProgressBar {
public:
    explicit CNimbrelProgress(QWidget* parent) : QProgressBar(parent) {}
    void setPictures(QImage empty, QImage full, QImage icon);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QImage m_empty, m_full, m_icon;
};

class CNimbrelDlg : public skin::CBaseDlg, public UpdateHost {
public:
    CNimbrelDlg(const FirmwarePackage& package, const NimbrelOptions& options, const std::string& skinFolder,
                QWidget* parent = nullptr);
    ~CNimbrelDlg() override;

    // False when the skin could not be read: the window cannot be shown.
    bool skinLoaded() const { return m_skinLoaded; }
    // The relaunch path is taken relative to this folder (the program's).
    void setRelaunchFolder(const std::string& folder) { m_relaunchFolder = folder; }
    // Opens the links; the plug reports drive the rest. False when the
    // program ends at once (exitCode() says why).
    bool start();
    int exitCode() const { return m_exitCode; }
    // Runs once with the exit code when the window ends.
    void setFinished(std::function<void(int)> finished) { m_finished = std::move(finished); }
    bool ended() const { return m_ended; }

    UpdateProcedure& procedure() { return m_procedure; }
    skin::CBitmapBtn& okButton() { return m_ok; }
    skin::CBitmapBtn& cancelButton() { return m_cancel; }
    skin::CBitmapBtn& closeButton() { return m_close; }
    QComboBox& groupSelector() { return m_selector; }
    QLabel& groupLabel() { return m_selectorLabel; }
    QCheckBox& forceBox() { return m_force; }
    CNimbrelProgress& progressBar() { return m_progress; }
    const skin::CSkinTextLabel& textLabel(const std::string& key) const;
    // The result pop-up while it is open.
    CWarning* warning() const { return m_warning; }

    // UpdateHost
    void showMessage(const std::string& text) override;
    void refused(const Refusal& refusal) override;
    void setControlState(bool updating, bool connected) override;
    void repaint() override;
    void setProgress(int percent) override;
    void updateEnded(bool success, const std::string& reason) override;
    void close(int exitCode) override;
    void reportSilently(const std::string& text) override;

protected:
    void LoadSkin() override;
    void FreeStateImages() override {}
    void DrawOverlay(QPainter& painter) override;
    std::intptr_t onMessage(const platform::WindowMessage& message) override;
    void onTimer(unsigned id) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct Text {
        std::string key;
        skin::CSkinTextLabel* label;
    };
    void onOk();
    void showResult(bool success);
    void showWarning(int code, const std::string& detail, std::function<void()> then);
    void end(int exitCode);
    void fillSelector();
    void updateTexts();

    NimbrelSkin m_skin;
    bool m_skinLoaded = false;
    const FirmwarePackage& m_package;
    std::string m_relaunchFolder;
    skin::CBitmapBtn m_ok{this}, m_cancel{this}, m_close{this};
    QLabel m_selectorLabel{this};
    QComboBox m_selector{this};
    QCheckBox m_force{this};
    CNimbrelProgress m_progress{this};
    skin::CSkinTextLabel m_title{this}, m_product{this}, m_caption1{this}, m_caption2{this}, m_caption3{this},
        m_layoutText{this}, m_versionText{this}, m_currentVersionText{this};
    std::vector<Text> m_texts;
    QPointer<CWarning> m_warning;
    bool m_updating = false;
    bool m_ended = false;
    int m_exitCode = 0;
    std::string m_failureReason;
    std::function<void(int)> m_finished;
    // Declared last: its links post to it until it is gone, before the controls.
    UpdateProcedure m_procedure;
};

}  // namespace updater
