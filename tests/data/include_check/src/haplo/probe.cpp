#include "sumstat/TSumStat.h"
