#pragma once

namespace corvane {

// Tells the view router how to make the controllers the program has; call once at start,
// before anything asks the router.
void registerShellControllers();

}  // namespace corvane
