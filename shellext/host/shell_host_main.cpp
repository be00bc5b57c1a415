// zembra-shell-host: stands in for the file manager. Loads the shell extension, hands it the
// paths as the selection, prints the menu it builds (one item a line, its help text after a
// tab, a separator as "-") and, with --invoke N, chooses the item at offset N.
// --install and --uninstall run the module's DllInstall instead.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/process.h"
#include "shellext/host/shell_module.h"

namespace {

constexpr const char* kUsage =
    "usage: zembra-shell-host [--module FILE] [--invoke N] PATH...\n"
    "       zembra-shell-host [--module FILE] --install | --uninstall\n";

int Fail(const std::string& message) {
  std::cerr << "zembra-shell-host: " << message << "\n";
  return 1;
}

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  std::string module = ShellExtBeside(ProgramPath());
  std::optional<unsigned> invoke;
  std::optional<bool> install;
  std::vector<std::string> paths;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options && arg == "--") {
      options = false;
    } else if (options && arg == "--module" && i + 1 < argc) {
      module = argv[++i];
    } else if (options && arg == "--invoke" && i + 1 < argc) {
      char* end = nullptr;
      errno = 0;
      const unsigned long n = std::strtoul(argv[++i], &end, 10);
      if (*argv[i] == '\0' || *end != '\0' || errno != 0 || n > 0xFFFF)
        return Fail(std::string("not an item offset: ") + argv[i]);
      invoke = static_cast<unsigned>(n);
    } else if (options && (arg == "--install" || arg == "--uninstall")) {
      install = arg == "--install";
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      std::cerr << kUsage;
      return 2;
    } else {
      paths.push_back(arg);
    }
  }

  ShellExtModule shellExt(module);
  if (!shellExt.ok()) return Fail(shellExt.error());

  if (install) {
    if (!paths.empty() || invoke) {
      std::cerr << kUsage;
      return 2;
    }
    const HRESULT hr = shellExt.Install(*install);
    if (FAILED(hr))
      return Fail(std::string(*install ? "registration" : "removal") + " failed (" + Hex(hr) + ")");
    return 0;
  }

  ContextMenuSession menu(shellExt, paths);
  if (!menu.ok()) {
    // The file manager then shows no items of this handler.
    std::cerr << "zembra-shell-host: no items for this selection (" << Hex(menu.status()) << ")\n";
    return invoke ? 1 : 0;
  }
  for (const ShellMenuItem& item : menu.items()) {
    if (item.separator)
      std::cout << "-\n";
    else
      std::cout << item.text << "\t" << item.helpText << "\n";
  }
  std::cout.flush();
  if (invoke) {
    const HRESULT hr = menu.Invoke(*invoke);
    if (FAILED(hr))
      return Fail("the handler refused item " + std::to_string(*invoke) + " (" + Hex(hr) + ")");
  }
  return 0;
}
