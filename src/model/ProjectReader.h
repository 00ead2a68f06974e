#pragma once

#include <QByteArray>
#include <QString>

namespace TW {

class Media;
class OptionsHolder;

// Reads the text of a project of the XML form into a media model and its
// options, with no file opened: the shape is checked while streaming before
// a document is built (size and nesting), then the root element, its
// version, the media and the options with their usable ranges. Media files
// are not loaded; that is the caller's next step.
class ProjectReader
{
public:
    // Projects are kilobytes and a few levels deep; anything far beyond is
    // not one (and would cost many times its size as a document).
    static constexpr qint64 MaxBytes = 64 * 1024 * 1024;
    static constexpr int MaxDepth = 32;

    // True when the text is a whole, usable project; media and options then
    // hold it. Otherwise false with a message for the user naming the
    // project as displayName, and media and options untouched.
    static bool read(const QByteArray &content, const QString &displayName, Media &media,
                     OptionsHolder &options, QString &error);
};

} // namespace TW
