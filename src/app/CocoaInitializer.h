#pragma once

#include <memory>

// Prepares the platform's native application layer for the process. On Linux
// there is nothing to prepare: it only notes its start and end in the log.
class CocoaInitializer
{
public:
    CocoaInitializer();
    ~CocoaInitializer();

    CocoaInitializer(const CocoaInitializer &) = delete;
    CocoaInitializer &operator=(const CocoaInitializer &) = delete;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
