#include "host/plugin.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace morvek2::host {

namespace {

std::string hex32(int32_t v)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(v));
    return text;
}

} // namespace

// ---- Module -------------------------------------------------------------------------------------

std::shared_ptr<Module> Module::load(const std::string& path, std::string& error)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        error = "cannot load '" + path + "': no such file";
        return nullptr;
    }
    if (std::filesystem::is_directory(path, ec)) {
        error = "cannot load '" + path + "': it is a directory, not a module file";
        return nullptr;
    }
    std::shared_ptr<Module> module(new Module());
    module->path_ = path;
    std::string reason;
    if (!module->library_.open(path, reason)) {
        error = "'" + path + "' is not a loadable module: " + reason;
        return nullptr;
    }
    for (const char* name : {"VSTPluginMain", "main"}) {
        if (void* symbol = module->library_.symbol(name)) {
            module->entry_ = reinterpret_cast<EntryPoint>(symbol);
            module->entryName_ = name;
            break;
        }
    }
    if (module->entry_ == nullptr) {
        error = "'" + path + "' is a shared library but exports neither VSTPluginMain nor main";
        return nullptr;
    }
    return module;
}

std::unique_ptr<Plugin> Module::instantiate(HostConfig config, std::string& error)
{
    auto host = std::make_unique<Host>(std::move(config));
    std::error_code ec;
    const auto directory = std::filesystem::absolute(path_, ec).parent_path();
    host->setPluginDirectory(directory.string());

    AEffect* effect = nullptr;
    {
        Host::Creation creating(*host);
        effect = entry_(&Host::callback);
    }
    if (effect == nullptr) {
        error = entryName_ + " of '" + path_ +
                "' returned no plug-in (null); host version answered " +
                std::to_string(host->config().version);
        return nullptr;
    }
    if (effect->magic != kEffectMagic) {
        error = "'" + path_ + "' returned a record without the VST magic (" + hex32(effect->magic) +
                " instead of " + hex32(kEffectMagic) + ")";
        // Not a plug-in we can talk to: leave it alone rather than guess at its dispatcher.
        return nullptr;
    }
    if (!host->attach(effect)) {
        error = "too many plug-in instances at once";
        effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        return nullptr;
    }
    return std::unique_ptr<Plugin>(new Plugin(shared_from_this(), std::move(host), effect));
}

// ---- Plugin -------------------------------------------------------------------------------------

std::unique_ptr<Plugin> Plugin::load(const std::string& path, std::string& error, HostConfig config)
{
    std::shared_ptr<Module> module = Module::load(path, error);
    if (!module) {
        return nullptr;
    }
    return module->instantiate(std::move(config), error);
}

Plugin::Plugin(std::shared_ptr<Module> module, std::unique_ptr<Host> host, AEffect* effect)
    : module_(std::move(module)), host_(std::move(host)), effect_(effect)
{
    // What Ardour and Carla do right after the entry point: keep the host's pointer here.
    hostMark_ = reinterpret_cast<VstIntPtr>(host_.get());
    effect_->resvd1 = hostMark_;
}

Plugin::~Plugin()
{
    close();
}

int32_t Plugin::magic() const
{
    return effect_ ? effect_->magic : 0;
}
int32_t Plugin::numParams() const
{
    return effect_ ? effect_->numParams : 0;
}
int32_t Plugin::numPrograms() const
{
    return effect_ ? effect_->numPrograms : 0;
}
int32_t Plugin::numInputs() const
{
    return effect_ ? effect_->numInputs : 0;
}
int32_t Plugin::numOutputs() const
{
    return effect_ ? effect_->numOutputs : 0;
}
int32_t Plugin::flags() const
{
    return effect_ ? effect_->flags : 0;
}
int32_t Plugin::uniqueId() const
{
    return effect_ ? effect_->uniqueID : 0;
}
int32_t Plugin::version() const
{
    return effect_ ? effect_->version : 0;
}
int32_t Plugin::initialDelay() const
{
    return effect_ ? effect_->initialDelay : 0;
}

