// Loading a VST 2.4 module and driving one instance of its plug-in.
#pragma once

#include "host/host_callback.h"
#include "host/shared_library.h"
#include "vst/vst2_abi.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace morvek2::host {

class Plugin;

// A loaded module file. Shared by all instances created from it; the library is unloaded when
// the module and every instance are gone.
class Module : public std::enable_shared_from_this<Module>
{
public:
    using EntryPoint = AEffect*(VSTCALLBACK*)(audioMasterCallback);

    // Loads the file and finds its entry point (VSTPluginMain, else main). On failure returns
    // null and says why in `error`: the file is missing, is not a loadable module, or exports
    // no entry point.
    static std::shared_ptr<Module> load(const std::string& path, std::string& error);

    // Creates one instance through the entry point, with its own Host answering `config`.
    // Returns null with a reason in `error` when the entry point returns null or a record
    // without the VST magic.
    std::unique_ptr<Plugin> instantiate(HostConfig config, std::string& error);

    const std::string& path() const { return path_; }
    // "VSTPluginMain" or "main": the symbol the entry point was found under.
    const std::string& entryName() const { return entryName_; }

    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    ~Module() = default;

private:
    Module() = default;
    SharedLibrary library_;
    EntryPoint entry_ = nullptr;
    std::string path_;
    std::string entryName_;
};

// One plug-in instance and the host around it. The methods are thin dispatcher calls with the
// arguments where the VST 2.4 interface puts them; they enforce no call order, so tests can
// drive a plug-in as careless hosts do. Thread safety is the plug-in's: call from the threads a
// host would (the processing calls from one audio thread, the rest from one other thread).
// After close() every method is a harmless no-op that answers 0 or empty.
class Plugin
{
public:
    // Module::load followed by instantiate: one instance of the module at `path`.
    static std::unique_ptr<Plugin> load(const std::string& path, std::string& error,
                                        HostConfig config = {});

    ~Plugin(); // suspends a running plug-in and closes it
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    AEffect* effect() const { return effect_; } // null after close()
    Host& host() { return *host_; }
    HostLog& log() { return host_->log(); }
    Transport& transport() { return host_->transport(); }
    const Module& module() const { return *module_; }

    // ---- The record --------------------------------------------------------------------------
    int32_t magic() const;
    int32_t numParams() const;
    int32_t numPrograms() const;
    int32_t numInputs() const;
    int32_t numOutputs() const;
    int32_t flags() const;
    int32_t uniqueId() const;
    int32_t version() const;
    int32_t initialDelay() const;

    // Any request; answers 0 after close().
    VstIntPtr dispatch(int32_t opcode, int32_t index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);

    // ---- Life cycle --------------------------------------------------------------------------
    void open();                                    // effOpen
    void close();                                   // effMainsChanged(0) if running, effClose
    void setSampleRate(float rate);                 // effSetSampleRate, and the host's answers
    void setBlockSize(int32_t frames);              // effSetBlockSize, and the host's answers
    void suspend();                                 // effMainsChanged 0
    void resume();                                  // effMainsChanged 1
    void start(float sampleRate, int32_t maxBlock); // open (once), rate, block size, resume
    bool running() const { return running_; }
    float sampleRate() const { return sampleRate_; }
    int32_t blockSize() const { return blockSize_; }

    // ---- Parameters --------------------------------------------------------------------------
    float getParameter(int32_t index);
    void setParameter(int32_t index, float value);
    std::string parameterName(int32_t index);    // effGetParamName
    std::string parameterLabel(int32_t index);   // effGetParamLabel
    std::string parameterDisplay(int32_t index); // effGetParamDisplay
    bool canBeAutomated(int32_t index);

    // ---- Programs and state ------------------------------------------------------------------
    int32_t program();
    void setProgram(int32_t index);
    std::string programName();
    void setProgramName(const std::string& name);
    // effGetProgramNameIndexed; nullopt when the plug-in says the program does not exist.
    std::optional<std::string> programNameIndexed(int32_t index);
    // effGetChunk: a copy of the plug-in's data (empty when it gives none). `program` true asks
    // for the current program only (index 1), false for the whole bank (index 0).
    std::vector<uint8_t> getChunk(bool program);
    VstIntPtr setChunk(bool program, std::span<const uint8_t> data);

    // ---- Identity ----------------------------------------------------------------------------
    VstIntPtr canDo(const std::string& what); // 1 yes, -1 no, 0 don't know
    std::string effectName();
    std::string vendorString();
    std::string productString();
    VstIntPtr vendorVersion();
    VstIntPtr vstVersion();
    VstIntPtr plugCategory();
    VstIntPtr tailSize();

    // ---- Audio and MIDI ----------------------------------------------------------------------
    // processReplacing as it is: `inputs` has numInputs() channels and `outputs` numOutputs(),
    // each of at least `frames` samples. The transport does not move. A plug-in without
    // processReplacing gets its accumulating process on zeroed outputs.
    void processReplacing(float* const* inputs, float* const* outputs, int32_t frames); // [audio]
    // One host block: processReplacing with the time record describing it, then the transport
    // moves on by `frames`.
    void process(float* const* inputs, float* const* outputs, int32_t frames); // [audio]
    // effProcessEvents with the host's event list, valid for the coming process call. [audio]
    VstIntPtr sendEvents(VstEvents* events);

    // ---- Editor ------------------------------------------------------------------------------
    // effEditGetRect: the plug-in's rectangle, or nullopt when it gives none.
    std::optional<ERect> editorRect();
    // effEditOpen with a native parent window (an X11 Window id or an HWND). True on success.
    bool editorOpen(void* parent);
    void editorIdle();
    void editorClose();

    // True while the plug-in has left AEffect::resvd1 alone. Real hosts keep their own pointer
    // there, so a plug-in that writes it breaks them.
    bool reservedFieldIntact() const;

private:
    Plugin(std::shared_ptr<Module> module, std::unique_ptr<Host> host, AEffect* effect);
    std::string getString(int32_t opcode, int32_t index);
    friend class Module;

    std::shared_ptr<Module> module_;
    std::unique_ptr<Host> host_;
    AEffect* effect_ = nullptr;
    VstIntPtr hostMark_ = 0;
    bool opened_ = false;
    bool running_ = false;
    float sampleRate_ = 44100.0f;
    int32_t blockSize_ = 1024;
};

} // namespace morvek2::host
