// Writes a project for trying playback by hand or by script: a clip opened
// as a user opens it (converted into the cache of the current home folder),
// the project tempo and pitch, and one loop with its own tempo, pitch,
// count and delay.
//
// Usage: bench_make_loop_project CLIP OUT.twp [project tempo] [project pitch]
//        [loop start frame] [loop end frame] [loop tempo] [loop pitch]
//        [count] [delay]
// Defaults: 75 2 352 453 60 4 2 1 (a loop 14.08-18.12 s at 25 fps).

#include "app/AddLoopCommand.h"
#include "app/Application.h"
#include "app/MainController.h"
#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/Util.h"
#include "model/Media.h"
#include "model/VideoLoop.h"

#include <QDomDocument>
#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s CLIP OUT.twp [tempo pitch start end loopTempo loopPitch count delay]\n",
                     argv[0]);
        return 2;
    }
    auto arg = [&](int i, double fallback) { return argc > i ? std::atof(argv[i]) : fallback; };
    const QString clip = QString::fromLocal8Bit(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    Q_INIT_RESOURCE(resources);
    TW::Util::init();
    int appArgc = 1;
    TW::Application app(appArgc, argv);
    TW::MainController *controller = app.getMainController();
    controller->exec();
    controller->openFile(clip);
    if (controller->getMedia()->isEmpty()) {
        std::fprintf(stderr, "the clip did not open\n");
        return 1;
    }
    controller->onTempoChanged(float(arg(3, 75)));
    controller->onPitchChanged(float(arg(4, 2)));
    QSharedPointer<TW::VideoLoop> loop(new TW::VideoLoop);
    loop->setName(QStringLiteral("loop"));
    loop->setStartFrame(int(arg(5, 352)));
    loop->setEndFrame(int(arg(6, 453)));
    loop->setTempo(float(arg(7, 60)));
    loop->setPitch(float(arg(8, 4)));
    loop->setLoopCount(int(arg(9, 2)));
    loop->setDelay(int(arg(10, 1)));
    controller->onExecute(new TW::AddLoopCommand(loop));

    QDomDocument document;
    QDomElement root = document.createElement(QStringLiteral("tarnwell_project"));
    root.setAttribute(QStringLiteral("version"), 2);
    document.appendChild(root);
    root.appendChild(controller->getMedia()->toDomElement(document, QStringLiteral("media")));
    root.appendChild(TW::Singleton<TW::OptionsHolder>::instance()->toDomElement(document, QStringLiteral("options")));
    QFile file(out);
    if (!file.open(QIODevice::WriteOnly) || file.write(document.toByteArray(1)) < 0) {
        std::fprintf(stderr, "could not write %s\n", argv[2]);
        return 1;
    }
    file.close();
    controller->release();
    TW::Util::release();
    std::printf("%s\n", argv[2]);
    return 0;
}
