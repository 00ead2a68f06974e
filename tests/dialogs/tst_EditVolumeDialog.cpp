// The change-volume dialog: the slider and read-out for a starting volume,
// the answer, and page steps.
#include "dialogs/EditVolumeDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>

using TW::EditVolumeDialog;

class EditVolumeDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void startingVolume_data()
    {
        QTest::addColumn<double>("start");
        QTest::addColumn<int>("slider");
        QTest::addColumn<QString>("readOut");
        QTest::addColumn<double>("answer");
        QTest::newRow("unchanged") << 100.0 << 1000 << "100.0%" << 100.0;
        QTest::newRow("above the top") << 250.0 << 2000 << "200.0%" << 200.0;
        QTest::newRow("silent") << 0.0 << 0 << "0.0%" << 0.0;
        QTest::newRow("truncated to tenths") << 33.37 << 333 << "33.3%" << 33.3;
    }
    void startingVolume()
    {
        QFETCH(double, start);
        QFETCH(int, slider);
        QFETCH(QString, readOut);
        QFETCH(double, answer);
        EditVolumeDialog dialog(nullptr, start);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Change Volume"));
        QCOMPARE(dialog.findChild<QSlider *>("volumeSlider")->value(), slider);
        QCOMPARE(dialog.findChild<QLabel *>("volumeLabel")->text(), readOut);
        dialog.show();
        dialog.findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.getOptions().getVolume(), answer);
    }

    void pageStepsAreTenPercent()
    {
        EditVolumeDialog dialog(nullptr, 100.0);
        dialog.show();
        QSlider *slider = dialog.findChild<QSlider *>("volumeSlider");
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_PageUp);
        QCOMPARE(dialog.getOptions().getVolume(), 110.0);
        QCOMPARE(dialog.findChild<QLabel *>("volumeLabel")->text(), QStringLiteral("110.0%"));
        QTest::keyClick(slider, Qt::Key_PageDown);
        QTest::keyClick(slider, Qt::Key_PageDown);
        QCOMPARE(dialog.getOptions().getVolume(), 90.0);
    }

    void cancelRejects()
    {
        EditVolumeDialog dialog(nullptr, 50.0);
        dialog.show();
        dialog.findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Cancel)->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
};

QTEST_MAIN(EditVolumeDialogTest)
#include "tst_EditVolumeDialog.moc"
