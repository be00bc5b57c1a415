// The five entry points of the in-process COM server, with C linkage.
#pragma once

#include "shellext/com/com_types.h"

#define ZEMBRA_SHELLEXT_EXPORT extern "C" __attribute__((visibility("default")))

ZEMBRA_SHELLEXT_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
ZEMBRA_SHELLEXT_EXPORT HRESULT DllCanUnloadNow();
ZEMBRA_SHELLEXT_EXPORT HRESULT DllRegisterServer();
ZEMBRA_SHELLEXT_EXPORT HRESULT DllUnregisterServer();
// The command-line string is accepted and changes nothing.
ZEMBRA_SHELLEXT_EXPORT HRESULT DllInstall(BOOL install, const char* commandLine);

// The entry points' types, for hosts that look them up with dlsym.
using DllGetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();
using DllInstallFn = HRESULT (*)(BOOL, const char*);
