#pragma once

#include "platform/imaging/Bitmap.h"

#include <cstdint>
#include <string>
#include <vector>

namespace paxid {

// Annotation object types of the page's annotation layer.
inline constexpr int kAnnObjectRectangle = 12;

// Fill modes: opaque, or translucent (the page shows through the fill).
inline constexpr int kAnnFillOpaque = 0;
inline constexpr int kAnnFillTranslucent = 1;

// A rectangle in image pixels of the page, floating point as the layer keeps
// it; left/top is the first corner, right/bottom the opposite one.
struct TAnnRect {
    double Left = 0;
    double Top = 0;
    double Right = 0;
    double Bottom = 0;
};

// One annotation object. Handles are unique within their container and never
// reused while it lives; 0 is no object.
struct TAnnObject {
    std::intptr_t Handle = 0;
    int Type = kAnnObjectRectangle;
    std::string Name;
    bool NameVisible = false;
    TColor BorderColor;
    TColor FillColor;
    int FillMode = kAnnFillOpaque;
    bool Visible = true;
    // Whether the layer's default attributes are applied to the object.
    bool AutoDefaults = true;
    TAnnRect Rect;
};

// The annotation container of one page: owns its objects in enumeration
// order (the order of insertion). Main thread only.
class TAnnContainer {
public:
    // Adds the object at the end and returns its new handle.
    std::intptr_t Insert(TAnnObject object);
    // Removes the object with that handle; false when there is none.
    bool Destroy(std::intptr_t handle);
    void Clear();

    const std::vector<TAnnObject>& Objects() const { return FObjects; }
    const TAnnObject* Find(std::intptr_t handle) const;

private:
    std::vector<TAnnObject> FObjects;
    std::intptr_t FLastHandle = 0;
};

}  // namespace paxid
