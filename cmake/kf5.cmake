# Dolphin's plugin interface in Debian 12 is KF5 on Qt 5. KF5's package files refuse to be found
# once Qt 6 is, so they are looked for before it, their targets made global for the Dolphin
# plugin and its test; nothing else links them. Qt 5 and Qt 6 must not both make the
# versionless Qt:: targets.
set(QT_NO_CREATE_VERSIONLESS_TARGETS ON)
set(CMAKE_FIND_PACKAGE_TARGETS_GLOBAL ON)
find_package(KF5KIO QUIET CONFIG)
find_package(Qt5 QUIET CONFIG COMPONENTS Core Widgets)
set(CMAKE_FIND_PACKAGE_TARGETS_GLOBAL OFF)
if(KF5KIO_FOUND AND TARGET KF5::KIOWidgets AND TARGET Qt5::moc)
  set(ZEMBRA_HAVE_KF5KIO ON)
else()
  set(ZEMBRA_HAVE_KF5KIO OFF)
endif()
