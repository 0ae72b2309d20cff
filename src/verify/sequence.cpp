#include "verify/sequence.h"
