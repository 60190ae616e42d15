// The output through SDL's audio device: the schedule pulled buffer by buffer from SDL's callback.
//
// Implements: one device at 48 kHz, 32-bit float (SDL converts when the device differs), any channel
// count, the mono schedule copied into every channel; SDL's own driver choice only when
// SDL_AUDIODRIVER names one, else ALSA (SDL's sound-server drivers can block for good on a server that
// accepts and never answers, and the servers have outputs of their own).
// Leaves out: choosing among devices.
#include <SDL.h>

#include <algorithm>
#include <cstdlib>

#include "outputs.h"
#include "sdl_host.h"

namespace sdlhost {

namespace {

class SdlOutput : public Output {
public:
    SdlOutput(Scheduler &scheduler, std::string driver) : scheduler_(scheduler), driver_(std::move(driver)) {}
    ~SdlOutput() override {
        if (id_) SDL_CloseAudioDevice(id_);  // the callback has stopped once this returns
        SDL_AudioQuit();
    }

    bool Open(std::string *why) {
        if (SDL_AudioInit(driver_.c_str()) != 0) {
            *why = std::string("SDL audio (") + driver_ + "): " + SDL_GetError();
            return false;
        }
        SDL_AudioSpec want{}, have{};
        want.freq = kOutputRate;
        want.format = AUDIO_F32SYS;
        want.channels = 1;
        want.samples = Uint16(AudioBufferFrames());
        want.callback = Callback;
        want.userdata = this;
        id_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
        if (!id_ || have.channels < 1) {
            *why = std::string("SDL audio (") + driver_ + "): " + SDL_GetError();
            return false;
        }
        channels_ = have.channels;
        buffer_ = std::clamp(int(have.samples), 64, kSdlMaxChunk);
        Trace("audio-open %s %d %d %d %d", driver_.c_str(), kOutputRate, channels_, buffer_, LatencyMs());
        return true;
    }

    const char *Name() const override { return "sdl"; }
    OutputTiming Timing() const override {
        OutputTiming timing;
        timing.rate = kOutputRate;
        timing.grainFrames = buffer_;
        // Drivers that pace themselves by sleeping run up to a few percent off their nominal rate,
        // and nobody listens to them live: their schedule follows the host's clock.
        if (driver_ == "disk" || driver_ == "dummy") {
            timing.spread = DeviceClock::kTimerSpread;
            timing.holdSeconds = 0;
        }
        return timing;
    }
    void Start() override { SDL_PauseAudioDevice(id_, 0); }
    // SDL says nothing when its device goes: asked each time the manager looks.
    bool Broken() override { return SDL_GetAudioDeviceStatus(id_) == SDL_AUDIO_STOPPED; }
    bool SaysWhenBroken() const override { return false; }

private:
    static void Callback(void *user, Uint8 *stream, int length) {
        auto *self = static_cast<SdlOutput *>(user);
        std::int64_t now = NowNs();
        int channels = self->channels_;
        float *out = reinterpret_cast<float *>(stream);
        int frames = length / int(sizeof(float)) / channels;
        float mono[kSdlMaxChunk];
        // The callback fills the buffer after the one being heard.
        std::int64_t heard = self->rendered_ - self->buffer_;
        while (frames > 0) {
            int count = std::min(frames, kSdlMaxChunk);
            self->scheduler_.Pull(channels == 1 ? out : mono, self->rendered_, count, now, heard);
            if (channels > 1)
                for (int i = 0; i < count; ++i) std::fill(out + i * channels, out + (i + 1) * channels, mono[i]);
            out += count * channels;
            frames -= count;
            self->rendered_ += count;
        }
    }

    Scheduler &scheduler_;
    std::string driver_;
    SDL_AudioDeviceID id_ = 0;
    int channels_ = 1;
    int buffer_ = kBufferFrames;
    std::int64_t rendered_ = 0;  // audio thread only
};

}  // namespace

std::unique_ptr<Output> OpenSdl(Scheduler &scheduler, std::string *why) {
    const char *named = std::getenv("SDL_AUDIODRIVER");
    auto output = std::make_unique<SdlOutput>(scheduler, named && *named ? named : "alsa");
    if (!output->Open(why)) return nullptr;
    return output;
}

}  // namespace sdlhost
