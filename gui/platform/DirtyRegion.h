// The parts of a window waiting to be repainted: a few rectangles, merged when they meet and
// collapsed into one when there are too many to be worth keeping apart.
#pragma once

#include "gui/CGeometry.h"

#include <vector>

namespace VSTGUI {

class DirtyRegion
{
public:
    explicit DirtyRegion(CRect bounds = {}) : bounds(bounds) {}

    void setBounds(const CRect& r)
    {
        bounds = r;
        clear();
    }
    void add(CRect r)
    {
        r.bound(bounds);
        if (r.isEmpty()) {
            return;
        }
        // Absorb every rectangle the new one meets, repeatedly, so the list stays disjoint.
        bool merged = true;
        while (merged) {
            merged = false;
            for (std::size_t i = 0; i < rects.size(); ++i) {
                CRect grown = rects[i];
                grown.inset(-1, -1);
                if (grown.rectOverlap(r)) {
                    r.unite(rects[i]);
                    rects.erase(rects.begin() + static_cast<std::ptrdiff_t>(i));
                    merged = true;
                    break;
                }
            }
        }
        rects.push_back(r);
        if (rects.size() > kMaxRects) {
            CRect all;
            for (const CRect& each : rects) {
                all.unite(each);
            }
            rects.assign(1, all);
        }
    }
    bool empty() const { return rects.empty(); }
    void clear() { rects.clear(); }
    // Hands over the rectangles and empties the region.
    std::vector<CRect> take()
    {
        std::vector<CRect> out;
        out.swap(rects);
        return out;
    }

private:
    static constexpr std::size_t kMaxRects = 12;
    CRect bounds;
    std::vector<CRect> rects;
};

} // namespace VSTGUI
