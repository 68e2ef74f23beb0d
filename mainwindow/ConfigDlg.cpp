#include "mainwindow/ConfigDlg.h"

#include <QLabel>
#include <QVBoxLayout>

CConfigDlg::CConfigDlg(QWidget* parent) : platform::MessageWindow<QDialog>(parent) {
    setWindowTitle(QString::fromLatin1(kTitle));
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(tr("Lumenstra"), this);
    QFont headingFont = heading->font();
    headingFont.setPointSize(headingFont.pointSize() * 2);
    headingFont.setBold(true);
    heading->setFont(headingFont);
    m_status = new QLabel(this);
    m_controllers = new QLabel(this);
    m_controllers->setObjectName(QStringLiteral("controllers"));
    layout->addWidget(heading);
    layout->addWidget(m_status);
    layout->addWidget(m_controllers);
    layout->addStretch();
    resize(520, 260);
}

void CConfigDlg::showEvent(QShowEvent* event) {
    m_status->setText(tr("Skin set: %1\nController check: %2")
                          .arg(m_resolutionFolder, m_deviceCheck ? tr("on") : tr("off (nodev)")));
    platform::MessageWindow<QDialog>::showEvent(event);
    if (!m_linksOpened) openLinks();
}

void CConfigDlg::openLinks() {
    m_linksOpened = true;
    m_links.setOwner(this);
    m_links.openAll();
    showControllers();
}

std::intptr_t CConfigDlg::onMessage(const platform::WindowMessage& message) {
    if (message.id == devicelink::kMsgPlug) showControllers();
    return 0;
}

void CConfigDlg::showControllers() {
    static const char* const kLinkNames[] = {"Standard controller", "Standard controller, boot loader",
                                             "LED5 controller", "LED5 controller, boot loader"};
    QStringList lines;
    for (int instance = 0; instance < 4; ++instance) {
        devicelink::CUSBDriver& driver = *m_links.linkOfInstance(instance);
        for (int position = 0; position < driver.deviceCount(); ++position)
            lines << tr("%1 %2 (device ID %3)")
                         .arg(QString::fromLatin1(kLinkNames[instance]))
                         .arg(position + 1)
                         .arg(driver.devices()[position].DeviceId);
    }
    m_controllers->setText(lines.isEmpty() ? tr("No LED controller found.") : lines.join('\n'));
}
