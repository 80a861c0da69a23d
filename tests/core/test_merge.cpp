#include "bibsources/conversion.h"
#include "merge.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace bibsources {
namespace {

using testing::readFile;
using testing::TemporaryDirectory;
using testing::writeFile;

const std::string xmlns = "\"http://schemas.openxmlformats.org/officeDocument/2006/bibliography\"";
const std::string root = "<b:Sources SelectedStyle=\"\" xmlns:b=" + xmlns + ">";
const std::string convertedRoot = "<b:Sources SelectedStyle=\"\" xmlns:b=" + xmlns + " xmlns=" + xmlns + ">";
const std::string declareB = " xmlns:b=" + xmlns;

std::string record(const std::string &tag, const std::string &rest = "")
{
    return "<b:Source><b:Tag>" + tag + "</b:Tag>" + rest + "</b:Source>";
}

SourceList parsed(const std::string &document)
{
    SourceListParse result = parseSourceList(document, "test");
    EXPECT_TRUE(result.ok()) << result.error;
    return std::move(result.list);
}

struct MergeRow {
    const char *why;
    std::string existing;
    std::string converted; // its records, inside our own frame
    std::string merged;
};

void PrintTo(const MergeRow &row, std::ostream *out)
{
    *out << row.why;
}

class MergesRecords : public ::testing::TestWithParam<MergeRow> { };

TEST_P(MergesRecords, KeepingTheExistingBytes)
{
    const MergeRow &row = GetParam();
    const SourceList converted
        = parsed("<?xml version=\"1.0\"?>\n" + convertedRoot + "\n" + row.converted + "</b:Sources>\n");
    std::string merged;
    writeMergedSourceList(parsed(row.existing), converted, [&](std::string_view piece) { merged += piece; });
    EXPECT_EQ(merged, row.merged);
    EXPECT_TRUE(parseSourceList(merged, "merged").ok()) << parseSourceList(merged, "merged").error;
}

const std::string kept = "<b:Source x='>'><b:Unknown a=\"1\">  <![CDATA[&]]> </b:Unknown><!-- note -->"
                         "<b:Tag>kept</b:Tag><b:Guid>{AB}</b:Guid></b:Source>";

INSTANTIATE_TEST_SUITE_P(Table, MergesRecords,
    ::testing::Values(
        MergeRow{"one line, as the word processor saves it: a record replaced in place, one added",
            "<?xml version=\"1.0\"?>" + root + kept + record("old", "<b:Year>1</b:Year>") + record("z")
                + "</b:Sources>",
            record("new") + "\n" + record("old", "<b:Year>2</b:Year>") + "\n",
            "<?xml version=\"1.0\"?>" + root + kept + record("old", "<b:Year>2</b:Year>") + record("z")
                + record("new") + "\n</b:Sources>"},
        MergeRow{"a line per record, another prefix, no declaration",
            "<s:Sources xmlns:s=" + xmlns
                + ">\n<s:Source><s:Tag>a</s:Tag></s:Source>\n  <!-- end -->\n</s:Sources>\n",
            record("b") + "\n" + record("a", "<b:Year>3</b:Year>") + "\n",
            "<s:Sources xmlns:s=" + xmlns + ">\n<b:Source" + declareB
                + "><b:Tag>a</b:Tag><b:Year>3</b:Year></b:Source>" + "\n  <!-- end -->\n<b:Source" + declareB
                + "><b:Tag>b</b:Tag></b:Source>\n</s:Sources>\n"},
        MergeRow{
            "the prefix we use bound to another namespace, and a record of ours in the default namespace",
            "<Sources xmlns=" + xmlns + " xmlns:b='urn:other'><Source><Tag>a</Tag><b:x/></Source></Sources>",
            record("a") + "\n<Source><Tag>u</Tag></Source>\n",
            "<Sources xmlns=" + xmlns + " xmlns:b='urn:other'><b:Source" + declareB
                + "><b:Tag>a</b:Tag></b:Source><Source><Tag>u</Tag></Source>\n</Sources>"},
        MergeRow{"our record in the default namespace, theirs with a prefix", root + "</b:Sources>",
            "<Source><Tag>u</Tag><b:Year>1</b:Year></Source>\n",
            root + "<Source xmlns=" + xmlns + "><Tag>u</Tag><b:Year>1</b:Year></Source>\n</b:Sources>"},
        MergeRow{"tags match once entities are decoded, whichever way each side writes them",
            root + record("R&#38;D") + record("x&#60;y") + "</b:Sources>",
            record("R&amp;D", "<b:Year>4</b:Year>") + "\n" + record("x&lt;y", "<b:Year>5</b:Year>"),
            root + record("R&amp;D", "<b:Year>4</b:Year>") + record("x&lt;y", "<b:Year>5</b:Year>")
                + "</b:Sources>"},
        MergeRow{"a tag is matched exactly: case and spaces count",
            root + record("Abc") + record(" abc") + "</b:Sources>", record("abc") + "\n",
            root + record("Abc") + record(" abc") + record("abc") + "\n</b:Sources>"},
        MergeRow{"no records yet", root + "</b:Sources>", record("a") + "\n" + record("b") + "\n",
            root + record("a") + "\n" + record("b") + "\n</b:Sources>"},
        MergeRow{"an empty root element is reopened", "<b:Sources xmlns:b=" + xmlns + "/>",
            record("a") + "\n", "<b:Sources xmlns:b=" + xmlns + ">" + record("a") + "\n</b:Sources>"},
        MergeRow{"a tag twice in the file: the converted record stands where the first stood",
            root + record("d", "<b:Year>1</b:Year>") + record("e") + record("d", "<b:Year>2</b:Year>")
                + "</b:Sources>",
            record("d", "<b:Year>9</b:Year>") + "\n",
            root + record("d", "<b:Year>9</b:Year>") + record("e") + "</b:Sources>"},
        MergeRow{"a tag twice among the converted records: both take the old one's place",
            root + record("d") + record("e") + "</b:Sources>",
            record("d", "<b:Year>1</b:Year>") + "\n" + record("d", "<b:Year>2</b:Year>") + "\n",
            root + record("d", "<b:Year>1</b:Year>") + "\n" + record("d", "<b:Year>2</b:Year>") + record("e")
                + "</b:Sources>"},
        MergeRow{"a record without a tag is kept and never matched",
            root + "<b:Source><b:Year>1</b:Year></b:Source>" + "</b:Sources>", record("") + "\n",
            root + "<b:Source><b:Year>1</b:Year></b:Source>" + record("") + "\n</b:Sources>"}));

TEST(MergeReport, CountsEachExistingRecordOnceAndEachAddedOne)
{
    const SourceList existing
        = parsed(root + record("d") + record("e") + record("d") + record("f") + "</b:Sources>");
    const SourceList converted
        = parsed(convertedRoot + record("d") + record("d") + record("g") + record("f") + "</b:Sources>");

    const MergeReport report = writeMergedSourceList(existing, converted, [](std::string_view) {});

    EXPECT_TRUE(report.merged);
    EXPECT_EQ(report.recordsKept, 1); // e
    EXPECT_EQ(report.recordsReplaced, 3); // d twice, f
    EXPECT_EQ(report.recordsAdded, 1); // g
}

// The same through the converter and the file system.
class MergeIntoFile : public ::testing::Test {
protected:
    ConversionResult convert(const std::string &bib)
    {
        writeFile(directory / "refs.bib", bib);
        ConversionSettings settings;
        settings.mergeIntoOutput = true;
        return convertFiles({(directory / "refs.bib").string()}, output.string(), settings);
    }

