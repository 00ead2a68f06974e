#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

namespace TW {

// The requests of the command line that are answered before anything else is
// made (no application object, window or media back end): "--help" and
// "--version" print their text and end the program. Every other argument is
// left to the controller, which reads "-log", "-p x y" and file names in the
// order given.
class CommandLine
{
    Q_DECLARE_TR_FUNCTIONS(CommandLine)
public:
    struct Answer
    {
        bool exit = false;  // the program ends at once with code
        int code = 0;
        QString text;       // printed on the standard output before it ends
    };

    // args as main receives them, the program first.
    static Answer answer(const QStringList &args);

    // The summary that "--help" prints, for the program named program.
    static QString helpText(const QString &program);
    static QString versionText();
};

} // namespace TW
