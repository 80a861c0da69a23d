#include "message_cap.h"

#include <algorithm>
#include <string>
#include <utility>

namespace bibsources {

namespace {

constexpr std::size_t maxMessages = 10000;
constexpr std::size_t maxMessageLength = 1000;

} // namespace

void MessageCap::add(Message &&message)
{
    if (kept.size() >= maxMessages) {
        ++dropped;
        return;
    }
    message.text.resize(std::min(message.text.size(), maxMessageLength));
    kept.push_back(std::move(message));
}

std::vector<Message> MessageCap::finish() &&
{
    if (dropped > 0) {
        kept.push_back(
            Message{0, 0, Message::Kind::Input, std::to_string(dropped) + " more parser messages not kept"});
    }
    return std::move(kept);
}

} // namespace bibsources
