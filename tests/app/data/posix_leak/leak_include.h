#pragma once

#include <sys/stat.h>