VstIntPtr Plugin::dispatch(int32_t opcode, int32_t index, VstIntPtr value, void* ptr, float opt)
{
    if (effect_ == nullptr || effect_->dispatcher == nullptr) {
        return 0;
    }
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void Plugin::open()
{
    dispatch(effOpen);
    opened_ = true;
}

void Plugin::close()
{
    if (effect_ == nullptr) {
        return;
    }
    if (running_) {
        suspend();
    }
    dispatch(effClose);
    // The record belongs to the plug-in and is gone now; calls that still arrive with it are
    // counted as unrouted.
    effect_ = nullptr;
    host_->detach();
    opened_ = false;
}

void Plugin::setSampleRate(float rate)
{
    sampleRate_ = rate;
    host_->setSampleRate(rate);
    dispatch(effSetSampleRate, 0, 0, nullptr, rate);
}

void Plugin::setBlockSize(int32_t frames)
{
    blockSize_ = frames;
    host_->setBlockSize(frames);
    dispatch(effSetBlockSize, 0, frames);
}

void Plugin::suspend()
{
    dispatch(effMainsChanged, 0, 0);
    running_ = false;
}

void Plugin::resume()
{
    dispatch(effMainsChanged, 0, 1);
    running_ = effect_ != nullptr;
}

void Plugin::start(float sampleRate, int32_t maxBlock)
{
    if (!opened_) {
        open();
    }
    setSampleRate(sampleRate);
    setBlockSize(maxBlock);
    resume();
}

float Plugin::getParameter(int32_t index)
{
    if (effect_ == nullptr || effect_->getParameter == nullptr) {
        return 0.0f;
    }
    return effect_->getParameter(effect_, index);
}

void Plugin::setParameter(int32_t index, float value)
{
    if (effect_ != nullptr && effect_->setParameter != nullptr) {
        effect_->setParameter(effect_, index, value);
    }
}

std::string Plugin::getString(int32_t opcode, int32_t index)
{
    // Far larger than any limit: plug-ins are known to write more than the nominal length.
    std::array<char, 512> text{};
    dispatch(opcode, index, 0, text.data());
    text.back() = '\0';
    return text.data();
}

std::string Plugin::parameterName(int32_t index)
{
    return getString(effGetParamName, index);
}
std::string Plugin::parameterLabel(int32_t index)
{
    return getString(effGetParamLabel, index);
}
std::string Plugin::parameterDisplay(int32_t index)
{
    return getString(effGetParamDisplay, index);
}
bool Plugin::canBeAutomated(int32_t index)
{
    return dispatch(effCanBeAutomated, index) == 1;
}

int32_t Plugin::program()
{
    return static_cast<int32_t>(dispatch(effGetProgram));
}

void Plugin::setProgram(int32_t index)
{
    // The number travels in `value`, not in `index`.
    dispatch(effSetProgram, 0, index);
}

std::string Plugin::programName()
{
    return getString(effGetProgramName, 0);
}

void Plugin::setProgramName(const std::string& name)
{
    std::array<char, kVstMaxProgNameLen + 1> text{};
    std::memcpy(text.data(), name.data(), std::min<std::size_t>(name.size(), kVstMaxProgNameLen));
    dispatch(effSetProgramName, 0, 0, text.data());
}

std::optional<std::string> Plugin::programNameIndexed(int32_t index)
{
    std::array<char, 512> text{};
    if (dispatch(effGetProgramNameIndexed, index, 0, text.data()) == 0) {
        return std::nullopt;
    }
    text.back() = '\0';
    return std::string(text.data());
}

std::vector<uint8_t> Plugin::getChunk(bool program)
{
    void* data = nullptr;
    const VstIntPtr size = dispatch(effGetChunk, program ? 1 : 0, 0, &data);
    if (size <= 0 || data == nullptr) {
        return {};
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}

VstIntPtr Plugin::setChunk(bool program, std::span<const uint8_t> data)
{
    return dispatch(effSetChunk, program ? 1 : 0, static_cast<VstIntPtr>(data.size()),
                    const_cast<uint8_t*>(data.data()));
}

VstIntPtr Plugin::canDo(const std::string& what)
{
    return dispatch(effCanDo, 0, 0, const_cast<char*>(what.c_str()));
}

std::string Plugin::effectName()
{
    return getString(effGetEffectName, 0);
}
std::string Plugin::vendorString()
{
    return getString(effGetVendorString, 0);
}
std::string Plugin::productString()
{
    return getString(effGetProductString, 0);
}
VstIntPtr Plugin::vendorVersion()
{
    return dispatch(effGetVendorVersion);
}
VstIntPtr Plugin::vstVersion()
{
    return dispatch(effGetVstVersion);
}
VstIntPtr Plugin::plugCategory()
{
    return dispatch(effGetPlugCategory);
}
VstIntPtr Plugin::tailSize()
{
    return dispatch(effGetTailSize);
}

void Plugin::processReplacing(float* const* inputs, float* const* outputs, int32_t frames)
{
    if (effect_ == nullptr) {
        return;
    }
    host_->setInProcess(true);
    if (effect_->processReplacing != nullptr) {
        effect_->processReplacing(effect_, const_cast<float**>(inputs),
                                  const_cast<float**>(outputs), frames);
    } else if (effect_->process != nullptr) {
        // The old accumulating call adds into what is there.
        for (int32_t c = 0; c < effect_->numOutputs; ++c) {
            std::fill_n(outputs[c], frames > 0 ? frames : 0, 0.0f);
        }
        effect_->process(effect_, const_cast<float**>(inputs), const_cast<float**>(outputs),
                         frames);
    }
    host_->setInProcess(false);
}

void Plugin::process(float* const* inputs, float* const* outputs, int32_t frames)
{
    processReplacing(inputs, outputs, frames);
    host_->transport().advance(frames);
}

VstIntPtr Plugin::sendEvents(VstEvents* events)
{
    host_->setInProcess(true);
    const VstIntPtr result = dispatch(effProcessEvents, 0, 0, events);
    host_->setInProcess(false);
    return result;
}

std::optional<ERect> Plugin::editorRect()
{
    ERect* rect = nullptr;
    dispatch(effEditGetRect, 0, 0, &rect);
    if (rect == nullptr) {
        return std::nullopt;
    }
    return *rect;
}

bool Plugin::editorOpen(void* parent)
{
    return dispatch(effEditOpen, 0, 0, parent) != 0;
}

void Plugin::editorIdle()
{
    dispatch(effEditIdle);
}

void Plugin::editorClose()
{
    dispatch(effEditClose);
}

bool Plugin::reservedFieldIntact() const
{
    return effect_ == nullptr || effect_->resvd1 == hostMark_;
}

} // namespace morvek2::host