    bool onlyTheInputAndTheOutput() const
    {
        return std::distance(std::filesystem::directory_iterator(directory.path()), {}) == 2;
    }

    TemporaryDirectory directory;
    std::filesystem::path output = directory / "Sources.xml";
};

TEST_F(MergeIntoFile, KeepsWhatItDoesNotConvertAndReplacesWhatItDoes)
{
    const std::string before = "<?xml version=\"1.0\"?>" + root + kept
        + record("b1", "<b:Title>Old</b:Title>")
        + "<b:Source><b:Tag>R&#38;D</b:Tag><b:Title>Old</b:Title></b:Source></b:Sources>";
    writeFile(output, before);

    const ConversionResult result = convert("@book{b1, title = {New}}\n@book{R&D, title = {New too}}\n"
                                            "@book{b2, title = {Added}}\n");

    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.merge.recordsKept, 1);
    EXPECT_EQ(result.merge.recordsReplaced, 2);
    EXPECT_EQ(result.merge.recordsAdded, 1);
    const std::string after = readFile(output);
    EXPECT_TRUE(
        after.starts_with("<?xml version=\"1.0\"?>" + root + kept + "<b:Source>\n<b:Tag>b1</b:Tag>\n"))
        << after;
    EXPECT_EQ(after.find("Old"), std::string::npos) << after;
    const size_t added = after.find("<b:Tag>b2</b:Tag>");
    EXPECT_LT(after.find("<b:Title>New too</b:Title>"), added);
    EXPECT_NE(added, std::string::npos);
    EXPECT_TRUE(after.ends_with("</b:Source>\n</b:Sources>")) << after;
    EXPECT_TRUE(parseSourceList(after, "after").ok());
    EXPECT_TRUE(onlyTheInputAndTheOutput());
}

