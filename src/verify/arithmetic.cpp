#include "verify/arithmetic.h"
