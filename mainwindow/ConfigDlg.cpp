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
    layout->addWidget(heading);
    layout->addWidget(m_status);
    resize(480, 200);
}

void CConfigDlg::showEvent(QShowEvent* event) {
    m_status->setText(tr("Skin set: %1\nController check: %2")
                          .arg(m_resolutionFolder, m_deviceCheck ? tr("on") : tr("off (nodev)")));
    platform::MessageWindow<QDialog>::showEvent(event);
}
