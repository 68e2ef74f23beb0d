#pragma once

#include "skin/Accessibility.h"
#include "skin/BaseDlg.h"
#include "skin/BitmapBtn.h"

#include <functional>
#include <string>

// The small skinned pop-ups: the warning, the loading pop-up, the progress
// band and the dimming cover shown behind a warning.
namespace skin {

inline constexpr const char* kPopupTitle = "Ostmar Pellan KV 6000 Series RGB_LED_WARN_DLG";
inline constexpr const char* kDimmingTitle = "DLGLoading";

constexpr int kResultOk = 1;
constexpr int kResultCancel = 2;

class CWarnDlg : public CBaseDlg {
public:
    explicit CWarnDlg(QWidget* parent = nullptr);

    // An empty button section means the dialog's own section.
    void SetSections(const std::string& section, const std::string& buttonSection);
    void SetMessage(const std::string& name) { m_message = name; }
    const std::string& message() const { return m_message; }
    void SetAffixes(const std::string& prefix, const std::string& suffix);

    CBitmapBtn& okButton() { return m_ok; }
    CBitmapBtn& cancelButton() { return m_cancel; }
    CBitmapBtn& closeButton() { return m_close; }
    // The drawn title and message, readable on the accessibility bus.
    const CSkinTextLabel& titleLabel() const { return m_titleLabel; }
    const CSkinTextLabel& messageLabel() const { return m_messageLabel; }

protected:
    void OnInitDialog() override;
    void LoadSkin() override;
    std::intptr_t onMessage(const platform::WindowMessage& message) override;

private:
    CSkinTextLabel m_titleLabel{this}, m_messageLabel{this};
    CBitmapBtn m_ok{this}, m_cancel{this}, m_close{this};
    std::string m_buttonSection = "WarnDlg";
    std::string m_message;
    std::string m_prefix, m_suffix;
};

// A progress band over the lower part of a pop-up: the over picture shows
// through for the done share of the width.
class CProgressBandDlg : public CBaseDlg {
public:
    explicit CProgressBandDlg(QWidget* parent = nullptr) : CBaseDlg(parent) {}
    // Repaints the band at once when the value changed.
    void SetProgress(int percent);
    int progress() const { return m_percent; }
    int bandTop() const { return m_bandTop; }

protected:
    void FreeStateImages() override;  // the over picture stays: it is the band
    void DrawOverlay(QPainter& painter) override;
    int m_bandTop = 0;

private:
    int m_percent = 0;
};

class CLoadingDlg : public CProgressBandDlg {
public:
    // The job gets the pop-up (for SetProgress) and its three parameters;
    // 0 means success.
    using Job = std::function<int(CLoadingDlg&, int, int, int)>;

    explicit CLoadingDlg(QWidget* parent = nullptr);
    void setJob(Job job, int first = -1, int second = -1, int third = 0);

protected:
    void OnInitDialog() override;
    void onTimer(unsigned id) override;

private:
    Job m_job;
    int m_parameters[3] = {-1, -1, 0};
};

class CProgressDlg : public CProgressBandDlg {
public:
    explicit CProgressDlg(QWidget* parent = nullptr);

protected:
    void LoadSkin() override;
};

// Dims the window it covers while it runs a pop-up (a warning, the firmware
// information); its result is the pop-up's, or -1 when the apply message ends it early.
class CDlgLoading : public platform::MessageWindow<QDialog> {
public:
    CDlgLoading(QWidget* covered, const std::string& coveredSkinFolder, QDialog& popup);
    int run();
    // Covers the window while the pop-up runs modally on its own; the pop-up's result.
    int runBeside();

protected:
    void showEvent(QShowEvent*) override;
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void onTimer(unsigned id) override;
    std::intptr_t onMessage(const platform::WindowMessage& message) override;

private:
    void LoadCover();
    QWidget* m_covered;
    std::string m_skinFolder;
    QDialog& m_popup;
    QImage m_picture;
    bool m_started = false;
};

// The warning `message` with the "WarnDlg" buttons, `suffix` after its text,
// over the dimmed `covered` window; how it ended (kResultOk when confirmed).
int ShowSkinnedWarning(QWidget* covered, const std::string& coveredSkinFolder, const std::string& message,
                       const std::string& suffix);

}  // namespace skin
