#include "source_type.h"

#include <gtest/gtest.h>

namespace bibsources {
namespace {

// Every mapped type is in the golden documents; these are the near misses.
TEST(SourceType, MapsOnlyExactNames)
{
    const char *rows[][2] = {
        {"Article", "Article"}, // case-sensitive
        {"article ", "article "}, // nothing trimmed
        {"incollection", "incollection"},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(convertPaperType(row[0]), row[1]) << row[0];
    }
}

} // namespace
} // namespace bibsources
