#include "mainwindow/LedPage.h"

CLedPage::CLedPage(devicelink::Family family, QWidget* parent) : skin::CBaseDlg(parent), m_family(family) {
    setSection(family == devicelink::Family::Led5 ? "LED5" : "LED");
    setObjectName(QString::fromStdString(section()));
}

void CLedPage::setRecords(effects::LedProfileSet* edit, effects::LedProfileSet* applied) {
    m_edit = edit;
    m_applied = applied;
    ReloadControls();
}

void CLedPage::ReloadControls() { update(); }
