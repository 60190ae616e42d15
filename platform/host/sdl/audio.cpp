// The desktop host's audio device.
//
// Implements: host::PlaySound through the sound server's own stream when there is a server (and
// SDL_AUDIODRIVER does not name one of SDL's drivers), else through one SDL device opened at its
// usual rate (48 kHz asked, any rate and channel count accepted) with a callback that renders the
// engine's mono voice into every channel; each sound converted once to the device's rate; a device
// that cannot be opened, or goes away, leaves the program running silently.
// Leaves out: choosing among devices, volume, recording.
#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "audio_engine.h"
#include "host.h"
#include "pulse_output.h"
#include "sdl_host.h"
#include "sound_cache.h"

namespace sdlhost {

namespace {

constexpr int kMaxChunk = 4096;

struct Device {
    std::unique_ptr<PulseOutput> server;   // the sound server's stream, when there is one
    SDL_AudioDeviceID id = 0;
    int channels = 1;
    std::unique_ptr<AudioEngine> engine;
    std::unique_ptr<SoundCache> sounds;
    bool subsystem = false;
    bool reopened = false;   // one more try after the device went away
} device;

void Callback(void *user, Uint8 *stream, int length) {
    std::int64_t now = NowNs();
    auto *engine = static_cast<AudioEngine *>(user);
    int channels = device.channels;
    float *out = reinterpret_cast<float *>(stream);
    int frames = length / int(sizeof(float)) / channels;
    float mono[kMaxChunk];
    while (frames > 0) {
        int count = std::min(frames, kMaxChunk);
        engine->Render(mono, count, now);
        if (channels == 1) {
            std::copy(mono, mono + count, out);
        } else {
            for (int i = 0; i < count; ++i)
                std::fill(out + i * channels, out + (i + 1) * channels, mono[i]);
        }
        out += count * channels;
        frames -= count;
    }
}

// Drivers that pace themselves by sleeping run up to a few percent off their nominal rate.
double Spread() {
    const char *driver = SDL_GetCurrentAudioDriver();
    std::string name = driver ? driver : "";
    return name == "disk" || name == "dummy" ? DeviceClock::kTimerSpread : DeviceClock::kCrystalSpread;
}

// Tuning knobs for trying other devices: CADENZO_AUDIO_BUFFER (frames), CADENZO_LATENCY (ms).
int EnvNumber(const char *name, int fallback, int low, int high) {
    const char *text = std::getenv(name);
    if (!text || !*text)
        return fallback;
    char *end = nullptr;
    long value = std::strtol(text, &end, 10);
    return *end == '\0' && value >= low && value <= high ? int(value) : fallback;
}

int BufferFrames() { return EnvNumber("CADENZO_AUDIO_BUFFER", kBufferFrames, 64, kMaxChunk); }

constexpr int kServerRate = 48000;

}  // namespace

int LatencyMs() { return EnvNumber("CADENZO_LATENCY", kLatencyMs, 10, 1000); }

namespace {

// The sound server's stream: asked for first unless SDL_AUDIODRIVER names one of SDL's drivers.
bool OpenServer() {
    const char *driver = std::getenv("SDL_AUDIODRIVER");
    if (driver && *driver)
        return false;
    device.server = PulseOutput::Open(kServerRate, LatencyMs());
    if (!device.server)
        return false;
    device.sounds = std::make_unique<SoundCache>(kServerRate);
    Trace("audio-open server %d 1 0 %d", kServerRate, LatencyMs());
    return true;
}

}  // namespace

bool OpenAudio() {
    if (device.id || device.server)
        return true;
    if (OpenServer())
        return true;
    if (!device.subsystem) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            Trace("audio-none %s", SDL_GetError());
            return false;
        }
        device.subsystem = true;
    }
    SDL_AudioSpec want{};
    want.freq = 48000;
    want.format = AUDIO_F32SYS;
    want.channels = 1;
    want.samples = Uint16(BufferFrames());
    want.callback = Callback;
    SDL_AudioSpec have{};
    // The engine is made before the device so the callback always has one; its rate is fixed up
    // below if the device grants another.
    auto engine = std::make_unique<AudioEngine>(want.freq, want.samples, LatencyMs(), Spread());
    want.userdata = engine.get();
    SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have,
                                               SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (!id) {
        Trace("audio-none %s", SDL_GetError());
        return false;
    }
    if (have.freq != want.freq || have.samples != want.samples || have.channels < 1) {
        SDL_CloseAudioDevice(id);
        if (have.freq <= 0 || have.channels < 1) {
            Trace("audio-none unusable device");
            return false;
        }
        // Open again with what the device gave, so the engine knows its rate from the start.
        engine = std::make_unique<AudioEngine>(have.freq, have.samples > 0 ? have.samples : want.samples, LatencyMs(),
                                               Spread());
        want.freq = have.freq;
        want.channels = have.channels;
        want.samples = have.samples > 0 ? have.samples : want.samples;
        want.userdata = engine.get();
        id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (!id) {
            Trace("audio-none %s", SDL_GetError());
            return false;
        }
    }
    device.id = id;
    device.channels = have.channels;
    device.sounds = std::make_unique<SoundCache>(have.freq);
    device.engine = std::move(engine);
    Trace("audio-open %s %d %d %d %d", SDL_GetCurrentAudioDriver(), have.freq, have.channels, int(have.samples),
          LatencyMs());
    SDL_PauseAudioDevice(id, 0);
    return true;
}

