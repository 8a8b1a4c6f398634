// A module with a VST entry point that never gives a plug-in.
extern "C" __attribute__((visibility("default"))) void* VSTPluginMain(void*)
{
    return nullptr;
}
