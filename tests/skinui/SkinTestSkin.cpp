#include "SkinTestSkin.h"

#include "skin/MessageBox.h"
#include "skin/SkinDocuments.h"

#include <QApplication>
#include <QDir>

#include <gtest/gtest.h>

namespace skintest {

QImage solid(int width, int height, QRgb colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

void savePicture(const QImage& image, const std::string& path) {
    ASSERT_TRUE(image.save(QString::fromStdString(path)));
}

void mouse(QWidget& widget, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), QPointF(widget.mapToGlobal(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

void SkinTest::SetUp() {
    programFolder = home.path("program/");
    QDir().mkpath(QString::fromStdString(programFolder + "Skins/PopDlg"));
    QDir().mkpath(QString::fromStdString(programFolder + "Skins/1920x1080"));
    const std::string pop = programFolder + "Skins/PopDlg/";
    savePicture(solid(400, 600, kNormal), pop + "Normal.png");
    savePicture(solid(400, 600, kOver), pop + "Over.png");
    savePicture(solid(400, 600, kDown), pop + "Down.png");
    savePicture(solid(400, 600, kDisable), pop + "Disable.png");
    QImage mask = solid(400, 600, 0xFFFFFFFF);
    for (int y = 10; y < 590; ++y)
        for (int x = 10; x < 390; ++x) mask.setPixel(x, y, 0xFF000000);
    savePicture(mask, pop + "Mask.bmp");
    savePicture(solid(8, 8, 0xFFFFFFFF), pop + "White.bmp");
    savePicture(solid(400, 96, kNormal), programFolder + "Skins/BandNormal.png");
    savePicture(solid(400, 96, kOver), programFolder + "Skins/BandOver.png");
    const std::string window =
        "<MASK>Mask.bmp</MASK><NORMAL>Normal.png</NORMAL><OVER>Over.png</OVER>"
        "<DOWN>Down.png</DOWN><DISABLE>Disable.png</DISABLE>";
    testsupport::writeFileBytes(programFolder + "Skins.xml",
                                "<Skins><WarnDlg>" + window + "</WarnDlg><LOAD_KEYBOARD>" + window +
                                    "</LOAD_KEYBOARD><WHITE><MASK>White.bmp</MASK><NORMAL>Normal.png</NORMAL>"
                                    "</WHITE><LOADING><NORMAL>BandNormal.png</NORMAL><OVER>BandOver.png</OVER>"
                                    "</LOADING></Skins>");
    testsupport::writeFileBytes(programFolder + "Strings.xml",
                                "<Strings><GLOBAL><FONT>Noto Sans</FONT><FONT_SIZE>18</FONT_SIZE></GLOBAL>"
                                "<WarnDlg><BUTTON_OK>OK</BUTTON_OK><BUTTON_CANCEL>Cancel</BUTTON_CANCEL></WarnDlg>"
                                "<NO_SAVE><STR_TITLE>Unsaved</STR_TITLE><STR_WARN>Discard?</STR_WARN></NO_SAVE>"
                                "</Strings>");
    testsupport::writeFileBytes(
        programFolder + "Skins/1920x1080/Buttons.xml",
        "<Buttons><WarnDlg><BUTTON_OK SIZE=\"20\">BUTTON_OK,20,500,100,40,,FALSE</BUTTON_OK>"
        "<BUTTON_CANCEL>BUTTON_CANCEL,140,500,100,40,,FALSE</BUTTON_CANCEL>"
        "<BUTTON_CLOSE>BUTTON_CLOSE,350,10,30,30,,FALSE</BUTTON_CLOSE>"
        "<TOGGLE>TOGGLE,20,20,100,40,,TRUE</TOGGLE><PUSH OFFSETX=\"7\">PUSH,20,80,100,40,,FALSE</PUSH>"
        "<SLIDER_R>SLIDER_R,0,200,200,30,,FALSE</SLIDER_R></WarnDlg>"
        "<NO_SAVE><STR_TITLE>STR_TITLE,0,0,400,60,,FALSE</STR_TITLE>"
        "<STR_WARN COLOR=\"16777215\">STR_WARN,0,100,400,200,,FALSE</STR_WARN></NO_SAVE>"
        "<LOADING><PROGRESS>72</PROGRESS></LOADING></Buttons>");
    skin::setSkinProgramFolder(programFolder);
    skin::LoadSkinDocuments(programFolder, "1920x1080/");
    skin::SetMessageBoxHandler([](QWidget*, const std::string& text) { ADD_FAILURE() << "message box: " << text; });
}

void SkinTest::TearDown() {
    skin::SetMessageBoxHandler({});
    for (const auto which : {skin::SkinDocument::Skins, skin::SkinDocument::Strings, skin::SkinDocument::Buttons})
        skin::skinDocument(which) = xml::CXmlDoc();
    skin::setSkinProgramFolder({});
}

}  // namespace skintest
