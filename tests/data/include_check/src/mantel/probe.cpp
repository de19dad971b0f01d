#include "data/Population.h"
#include "project/Samples.h"
