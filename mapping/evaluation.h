// Evaluation of the compiled entries against one poll's captured controller state.
#pragma once

#include "controllers/state_snapshot.h"
#include "mapping/mapping_entry.h"

// Rewrites the result bit of every controller entry whose slot is fresh; returns the count.
// Allocates nothing.
int32_t evaluate_entries(MappingTable& table, const StateSnapshot& snapshot) noexcept;
