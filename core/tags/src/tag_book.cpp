#include "tag_book.h"

namespace bibsources {

std::string foldedKey(std::string_view key)
{
    std::string folded(key);
    for (char &c : folded) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return folded;
}

void TagBook::holdListed(const std::string &tag, const std::string &guid)
{
    listed.emplace(foldedKey(tag), guid);
}

bool TagBook::claimKey(std::string_view tag)
{
    return taken.insert(foldedKey(tag)).second;
}

bool TagBook::claimMadeUp(std::string_view tag, std::string_view guid)
{
    const std::string folded = foldedKey(tag);
    if (taken.contains(folded)) {
        return false;
    }
    const auto [first, last] = listed.equal_range(folded);
    for (auto it = first; it != last; ++it) {
        if (it->second != guid) {
            return false;
        }
    }
    taken.insert(folded);
    madeUp.emplace(tag);
    return true;
}

std::string tagSuffix(int index)
{
    std::string suffix;
    for (++index; index > 0; index = (index - 1) / 26) {
        suffix.insert(suffix.begin(), static_cast<char>('a' + (index - 1) % 26));
    }
    return suffix;
}

} // namespace bibsources