int AudioRate() { return device.server ? device.server->Rate() : device.engine ? device.engine->Rate() : 0; }

void CloseAudio() {
    device.server.reset();
    if (device.id)
        SDL_CloseAudioDevice(device.id);   // the callback has stopped once this returns
    device.id = 0;
    device.engine.reset();
    device.sounds.reset();
    if (device.subsystem)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    device.subsystem = false;
}

void AudioDeviceRemoved(std::uint32_t which) {
    if (!device.id || which != device.id)
        return;
    Trace("audio-removed");
    SDL_CloseAudioDevice(device.id);
    device.id = 0;
    device.engine.reset();
    device.sounds.reset();
    // Another device may have become the default: try once, else go on silently.
    if (!device.reopened) {
        device.reopened = true;
        OpenAudio();
    }
}

void TraceAudio() {
    if ((!device.engine && !device.server) || !Tracing())
        return;
    AudioEngine::Started started[16];
    int count;
    while ((count = device.server ? device.server->TakeStarted(started, 16) : device.engine->TakeStarted(started, 16)) > 0) {
        for (int i = 0; i < count; ++i)
            Trace("started %d %lld %lld %lld %lld", started[i].id, (long long)started[i].frame,
                  (long long)started[i].scheduled, (long long)(started[i].callbackNs / 1000),
                  (long long)started[i].callbackFrame);
    }
}

}  // namespace sdlhost

void host::PlaySound(int id, const std::int16_t *samples, std::size_t count, int rate, std::uint32_t messageTime) {
    using namespace sdlhost;
    if (device.server && device.server->Broken()) {
        // The server went away: try once for another, else go on silently.
        Trace("audio-removed");
        device.server.reset();
        device.sounds.reset();
        if (!device.reopened) {
            device.reopened = true;
            OpenServer();
        }
    }
    if (!device.engine && !device.server) {
        Trace("sound %d %u silent", id, messageTime);
        return;
    }
    const SoundData *sound = nullptr;
    if (samples) {
        sound = device.sounds->Get(samples, count, rate);
        if (!sound)
            return;
    }
    if (device.server) {
        std::int64_t frame = device.server->Play(id, sound, MessageTimeNs(messageTime), NowNs());
        if (Tracing())
            Trace("sound %d %u %lld %.2f %d", id, messageTime, (long long)frame, device.server->MeasuredRate(),
                  device.server->Restarts());
        return;
    }
    std::int64_t frame = device.engine->Play(id, sound, MessageTimeNs(messageTime), NowNs());
    Trace("sound %d %u %lld %.2f %d", id, messageTime, (long long)frame, device.engine->Clock().MeasuredRate(),
          device.engine->Clock().Restarts());
}

bool host::SoundWorks() { return sdlhost::device.server || sdlhost::device.id; }
