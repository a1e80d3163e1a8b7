#include "graphics/uApcImages.h"

bool LoadJxlLibrary() { return false; }
