#include "kelbrin.h"
