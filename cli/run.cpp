#include "run.h"

#include "cli_options.h"
#include "field_report.h"
#include "option_help.h"
#include "printable.h"
#include "progress_line.h"
#include "target_checks.h"

#include <bibsources/conversion.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <unistd.h>

namespace bibsources::cli {

namespace {

constexpr const char *programName = "bibsources";
constexpr size_t diagnosticsShownPerFile = 10;

constexpr const char *usageLine
    = "usage: bibsources [-q] [-t [--macros FILE] [--report FILE]] [-o OUTPUT [--merge]]\n"
      "                  [--reader=own|btparse] FILE.bib...\n"
      "       bibsources [-q] --to-bib [-o OUT.bib] LIST.xml|DOCUMENT.docx...";

constexpr const char *helpStart = "bibsources turns BibTeX files into a Sources.xml bibliography that word\n"
                                  "processors import as their list of citable sources.\n"
                                  "\n"
                                  "usage: bibsources [-q] [-t] FILE.bib...\n"
                                  "           write Sources.xml beside each FILE.bib\n"
                                  "       bibsources [-q] [-t] -o OUTPUT FILE.bib...\n"
                                  "           write every entry of all files to OUTPUT\n"
                                  "       bibsources [-q] [-t] -o LIST --merge FILE.bib...\n"
                                  "           add every entry to the source list LIST\n"
                                  "       bibsources [-q] [--merge] -o DOCUMENT.docx FILE.bib...\n"
                                  "           set (or add to) the document's own source list\n"
                                  "       bibsources [-q] --to-bib [-o OUT.bib] LIST.xml|DOCUMENT.docx...\n"
                                  "           write the sources of lists and documents as one .bib\n"
                                  "\n";

constexpr const char *helpEnd
    = "\n"
      "An input of '-' reads BibTeX from standard input (only together with -o).\n"
      "An OUTPUT that is a link replaces the file it points to; a device or FIFO\n"
      "(such as /dev/null) is written into. A replaced file keeps its permissions.\n"
      "Without -o, an existing Sources.xml beside an input is replaced in one step;\n"
      "two inputs in the same folder need -o, since they would write the same file.\n"
      "Entries the parser cannot read are skipped and counted; the rest are kept.\n"
      "An input of which not one entry can be read fails and writes nothing.\n"
      "\n"
      "exit status: 0 written, 1 some input could not be converted, 2 wrong usage\n"
      "\n"
      "example:\n"
      "  bibsources ~/papers/refs.bib      writes ~/papers/Sources.xml\n";

std::string displayPath(const std::string &path)
{
    std::error_code ignored;
    const auto absolute = std::filesystem::absolute(path, ignored);
    return ignored ? path : absolute.lexically_normal().string();
}

std::string plural(int count, const char *one, const char *many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

void printDiagnostics(const InputReport &input, std::ostream &err)
{
    const auto &messages = input.messages;
    for (size_t i = 0; i < messages.size() && i < diagnosticsShownPerFile; ++i) {
        err << printable(messageLine(input.inputPath, messages[i])) << '\n';
    }
    if (messages.size() > diagnosticsShownPerFile) {
        err << printable(inputName(input.inputPath)) << ": ... and "
            << (messages.size() - diagnosticsShownPerFile) << " more\n";
    }
}

void printSummary(const InputReport &input, const std::string &destination, std::ostream &err)
{
    err << printable(inputName(input.inputPath)) << ": " << plural(input.recordsWritten, "source", "sources");
    if (input.entriesSkipped > 0) {
        err << ", " << plural(input.entriesSkipped, "entry", "entries") << " skipped";
    }
    err << " -> " << printable(destination) << '\n';
}

void printMergeSummary(const MergeReport &merge, const std::string &destination, std::ostream &err)
{
    for (const std::string &message : merge.messages) {
        err << printable(destination) << ": " << printable(message) << '\n';
    }
    if (!merge.merged) {
        return;
    }
    err << "merged into " << printable(destination) << ": " << plural(merge.recordsKept, "source", "sources")
        << " kept, " << merge.recordsReplaced << " replaced, " << merge.recordsAdded << " added\n";
}

// Without -o every input writes the Sources.xml of its own folder; two inputs
// in one folder would silently overwrite each other's result.
std::string sharedOutputProblem(const std::vector<std::string> &inputs)
{
    std::map<std::string, std::string> firstInputFor;
    for (const std::string &input : inputs) {
        if (input == "-") {
            return "standard input (-) has no folder to write Sources.xml into; use -o OUTPUT";
        }
        std::error_code ignored;
        const std::string output
            = std::filesystem::weakly_canonical(displayPath(outputPathFor(input)), ignored).string();
        const auto [it, inserted] = firstInputFor.emplace(output, input);
        if (!inserted) {
            return "'" + it->second + "' and '" + input + "' would both write " + output
                + "; convert them one at a time, or into one file with -o OUTPUT";
        }
    }
    return {};
}

using FieldRows = std::function<void(const FieldReportRow &)>;

ConversionHooks hooksFor(ProgressLine &progress, const FieldRows &fieldRows)
{
    ConversionHooks hooks = progress.hooks();
    hooks.fieldReport = fieldRows;
    return hooks;
}

int convertEach(
    const Options &options, const ConversionSettings &settings, const FieldRows &fieldRows, std::ostream &err)
{
    int status = Success;
    for (const std::string &input : options.inputs) {
        ProgressLine progress(STDERR_FILENO, !options.quiet);
        const ConversionResult result = convertFile(input, {}, settings, hooksFor(progress, fieldRows));
        progress.erase();
        const InputReport &report = result.inputs.front();
        if (!options.quiet) {
            printDiagnostics(report, err);
        }
        if (!result.ok()) {
            err << programName << ": " << printable(result.error) << '\n';
            status = ConversionFailed;
        } else if (!options.quiet) {
            printSummary(report, displayPath(result.outputPath), err);
        }
    }
    return status;
}

// Each input's messages (unless quiet) and failure; false when an input failed.
bool printInputs(const ConversionResult &result, bool quiet, std::ostream &err)
{
    bool everyInputRead = true;
    for (const InputReport &input : result.inputs) {
        if (!quiet) {
            printDiagnostics(input, err);
        }
        if (!input.ok()) {
            err << programName << ": " << printable(input.error) << '\n';
            everyInputRead = false;
        }
    }
    return everyInputRead;
}

// What became of a document's own source list, after the summary lines.
void printDocumentSummary(const DocumentReport &document, const std::string &destination, std::ostream &err)
{
    err << printable(destination) << ": ";
    if (document.unchanged) {
        err << "its source list already holds these sources; nothing was changed\n";
    } else if (document.listAdded) {
        err << "source list added as " << document.listPart << '\n';
    } else {
        err << "source list " << document.listPart << " written";
        if (document.recordsRemoved > 0) {
            err << " in place of the " << plural(document.recordsRemoved, "source", "sources") << " it held";
        }
        err << '\n';
    }
    for (const std::string &tag : document.citedTagsMissing) {
        err << printable(destination) << ": it cites '" << printable(tag)
            << "', which its source list lacks; the word processor shows an error there until a source "
               "with that tag is added\n";
    }
    if (!document.citationsUnchecked.empty()) {
        err << printable(destination) << ": its citations were not checked against its source list: "
            << printable(document.citationsUnchecked) << '\n';
    }
}

int convertMerged(
    const Options &options, const ConversionSettings &settings, const FieldRows &fieldRows, std::ostream &err)
{
    const bool toStandardOutput = options.output == "-";
    ProgressLine progress(STDERR_FILENO, !options.quiet);
    ConversionHooks hooks = hooksFor(progress, fieldRows);
    hooks.waitingForList = [&] {
        progress.erase();
        err << programName << ": waiting for another bibsources run that is merging into '"
            << printable(options.output) << "'\n";
        err.flush();
    };
    const ConversionResult result = toStandardOutput
        ? convertToDescriptor(options.inputs, STDOUT_FILENO, settings, hooks)
        : convertFiles(options.inputs, options.output, settings, hooks);
    progress.erase();
    if (!printInputs(result, options.quiet, err)) {
        err << programName << ": nothing written to "
            << (toStandardOutput ? "standard output" : "'" + printable(options.output) + "'")
            << ", so that it never lacks an input\n";
        return ConversionFailed;
    }
    if (!result.ok()) {
        err << programName << ": " << printable(result.error) << '\n';
        return ConversionFailed;
    }
    if (!options.quiet) {
        const std::string destination = toStandardOutput ? "standard output" : displayPath(options.output);
        if (result.document.tidyImplied) {
            err << programName
                << ": records go into a document as with --tidy, the form word processors read\n";
        }
        for (const InputReport &input : result.inputs) {
            printSummary(input, destination, err);
        }
        printMergeSummary(result.merge, destination, err);
        if (result.document.intoDocument) {
            printDocumentSummary(result.document, destination, err);
        }
    }
    return Success;
}

int convertToBibFile(const Options &options, const ConversionSettings &settings, std::ostream &err)
{
    const bool toStandardOutput = options.output == "-";
    const ConversionResult result = toStandardOutput
        ? convertToBibDescriptor(options.inputs, STDOUT_FILENO, settings)
        : convertToBib(options.inputs, options.output, settings);
    const bool everyInputRead = printInputs(result, options.quiet, err);
    if (!result.ok()) {
        if (everyInputRead) {
            err << programName << ": " << printable(result.error) << '\n';
        } else {
            err << programName << ": nothing written, so that the .bib never lacks an input\n";
        }
        return ConversionFailed;
    }
    if (!options.quiet) {
        const std::string destination = toStandardOutput ? "standard output" : displayPath(result.outputPath);
        for (const InputReport &input : result.inputs) {
            printSummary(input, destination, err);
        }
    }
    return Success;
}

// The helper's settings may be changed from the environment, for tests and
// for a machine where the defaults do not fit.
ConversionSettings settingsFromEnvironment()
{
    ConversionSettings settings;
    if (const char *helper = std::getenv("BIBSOURCES_WORKER"); helper && *helper) {
        settings.helperPath = helper;
    }
    if (const char *text = std::getenv("BIBSOURCES_WORKER_TIMEOUT"); text && *text) {
        char *end = nullptr;
        const double seconds = std::strtod(text, &end);
        if (end != text && *end == '\0' && seconds > 0) {
            settings.helperTimeoutSeconds = seconds;
        }
    }
    if (const char *text = std::getenv("BIBSOURCES_WORKER_MEMORY_MB"); text && *text) {
        char *end = nullptr;
        const unsigned long long megabytes = std::strtoull(text, &end, 10);
        if (end != text && *end == '\0' && megabytes > 0) {
            settings.helperMemoryLimit = std::uint64_t(megabytes) << 20;
        }
    }
    // A document for standard output or a device waits where temporary
    // files belong.
    if (const char *folder = std::getenv("TMPDIR"); folder && *folder) {
        settings.temporaryFolder = folder;
    }
    return settings;
}

} // namespace

int run(const std::vector<std::string> &arguments, std::ostream &out, std::ostream &err)
{
    Options options = parseArguments(arguments);
    if (options.help) {
        out << helpStart << optionHelp(optionTable()) << helpEnd;
        return Success;
    }
    if (options.version) {
        out << programName << ' ' << BIBSOURCES_VERSION << '\n';
        return Success;
    }
    std::string problem = options.usageError;
    useStandardStreamNames(options);
    if (problem.empty()) {
        problem = targetProblem(options);
    }
    if (problem.empty() && options.output.empty() && !options.toBib) {
        problem = sharedOutputProblem(options.inputs);
    }
    if (!problem.empty()) {
        err << programName << ": " << printable(problem) << '\n'
            << usageLine << "\n"
            << "Try 'bibsources --help' for more information.\n";
        return UsageError;
    }
    out.flush();
    ConversionSettings settings = settingsFromEnvironment();
    settings.tidy = options.tidy;
    settings.macroFiles = options.macroFiles;
    settings.mergeIntoOutput = options.merge;
    if (options.reader == "own") {
        settings.reader = ConversionSettings::Reader::Own;
    }
    if (options.toBib) {
        return convertToBibFile(options, settings, err);
    }
    if (options.report.empty()) {
        return options.output.empty() ? convertEach(options, settings, {}, err)
                                      : convertMerged(options, settings, {}, err);
    }
    FieldReportFile report(options.report, out);
    if (!report.error().empty()) {
        err << programName << ": " << printable(report.error()) << '\n';
        return ConversionFailed;
    }
    const FieldRows rows = [&report](const FieldReportRow &row) { report.add(row); };
    int status = options.output.empty() ? convertEach(options, settings, rows, err)
                                        : convertMerged(options, settings, rows, err);
    if (!report.finish().empty()) {
        err << programName << ": " << printable(report.error()) << '\n';
        status = ConversionFailed;
    }
    return status;
}

} // namespace bibsources::cli
