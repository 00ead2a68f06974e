// Identities: fresh GUIDs for new objects, kept by copies.
#include "core/Identifiable.h"

#include <QtTest>

namespace {

// A model object as loops and bookmarks are: copies keep the identity.
class Record : public TW::Identifiable
{
public:
    Record() = default;
    explicit Record(const QString &id) : TW::Identifiable(id) {}
    Record(const Record &other) = default;
    Record &operator=(const Record &other) = default;
    int value = 0;
};

} // namespace

class IdentifiableTest : public QObject
{
    Q_OBJECT

private slots:
    void identities()
    {
        const Record a, b;
        QVERIFY(!a.getID().isEmpty());
        QCOMPARE(a.getID().size(), 38);
        QVERIFY(a.getID() != b.getID());

        Record copy(a);
        copy.value = 7;
        QCOMPARE(copy.getID(), a.getID());
        Record assigned;
        assigned = a;
        QCOMPARE(assigned.getID(), a.getID());

        copy.setID("other");
        QCOMPARE(copy.getID(), QString("other"));
        QVERIFY(a.getID() != copy.getID());

        const Record empty{QString()};
        QVERIFY(empty.getID().isEmpty());
        QCOMPARE(Record("given").getID(), QString("given"));
    }
};

QTEST_GUILESS_MAIN(IdentifiableTest)
#include "tst_Identifiable.moc"
