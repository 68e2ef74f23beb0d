// The LED conversion dialog, offscreen, on a controller emulated in this process.
#include "mainwindow/LedConvDlg.h"

#include "devicelink/UsbDriver.h"
#include "skin/MessageBox.h"
#include "tests/devicecontrol/SimFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTest>

#include <gmock/gmock.h>

using devicecontroltest::SimTest;
using testing::ElementsAre;

namespace {

class LedConvDlgTest : public SimTest {
protected:
    LedConvDlgTest() {
        previousBox = skin::SetMessageBoxHandler([this](QWidget*, const std::string& text) { boxes.push_back(text); });
    }
    ~LedConvDlgTest() override { skin::SetMessageBoxHandler(previousBox); }

    template <class Widget = QLineEdit>
    Widget* control(int id) {
        auto* widget = dialog.findChild<Widget*>(QString::number(id));
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }
    std::string text(int id) { return control(id)->text().toStdString(); }
    void type(int id, const char* text) { control(id)->setText(text); }
    // The channel list as a person uses it: a new entry with the keyboard.
    void pickChannel(int entry) {
        auto* list = control<QComboBox>(1043);
        while (list->currentIndex() < entry) QTest::keyClick(list, Qt::Key_Down);
        while (list->currentIndex() > entry) QTest::keyClick(list, Qt::Key_Up);
    }
    std::vector<std::string> channelEdits() {
        return {text(1044), text(1045), text(1046),
                text(1047), text(1049), control<QCheckBox>(1048)->isChecked() ? "ticked" : "clear"};
    }

