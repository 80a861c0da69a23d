#pragma once

// The names of a field split the way the helper splits them today, through
// btparse in this process, with what btparse prints meanwhile: the reference
// the splitter of our own reader is held to.

#include "btparse_reader.h"
#include "entry.h"
#include "name_list.h"

#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace bibsources {

// How a test failure shows a person: each part's words in angle brackets.
inline void PrintTo(const Person &person, std::ostream *out)
{
    for (const auto *part : {&person.first, &person.von, &person.last, &person.jr}) {
        *out << '[';
        for (const std::string &word : *part) {
            *out << '<' << word << '>';
        }
        *out << ']';
    }
}

} // namespace bibsources

namespace bibsources::names_test {

// Standard error sent to a scratch file for as long as this lives; text()
// gives what was written to it.
class StandardErrorCapture {
public:
    StandardErrorCapture()
        : file_(std::tmpfile())
    {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        if (file_ && saved_ >= 0) {
            dup2(fileno(file_), STDERR_FILENO);
        }
    }
    StandardErrorCapture(const StandardErrorCapture &) = delete;
    StandardErrorCapture &operator=(const StandardErrorCapture &) = delete;
    ~StandardErrorCapture()
    {
        restore();
        if (file_) {
            std::fclose(file_);
        }
    }

    std::string text()
    {
        restore();
        std::string written;
        if (!file_) {
            return written;
        }
        std::rewind(file_);
        char buffer[4096];
        size_t count = 0;
        while ((count = std::fread(buffer, 1, sizeof buffer, file_)) > 0) {
            written.append(buffer, count);
        }
        return written;
    }

private:
    void restore()
    {
        if (saved_ >= 0) {
            std::fflush(stderr);
            dup2(saved_, STDERR_FILENO);
            close(saved_);
            saved_ = -1;
        }
    }

    std::FILE *file_;
    int saved_ = -1;
};

struct ReferenceSplit {
    std::optional<std::vector<Person>> people;
    std::string diagnostics;
};

inline ReferenceSplit splitWithBtparse(const std::string &text)
{
    StandardErrorCapture capture;
    std::optional<std::vector<Person>> people = splitNamesWithBtparse(text.c_str());
    return ReferenceSplit{std::move(people), capture.text()};
}

// Why btparse cannot be the reference for a text, if it cannot. (Names it
// would split by memory it never wrote the helper splits with our own
// splitter, so they are no gap.)
enum class ReferenceGap {
    None,
    // A blank name before the first "and", after the last or between two:
    // btparse prints "internal error: stop == start" and aborts. A field's
    // text never has one: btparse has collapsed its spaces.
    ListAborts,
};

inline ReferenceGap referenceGap(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    const std::optional<NameList> list = splitNameList(text);
    return list && list->parserAborts ? ReferenceGap::ListAborts : ReferenceGap::None;
}

} // namespace bibsources::names_test
