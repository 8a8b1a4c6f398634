// A module whose entry point returns a record that is not a VST effect.
namespace {
struct NotAnEffect
{
    int magic = 0x12345678;
    char rest[188] = {};
};
NotAnEffect record;
} // namespace

extern "C" __attribute__((visibility("default"))) void* VSTPluginMain(void*)
{
    return &record;
}
