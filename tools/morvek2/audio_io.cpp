#include "tools/morvek2/audio_io.h"

#include <sndfile.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace morvek2::cli {

namespace {

class FileSource : public AudioSource
{
public:
    FileSource(SNDFILE* file, const SF_INFO& info, std::string path)
        : file_(file), info_(info), path_(std::move(path))
    {}
    ~FileSource() override { sf_close(file_); }
    int channels() const override { return info_.channels; }
    double sampleRate() const override { return info_.samplerate; }
    std::int64_t frames() const override { return info_.frames; }
    std::string description() const override { return path_; }
    std::size_t read(float* interleaved, std::size_t count) override
    {
        const sf_count_t got = sf_readf_float(file_, interleaved, static_cast<sf_count_t>(count));
        if (got < 0 || (got == 0 && sf_error(file_) != SF_ERR_NO_ERROR)) {
            fail(Exit::Input, "cannot read '" + path_ + "': " + sf_strerror(file_));
        }
        return static_cast<std::size_t>(got);
    }

private:
    SNDFILE* file_;
    SF_INFO info_;
    std::string path_;
};

} // namespace

std::unique_ptr<AudioSource> openAudioFile(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        fail(Exit::Input, "cannot read input '" + path + "': no such file");
    }
    if (std::filesystem::is_directory(path, ec)) {
        fail(Exit::Input, "cannot read input '" + path + "': it is a folder");
    }
    if (::access(path.c_str(), R_OK) != 0) {
        fail(Exit::Input, "cannot read input '" + path + "': " + std::strerror(errno));
    }
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        fail(Exit::Input,
             "input '" + path +
                 "' is not a supported audio file (WAV, AIFF, FLAC, Ogg): " + sf_strerror(nullptr));
    }
    if (info.channels < 1 || info.channels > 2) {
        sf_close(file);
        fail(Exit::Input, "input '" + path + "' has " + std::to_string(info.channels) +
                              " channels; only mono and stereo files are supported");
    }
    if (info.samplerate <= 0) {
        sf_close(file);
        fail(Exit::Input, "input '" + path + "' has no sample rate");
    }
    return std::make_unique<FileSource>(file, info, path);
}

MemorySource::MemorySource(std::vector<float> interleaved, int channels, double sampleRate,
                           std::string description)
    : samples_(std::move(interleaved)), channels_(channels), sampleRate_(sampleRate),
      description_(std::move(description))
{}

std::int64_t MemorySource::frames() const
{
    return static_cast<std::int64_t>(samples_.size() / static_cast<std::size_t>(channels_));
}

std::size_t MemorySource::read(float* interleaved, std::size_t count)
{
    const std::size_t total = samples_.size() / static_cast<std::size_t>(channels_);
    const std::size_t n = std::min(count, total - next_);
    std::memcpy(interleaved, samples_.data() + next_ * channels_, n * channels_ * sizeof(float));
    next_ += n;
    return n;
}

WavWriter::WavWriter(PendingFile& file, int channels, double sampleRate, bool pcm24) : file_(file)
{
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = static_cast<int>(sampleRate);
    info.format = SF_FORMAT_WAV | (pcm24 ? SF_FORMAT_PCM_24 : SF_FORMAT_FLOAT);
    SNDFILE* sf = sf_open_fd(file.descriptor(), SFM_WRITE, &info, SF_FALSE);
    if (sf == nullptr) {
        fail(Exit::Output, "cannot write '" + file.target() + "': " + sf_strerror(nullptr));
    }
    // Integer output: clip instead of wrapping around.
    sf_command(sf, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    sndfile_ = sf;
}

WavWriter::~WavWriter()
{
    if (sndfile_ != nullptr) {
        sf_close(static_cast<SNDFILE*>(sndfile_));
    }
}

void WavWriter::write(const float* interleaved, std::size_t frames)
{
    auto* sf = static_cast<SNDFILE*>(sndfile_);
    if (sf_writef_float(sf, interleaved, static_cast<sf_count_t>(frames)) !=
        static_cast<sf_count_t>(frames)) {
        fail(Exit::Output, "cannot write '" + file_.target() + "': " + sf_strerror(sf));
    }
}

void WavWriter::finish()
{
    auto* sf = static_cast<SNDFILE*>(sndfile_);
    sndfile_ = nullptr;
    sf_write_sync(sf);
    if (sf_close(sf) != 0) {
        fail(Exit::Output, "cannot write '" + file_.target() + "'");
    }
}

AudioData readAudioFile(const std::string& path)
{
    std::unique_ptr<AudioSource> source = openAudioFile(path);
    AudioData data;
    data.sampleRate = source->sampleRate();
    data.channels = source->channels();
    std::vector<float> block(4096 * static_cast<std::size_t>(data.channels));
    while (const std::size_t n = source->read(block.data(), 4096)) {
        data.interleaved.insert(data.interleaved.end(), block.begin(),
                                block.begin() + static_cast<std::ptrdiff_t>(n * data.channels));
    }
    return data;
}

} // namespace morvek2::cli
