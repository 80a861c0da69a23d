#include "tidy_names.h"

#include "field_table.h"
#include "text.h"
#include "tidy_text.h"
#include "xml.h"

#include <algorithm>
#include <string_view>

namespace bibsources {

namespace {

using Tokens = std::vector<std::string>;

// The splitter cuts "A. L.\ Thiele" at the control space, leaving its
// backslash at the end of "L.\": the space it stood for is the one between
// the tokens.
std::string_view withoutControlSpace(std::string_view token)
{
    size_t backslashes = 0;
    while (backslashes < token.size() && token[token.size() - 1 - backslashes] == '\\') {
        ++backslashes;
    }
    return backslashes % 2 == 1 ? token.substr(0, token.size() - 1) : token;
}

// Tokens are decoded one by one before they are joined: a Latin-1 token next
// to a UTF-8 one must not turn its neighbour into mojibake.
std::string joinedText(const Tokens &first, const Tokens &second = {})
{
    std::string joined;
    for (const Tokens *tokens : {&first, &second}) {
        for (const std::string &token : *tokens) {
            if (!joined.empty()) {
                joined += ' ';
            }
            joined += decodeParserText(withoutControlSpace(token));
        }
    }
    return plainTextOfUtf8(joined);
}

bool isOthers(const Person &person)
{
    return person.first.empty() && person.von.empty() && person.jr.empty() && person.last.size() == 1
        && person.last.front() == "others";
}

// True when the whole token is one brace group that is not a special
// character: "{World Health Organization}", not "{\'E}mile" or "{\ss}".
bool isOneBracedGroup(std::string_view token)
{
    if (token.size() < 3 || token.front() != '{' || token[1] == '\\') {
        return false;
    }
    int depth = 0;
    for (size_t i = 0; i < token.size(); ++i) {
        depth += token[i] == '{' ? 1 : token[i] == '}' ? -1 : 0;
        if (depth == 0) {
            return i == token.size() - 1;
        }
    }
    return false;
}

bool isCorporate(const Person &person)
{
    return person.first.empty() && person.von.empty() && person.jr.empty() && person.last.size() == 1
        && isOneBracedGroup(person.last.front());
}

// The Jr part goes at the end of b:Last, not into b:First: styles shorten
// First and Middle to initials, which would make "Jr." a "J.", while Last is
// always written out in full.
std::string lastText(const Person &person)
{
    std::string last = joinedText(person.von, person.last);
    if (const std::string jr = joinedText(person.jr); !jr.empty()) {
        last += last.empty() ? jr : " " + jr;
    }
    return last;
}

void appendPerson(std::string &out, const Person &person)
{
    const std::string last = lastText(person);
    const std::string first
        = person.first.empty() ? std::string() : plainText(withoutControlSpace(person.first.front()));
    const std::string middle = person.first.size() < 2
        ? std::string()
        : joinedText(Tokens(person.first.begin() + 1, person.first.end()));
    if (last.empty() && first.empty() && middle.empty()) {
        return;
    }
    out += "<b:Person>\n";
    appendTidyElement(out, "Last", last);
    appendTidyElement(out, "First", first);
    appendTidyElement(out, "Middle", middle);
    out += "</b:Person>\n";
}

struct Role {
    std::string_view field;
    std::string_view element;
    std::vector<const Person *> people;
};

std::vector<Role> rolesOf(const std::vector<Field> &fields)
{
    std::vector<Role> roles;
    for (const Field &field : fields) {
        const std::string_view element = contributorRole(field.name);
        if (element.empty() || !field.names) {
            continue;
        }
        // A field given twice is read once, as BibTeX reads it: the first wins.
        const bool seen = std::any_of(
            roles.begin(), roles.end(), [&](const Role &role) { return role.field == field.name; });
        if (seen) {
            continue;
        }
        Role &role = roles.emplace_back(Role{field.name, element, {}});
        for (const Person &person : *field.names) {
            if (!isOthers(person)) {
                role.people.push_back(&person);
            }
        }
    }
    return roles;
}

std::string roleBlock(const Role &role)
{
    std::string open;
    appendStartTag(open, role.element);
    open += '\n';
    std::string close;
    appendEndTag(close, role.element);
    if (role.element == "Author" && role.people.size() == 1 && isCorporate(*role.people.front())) {
        std::string block;
        appendTidyElement(block, "Corporate", plainText(role.people.front()->last.front()));
        return block.empty() ? block : open + block + close;
    }
    std::string people;
    for (const Person *person : role.people) {
        appendPerson(people, *person);
    }
    return people.empty() ? people : open + "<b:NameList>\n" + people + "</b:NameList>\n" + close;
}

} // namespace

std::string tidyContributors(const std::vector<Field> &fields, FieldAccount *account)
{
    std::string inner;
    for (const Role &role : rolesOf(fields)) {
        const std::string block = roleBlock(role);
        if (account && !block.empty()) {
            account->wentTo(role.field, "b:" + std::string(role.element), block);
        }
        inner += block;
    }
    return inner.empty() ? inner : "<b:Author>\n" + inner + "</b:Author>\n";
}

std::string firstContributorName(const std::vector<Field> &fields)
{
    for (const Field &field : fields) {
        if (contributorRole(field.name).empty() || !field.names) {
            continue;
        }
        for (const Person &person : *field.names) {
            if (std::string last = lastText(Person{person.last, {}, person.von, {}}); !last.empty()) {
                return last;
            }
        }
    }
    return {};
}

} // namespace bibsources
