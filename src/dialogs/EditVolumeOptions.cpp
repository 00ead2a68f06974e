#include "dialogs/EditVolumeOptions.h"

namespace TW {

struct EditVolumeOptions::Impl
{
    double volume = 100.0;
};

EditVolumeOptions::EditVolumeOptions(double volume)
    : d(std::make_unique<Impl>())
{
    d->volume = volume;
}

EditVolumeOptions::EditVolumeOptions(const EditVolumeOptions &other)
    : d(std::make_unique<Impl>(*other.d))
{
}

EditVolumeOptions &EditVolumeOptions::operator=(const EditVolumeOptions &other)
{
    *d = *other.d;
    return *this;
}

EditVolumeOptions::~EditVolumeOptions() = default;

double EditVolumeOptions::getVolume() const
{
    return d->volume;
}

} // namespace TW
