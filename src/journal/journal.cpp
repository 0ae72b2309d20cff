#include "journal/journal.h"