// A list laid out as the word processor saves it, all records on one line,
// with elements we never write; the result is reviewed like code.
TEST_F(MergeIntoFile, GivesTheExpectedDocument)
{
    const std::filesystem::path data = std::filesystem::path(BIBSOURCES_TEST_DATA) / "merge";
    std::filesystem::copy_file(data / "word_list.xml", output);

    const ConversionResult result = convert(readFile(data / "refs.bib"));

    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(readFile(output), readFile(data / "word_list.merged.xml"));
}

TEST_F(MergeIntoFile, RefusesAFileThatIsNoSourceListAndLeavesIt)
{
    const char *rows[][2] = {
        {"<html><head/></html>\n", "' is not a bibliography source list (its root element is 'html')"},
        {"<b:Sources "
         "xmlns:b=\"http://schemas.openxmlformats.org/officeDocument/2006/bibliography\">\n<b:Source>\n",
            "' is not well-formed XML (line 3: "},
    };
    for (const auto &[contents, error] : rows) {
        SCOPED_TRACE(contents);
        writeFile(output, contents);

        const ConversionResult result = convert("@book{b1, title = {One}}\n");

        EXPECT_TRUE(result.error.starts_with("'" + output.string() + error)) << result.error;
        EXPECT_TRUE(result.error.ends_with("; nothing was written")) << result.error;
        EXPECT_EQ(readFile(output), contents);
        EXPECT_TRUE(onlyTheInputAndTheOutput());
    }
}

TEST_F(MergeIntoFile, WritesAPlainDocumentWhenThereIsNoFile)
{
    const std::string bib = "@article{a, title = {T}, author = {A. Author}}\n@book{b1, title = {One}}\n";

    const ConversionResult result = convert(bib);
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_FALSE(result.merge.merged);
    const std::string merged = readFile(output);
    std::filesystem::remove(output);
    ASSERT_TRUE(convertFiles({(directory / "refs.bib").string()}, output.string(), {}).ok());

    EXPECT_EQ(merged, readFile(output));
}

TEST_F(MergeIntoFile, WritesNothingWhenAnInputFails)
{
    const std::string before = root + record("b1") + "</b:Sources>";
    writeFile(output, before);
    ConversionSettings settings;
    settings.mergeIntoOutput = true;

    const ConversionResult result
        = convertFiles({(directory / "missing.bib").string()}, output.string(), settings);

    EXPECT_FALSE(result.ok());
    EXPECT_EQ(readFile(output), before);
}

} // namespace
} // namespace bibsources
