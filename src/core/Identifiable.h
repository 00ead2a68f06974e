#pragma once

#include <QString>

namespace TW {

// Gives a model object a text identity that survives copying: a copy keeps
// the identifier of its source, so the object can be found again after the
// user edited a copy of it.
class Identifiable
{
public:
    // A fresh GUID.
    Identifiable();
    // The given text, unchanged.
    explicit Identifiable(const QString &id);
    virtual ~Identifiable();

    const QString &getID() const;
    void setID(const QString &id);

protected:
    Identifiable(const Identifiable &) = default;
    Identifiable &operator=(const Identifiable &) = default;

private:
    QString m_id;
};

} // namespace TW
