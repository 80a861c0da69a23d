// Every row of the field table, through the built program and back.
#include "cli_process.h"
#include "field_table.h"

#include <gtest/gtest.h>

namespace bibsources::testing {
namespace {

std::string sampleText(const FieldRow &row)
{
    return row.role.empty() ? "Value of " + std::string(row.name) : "Lovelace, Ada";
}

// The entry written under `key`, from its first line to its closing brace;
// empty when there is none.
std::string entryIn(const std::string &bib, const std::string &key)
{
    const std::size_t start = bib.find("{" + key + ",\n");
    if (start == std::string::npos) {
        return {};
    }
    return bib.substr(start, bib.find("\n}\n", start) - start);
}

// A field the table carries comes back in the field the table writes its
// element back to (a list of people in its own); one the tidy mapping
// combines with others comes back somewhere in its entry. Each row is an
// entry of its own, holding that field alone.
TEST(FieldTable, EachRowComesBackThroughTidyAndToBib)
{
    TemporaryDirectory folder;
    std::string bib;
    for (const FieldRow &row : fieldTable) {
        if (!row.tidy.empty()) {
            bib += "@misc{" + std::string(row.name) + ",\n  " + std::string(row.name) + " = {"
                + sampleText(row) + "},\n}\n\n";
        }
    }
    writeFile(folder / "rows.bib", bib);
    const CliOutcome tidy = runCli({{"-q", "--tidy", "-o", "rows.xml", "rows.bib"}, folder.path()});
    ASSERT_EQ(tidy.exitCode, 0) << tidy.err;
    const CliOutcome toBib = runCli({{"-q", "--to-bib", "-o", "back.bib", "rows.xml"}, folder.path()});
    ASSERT_EQ(toBib.exitCode, 0) << toBib.err;
    const std::string back = readFile(folder / "back.bib");

    for (const FieldRow &row : fieldTable) {
        if (row.tidy.empty()) {
            continue;
        }
        const std::string entry = entryIn(back, std::string(row.name));
        const std::string text = sampleText(row);
        const FieldRow *carried = !row.role.empty() ? &row
            : row.way != TidyWay::Combined          ? backRow(row.tidy)
                                                    : nullptr;
        if (carried) {
            const std::string field = "\n  " + std::string(carried->name) + " = {" + text + "},";
            EXPECT_TRUE(entry.find(field) != std::string::npos)
                << row.name << " should come back as " << carried->name << ":\n"
                << entry;
        } else {
            EXPECT_TRUE(entry.find(text) != std::string::npos) << row.name << " is lost:\n" << entry;
        }
    }
}

} // namespace
} // namespace bibsources::testing
