// The reading of zip files, whatever library is behind it: every zip file
// of tests/data/zip tells exactly what its golden file says (NAME.members),
// read with a limit of 1 MiB, and NAME.rewritten what it holds when written
// again with changes. The page's reading is held to the same files, and to
// NAME.page where fflate tells less than libzip does.
#include "test_support.h"
#include "zip_dump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace bibsources {
namespace {

const std::filesystem::path folder = std::filesystem::path(BIBSOURCES_TEST_DATA) / "zip";
constexpr std::size_t limit = std::size_t(1) << 20;

std::vector<std::string> caseNames()
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".zip") {
            names.push_back(entry.path().stem().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

class ZipMembers : public ::testing::TestWithParam<std::string> { };

TEST_P(ZipMembers, AreWhatTheGoldenFileSays)
{
    const std::string &name = GetParam();
    EXPECT_EQ(describeZip(testing::readFile(folder / (name + ".zip")), limit),
        testing::readFile(folder / (name + ".members")));
}

INSTANTIATE_TEST_SUITE_P(Files, ZipMembers, ::testing::ValuesIn(caseNames()),
    [](const ::testing::TestParamInfo<std::string> &info) { return info.param; });

// Written again with a member changed and one added, a package keeps every
// other member, its name and its bytes, in its place.
TEST(ZipMembersRewritten, KeepEveryOtherMemberInItsPlace)
{
    for (const std::string name : {"ordered", "streamed"}) {
        EXPECT_EQ(describeRewritten(testing::readFile(folder / (name + ".zip")), limit),
            testing::readFile(folder / (name + ".rewritten")))
            << name;
    }
}

TEST(ZipMembersFolder, HoldsTheMembersOfEveryFile)
{
    ASSERT_FALSE(caseNames().empty());
    for (const std::string &name : caseNames()) {
        EXPECT_TRUE(std::filesystem::exists(folder / (name + ".members"))) << name;
    }
}

} // namespace
} // namespace bibsources
