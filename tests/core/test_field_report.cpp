#include "document.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace bibsources {
namespace {

struct Row {
    int line;
    std::string key, tag, field, element, note;
};

struct Reported {
    std::string document;
    std::vector<Row> rows;
    std::vector<InputReport> inputs;
};

Reported convertWithReport(const std::string &path, bool tellLeftOut = false)
{
    Reported reported;
    ConversionSettings settings;
    settings.tidy = true;
    settings.tellFieldsLeftOut = tellLeftOut;
    ConversionHooks hooks;
    hooks.fieldReport = [&](const FieldReportRow &row) {
        reported.rows.push_back(Row{row.line, std::string(row.key), std::string(row.tag),
            std::string(row.field), std::string(row.element), std::string(row.note)});
    };
    reported.inputs
        = writeDocument({path}, settings, hooks, [&](std::string_view text) { reported.document += text; });
    return reported;
}

// The elements a record holds besides Tag, SourceType and Guid, with the
// contributor roles by their inner element.
std::map<std::string, std::set<std::string>> elementsByTag(const std::string &document)
{
    std::map<std::string, std::set<std::string>> records;
    const std::regex record("<b:Source>\n<b:Tag>([^<]*)</b:Tag>\n([^]*?)</b:Source>\n");
    const std::regex element("\n<b:(\\w+)>([^<\n]*</b:\\w+>)?");
    const std::set<std::string> unreported{
        "SourceType", "Guid", "NameList", "Person", "Last", "First", "Middle", "Corporate"};
    for (auto found = std::sregex_iterator(document.begin(), document.end(), record);
         found != std::sregex_iterator(); ++found) {
        std::set<std::string> &elements = records[(*found)[1]];
        std::string body = "\n" + (*found)[2].str();
        // The outer b:Author wraps every role; only an inner one is the author role.
        if (const size_t wrapper = body.find("\n<b:Author>\n"); wrapper != std::string::npos) {
            body.erase(wrapper, 11);
        }
        for (auto part = std::sregex_iterator(body.begin(), body.end(), element);
             part != std::sregex_iterator(); ++part) {
            if (!unreported.count((*part)[1])) {
                elements.insert("b:" + (*part)[1].str());
            }
        }
    }
    return records;
}

// For every sample, the elements the report names for a record are exactly
// those the record holds: nothing written goes unreported, nothing reported
// is missing.
TEST(FieldReport, AgreesWithTheDocument)
{
    for (const char *sample : {"records", "rules", "names", "tex", "crossref"}) {
        SCOPED_TRACE(sample);
        const Reported reported
            = convertWithReport(std::string(BIBSOURCES_TEST_DATA) + "/tidy/" + sample + ".bib");
        std::map<std::string, std::set<std::string>> named;
        for (const Row &row : reported.rows) {
            std::istringstream elements(row.element);
            std::set<std::string> &set = named[row.tag];
            for (std::string element; elements >> element;) {
                set.insert(element);
            }
            if (row.element.empty()) {
                EXPECT_FALSE(row.note.empty()) << row.key << " " << row.field << ": went nowhere, says why";
            }
        }
        std::map<std::string, std::set<std::string>> written = elementsByTag(reported.document);
        for (auto &[tag, elements] : written) {
            if (!named[tag].count("b:ThesisType")) {
                elements.erase("b:ThesisType"); // the entry type gives a thesis its kind, no field
            }
            EXPECT_EQ(named[tag], elements) << tag;
        }
        EXPECT_EQ(named.size(), written.size());
    }
}

// Every field of an entry has its row, in order, those that went nowhere
// with the reason; the window's message names them per entry.
TEST(FieldReport, SaysWhyAFieldWentNowhere)
{
    const testing::TemporaryDirectory folder;
    const std::string path = (folder / "refs.bib").string();
    testing::writeFile(folder / "refs.bib",
        "@article{a, title = {T}, title = {Again}, month = {??}, journal = {}, note = {\\TUB{} news},\n"
        "  date = {2001-05}, year = 2001, crossref = {p}}\n"
        "@periodical{p, title = {Journal}, issn = {1234}}\n");
    const Reported reported = convertWithReport(path, true);
    std::vector<std::string> rows;
    for (const Row &row : reported.rows) {
        if (row.key == "a") {
            rows.push_back(row.field + "|" + row.element + "|" + row.note);
        }
    }
    EXPECT_EQ(rows,
        (std::vector<std::string>{"title|b:Title|", "title||given twice; the first is kept",
            "month||the date field gives the date", "journal||empty", "note|b:Comments|keeps \\TUB",
            "date|b:Year b:Month|", "year||the date field gives the date",
            "crossref||its fields are inherited", "journaltitle|b:JournalName|from crossref 'p'",
            "issn|b:StandardNumber|from crossref 'p'"}));
    std::vector<std::string> messages;
    for (const Message &message : reported.inputs.at(0).messages) {
        messages.push_back(messageLine(path, message));
    }
    EXPECT_NE(
        std::find(messages.begin(), messages.end(),
            path
                + ": entry 'a' near line 1: not written: title (given twice; the first is kept), month (the "
                  "date field gives the date), journal (empty), year (the date field gives the date)"),
        messages.end());
}

} // namespace
} // namespace bibsources
