#include "pictures/limits.h"

PictureLimits pictureLimits;
