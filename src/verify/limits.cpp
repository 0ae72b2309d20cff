#include "verify/limits.h"
