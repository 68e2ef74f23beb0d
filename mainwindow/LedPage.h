#pragma once

#include "devicelink/ControllerKinds.h"
#include "effects/EffectModel.h"
#include "skin/BaseDlg.h"

namespace devicelink {
class CUSBDriver;
}
namespace devicecontrol {
class ChromaHost;
}

// The place of a family's effect editor page in the main window: the page's
// skin at the skin's page position, the records of the device it shows and
// what the page keeps beside them. The editor page derives from it.
class CLedPage : public skin::CBaseDlg {
public:
    CLedPage(devicelink::Family family, QWidget* parent = nullptr);

    devicelink::Family family() const { return m_family; }
    void setLink(devicelink::CUSBDriver* link) { m_link = link; }
    devicelink::CUSBDriver* link() const { return m_link; }

    // The edit copy and the applied copy of the device shown.
    void setRecords(effects::LedProfileSet* edit, effects::LedProfileSet* applied);
    effects::LedProfileSet* editRecord() const { return m_edit; }
    effects::LedProfileSet* appliedRecord() const { return m_applied; }
    effects::EditorState& editorState() { return m_state; }
    const effects::EditorState& editorState() const { return m_state; }

    // Shows the records again after they changed behind the page's back.
    virtual void ReloadControls();
    // What starts and stops the page's Chroma bridge in previews, if it has one.
    virtual devicecontrol::ChromaHost* chromaHost() { return nullptr; }

private:
    devicelink::Family m_family;
    devicelink::CUSBDriver* m_link = nullptr;
    effects::LedProfileSet* m_edit = nullptr;
    effects::LedProfileSet* m_applied = nullptr;
    effects::EditorState m_state;
};
