#include "bib_names.h"

#include "bib_text.h"

#include <vector>

namespace bibsources {

namespace {

std::vector<std::string_view> wordsOf(std::string_view text)
{
    std::vector<std::string_view> words;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find(' ', start), text.size());
        if (end > start) {
            words.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return words;
}

std::string joined(const std::vector<std::string_view> &words, size_t from, size_t to)
{
    std::string text;
    for (size_t i = from; i < to; ++i) {
        text += (text.empty() ? "" : " ") + std::string(words[i]);
    }
    return text;
}

bool startsLower(std::string_view word)
{
    return !word.empty() && word.front() >= 'a' && word.front() <= 'z';
}

bool isJr(std::string_view word)
{
    for (const std::string_view jr : {"Jr.", "Jr", "Sr.", "Sr", "II", "III", "IV"}) {
        if (word == jr) {
            return true;
        }
    }
    return false;
}

bool hasWordAnd(std::string_view text)
{
    for (const std::string_view word : wordsOf(text)) {
        if (word == "and") {
            return true;
        }
    }
    return false;
}

// A last name is braced when BibTeX would not read it as one: a comma, a
// lower-case word (which would be a von part), or none given with it.
std::string lastPart(std::string_view text, bool alone)
{
    bool braced = alone ? wordsOf(text).size() > 1 : text.find(',') != std::string_view::npos;
    for (const std::string_view word : wordsOf(text)) {
        braced = braced || startsLower(word);
    }
    const std::string value = bibValue(text);
    return braced ? "{" + value + "}" : value;
}

// After the last comma every word is a given name: only a comma or "and"
// needs braces there.
std::string givenPart(std::string_view text)
{
    const std::string value = bibValue(text);
    return text.find(',') != std::string_view::npos || hasWordAnd(text) ? "{" + value + "}" : value;
}

} // namespace

std::string bibPerson(std::string_view last, std::string_view first, std::string_view middle)
{
    std::string given = std::string(first);
    if (!middle.empty()) {
        given += (given.empty() ? "" : " ") + std::string(middle);
    }
    const std::vector<std::string_view> words = wordsOf(last);
    // "and" would split the name in two: such a last name is kept whole.
    const bool whole = hasWordAnd(last);
    size_t vonEnd = 0;
    while (!whole && vonEnd + 1 < words.size() && startsLower(words[vonEnd])) {
        ++vonEnd;
    }
    size_t coreEnd = words.size();
    if (!whole && coreEnd > vonEnd + 1 && isJr(words.back())) {
        --coreEnd;
    }
    std::string name;
    if (vonEnd > 0) {
        name = bibValue(joined(words, 0, vonEnd)) + " ";
    }
    const std::string lastName
        = lastPart(joined(words, vonEnd, coreEnd), given.empty() && coreEnd == words.size());
    name += lastName;
    if (coreEnd < words.size()) {
        name += ", " + bibValue(words.back()) + ",";
    }
    if (!given.empty()) {
        name += (coreEnd < words.size() ? " " : ", ") + givenPart(given);
    } else if (lastName.starts_with('{') && coreEnd == words.size()) {
        // An empty given name keeps "{Editorial Board}" a person: alone in
        // braces it would be read as an organisation.
        name += ", {}";
    }
    return name;
}

std::string bibCorporate(std::string_view name)
{
    return "{" + bibValue(name) + "}";
}

} // namespace bibsources
