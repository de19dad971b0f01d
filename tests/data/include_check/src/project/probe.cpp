#include "mantel/Mantel.h"
