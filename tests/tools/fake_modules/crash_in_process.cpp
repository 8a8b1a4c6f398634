// A module that loads and answers like an effect but crashes in its first process call.
#include "vst/vst2_abi.h"

namespace {

VstIntPtr VSTCALLBACK dispatch(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float)
{
    return 0;
}

void VSTCALLBACK crash(AEffect*, float**, float**, VstInt32)
{
    volatile int* nowhere = nullptr;
    *nowhere = 1;
}

void VSTCALLBACK setParameter(AEffect*, VstInt32, float) {}

float VSTCALLBACK getParameter(AEffect*, VstInt32)
{
    return 0.0f;
}

AEffect record{};

} // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback)
{
    record.magic = kEffectMagic;
    record.dispatcher = dispatch;
    record.process = crash;
    record.processReplacing = crash;
    record.setParameter = setParameter;
    record.getParameter = getParameter;
    record.numInputs = 2;
    record.numOutputs = 2;
    record.flags = effFlagsCanReplacing;
    record.uniqueID = 0x43726173; // 'Cras'
    return &record;
}
