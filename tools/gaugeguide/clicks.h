// The guide's click reference: what clicks on an area did over the updates
// that followed, told as the gauge's own part and, where the simulator's
// answer to a key event comes back to the gauge, the simulator's part.
#pragma once

#include <string>

#include "host/meanings.h"
#include "reference.h"

namespace tarnwix::guide {

// Appends the paragraph of one area. Fails, saying why, when the meanings do
// not name the area.
bool describe_area(std::string& out, const AreaReference& area, const ModuleReference& module,
                   const host::Meanings& meanings, std::string* error);

// Appends what two placements of MODULE on one panel share, as clicks on
// one of them showed; nothing when it was not placed twice.
void describe_twice(std::string& out, const ModuleReference& module, const host::Meanings& meanings);

// Appends what clicks do where SIBLING has areas that MODULE lacks, and
// whether MODULE's pictures are SIBLING's; nothing when there are none.
void describe_missing_areas(std::string& out, const ModuleReference& module, const ModuleReference& sibling,
                            const host::Meanings& meanings);

}  // namespace tarnwix::guide
