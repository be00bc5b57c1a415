# cmake --install: the programs, the library and the shell extension in one folder
# (<prefix>/lib/zembra, where $ORIGIN finds the library), links to the programs in <prefix>/bin,
# and each file manager's module where it loads extensions. An install into the real system (no
# DESTDIR) then registers the shell extension (DllInstall) and marks the installation "Full",
# which needs write access to HKLM, that is root.
set(ZEMBRA_INSTALL_DIR lib/zembra)
set(zembra_installed_targets zembra_lib ZembraShellExt zembra-shell-host)
foreach(t ZembraShellExtApp zembra_program zembra-reg)
  if(TARGET ${t})
    list(APPEND zembra_installed_targets ${t})
  endif()
endforeach()
install(TARGETS ${zembra_installed_targets}
        LIBRARY DESTINATION ${ZEMBRA_INSTALL_DIR}
        RUNTIME DESTINATION ${ZEMBRA_INSTALL_DIR})
# The portable key ring beside the library. An installation marked "Full" (below) uses each user's
# own GnuPG home instead, so the Debian package leaves it out: root's private folder in /usr
# would serve nobody.
option(ZEMBRA_INSTALL_KEY_FOLDER "Install the portable key folder beside the library" ON)
if(ZEMBRA_INSTALL_KEY_FOLDER)
  install(DIRECTORY DESTINATION ${ZEMBRA_INSTALL_DIR}/keys
          DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  # The key folder's agent configuration names the graphical pinentry, as the build's does: a
  # program started from the desktop has no terminal to ask on. One already there is the user's.
  install(CODE "set(zembra_agent_conf \"${ZEMBRA_BIN_DIR}/keys/gpg-agent.conf\")")
  install(CODE [[
    set(zembra_keys "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/lib/zembra/keys")
    if(EXISTS "${zembra_keys}/gpg-agent.conf")
      message(STATUS "Kept: ${zembra_keys}/gpg-agent.conf")
    else()
      file(INSTALL DESTINATION "${zembra_keys}" TYPE FILE FILES "${zembra_agent_conf}"
           PERMISSIONS OWNER_READ OWNER_WRITE)
    endif()
  ]])
endif()

# Each file manager loads extensions from one folder only, fixed when it was built. An
# installation under /usr or /usr/local puts the module there; one under any other prefix (a
# private folder, a test) keeps it inside the prefix at the same place relative to the file
# manager's prefix, and never writes outside the prefix.
function(zembra_install_file_manager_module target folder prefix)
  install(CODE "
    set(zembra_module_dir \"${folder}\")
    set(zembra_module_prefix \"${prefix}\")
    set(zembra_module_file \"$<TARGET_FILE:${target}>\")")
  install(CODE [[
    if(NOT CMAKE_INSTALL_PREFIX MATCHES "^/usr(/local)?/?$")
      file(RELATIVE_PATH relative "${zembra_module_prefix}" "${zembra_module_dir}")
      set(zembra_module_dir "${CMAKE_INSTALL_PREFIX}/${relative}")
    endif()
    file(INSTALL DESTINATION "${zembra_module_dir}" TYPE MODULE FILES "${zembra_module_file}")
  ]])
endfunction()

# The GObject file managers name their folder in their pkg-config file (Thunar's variable is
# extensionsdir, the others' extensiondir).
foreach(manager nautilus:libnautilus-extension-4:extensiondir thunar:thunarx-3:extensionsdir
                nemo:libnemo-extension:extensiondir caja:libcaja-extension:extensiondir)
  string(REPLACE ":" ";" manager "${manager}")
  list(GET manager 0 name)
  list(GET manager 1 package)
  list(GET manager 2 variable)
  if(TARGET zembra_${name})
    string(TOUPPER "${name}" upper)
    pkg_get_variable(ZEMBRA_${upper}_EXTENSION_DIR ${package} ${variable})
    pkg_get_variable(ZEMBRA_${upper}_PREFIX ${package} prefix)
    zembra_install_file_manager_module(zembra_${name} "${ZEMBRA_${upper}_EXTENSION_DIR}"
                                       "${ZEMBRA_${upper}_PREFIX}")
  endif()
endforeach()
# Dolphin finds file-item actions in Qt 5's plugin folder.
if(TARGET zembra_dolphin)
  zembra_install_file_manager_module(zembra_dolphin "${ZEMBRA_DOLPHIN_PLUGIN_DIR}" /usr)
endif()

install(CODE [[
  set(zembra_dir "${CMAKE_INSTALL_PREFIX}/lib/zembra")
  set(bin_dir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin")
  file(MAKE_DIRECTORY "${bin_dir}")
  foreach(program Zembra ZembraShellExtApp zembra-shell-host zembra-reg)
    if(EXISTS "$ENV{DESTDIR}${zembra_dir}/${program}")
      message(STATUS "Linking: ${bin_dir}/${program}")
      file(CREATE_LINK "../lib/zembra/${program}" "${bin_dir}/${program}" SYMBOLIC)
      list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${bin_dir}/${program}")
    endif()
  endforeach()

  if("$ENV{DESTDIR}" STREQUAL "")
    execute_process(COMMAND "${zembra_dir}/zembra-shell-host" --install RESULT_VARIABLE registered)
    execute_process(COMMAND "${zembra_dir}/zembra-reg" add "HKLM\\SOFTWARE\\Orvel Ltd\\Zembra"
                            --value Type --type REG_SZ --data Full
                    RESULT_VARIABLE marked)
    if(registered EQUAL 0 AND marked EQUAL 0)
      message(STATUS "Registered the shell extension; installation type Full")
    else()
      message(WARNING "The shell extension could not be registered (run the install as root, "
                      "or later: ${zembra_dir}/zembra-shell-host --install)")
    endif()
  endif()
]])

# The desktop's view of the product: the entry with its actions, the icon theme (drawn by the
# build), the AppStream data and the manual pages.
install(FILES desktop/org.zembra.Zembra.desktop DESTINATION share/applications)
install(FILES desktop/org.zembra.Zembra.metainfo.xml DESTINATION share/metainfo)
install(DIRECTORY ${ZEMBRA_ICON_DIR}/hicolor DESTINATION share/icons)
install(FILES desktop/man/Zembra.1 desktop/man/ZembraShellExtApp.1 desktop/man/zembra-reg.1
              desktop/man/zembra-shell-host.1
        DESTINATION share/man/man1)
