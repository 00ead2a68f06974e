#include "app/SparkleAutoUpdater.h"

#include <QDebug>

struct SparkleAutoUpdater::Private
{
};

SparkleAutoUpdater::SparkleAutoUpdater() : d(std::make_unique<Private>()) {}

SparkleAutoUpdater::~SparkleAutoUpdater() = default;

void SparkleAutoUpdater::checkForUpdates()
{
    qDebug() << "Update check: updates come from the system's package manager; nothing to do.";
}
