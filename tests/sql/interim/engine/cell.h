// Stands in for the engine's cell header until it is on this branch.
#ifndef RELALG_ENGINE_CELL_H
#define RELALG_ENGINE_CELL_H
#include "table.h"
#endif
