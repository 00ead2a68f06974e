#include "app/CocoaInitializer.h"

#include <QDebug>

struct CocoaInitializer::Private
{
};

CocoaInitializer::CocoaInitializer() : d(std::make_unique<Private>())
{
    qDebug() << "Native application layer: nothing to prepare on this platform.";
}

CocoaInitializer::~CocoaInitializer()
{
    qDebug() << "Native application layer released.";
}
