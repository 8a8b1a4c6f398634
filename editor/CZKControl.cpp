#include "editor/CZKControl.h"

#include "editor/CZKControlListener.h"

namespace VSTGUI {

void CZKControl::setTagValue(int32_t, float v)
{
    setValue(v);
}

float CZKControl::getTagValue(int32_t) const
{
    return getValue();
}

void CZKControl::notifyTagValue(int32_t t, float v)
{
    if (auto* zk = dynamic_cast<CZKControlListener*>(listener)) {
        zk->tagValueChanged(t, v);
    }
}

bool CZKControl::hasTag(int32_t t) const
{
    return t != 0 && t == tag;
}

void CZKControl::getTags(std::vector<int32_t>& tags) const
{
    tags.push_back(tag);
}

} // namespace VSTGUI
