#pragma once

#include <memory>

namespace TW {

// The answer of the change-volume dialog: a volume in percent (100 leaves
// the sound as it is).
class EditVolumeOptions
{
public:
    explicit EditVolumeOptions(double volume = 100.0);
    EditVolumeOptions(const EditVolumeOptions &other);
    EditVolumeOptions &operator=(const EditVolumeOptions &other);
    ~EditVolumeOptions();

    double getVolume() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
