#include "platform/message_box.h"

#include <cstdio>
#include <utility>

namespace quorel::platform {

namespace {

MessageHandler& currentHandler() {
    static MessageHandler handler;
    return handler;
}

}  // namespace

MessageHandler setMessageHandler(MessageHandler handler) {
    return std::exchange(currentHandler(), std::move(handler));
}

void showMessage(std::string_view utf8) {
    if (const MessageHandler& handler = currentHandler()) {
        handler(utf8);
        return;
    }
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace quorel::platform
