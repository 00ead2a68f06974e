#include "app/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFileInfo>

namespace TW {

namespace {

struct Parser
{
    QCommandLineParser parser;
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            CommandLine::tr("Print this summary and exit.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               CommandLine::tr("Print the version and exit.")};
    QCommandLineOption log{QStringLiteral("log"),
                           CommandLine::tr("Keep writing the log file for the whole run (each further -log "
                                           "switches it over again).")};
    QCommandLineOption place{QStringLiteral("p"),
                             CommandLine::tr("Place the window's top left corner at x, y (two whole numbers)."),
                             QStringLiteral("x y")};

    Parser()
    {
        // "-log" and "-help" are words, not bundles of one-letter options.
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.setApplicationDescription(
            CommandLine::tr("Tarnwell: practise with recordings at any tempo and pitch, with loops, bookmarks "
                            "and edits that leave the source untouched."));
        parser.addOptions({help, version, log, place});
        parser.addPositionalArgument(
            QStringLiteral("file"),
            CommandLine::tr("A media file or project to open; when several are given, the last. Any argument "
                            "that is not an option names a file."),
            QStringLiteral("[file]"));
    }
};

} // namespace

CommandLine::Answer CommandLine::answer(const QStringList &args)
{
    Parser p;
    // Unknown options are no error: any other argument names a file.
    p.parser.parse(args);
    Answer a;
    if (p.parser.isSet(p.help)) {
        a.exit = true;
        a.text = helpText(args.isEmpty() ? QStringLiteral("tarnwell") : QFileInfo(args.first()).fileName());
    } else if (p.parser.isSet(p.version)) {
        a.exit = true;
        a.text = versionText();
    }
    return a;
}

QString CommandLine::helpText(const QString &program)
{
    Parser p;
    QString text = p.parser.helpText();
    // Without an application object the parser does not know the program's
    // name; the usage line is the first line.
    const int end = text.indexOf(QLatin1Char('\n'));
    const QString usage = tr("Usage: %1 [-log] [-p x y] [file]").arg(program);
    text = end < 0 ? usage + QLatin1Char('\n') : usage + text.mid(end);
    // The parser writes word options with two dashes; the program reads
    // "-log" with one (and "--log" would name a file).
    text.replace(QStringLiteral("  --log "), QStringLiteral("  -log  "));
    return text;
}

QString CommandLine::versionText()
{
    return QStringLiteral("Tarnwell %1\n").arg(QStringLiteral(TW_VERSION));
}

} // namespace TW
