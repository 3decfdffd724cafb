#pragma once

namespace corvane {

class AppDelegate;

// Tells the view router how to make the controllers the program has; call once at start,
// before anything asks the router.
void registerShellControllers();
// Tells the delegate how to make the secondary windows and popups its menu items open.
void registerShellWindows(AppDelegate& delegate);

}  // namespace corvane
