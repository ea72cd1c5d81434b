#pragma once

// What a helper process started by this program does for itself.
namespace HelperProcess {

// It is killed when the process that started it ends, and in any case after
// `seconds` (a backstop for a helper caught in a loop).
void endWithParent(int seconds);

} // namespace HelperProcess
