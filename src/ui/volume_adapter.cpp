#include "ui/volume_adapter.h"

#include <QMetaObject>

namespace tonalda::ui {

VolumeAdapter::VolumeAdapter(std::unique_ptr<MasterVolume> volume, QObject* parent)
    : QObject(parent), volume_(std::move(volume)) {
    if (!volume_->isAvailable())
        return;
    volume_->setChangeCallback([this](std::int32_t value) {
        // On the sound server's thread: only queue the value for this object's thread. A call
        // still queued when this object goes is dropped with it.
        QMetaObject::invokeMethod(
            this, [this, value] { volumeChanged(value); }, Qt::QueuedConnection);
    });
}

VolumeAdapter::~VolumeAdapter() {
    volume_.reset();  // no callback after this
}

int VolumeAdapter::sliderPosition() {
    return startupVolumeSliderPosition(*volume_);
}

void VolumeAdapter::setFromSlider(int position) {
    applyVolumeSliderRelease(*volume_, position);
}

std::string VolumeAdapter::unavailableReason() const {
    return volume_->isAvailable() ? std::string() : volume_->unavailableReason();
}

void VolumeAdapter::setPositionObserver(std::function<void(int position)> moved) {
    moved_ = std::move(moved);
}

void VolumeAdapter::volumeChanged(std::int32_t volume) {
    if (moved_ && volume >= 0)
        moved_(volumeSliderPosition(volume));
}

}  // namespace tonalda::ui
