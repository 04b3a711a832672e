#pragma once
// The volume slider's master volume: the sound server's default output. The slider's position
// is read at start-up and set when the thumb is released; a volume changed elsewhere (a desktop
// mixer, pactl) moves the slider, handed over from the sound server's thread to this one.

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>

#include "playback/master_volume.h"
#include "ui/transport.h"

namespace tonalda::ui {

// Thread: the user interface thread.
class VolumeAdapter final : public QObject, public VolumeControl {
    Q_OBJECT

  public:
    // Takes over the connected volume (available or not).
    explicit VolumeAdapter(std::unique_ptr<MasterVolume> volume, QObject* parent = nullptr);
    ~VolumeAdapter() override;

    // VolumeControl.
    int sliderPosition() override;
    void setFromSlider(int position) override;
    std::string unavailableReason() const override;
    void setPositionObserver(std::function<void(int position)> moved) override;

    MasterVolume& volume() { return *volume_; }

  private:
    void volumeChanged(std::int32_t volume);

    std::function<void(int)> moved_;
    // Last: it goes first, and with it every call from the sound server's thread.
    std::unique_ptr<MasterVolume> volume_;
};

}  // namespace tonalda::ui
