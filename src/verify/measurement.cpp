#include "verify/measurement.h"
