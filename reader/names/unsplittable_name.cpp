#include "unsplittable_name.h"

#include <vector>

namespace bibsources {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '~';
}

// The parts between commas outside braces.
std::vector<std::string_view> commaParts(std::string_view name)
{
    std::vector<std::string_view> parts;
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        depth += name[i] == '{' ? 1 : name[i] == '}' ? -1 : 0;
        if (name[i] == ',' && depth == 0) {
            parts.push_back(name.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(name.substr(start));
    return parts;
}

std::vector<std::string> wordsOf(std::string_view text)
{
    std::vector<std::string> words;
    std::string word;
    int depth = 0;
    for (const char c : text) {
        depth += c == '{' ? 1 : c == '}' ? -1 : 0;
        if (depth == 0 && isBlank(c)) {
            if (!word.empty()) {
                words.push_back(std::move(word));
                word.clear();
            }
            continue;
        }
        word += c;
    }
    if (!word.empty()) {
        words.push_back(std::move(word));
    }
    return words;
}

} // namespace

std::optional<Person> personWithoutLastName(std::string_view name)
{
    // Every name is asked, and nearly every one starts with a word: only
    // blanks and then a comma make a name without a last name. Vertical tab
    // and form feed are white space to the splitter too, so they count here
    // as blanks before the comma.
    const size_t firstNonBlank = name.find_first_not_of(" \t\n\v\f\r~");
    if (firstNonBlank == std::string_view::npos || name[firstNonBlank] != ',') {
        return std::nullopt;
    }
    const std::vector<std::string_view> parts = commaParts(name);
    Person person;
    person.first = wordsOf(parts.back());
    if (parts.size() >= 3) {
        person.jr = wordsOf(parts[1]);
    }
    return person;
}

} // namespace bibsources
