#pragma once

#include "core/my_string.h"
#include "run/settings.h"
#include "sumstat/TSumStat.h"
