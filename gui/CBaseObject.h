// Reference-counted base of views, bitmaps and fonts. A new object holds one reference, owned by
// whoever created it; `forget` drops one and deletes the object when none is left.
#pragma once

#include <cstring>

namespace VSTGUI {

class CBaseObject
{
public:
    CBaseObject() = default;
    // A copy is a new object with its own single reference.
    CBaseObject(const CBaseObject&) {}
    CBaseObject& operator=(const CBaseObject&) { return *this; }
    virtual ~CBaseObject() = default;

    void remember() { ++nbReference; } // [ui]
    void forget()                      // [ui]
    {
        if (--nbReference <= 0) {
            delete this;
        }
    }
    int getNbReference() const { return nbReference; } // [ui]

private:
    int nbReference = 1;
};

} // namespace VSTGUI

// Declares the type name a class answers in `isTypeOf` (its own, then its base's) and its copy.
#define MORVEK2_GUI_TYPE(name, base)                                                               \
    bool isTypeOf(const char* typeName) const override                                             \
    {                                                                                              \
        return (typeName && std::strcmp(typeName, #name) == 0) || base::isTypeOf(typeName);        \
    }                                                                                              \
    ::VSTGUI::CView* newCopy() const override                                                      \
    {                                                                                              \
        return new name(*this);                                                                    \
    }
