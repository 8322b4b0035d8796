// Running work that recurses once per level of a query's nesting on a
// thread whose stack is sized for that depth. Compiling and testing a
// condition recurse once per level of the condition; nothing else in the
// engine does, so the one user is evaluation (session.h).
#ifndef RELALG_ENGINE_BIG_STACK_H
#define RELALG_ENGINE_BIG_STACK_H

#include <cstdint>
#include <functional>

// Runs fn on this thread when `levels` fit the ordinary stack, else on a
// thread with a stack for that many levels. An exception from fn is
// rethrown here. When no such thread can be had, throws
// std::runtime_error saying the query is nested `depth` levels deep.
void run_with_stack(uint32_t levels, uint32_t depth, const std::function<void()>& fn);

#endif
