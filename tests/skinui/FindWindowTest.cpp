#include "skin/FindWindow.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(FindWindow, WindowsAreFoundByTitleOnlyWhileTheyLive) {
    auto window = std::make_unique<QWidget>();
    window->setWindowTitle(QStringLiteral("Some Title_WARN_DLG"));
    EXPECT_EQ(skin::findWindow(QStringLiteral("Some Title_WARN_DLG")), window.get());
    EXPECT_EQ(skin::findWindow(QStringLiteral("Some Title")), nullptr);
    window.reset();
    EXPECT_EQ(skin::findWindow(QStringLiteral("Some Title_WARN_DLG")), nullptr);
}

}  // namespace
