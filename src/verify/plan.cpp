#include "verify/plan.h"
