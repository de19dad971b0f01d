#include "structure/IndLikelihood.h"
#include "sumstat/statistics_fill.h"
