#pragma once

#include <QRectF>
#include <QSize>
#include <QString>

class QDebug;

namespace TW {

// One export's settings: filled by the export dialog, completed by the main
// controller (tempo, pitch and volume of a whole-project export; crop area
// and aspect ratio of every export) and, when original quality is asked for,
// by the export controller; read by the media exporter. Copied by value.
class ExportOptions
{
public:
    ExportOptions();

    QString file;                  // output file; its suffix decides the codecs
    QSize videoSize{-1, -1};       // a width or height below 1 keeps the project's source size
    int videoBitrate = 1500;       // kbit/s
    int audioBitrate = 192;        // kbit/s
    int freq = 44100;              // Hz; shown, the audio keeps the project's rate
    bool origQuality = true;       // take bitrates, rate and channels from the project
    bool stereo = true;            // two channels, else one
    float pitch = 0.0f;            // semitones, outside loops
    float tempo = 100.0f;          // percent, outside loops
    float volume = 100.0f;         // percent, outside loops
    bool useLoopCount = false;     // repeat each loop by its count (with its pauses)
    QRectF cropArea{0, 0, 0, 0};   // fractions of the frame (x, y, width, height)
    QSize aspectRatio{-1, -1};     // the project's aspect ratio
    bool audioOnly = false;        // the audio alone
    bool appleCompatible = false;  // AAC audio instead of MP3 (not for .mpg)
};

QDebug operator<<(QDebug debug, const ExportOptions &options);

} // namespace TW
