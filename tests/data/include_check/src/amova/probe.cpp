#include "mantel/Mantel.h"
#include "mantel/network_report.h"
