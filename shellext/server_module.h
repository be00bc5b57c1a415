// The module object of the COM server: its lock count, its own file, and the class factory.
#pragma once

#include <string>

#include "shellext/com/com_types.h"

// One count per living handler object and per LockServer(TRUE).
void ModuleLock();
void ModuleUnlock();
long ModuleLockCount();

// Full path of this module's file ("" when unknown).
std::string ModuleFilePath();

// The one class factory of the process; the caller gets a reference of its own.
HRESULT GetClassFactory(REFIID riid, void** ppv);
