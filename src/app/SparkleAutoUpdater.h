#pragma once

#include <memory>

// The background update check started once at launch. On Linux updates come
// from the distribution's package manager, so the check only logs.
class SparkleAutoUpdater
{
public:
    SparkleAutoUpdater();
    ~SparkleAutoUpdater();

    SparkleAutoUpdater(const SparkleAutoUpdater &) = delete;
    SparkleAutoUpdater &operator=(const SparkleAutoUpdater &) = delete;

    void checkForUpdates();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
