// The options dialog: every setting through the dialog into the application
// settings and their ini file and back, refused folders, Default and
// Cancel, and the "Custom" entry.
#include "ModalAnswerer.h"
#include "TestEnv.h"

#include "core/Options.h"
#include "dialogs/OptionsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>

using namespace TW;

namespace {

struct Row
{
    const char *field;
    PathType kind;
};

const Row Rows[] = {{"pathRippingLineEdit", RippingFolder}, {"pathExportLineEdit", ExportFolder},
                    {"pathSnifferLineEdit", SnifferFolder}, {"pathTempLineEdit", TempFolder},
                    {"pathOpenLineEdit", OpenProjectFolder}, {"pathSaveLineEdit", SaveProjectFolder}};

template <typename T> T *child(QWidget &w, const char *name)
{
    T *c = w.findChild<T *>(QLatin1String(name));
    if (!c)
        qFatal("no widget %s", name);
    return c;
}

} // namespace

class tst_OptionsDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        test::isolateHome();
        QVERIFY(m_dir.isValid());
        Options::instance()->loadFromFile(true);
    }

    void showsTheSettings()
    {
        Options *o = Options::instance();
        o->setDefaultAspectRatio(Options::AspectRatio4x3);
        o->setAlwaysOnTop(true);
        o->setClearCacheOnExit(false);
        OptionsDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Options"));
        QCOMPARE(child<QComboBox>(dialog, "aspectRatioComboBox")->currentText(), QStringLiteral("4:3"));
        QVERIFY(child<QCheckBox>(dialog, "generalTopCheckBox")->isChecked());
        QVERIFY(!child<QCheckBox>(dialog, "clearCacheCheckbox")->isChecked());
        for (const Row &row : Rows)
            QCOMPARE(child<QLineEdit>(dialog, row.field)->text(), o->getPath(row.kind));
        QCOMPARE(dialog.height(), 300);
        QCOMPARE(dialog.minimumWidth(), dialog.maximumWidth());
        o->setAlwaysOnTop(false);
    }

    // Each setting changed in the dialog reaches the settings, their file
    // and a new dialog; a folder that is missing is made.
    void everySettingRoundTrips()
    {
        Options *o = Options::instance();
        o->setLastPath(ExportFolder, m_dir.path());
        {
            OptionsDialog dialog;
            child<QComboBox>(dialog, "aspectRatioComboBox")->setCurrentIndex(2);
            child<QCheckBox>(dialog, "generalTopCheckBox")->setChecked(true);
            child<QCheckBox>(dialog, "clearCacheCheckbox")->setChecked(true);
            for (const Row &row : Rows)
                child<QLineEdit>(dialog, row.field)->setText(folder(row.kind));
            child<QPushButton>(dialog, "savePushButton")->click();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        QCOMPARE(o->getDefaultAspectRatio(), Options::AspectRatioOriginal);
        QVERIFY(o->getAlwaysOnTop());
        QVERIFY(o->getClearCacheOnExit());
        for (const Row &row : Rows) {
            QCOMPARE(o->getPath(row.kind), folder(row.kind));
            QVERIFY(QFileInfo(folder(row.kind)).isDir());
        }
        // The last folders are forgotten, the ripping one is the ripping folder.
        QVERIFY(o->getLastPath(ExportFolder).isEmpty());
        QCOMPARE(o->getLastPath(RippingFolder), folder(RippingFolder));

        // The file written at exit holds them.
        const QString file = o->filePath();
        {
            Options copy(*o);
        }
        Options reread;
        reread.detachFromFile();
        reread.loadFromFile(true);
        QVERIFY(QFileInfo::exists(file));
        QCOMPARE(reread.getDefaultAspectRatio(), Options::AspectRatioOriginal);
        QVERIFY(reread.getAlwaysOnTop());
        QVERIFY(reread.getClearCacheOnExit());
        for (const Row &row : Rows)
            QCOMPARE(reread.getPath(row.kind), folder(row.kind));

        OptionsDialog again;
        QCOMPARE(child<QComboBox>(again, "aspectRatioComboBox")->currentText(), QStringLiteral("Same as original"));
        QVERIFY(child<QCheckBox>(again, "generalTopCheckBox")->isChecked());
        QVERIFY(child<QCheckBox>(again, "clearCacheCheckbox")->isChecked());
        for (const Row &row : Rows)
            QCOMPARE(child<QLineEdit>(again, row.field)->text(), folder(row.kind));
        o->setAlwaysOnTop(false);
    }

    void unusableFoldersAreRefused_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("complaint");
        QTest::newRow("empty") << "pathTempLineEdit" << "" << "Please enter a folder.";
        QTest::newRow("blank") << "pathExportLineEdit" << "   " << "Please enter a folder.";
        QTest::newRow("relative") << "pathSaveLineEdit" << "projects" << "Please enter the whole path of the folder.";
        QTest::newRow("a file") << "pathOpenLineEdit" << "FILE" << "This is a file, not a folder.";
        QTest::newRow("under a file") << "pathRippingLineEdit" << "FILE/below" << "This folder cannot be made.";
    }

    void unusableFoldersAreRefused()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, complaint);
        const QString file = m_dir.filePath(QStringLiteral("a-file"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        value.replace(QLatin1String("FILE"), file);

        Options *o = Options::instance();
        QStringList before;
        for (const Row &row : Rows)
            before << o->getPath(row.kind);
        OptionsDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        child<QLineEdit>(dialog, qPrintable(field))->setText(value);
        child<QCheckBox>(dialog, "clearCacheCheckbox")->setChecked(!o->getClearCacheOnExit());
        const bool clear = o->getClearCacheOnExit();
        QToolTip::hideText();
        child<QPushButton>(dialog, "savePushButton")->click();
        QVERIFY(dialog.isVisible());
        QCOMPARE(QToolTip::text(), complaint);
        QStringList after;
        for (const Row &row : Rows)
            after << o->getPath(row.kind);
        QCOMPARE(after, before);
        QCOMPARE(o->getClearCacheOnExit(), clear);
    }

    void defaultThenCancelChangesNothing()
    {
        Options *o = Options::instance();
        o->setDefaultAspectRatio(Options::AspectRatio4x3);
        o->setSizeCustom(QSize(640, 360));
        const QString temp = o->getPath(TempFolder);
        test::ModalAnswerer answers;
        {
            OptionsDialog dialog;
            answers.answerBox(QMessageBox::Yes);
            child<QPushButton>(dialog, "defaultPushButton")->click();
            QCOMPARE(child<QComboBox>(dialog, "aspectRatioComboBox")->currentText(), QStringLiteral("Same as original"));
            QCOMPARE(child<QLineEdit>(dialog, "pathTempLineEdit")->text(), Options::defaultPath(TempFolder));
            child<QPushButton>(dialog, "cancelPushButton")->click();
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
        }
        QCOMPARE(answers.boxes(), QStringList{"Default options: Do you want to reset to default settings?"});
        QCOMPARE(answers.seen().first().defaultButton, QMessageBox::No);
        QCOMPARE(o->getDefaultAspectRatio(), Options::AspectRatio4x3);
        QCOMPARE(o->getPath(TempFolder), temp);
        QCOMPARE(o->getSizeCustom(), QSize(640, 360));

        // Default, then Save: the built-in values, custom size included.
        {
            OptionsDialog dialog;
            answers.answerBox(QMessageBox::Yes);
            child<QPushButton>(dialog, "defaultPushButton")->click();
            child<QPushButton>(dialog, "savePushButton")->click();
        }
        Options defaults;
        defaults.detachFromFile();
        defaults.loadFromFile(false);
        QCOMPARE(o->getDefaultAspectRatio(), Options::AspectRatioOriginal);
        QCOMPARE(o->getSizeCustom(), defaults.getSizeCustom());
        QCOMPARE(o->getPath(TempFolder), Options::defaultPath(TempFolder));
    }

    // "Custom" acts at once, on every pick; the size it stored stays after
    // Save.
    void customActsAtOnce()
    {
        int runs = 0;
        OptionsDialog::setCustomSizeAction([&runs] {
            ++runs;
            Options::instance()->setSizeCustom(QSize(1000 + 2 * runs, 500));
        });
        Options::instance()->setSizeCustom(QSize(320, 240));
        OptionsDialog dialog;
        auto *list = child<QComboBox>(dialog, "aspectRatioComboBox");
        const int custom = list->findText(QStringLiteral("Custom"));
        QVERIFY(custom >= 0);
        list->setCurrentIndex(custom);
        emit list->activated(custom);
        emit list->activated(custom);
        QCOMPARE(runs, 2);
        list->setCurrentIndex(0);
        emit list->activated(0);
        QCOMPARE(runs, 2);
        child<QPushButton>(dialog, "savePushButton")->click();
        QCOMPARE(Options::instance()->getSizeCustom(), QSize(1004, 500));
        QCOMPARE(Options::instance()->getDefaultAspectRatio(), Options::AspectRatio16x9);
        OptionsDialog::setCustomSizeAction({});
    }

private:
    QString folder(PathType kind) const
    {
        return QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("kind%1/new folder").arg(int(kind))));
    }

    QTemporaryDir m_dir;
};

QTEST_MAIN(tst_OptionsDialog)
#include "tst_OptionsDialog.moc"