    std::vector<std::string> boxes;
    skin::MessageBoxHandler previousBox;
    QWidget page;
    CLEDConvDlg dialog{nullptr, &page};
};

TEST_F(LedConvDlgTest, StartsAsTheToolDoesWithEveryCaption) {
    EXPECT_EQ(dialog.windowTitle(), "LEDConv");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(control<QRadioButton>(1015)->isChecked());
    EXPECT_EQ(control<QRadioButton>(1015)->text(), "Hz");
    EXPECT_FALSE(control<QRadioButton>(1014)->isEnabled());
    EXPECT_EQ(control<QRadioButton>(1014)->text(), "週期");
    EXPECT_EQ(text(1016), "ReloadCount = (48000000/Hz)-1");
    EXPECT_TRUE(control(1016)->isReadOnly());
    EXPECT_EQ(control<QLabel>(1007)->text(), "Device Plugged");
    auto* list = control<QComboBox>(1043);
    ASSERT_EQ(list->count(), 6);
    EXPECT_EQ(list->currentIndex(), 0);
    EXPECT_EQ(list->itemText(0), "1=Red");
    EXPECT_EQ(list->itemText(5), "6=Green(LED3)");
    EXPECT_THAT(channelEdits(), ElementsAre("0", "0", "0", "0", "100.000000", "ticked"));
    const std::pair<int, const char*> checks[] = {{1036, "1=Logo"}, {1037, "2=Red"},   {1038, "3=Green"},
                                                  {1039, "4=Blue"}, {1040, "5=Empty"}, {1041, "6=Empty"}};
    for (const auto& [id, caption] : checks) {
        EXPECT_EQ(control<QCheckBox>(id)->text(), caption);
        EXPECT_EQ(control<QCheckBox>(id)->isChecked(), id <= 1039) << id;
    }
    EXPECT_EQ(control<QCheckBox>(1048)->text(), "Shift 自動增加");
    const std::pair<int, const char*> buttons[] = {{1009, "產生DP_PWMRELOAD"},
                                                   {1008, "產生DP_LED_CONVERT_TABLE"},
                                                   {1010, "一鍵產生"},
                                                   {1035, "Calculate"},
                                                   {1, "Exit"}};
    for (const auto& [id, caption] : buttons) EXPECT_EQ(control<QPushButton>(id)->text(), caption);
    for (int id = 1001; id <= 1006; ++id)
        EXPECT_EQ(control(id)->accessibleName(), QString("PWM Channel %1:").arg(id - 1000));
    for (int id = 1017; id <= 1034; ++id) control(id);
    EXPECT_TRUE(control<QPlainTextEdit>(1042)->isReadOnly());
}

TEST_F(LedConvDlgTest, TheMirageFrequenciesFillTheEditsAndRunTheOneClickCommand) {
    pickChannel(3);
    type(1044, "7");
    dialog.SetPwmFrequencies({2500, 330, 1000, 0, -4, 48000000});
    const std::vector<std::string> frequencies = {text(1001), text(1002), text(1003),
                                                  text(1004), text(1005), text(1006)};
    EXPECT_THAT(frequencies, ElementsAre("2500", "330", "1000", "0", "-4", "48000000"));
    EXPECT_EQ(control<QPlainTextEdit>(1042)->toPlainText().toStdString(),
              "PWM Channel 1: ReloadCount = 19199\nPWM Channel 2: ReloadCount = 145453\n"
              "PWM Channel 3: ReloadCount = 47999\nPWM Channel 4: -\nPWM Channel 5: -\n"
              "PWM Channel 6: ReloadCount = 0\n");
    // The run walks channels 1 and 2 and comes back to the one selected, its edits read.
    EXPECT_EQ(control<QComboBox>(1043)->currentIndex(), 3);
    EXPECT_EQ(dialog.channels()[3].integers[0], 7);
    EXPECT_EQ(text(1044), "7");
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(dialog.isVisible()) << "the page's dialog stays hidden";
}

TEST_F(LedConvDlgTest, AChannelChangeStoresTheEditsAndShowsTheNewChannel) {
    type(1044, "0x20");
    type(1045, "12");
    type(1046, "a0x1");
    type(1047, "-3");
    type(1049, "55.5");
    control<QCheckBox>(1048)->setChecked(false);
    pickChannel(2);
    EXPECT_THAT(channelEdits(), ElementsAre("0", "0", "0", "0", "100.000000", "clear"));
    type(1044, "9");
    pickChannel(0);
    EXPECT_THAT(channelEdits(), ElementsAre("32", "12", "0", "-3", "55.500000", "clear"));
    pickChannel(2);
    EXPECT_EQ(text(1044), "9");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(LedConvDlgTest, ADutyOutside0To100IsWarnedAboutAndKept) {
    type(1049, "150");
    pickChannel(1);
    EXPECT_THAT(boxes, ElementsAre("Duty's value is 0 ~ 100!"));
    EXPECT_EQ(dialog.channels()[0].maxDuty, 150.0);
    pickChannel(0);
    EXPECT_EQ(text(1049), "150.000000");
    EXPECT_EQ(boxes.size(), 1u) << "channel 1 kept its duty of 100";
}

TEST_F(LedConvDlgTest, CalculateWritesTheTableIndicesOrError) {
    // Rows LED 0 to 3, columns R, G, B: LED 2's red is 1023, LED 3's green 1027.
    type(1023, "300");
    type(1021, "0xff");
    type(1027, "240");
    type(1019, "0x1F");  // LED 0's blue counts nowhere
    QTest::mouseClick(control<QPushButton>(1035), Qt::LeftButton);
    std::vector<std::string> results;
    for (int id = 1029; id <= 1034; ++id) results.push_back(text(id));
    EXPECT_THAT(results, ElementsAre("0x0", "0x104", "Error", "0x300", "0x400", "0x500"));
    for (int id = 1017; id <= 1028; ++id) type(id, "");
    QTest::mouseClick(control<QPushButton>(1035), Qt::LeftButton);
    results.clear();
    for (int id = 1029; id <= 1034; ++id) results.push_back(text(id));
    EXPECT_THAT(results, ElementsAre("0x0", "0x100", "0x200", "0x300", "0x400", "0x500")) << "empty fields are 0";
}

TEST_F(LedConvDlgTest, ArrivalSendsControlMode1ToTheDefaultDeviceAndRemovalOnlySaysSo) {
    simulator->plug(sim::ControllerKind::Standard, 2);
    devicelink::CUSBDriver link;
    open(link, 0);
    dialog.setLink(&link);
    simulator->clearTrace();
    platform::sendMessage(&dialog, {devicelink::kMsgPlug, 0, 0});
    EXPECT_EQ(control<QLabel>(1007)->text(), "Device Removed");
    EXPECT_TRUE(takeCommands().empty());
    platform::sendMessage(&dialog, {devicelink::kMsgPlug, 1u << 16, 1});
    EXPECT_EQ(control<QLabel>(1007)->text(), "Device Plugged");
    const auto trace = simulator->takeTrace();
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(devicecontroltest::commandOf(trace[0]), "41/01/0");
    EXPECT_EQ(trace[0].deviceId, 1) << "the link's default device";

    // The frequencies and the other buttons send nothing.
    dialog.SetPwmFrequencies({2500, 330, 330, 330, 0, 0});
    for (int id : {1008, 1009, 1010, 1035}) QTest::mouseClick(control<QPushButton>(id), Qt::LeftButton);
    EXPECT_TRUE(takeCommands().empty());
}

TEST_F(LedConvDlgTest, CtrlShiftLOnThePageShowsTheDialogAndExitHidesIt) {
    QShortcut* shortcut = InstallLedConversionShortcut(&page, &dialog);
    EXPECT_EQ(shortcut->parent(), &page);
    page.show();
    QApplication::setActiveWindow(&page);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&page));
    QTest::keyClick(&page, Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(dialog.isVisible());
    QTest::mouseClick(control<QPushButton>(1), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
}

}  // namespace
