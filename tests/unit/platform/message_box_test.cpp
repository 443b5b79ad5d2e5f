#include "platform/message_box.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorel::platform {
namespace {

TEST(MessageBox, AnInstalledHandlerGetsTheTextAndCanBeReplacedBack) {
    std::vector<std::string> shown;
    MessageHandler previous = setMessageHandler([&](std::string_view text) { shown.emplace_back(text); });
    showMessage("PNGﾌｧｲﾙでありません");
    showMessage("");
    MessageHandler mine = setMessageHandler(std::move(previous));
    EXPECT_TRUE(static_cast<bool>(mine));
    EXPECT_EQ(shown, (std::vector<std::string>{"PNGﾌｧｲﾙでありません", ""}));

    testing::internal::CaptureStderr();
    showMessage("to standard error");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "to standard error\n");
    EXPECT_EQ(shown.size(), 2u);
}

}  // namespace
}  // namespace quorel::platform
