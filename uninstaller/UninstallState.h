#pragma once

namespace uninstaller {

enum class UninstallState { welcome, progress, complete };

}  // namespace uninstaller
