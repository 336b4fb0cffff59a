#include "gui/CColor.h"

bool CColor::operator==(const CColor& other) const {
    return red == other.red && green == other.green && blue == other.blue && alpha == other.alpha;
}

CColor CColor::withAlpha(unsigned char newAlpha) const {
    return CColor(red, green, blue, newAlpha);
}
