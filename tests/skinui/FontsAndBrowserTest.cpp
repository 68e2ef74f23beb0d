#include "SkinTestSkin.h"

#include "skin/ColorPicker.h"
#include "skin/MessageBox.h"
#include "skin/PrivateFonts.h"
#include "skin/SkinMessages.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QKeyEvent>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

namespace skintest {
namespace {

TEST(PrivateFonts, InstallsTheCarriedFacesAndReportsAHeldHolder) {
    std::vector<std::string> boxes;
    skin::SetMessageBoxHandler([&](QWidget*, const std::string& text) { boxes.push_back(text); });
    int holders[3] = {skin::kNoFont, skin::kNoFont, skin::kNoFont};
    const int ids[3] = {skin::kFontCondensedMedium, skin::kFontCondensedBook, skin::kFontNotoSans};
    for (int i = 0; i < 3; ++i) skin::LoadPrivateFont(ids[i], holders[i]);
    EXPECT_TRUE(boxes.empty());
    QStringList families;
    for (const int holder : holders) {
        ASSERT_NE(holder, skin::kNoFont);
        families += QFontDatabase::applicationFontFamilies(holder);
    }
    EXPECT_TRUE(families.contains("Noto Sans"));
    EXPECT_TRUE(families.contains("Roboto Condensed"));

    const int first = holders[2];
    skin::LoadPrivateFont(skin::kFontNotoSans, holders[2]);
    EXPECT_EQ(boxes, std::vector<std::string>{"Font hande is not null!!"});
    EXPECT_NE(holders[2], skin::kNoFont);
    EXPECT_NE(holders[2], first);
    QFontDatabase::removeApplicationFont(first);
    for (int& holder : holders) {
        skin::RemovePrivateFont(holder);
        EXPECT_EQ(holder, skin::kNoFont);
    }
    int missing = skin::kNoFont;
    skin::LoadPrivateFont(999, missing);
    EXPECT_EQ(missing, skin::kNoFont);
    skin::SetMessageBoxHandler({});
}

class BrowserTest : public testsupport::IsolatedTest {
protected:
    void SetUp() override { savedPath = qgetenv("PATH"); }
    void TearDown() override { qputenv("PATH", savedPath); }
    QByteArray savedPath;
};

TEST_F(BrowserTest, StartsXdgOpenWithTheAddressOrFails) {
    const std::string bin = home.path("bin");
    const std::string log = home.path("opened.txt");
    QDir().mkpath(QString::fromStdString(bin));
    testsupport::writeFileBytes(bin + "/xdg-open", "#!/bin/sh\nprintf '%s|' \"$@\" > '" + log + ".part'\n/bin/mv '" +
                                                       log + ".part' '" + log + "'\n");
    QFile::setPermissions(QString::fromStdString(bin + "/xdg-open"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("PATH", QByteArray::fromStdString(bin));
    EXPECT_EQ(skin::OpenInBrowser("https://example.org/a b"), 0);
    for (int i = 0; i < 200 && !QFile::exists(QString::fromStdString(log)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(testsupport::readFileBytes(log), "https://example.org/a b|");

    qputenv("PATH", QByteArray::fromStdString(home.path("empty")));
    EXPECT_EQ(skin::OpenInBrowser("https://example.org/"), -1);
}

// ---- colour picker windows

class PickedRecorder : public skin::ColorPickedReceiver {
public:
    void OnColorPicked(skin::ColorRef colour) override { picked.push_back(colour); }
    std::vector<skin::ColorRef> picked;
};

TEST(ColorPicker, PlaneSliderAndWellStayInStep) {
    Recorder page;
    PickedRecorder owner;
    skin::GTColorSelectorWnd selector;
    skin::GTColorSliderWnd slider;
    skin::GTColorWellWnd well(&page);
    ASSERT_EQ(selector.CreateSelector(&page, 0, 0, 206, 106), 1);
    ASSERT_EQ(slider.CreateSlider(&page, 0, 120, 206, 150), 1);
    ASSERT_EQ(well.CreateWell(220, 0, 260, 40, &owner), 1);
    selector.setLinks(&slider, &well);
    slider.setLinkedSelector(&selector);
    well.setSource(&selector);
    selector.SetMode(3);
    slider.SetMode(3);
    slider.setKeyboardEnabled(false);

    selector.SetSelectedColour(skin::makeColorRef(0, 0, 255));
    ASSERT_EQ(owner.picked, std::vector<skin::ColorRef>{skin::makeColorRef(0, 0, 255)});
    EXPECT_EQ(slider.position(), 2400);  // the hue reached the slider
    const std::size_t pageNotices = page.messages.size();
    EXPECT_EQ(pageNotices, 1u);
    selector.SetSelectedColour(skin::makeColorRef(0, 0, 255));  // the same colour: nothing
    EXPECT_EQ(owner.picked.size(), 1u);
    EXPECT_EQ(page.messages.size(), pageNotices);

    // Dragging to the bottom-left corner picks black.
    mouse(selector, QEvent::MouseButtonPress, {3, 103}, Qt::LeftButton, Qt::LeftButton);
    mouse(selector, QEvent::MouseButtonRelease, {3, 103}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(selector.GetSelectedColour(), skin::makeColorRef(0, 0, 0));
    EXPECT_EQ(owner.picked.back(), skin::makeColorRef(0, 0, 0));

    // Keys on a slider whose keyboard input is off do nothing.
    const int before = slider.position();
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
    QApplication::sendEvent(&slider, &end);
    EXPECT_EQ(slider.position(), before);

    // A slider position beyond the fixed component's range is ignored.
    skin::GTColorSliderWnd wide;
    wide.CreateSlider(&page, 0, 160, 206, 190);
    wide.setLinkedSelector(&selector);
    selector.setLinks(&wide, nullptr);
    selector.SetMode(0);
    wide.SetMode(0);
    QApplication::sendEvent(&wide, &end);
    EXPECT_EQ(selector.state().fixed, 255);
    wide.SetMode(3);
    QApplication::sendEvent(&wide, &end);
    EXPECT_EQ(wide.position(), 3599);
    EXPECT_EQ(selector.state().fixed, 255);
}

TEST(ColorPicker, AVerticalBarTakesItsValueFromTheHeight) {
    Recorder page;
    skin::GTColorSelectorWnd selector;
    skin::GTColorSliderWnd bar;
    selector.CreateSelector(&page, 0, 0, 206, 106);
    bar.CreateSlider(&page, 220, 0, 260, 300);
    bar.SetVertical(true);
    selector.setLinks(&bar, nullptr);
    bar.setLinkedSelector(&selector);
    selector.SetMode(3);
    bar.SetMode(3);
    selector.SetSelectedColour(skin::makeColorRef(255, 0, 0));
    const QRect inner = bar.innerBar();
    ASSERT_GT(inner.height(), inner.width());
    // The hue runs from top to bottom: red at the top, not half way down.
    const QImage shown = bar.grab().toImage();
    EXPECT_GT(shown.pixelColor(inner.center().x(), inner.top() + 1).red(), 200);
    EXPECT_LT(shown.pixelColor(inner.center().x(), inner.center().y()).red(), 100);

    // A move across the bar changes nothing; down its length changes the hue.
    mouse(bar, QEvent::MouseButtonPress, {inner.left(), inner.top()}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(bar.position(), 0);
    mouse(bar, QEvent::MouseMove, {inner.right(), inner.top()}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(bar.position(), 0);
    mouse(bar, QEvent::MouseMove, {inner.left(), inner.top() + inner.height() / 2}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_NEAR(bar.position(), 1800, 20);
    EXPECT_NEAR(selector.state().fixed, 1800, 20) << "the plane follows";
    mouse(bar, QEvent::MouseMove, {inner.left(), bar.height() - 1}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(bar.position(), 3599);
    mouse(bar, QEvent::MouseButtonRelease, {inner.left(), bar.height() - 1}, Qt::LeftButton, Qt::NoButton);
}

}  // namespace
}  // namespace skintest
