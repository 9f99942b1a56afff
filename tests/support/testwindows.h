#pragma once

namespace testfiles {

// Closes every top-level window and lets the deferred deletions happen.
void closeAllWindows();

} // namespace testfiles
