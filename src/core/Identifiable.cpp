#include "core/Identifiable.h"

#include "core/Util.h"

namespace TW {

Identifiable::Identifiable() : m_id(Util::generateGUID()) {}

Identifiable::Identifiable(const QString &id) : m_id(id) {}

Identifiable::~Identifiable() = default;

const QString &Identifiable::getID() const
{
    return m_id;
}

void Identifiable::setID(const QString &id)
{
    m_id = id;
}

} // namespace TW
