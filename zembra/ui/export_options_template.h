// The options panel the save dialog shows when keys are exported.
#pragma once

#include "platform/gui/dialog.h"
#include "zembra/ui/key_resource_ids.h"

// Template 1004: the scope ("Public keys", "Secret keys") and the format ("ASCII", "Binary").
const DialogTemplate& ExportOptionsTemplate();
