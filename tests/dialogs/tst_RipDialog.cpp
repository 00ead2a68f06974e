// The DVD rip dialog: the outputs made of the chosen files, the folder they
// go to, and a cancelled chooser.
#include "ModalAnswerer.h"
#include "TestEnv.h"

#include "core/Options.h"
#include "dialogs/RipDialog.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace TW;

class tst_RipDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        test::isolateHome();
        QVERIFY(m_dir.isValid());
        Options::instance()->loadFromFile(true);
        m_disc = m_dir.filePath(QStringLiteral("VIDEO_TS"));
        QVERIFY(QDir().mkpath(m_disc));
        for (const char *name : {"VTS_01_1.VOB", "VTS_01_2.VOB", "VTS_02_1.VOB", "notes.txt"}) {
            QFile f(QDir(m_disc).filePath(QLatin1String(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
    }

    void outputsFollowTheChoice_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("mp4, remembered folder") << 0 << QString() << "mp4";
        QTest::newRow("mov, typed folder") << 1 << "typed/out" << "mov";
    }

    void outputsFollowTheChoice()
    {
        QFETCH(int, format);
        QFETCH(QString, typed);
        QFETCH(QString, suffix);
        const QString remembered = m_dir.filePath(QStringLiteral("remembered"));
        Options::instance()->setLastPath(RippingFolder, remembered);
        if (!typed.isEmpty())
            typed = m_dir.filePath(typed);

        RipDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Rip DVD Files"));
        auto *destination = dialog.findChild<QLineEdit *>(QStringLiteral("ripDestination"));
        QCOMPARE(destination->text(), QDir::toNativeSeparators(remembered));
        if (!typed.isEmpty())
            destination->setText(typed);
        dialog.findChild<QComboBox *>(QStringLiteral("ripFormatList"))->setCurrentIndex(format);
        auto *chooser = dialog.findChild<QFileDialog *>(QStringLiteral("ripFileChooser"));
        QCOMPARE(chooser->nameFilters(), QStringList{"DVD Video Files (*.vob)"});
        chooser->setDirectory(m_disc);
        chooser->selectFile(QStringLiteral("\"VTS_02_1.VOB\" \"VTS_01_1.VOB\""));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QMetaObject::invokeMethod(chooser, "accept");
        QTRY_VERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const auto info = dialog.getRipInfo();
        QCOMPARE(info.first.size(), 2);
        const QString folder = typed.isEmpty() ? remembered : typed;
        QCOMPARE(info.first.size(), info.second.size());
        for (int i = 0; i < info.first.size(); ++i) {
            QCOMPARE(QFileInfo(info.first.at(i)).absolutePath(), m_disc);
            QCOMPARE(info.second.at(i), QDir::toNativeSeparators(folder + QLatin1Char('/')
                                                                 + QFileInfo(info.first.at(i)).completeBaseName()
                                                                 + QLatin1Char('.') + suffix));
        }
    }

    void cancelGivesNothing()
    {
        RipDialog dialog;
        auto *chooser = dialog.findChild<QFileDialog *>(QStringLiteral("ripFileChooser"));
        chooser->setDirectory(m_disc);
        chooser->selectFile(QStringLiteral("VTS_01_1.VOB"));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QMetaObject::invokeMethod(chooser, "reject");
        QTRY_VERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(dialog.getRipInfo().first.isEmpty());
        QVERIFY(dialog.getRipInfo().second.isEmpty());
    }

    void browsedFolderIsRemembered()
    {
        const QString chosen = m_dir.filePath(QStringLiteral("chosen"));
        QVERIFY(QDir().mkpath(chosen));
        {
            RipDialog dialog;
            test::ModalAnswerer answers;
            answers.answerFile(chosen);
            for (QPushButton *b : dialog.findChildren<QPushButton *>())
                if (b->text() == QLatin1String("..."))
                    b->click();
            QCOMPARE(answers.seen().size(), 1);
            QCOMPARE(answers.seen().first().title, QStringLiteral("Select directory"));
            QCOMPARE(dialog.findChild<QLineEdit *>(QStringLiteral("ripDestination"))->text(),
                     QDir::toNativeSeparators(chosen));
        }
        QCOMPARE(QDir(Options::instance()->getLastPath(RippingFolder)).absolutePath(), chosen);
        RipDialog next;
        QCOMPARE(QDir(next.findChild<QLineEdit *>(QStringLiteral("ripDestination"))->text()).absolutePath(), chosen);
    }

private:
    QTemporaryDir m_dir;
    QString m_disc;
};

QTEST_MAIN(tst_RipDialog)
#include "tst_RipDialog.moc"
