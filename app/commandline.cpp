#include "commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace bibsources {

CommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate("CommandLine",
        "The bibsources window: drop a BibTeX file on it, press Convert, and find\n"
        "Sources.xml beside the file. From a shell, bibsources FILE.bib does the same."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"),
        QCoreApplication::translate("CommandLine", "The .bib file to load, as if it had been dropped."),
        QStringLiteral("[file]"));

    CommandLine commandLine;
    if (!parser.parse(arguments)) {
        commandLine.action = CommandLine::Action::Fail;
        commandLine.text = parser.errorText();
    } else if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        commandLine.action = CommandLine::Action::ShowHelp;
        commandLine.text = parser.helpText();
    } else if (parser.isSet(version)) {
        commandLine.action = CommandLine::Action::ShowVersion;
        commandLine.text = QStringLiteral("bibsources-gui " BIBSOURCES_VERSION "\n");
    } else {
        commandLine.files = parser.positionalArguments();
    }
    return commandLine;
}

} // namespace bibsources
