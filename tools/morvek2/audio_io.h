// Audio in and out through libsndfile: sources the renderer pulls frames from (a file or a
// buffer held in memory, such as the built-in demo) and the WAV writer.
#pragma once

#include "tools/morvek2/files.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace morvek2::cli {

// Frames are interleaved: channel c of frame f is at f * channels + c.
class AudioSource
{
public:
    virtual ~AudioSource() = default;
    virtual int channels() const = 0;
    virtual double sampleRate() const = 0;
    virtual std::int64_t frames() const = 0;
    virtual std::string description() const = 0;
    // Fills up to `count` frames and answers how many it gave; 0 at the end.
    virtual std::size_t read(float* interleaved, std::size_t count) = 0;
};

// Opens an audio file (WAV, AIFF, FLAC, Ogg and whatever else libsndfile decodes), mono or
// stereo. Throws Error(Exit::Input) with the reason.
std::unique_ptr<AudioSource> openAudioFile(const std::string& path);

class MemorySource : public AudioSource
{
public:
    MemorySource(std::vector<float> interleaved, int channels, double sampleRate,
                 std::string description);
    int channels() const override { return channels_; }
    double sampleRate() const override { return sampleRate_; }
    std::int64_t frames() const override;
    std::string description() const override { return description_; }
    std::size_t read(float* interleaved, std::size_t count) override;

private:
    std::vector<float> samples_;
    int channels_;
    double sampleRate_;
    std::string description_;
    std::size_t next_ = 0;
};

// Writes a WAV file (32-bit float, or 24-bit integer) into a pending file.
class WavWriter
{
public:
    WavWriter(PendingFile& file, int channels, double sampleRate, bool pcm24);
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    void write(const float* interleaved, std::size_t frames); // throws Error(Exit::Output)
    void finish();                                            // throws Error(Exit::Output)

private:
    PendingFile& file_;
    void* sndfile_ = nullptr;
};

// Reads a whole file into memory (used by the tests and by the plot's comparison of files).
struct AudioData
{
    double sampleRate = 0.0;
    int channels = 0;
    std::vector<float> interleaved;
};
AudioData readAudioFile(const std::string& path);

} // namespace morvek2::cli
