#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

namespace bibsources::testing {
namespace {

// The text of each field called `name`, in entry order.
std::vector<std::string> valuesOf(const ReadResult &result, const std::string &name)
{
    std::vector<std::string> values;
    for (const Entry &entry : result.entries) {
        for (const Field &field : entry.fields) {
            if (field.name == name) {
                values.push_back(field.text);
            }
        }
    }
    return values;
}

TEST(MonthMacros, ExpandLikeAnyMacroUnlessTheFileDefinesItsOwn)
{
    struct Row {
        const char *why;
        std::string text;
        std::vector<std::string> months;
    };
    const Row rows[] = {
        {"every month",
            "@misc{a, month = jan}@misc{b, month = feb}@misc{c, month = mar}@misc{d, month = apr}"
            "@misc{e, month = may}@misc{f, month = jun}@misc{g, month = jul}@misc{h, month = aug}"
            "@misc{i, month = sep}@misc{j, month = oct}@misc{k, month = nov}@misc{l, month = dec}",
            {"January", "February", "March", "April", "May", "June", "July", "August", "September", "October",
                "November", "December"}},
        {"in any case, joined", "@misc{a, month = JAN # \"~1\"}", {"January~1"}},
        {"the file's own wins from there on",
            "@misc{a, month = jan}\n@string{jan = \"Jan.\"}\n@misc{b, month = jan}", {"January", "Jan."}},
        {"quoted months are text", "@misc{a, month = \"jan\"}", {"jan"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.why);
        TempDir dir;
        const ReadResult result = readWithWorker(dir.write("refs.bib", row.text));
        EXPECT_EQ(valuesOf(result, "month"), row.months);
        // Replacing a standard month is ordinary: no warning about it.
        EXPECT_TRUE(result.report.diagnostics.empty()) << result.report.diagnostics.front();
    }
}

TEST(MonthMacros, AResumedHelperStillKnowsThemAndTheFilesOwn)
{
    struct Row {
        const char *why;
        std::string breaker; // makes the reader start a new helper after it
    };
    const Row rows[] = {
        {"after a crash", std::string("@misc{bad, t = {\0}}\n", 20)},
        {"after a runaway entry", "@misc{bad, t = \"oops}\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.why);
        TempDir dir;
        const std::string text = "@string{feb = \"Feb.\"}\n@misc{a, month = feb}\n" + row.breaker
            + "@misc{b, month = jan}\n@misc{c, month = feb}\n@string{feb = \"Later\"}\n@misc{d, month = "
              "feb}\n";
        const ReadResult result = readWithWorker(dir.write("refs.bib", text));
        EXPECT_EQ(valuesOf(result, "month"), (std::vector<std::string>{"Feb.", "January", "Feb.", "Later"}));
        EXPECT_EQ(result.report.entriesSkipped, 1);
        // Only the file's replacing its own definition is worth a warning.
        std::vector<std::string> warnings;
        std::copy_if(result.report.diagnostics.begin(), result.report.diagnostics.end(),
            std::back_inserter(warnings),
            [](const std::string &message) { return message.find("overriding") != std::string::npos; });
        ASSERT_EQ(warnings.size(), 1U);
        EXPECT_NE(warnings[0].find("line 6,"), std::string::npos) << warnings[0];
    }
}

} // namespace
} // namespace bibsources::testing
