#include "devicelink/HidLibrary.h"
#include "mainwindow/ConfigDlg.h"
#include "sim/SimBackend.h"
#include "tests/support/TestEnvironment.h"

#include <QLabel>

using namespace std::chrono_literals;

class ConfigDlgTest : public testsupport::IsolatedTest {
protected:
    ConfigDlgTest() { devicelink::HidSetBackend(simulator); }
    ~ConfigDlgTest() override { devicelink::HidSetBackend(nullptr); }

    // The text of the window's controller list.
    static QString controllerText(const CConfigDlg& window) {
        const auto* label = window.findChild<QLabel*>(QStringLiteral("controllers"));
        return label ? label->text() : QString();
    }

    std::shared_ptr<sim::SimBackend> simulator = std::make_shared<sim::SimBackend>(0ms);
};

TEST_F(ConfigDlgTest, TheWindowOpensEveryLinkAndFollowsArrivalsAndRemovals) {
    simulator->plug(sim::ControllerKind::Standard, 2);
    CConfigDlg window;
    window.show();
    EXPECT_EQ(window.windowTitle(), "Ostmar Pellan KV 6000 Series_RGB_LED");
    EXPECT_EQ(window.links().link(devicelink::Family::Standard).deviceCount(), 2);
    EXPECT_EQ(window.links().link(devicelink::Family::Led5).deviceCount(), 0);
    EXPECT_TRUE(controllerText(window).contains("Standard controller 2"));

    const std::vector<int> led5 = simulator->plug(sim::ControllerKind::Led5, 1);
    ASSERT_TRUE(simulator->waitUntilSettled(2000ms));
    platform::pumpEventsFor(100ms);
    EXPECT_EQ(window.links().link(devicelink::Family::Led5).deviceCount(), 1);
    EXPECT_TRUE(controllerText(window).contains("LED5 controller 1"));

    ASSERT_TRUE(simulator->unplug(led5.front()));
    ASSERT_TRUE(simulator->waitUntilSettled(2000ms));
    platform::pumpEventsFor(100ms);
    EXPECT_EQ(window.links().link(devicelink::Family::Led5).deviceCount(), 0);
    EXPECT_FALSE(controllerText(window).contains("LED5"));
}

TEST_F(ConfigDlgTest, WithoutControllersTheWindowSaysSo) {
    CConfigDlg window;
    window.show();
    EXPECT_EQ(controllerText(window), "No LED controller found.");
}
