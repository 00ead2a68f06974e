#include "NumberedClip.h"

#include "core/VideoInputConverter.h"
#include "core/VideoInputFile.h"

#include "TestMedia.h"

#include <QFileInfo>

namespace TW::test {

QString makeNumberedClip(const QString &folder, int seconds, int blackFrom, int blackTo)
{
    const QString tag = blackFrom >= 0 ? QStringLiteral("_%1_%2").arg(blackFrom).arg(blackTo) : QString();
    const QString source = folder + "/numbered" + tag + ".mkv";
    const QString output = folder + "/numbered" + tag + ".avi";
    if (QFileInfo::exists(output))
        return output;
    const QString bit = QStringLiteral("bitand(N\\,pow(2\\,floor(X*10/W)))");
    const QString black = blackFrom >= 0 ? QStringLiteral("between(N\\,%1\\,%2)").arg(blackFrom).arg(blackTo - 1)
                                         : QStringLiteral("0");
    const QString video = QStringLiteral("color=c=black:s=320x240:r=25:d=%1,format=gbrp,"
                                         "geq=r='if(%3\\,0\\,if(%2\\,0\\,230))':g='if(%3\\,0\\,if(%2\\,230\\,0))':b=0")
                              .arg(seconds)
                              .arg(bit, black);
    if (!TestMedia::ffmpeg({"-f", "lavfi", "-i", video, "-f", "lavfi", "-i",
                            QStringLiteral("sine=f=440:r=44100:d=%1").arg(seconds), "-c:v", "libx264", "-preset",
                            "veryfast", "-pix_fmt", "yuv444p", "-crf", "10", "-c:a", "pcm_s16le", source}))
        return {};
    VideoInputFile file;
    file.inputPath = source;
    file.outputPath = output;
    file.fps = 25.0f;
    file.channels = 2;
    if (!TestMedia::ffmpeg(VideoInputConverter::conversionArguments(file)))
        return {};
    return file.outputPath;
}

int shownFrame(const VideoFrame &v)
{
    const int w = int(v.width);
    const int bpp = v.bytesPerPixel;
    if (!v.buffer || w < 40 || v.height == 0 || (bpp != 3 && bpp != 4))
        return -1;
    const int stride = v.bytesPerLine > 0 ? v.bytesPerLine : w * bpp;
    const uchar *row = reinterpret_cast<const uchar *>(v.buffer) + size_t(v.height / 2) * size_t(stride);
    // 24-bit pictures are R, G, B in memory; 32-bit ones 0xffRRGGBB words.
    const int r = bpp == 4 ? 2 : 0;
    const int g = 1;
    int frame = 0;
    bool allBlack = true;
    for (int i = 0; i < 10; ++i) {
        const uchar *p = row + size_t((2 * i + 1) * w / 20) * size_t(bpp);
        if (p[r] > 40 || p[g] > 40)
            allBlack = false;
        if (p[g] > 120 && p[r] < 90)
            frame |= 1 << i;
        else if (!(p[r] > 120 && p[g] < 90))
            frame = -1000;
    }
    if (allBlack)
        return -2;
    return frame < 0 ? -1 : frame;
}

} // namespace TW::test
