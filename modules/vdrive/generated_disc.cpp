#include "generated_disc.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <sstream>

#include "posix_file.h"
#include "sector.h"

namespace tonalda::vdrive {

namespace {

constexpr int kSamplesPerFrame = kFrameBytes / 4;
constexpr int kSineBits = 12;

uint64_t mix64(uint64_t x) {
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

const std::array<float, 1 << kSineBits>& sineTable() {
    static const auto table = [] {
        std::array<float, 1 << kSineBits> t{};
        for (size_t i = 0; i < t.size(); ++i) {
            t[i] = static_cast<float>(std::sin(2 * M_PI * static_cast<double>(i) / t.size()));
        }
        return t;
    }();
    return table;
}

inline float sine(uint32_t phase) {
    return sineTable()[phase >> (32 - kSineBits)];
}

uint32_t phaseStep(int midiNote) {
    const double hz = 440.0 * std::pow(2.0, (midiNote - 69) / 12.0);
    return static_cast<uint32_t>(std::llround(hz * 4294967296.0 / 44100.0));
}

std::vector<std::string> splitWords(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) {
        words.push_back(w);
    }
    return words;
}

}  // namespace

// The music of one track: a chord progression in a key, with a bass, a soft pad and an arpeggio
// whose notes ring and fade, over a quiet noise floor so the audio is never trivially compressible.
struct GeneratedDisc::Voicing {
    static constexpr int kNotesPerChord = 8;
    int64_t noteSamples = 0;
    uint64_t noiseKey = 0;
    int64_t fadeSamples = 0;
    int64_t totalSamples = 0;
    // Per chord of the progression: bass, three pad notes, and the arpeggio's eight notes.
    struct Chord {
        uint32_t bass;
        std::array<uint32_t, 3> pad;
        std::array<uint32_t, kNotesPerChord> arpeggio;
    };
    std::array<Chord, 4> chords{};
    std::vector<float> decay;  // the arpeggio's envelope, one value per 64 samples of a note
};

DiscDescription parseDiscDescription(const std::string& text, const std::string& origin) {
    DiscDescription description;
    std::istringstream in(text);
    std::string line;
    int lineNumber = 0;
    auto fail = [&](const std::string& why) {
        throw DiscError(origin + " line " + std::to_string(lineNumber) + ": " + why);
    };
    while (std::getline(in, line, text.rfind('\n') == std::string::npos ? '/' : '\n')) {
        ++lineNumber;
        if (const size_t hash = line.find('#'); hash != std::string::npos) {
            line.erase(hash);
        }
        const auto words = splitWords(line);
        if (words.empty()) {
            continue;
        }
        if (words[0] == "seed" && words.size() == 2) {
            auto [end, ec] = std::from_chars(words[1].data(), words[1].data() + words[1].size(),
                                             description.seed);
            if (ec != std::errc() || end != words[1].data() + words[1].size()) {
                fail("the seed must be a whole number");
            }
        } else if (words[0] == "track" && (words.size() == 3 || words.size() == 5)) {
            GeneratedTrack track;
            if (words[1] == "audio") {
                track.kind = SectorKind::Audio;
            } else if (words[1] == "data") {
                track.kind = SectorKind::Mode1;
            } else {
                fail("a track is \"audio\" or \"data\", not \"" + words[1] + "\"");
            }
            track.frames = parseFrames(words[2]);
            if (track.frames <= 0) {
                fail("bad track length \"" + words[2] + "\"");
            }
            if (words.size() == 5) {
                track.pregap = parseFrames(words[4]);
                if (words[3] != "pregap" || track.pregap < 0) {
                    fail("expected \"pregap LENGTH\" after the track length");
                }
            }
            if (description.tracks.size() == 99) {
                fail("more than 99 tracks");
            }
            description.tracks.push_back(track);
        } else {
            fail("expected \"seed N\" or \"track audio|data LENGTH [pregap LENGTH]\"");
        }
    }
    if (description.tracks.empty()) {
        throw DiscError(origin + ": no tracks");
    }
    return description;
}

DiscDescription loadDiscDescription(const std::filesystem::path& path) {
    return parseDiscDescription(PosixFile::readWhole(path, 1 << 16), path.string());
}

GeneratedDisc::GeneratedDisc(DiscDescription description) : description_(std::move(description)) {
    std::vector<TrackInfo> tracks;
    int64_t lba = 0;
    for (size_t i = 0; i < description_.tracks.size(); ++i) {
        const GeneratedTrack& t = description_.tracks[i];
        const auto pregapLba = static_cast<int32_t>(t.pregap > 0 ? lba : -1);
        lba += t.pregap;
        tracks.push_back({static_cast<int>(i + 1), static_cast<int32_t>(lba), pregapLba, t.kind,
                          static_cast<uint8_t>(t.kind == SectorKind::Audio ? 0 : 0x04)});
        lba += t.frames;
        if (lba > kMaxDiscFrames) {
            throw DiscError("the generated disc is longer than 99 minutes");
        }
    }
    setLayout(std::move(tracks), static_cast<int32_t>(lba));

    // Progressions as scale degrees (0-based) of a major or minor key.
    static constexpr int kProgressions[4][4] = {
        {0, 4, 5, 3}, {0, 5, 3, 4}, {5, 3, 0, 4}, {0, 3, 4, 3}};
    static constexpr int kMajor[7] = {0, 2, 4, 5, 7, 9, 11};
    static constexpr int kMinor[7] = {0, 2, 3, 5, 7, 8, 10};
    static constexpr int kArpeggio[Voicing::kNotesPerChord] = {0, 1, 2, 3, 4, 3, 2, 1};
    for (size_t i = 0; i < description_.tracks.size(); ++i) {
        const uint64_t h = mix64(description_.seed * 0x9E3779B97F4A7C15ull + i + 1);
        Voicing v;
        const int root = 45 + static_cast<int>(h % 12);
        const int* scale = (h >> 8) & 1 ? kMinor : kMajor;
        const int* progression = kProgressions[(h >> 12) % 4];
        const int tempo = 84 + static_cast<int>((h >> 20) % 40);  // beats per minute
        v.noteSamples = 44100LL * 60 / tempo / 2;                 // eighth notes
        v.noiseKey = mix64(h);
        v.totalSamples = static_cast<int64_t>(description_.tracks[i].frames) * kSamplesPerFrame;
        v.fadeSamples = std::min<int64_t>(22050, v.totalSamples / 4);
        auto degree = [&](int d) { return scale[d % 7] + 12 * (d / 7); };
        for (int c = 0; c < 4; ++c) {
            const int base = progression[c];
            auto& chord = v.chords[c];
            chord.bass = phaseStep(root - 12 + degree(base));
            for (int n = 0; n < 3; ++n) {
                chord.pad[n] = phaseStep(root + 12 + degree(base + 2 * n));
            }
            for (int n = 0; n < Voicing::kNotesPerChord; ++n) {
                chord.arpeggio[n] = phaseStep(root + 24 + degree(base + 2 * kArpeggio[n]));
            }
        }
        v.decay.resize(static_cast<size_t>(v.noteSamples / 64 + 1));
        for (size_t k = 0; k < v.decay.size(); ++k) {
            v.decay[k] = static_cast<float>(std::exp(-6.0 * k / v.decay.size()));
        }
        voicings_.push_back(std::move(v));
    }
}

GeneratedDisc::~GeneratedDisc() = default;

void GeneratedDisc::readSector(int32_t lba, uint8_t* out) const {
    if (lba < 0 || lba >= leadOut()) {
        throw DiscError("sector " + std::to_string(lba) + " lies outside the disc");
    }
    const TrackInfo& track = trackAt(lba);
    const auto index = static_cast<size_t>(&track - tracks().data());
    if (track.isData()) {
        renderData(lba, out);
    } else if (lba < track.startLba) {
        std::memset(out, 0, kFrameBytes);
    } else {
        int16_t samples[kSamplesPerFrame * 2];
        renderAudio(index, static_cast<int64_t>(lba - track.startLba) * kSamplesPerFrame, samples);
        for (int i = 0; i < kSamplesPerFrame * 2; ++i) {
            const auto value = static_cast<uint16_t>(samples[i]);
            out[2 * i] = static_cast<uint8_t>(value);
            out[2 * i + 1] = static_cast<uint8_t>(value >> 8);
        }
    }
}

void GeneratedDisc::renderAudio(size_t track, int64_t firstSample, int16_t* out) const {
    const Voicing& v = voicings_[track];
    int s = 0;
    while (s < kSamplesPerFrame) {
        const int64_t index = firstSample + s;
        const int64_t note = index / v.noteSamples;
        const int64_t inNote = index % v.noteSamples;
        const int run =
            static_cast<int>(std::min<int64_t>(kSamplesPerFrame - s, v.noteSamples - inNote));
        const auto& chord = v.chords[(note / Voicing::kNotesPerChord) % 4];
        // Bass and pad fade in and out at each chord change and the arpeggio's notes start
        // with a short attack, so that no change of note clicks.
        const int64_t chordSamples = v.noteSamples * Voicing::kNotesPerChord;
        const int64_t inChord = (note % Voicing::kNotesPerChord) * v.noteSamples + inNote;
        const uint32_t arpStep = chord.arpeggio[note % Voicing::kNotesPerChord];
        const bool arpLeft = (note & 1) == 0;
        uint64_t noise = mix64(v.noiseKey ^ (static_cast<uint64_t>(index) >> 2));
        for (int k = 0; k < run; ++k) {
            const int64_t i = index + k;
            const auto u = static_cast<uint64_t>(i);
            const float edge =
                static_cast<float>(std::min(inChord + k, chordSamples - inChord - k));
            const float chordGain = std::min(1.0f, edge * (1.0f / 512));
            const float attack = std::min(1.0f, static_cast<float>(inNote + k) * (1.0f / 64));
            const float bass = 0.20f * chordGain * sine(static_cast<uint32_t>(u * chord.bass));
            const float pad = 0.06f * chordGain *
                              (sine(static_cast<uint32_t>(u * chord.pad[0])) +
                               sine(static_cast<uint32_t>(u * chord.pad[1])) +
                               sine(static_cast<uint32_t>(u * chord.pad[2])));
            const float arp = 0.16f * attack * v.decay[static_cast<size_t>((inNote + k) >> 6)] *
                              sine(static_cast<uint32_t>(u * arpStep));
            float gain = 1.0f;
            if (i < v.fadeSamples) {
                gain = static_cast<float>(i) / static_cast<float>(v.fadeSamples);
            } else if (i > v.totalSamples - v.fadeSamples) {
                gain = static_cast<float>(v.totalSamples - i) / static_cast<float>(v.fadeSamples);
            }
            // One hash gives the noise of four sample pairs.
            if ((u & 3) == 0) {
                noise = mix64(v.noiseKey ^ (u >> 2));
            }
            const uint32_t pairNoise = static_cast<uint32_t>(noise >> (16 * (u & 3)));
            const float left = (bass + pad + (arpLeft ? arp : 0.6f * arp)) * gain;
            const float right = (bass + pad + (arpLeft ? 0.6f * arp : arp)) * gain;
            // About -60 dB of noise keeps every sample's low bits unpredictable.
            out[2 * (s + k)] = static_cast<int16_t>(static_cast<int>(left * 32767.0f) +
                                                    static_cast<int>(pairNoise & 63) - 32);
            out[2 * (s + k) + 1] = static_cast<int16_t>(
                static_cast<int>(right * 32767.0f) + static_cast<int>((pairNoise >> 8) & 63) - 32);
        }
        s += run;
    }
}

void GeneratedDisc::renderData(int32_t lba, uint8_t* out) const {
    std::memset(out, 0, kFrameBytes);
    const uint64_t key =
        mix64(description_.seed ^ 0xDA7A000000000000ull ^ static_cast<uint64_t>(lba));
    for (int word = 0; word < kCookedBytes / 8; ++word) {
        const uint64_t value = mix64(key + static_cast<uint64_t>(word));
        std::memcpy(out + 16 + 8 * word, &value, 8);
    }
    completeMode1Sector(lba, out);
}

}  // namespace tonalda::vdrive
