// Stands in for the engine's show_text header until it is on this branch.
#ifndef RELALG_ENGINE_SHOW_TEXT_H
#define RELALG_ENGINE_SHOW_TEXT_H
#include "logic.h"
#endif
