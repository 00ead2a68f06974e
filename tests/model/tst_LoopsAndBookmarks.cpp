// Loops and bookmarks: defaults, identity across copies and assignment,
// independence of copies, and the debug forms.
#include "TestEnv.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "model/VideoLoop.h"
#include "model/VideoMarker.h"

#include <QtTest>

using namespace TW;

class LoopsAndBookmarksTest : public QObject
{
    Q_OBJECT

    template <class T>
    static QString debugForm(const T &value)
    {
        QString text;
        QDebug(&text) << value;
        return text.trimmed();
    }

    static OptionsHolder *holder() { return Singleton<OptionsHolder>::instance(); }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
    }
    void init()
    {
        holder()->reset();
    }

    void loopDefaults()
    {
        VideoLoop loop;
        QCOMPARE(loop.getStartFrame(), -1);
        QCOMPARE(loop.getEndFrame(), -1);
        QCOMPARE(loop.getLoopCount(), 999);
        QCOMPARE(loop.getDelay(), -1);
        QCOMPARE(loop.getVolume(), 100.0);
        QVERIFY(loop.getName().isEmpty());
        QVERIFY(!loop.getName().isNull());
        QCOMPARE(loop.getTempo(), 100.0f);
        QCOMPARE(loop.getPitch(), 0.0f);
        QCOMPARE(loop.getStartTime(), Time::fromFrameUnits(-1));
        QVERIFY(!loop.getID().isEmpty());
        QVERIFY(VideoLoop().getID() != loop.getID());
    }

    void loopTakesProjectValuesOfItsMoment()
    {
        holder()->setProjectTempo(75);
        holder()->setProjectPitch(-3);
        VideoLoop loop;
        holder()->setProjectTempo(120);
        QCOMPARE(loop.getTempo(), 75.0f);
        QCOMPARE(loop.getPitch(), -3.0f);
    }

    void loopCopyAndAssignment()
    {
        VideoLoop source;
        source.setName("intro");
        source.setStartFrame(10);
        source.setEndFrame(20);
        source.setPitch(2);
        source.setTempo(80);
        source.setLoopCount(3);
        source.setDelay(4);
        source.setVolume(55);

        VideoLoop copy(source);
        QCOMPARE(copy.getID(), source.getID());
        copy.setName("changed");
        copy.setEndFrame(99);
        QCOMPARE(source.getName(), QStringLiteral("intro"));
        QCOMPARE(source.getEndFrame(), 20);

        VideoLoop target;
        const QString targetId = target.getID();
        target = source;
        QCOMPARE(target.getID(), targetId);
        QCOMPARE(debugForm(target), debugForm(source));
        target = target;
        QCOMPARE(target.getName(), QStringLiteral("intro"));
    }

    void loopDebugForm()
    {
        VideoLoop loop;
        loop.setName("L1");
        loop.setStartFrame(10);
        loop.setEndFrame(20);
        loop.setDelay(2);
        loop.setLoopCount(3);
        loop.setPitch(1.5f);
        loop.setTempo(80);
        loop.setVolume(90);
        QCOMPARE(debugForm(loop),
                 QStringLiteral("VideoLoop(name\"L1\" start10 end20 delay2 count3 pitch1.5 tempo80 volume90)"));
    }

    void bookmarks()
    {
        VideoMarker at(500);
        QCOMPARE(at.getFrame(), quint64(500));
        QVERIFY(at.getName().isEmpty());
        QVERIFY(VideoMarker(500).getID() != at.getID());
        QCOMPARE(VideoMarker().getFrame(), quint64(0));

        at.setName("chorus");
        VideoMarker copy(at);
        QCOMPARE(copy.getID(), at.getID());
        copy.setFrame(7);
        QCOMPARE(at.getFrame(), quint64(500));

        VideoMarker target;
        const QString targetId = target.getID();
        target = at;
        QCOMPARE(target.getID(), targetId);
        QCOMPARE(target.getName(), QStringLiteral("chorus"));
        QCOMPARE(debugForm(target), QStringLiteral("VideoMarker(name\"chorus\" frame500)"));
    }
};

QTEST_GUILESS_MAIN(LoopsAndBookmarksTest)
#include "tst_LoopsAndBookmarks.moc"
