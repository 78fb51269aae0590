#pragma once

namespace platform {

// Makes every large block of memory come from the system and go back to it when freed. A listing
// of a million files holds some hundred megabytes for a moment; by default the allocator keeps
// such blocks once they are freed (it raises its threshold for them after the first), and the
// program would stay that large.
void returnLargeBlocksToTheSystem();

} // namespace platform
