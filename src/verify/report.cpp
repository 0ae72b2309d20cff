#include "verify/report.h"
