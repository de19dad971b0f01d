#include "amova/Amova.h"
#include "passes/probe.h"
