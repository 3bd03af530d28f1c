#pragma once

namespace scripthelper {

/// Marks an instant at which a removal may die. In builds with test seams,
/// PLATFORM_CRASH_AFTER=N kills the process with SIGKILL at the N-th such instant, so that tests
/// can prove that any interruption is recovered from; in other builds it does nothing.
void crashPoint();

}  // namespace scripthelper
