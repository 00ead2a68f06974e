#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

struct libvlc_instance_t;

namespace TW {

// The one libvlc instance of the process, reached through
// Singleton<LibvlcInstance>. Every media and media player is made on it.
class LibvlcInstance : public QObject
{
public:
    LibvlcInstance();
    ~LibvlcInstance() override;

    // The libvlc handle; null only when libvlc could not start (no plugins).
    libvlc_instance_t *getHandle() const;

    // The arguments the instance is made with. When the environment variable
    // TW_TEST_MODE is 1 the dummy audio and video outputs are added, so that
    // tests need neither a sound card nor a display.
    static QStringList arguments();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
