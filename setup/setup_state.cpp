// Storage of the process-wide setup state, with its initial values.
#include "setup/setup_state.h"

SetupOptions setupOptions;
bool existingInstall = false;
std::wstring existingInstallDir;
bool selfRemovalPending = false;
