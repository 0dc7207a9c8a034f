# Install layout and Debian packages.
#
#   cmake --install build [--prefix /usr]      the tree for the board
#   cd build && cpack -G DEB                   vorlan-gps, vorlan-store, vorlan-tools
#
# The daemon's own paths are fixed (/etc/Vorlan/gps.ini, /var/log/Vorlan), so
# those go to absolute destinations whatever the prefix.

include(GNUInstallDirs)

set(VORLAN_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(VORLAN_PACKAGING_BINARY_DIR ${PROJECT_BINARY_DIR}/packaging)

# Debian 12 keeps the units of packages in /lib/systemd/system.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(_vorlan_unitdir /lib/systemd/system)
else()
  set(_vorlan_unitdir ${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
endif()
set(VORLAN_SYSTEMD_UNITDIR "${_vorlan_unitdir}" CACHE PATH "Where the systemd units are installed")

set(VORLAN_FULL_SBINDIR ${CMAKE_INSTALL_FULL_SBINDIR})
set(VORLAN_FULL_BINDIR ${CMAKE_INSTALL_FULL_BINDIR})
configure_file(${VORLAN_PACKAGING_DIR}/vorlan-gps.service.in ${VORLAN_PACKAGING_BINARY_DIR}/vorlan-gps.service
               @ONLY)
configure_file(${VORLAN_PACKAGING_DIR}/vorlan-store.service.in
               ${VORLAN_PACKAGING_BINARY_DIR}/vorlan-store.service @ONLY)
configure_file(${VORLAN_PACKAGING_DIR}/com.Brask.Vorlan.service.in
               ${VORLAN_PACKAGING_BINARY_DIR}/com.Brask.Vorlan.service @ONLY)

# gps: the daemon, its default settings, its unit.
install(TARGETS vorlan-gps RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR} COMPONENT gps)
# A complete file: the daemon finds every key and never rewrites it, so the
# conffile stays as shipped and upgrades do not ask about it.
install(FILES ${VORLAN_PACKAGING_DIR}/gps.ini DESTINATION /etc/Vorlan COMPONENT gps)
# The daemon opens its log before it forks; without the folder it logs nowhere.
install(DIRECTORY DESTINATION /var/log/Vorlan COMPONENT gps)
install(FILES ${VORLAN_PACKAGING_BINARY_DIR}/vorlan-gps.service DESTINATION ${VORLAN_SYSTEMD_UNITDIR}
        COMPONENT gps)
# The daemon runs as its own account, vorlan-gps.
install(FILES ${VORLAN_PACKAGING_DIR}/vorlan-gps.sysusers DESTINATION ${CMAKE_INSTALL_PREFIX}/lib/sysusers.d
        RENAME vorlan-gps.conf COMPONENT gps)

# store: the stand-in data service, its account, bus policy and activation.
install(TARGETS vorlan-store RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT store)
install(FILES ${VORLAN_PACKAGING_BINARY_DIR}/vorlan-store.service DESTINATION ${VORLAN_SYSTEMD_UNITDIR}
        COMPONENT store)
install(FILES ${VORLAN_PACKAGING_DIR}/com.Brask.Vorlan.conf DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/system.d
        COMPONENT store)
install(FILES ${VORLAN_PACKAGING_BINARY_DIR}/com.Brask.Vorlan.service
        DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/system-services COMPONENT store)
install(FILES ${VORLAN_PACKAGING_DIR}/vorlan.sysusers DESTINATION ${CMAKE_INSTALL_PREFIX}/lib/sysusers.d
        RENAME vorlan.conf COMPONENT store)

# tools: the command-line tool and the simulated drive, and the sample
# translations vorlanctl renders logbook entries with.
install(TARGETS vorlanctl vorlan-nmea-drive RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
if(EXISTS ${PROJECT_SOURCE_DIR}/data/translations)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/translations/
          DESTINATION ${CMAKE_INSTALL_DATADIR}/vorlan-gps/translations COMPONENT tools PATTERN README.md EXCLUDE)
endif()

# --- Debian packages -------------------------------------------------------

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vorlan-gps)
set(CPACK_PACKAGE_VENDOR "Brask")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vorlan GPS developers <vorlan-gps@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
# Only the named components: an install() rule without a component belongs
# to none of the packages.
set(CPACK_COMPONENTS_ALL gps store tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Library dependencies from dpkg-shlibdeps. A cross build needs the board's
# libraries known to dpkg; where they are not (a sysroot), the cross script
# hands the list in through VORLAN_DEB_*_DEPENDS instead.
option(VORLAN_DEB_SHLIBDEPS "Compute the packages' library dependencies with dpkg-shlibdeps" ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ${VORLAN_DEB_SHLIBDEPS})
if(NOT CPACK_DEBIAN_PACKAGE_ARCHITECTURE AND VORLAN_DEB_ARCHITECTURE)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${VORLAN_DEB_ARCHITECTURE})
endif()

if(VORLAN_QT6)
  set(_vorlan_sqlite_driver libqt6sql6-sqlite)
else()
  set(_vorlan_sqlite_driver libqt5sql5-sqlite)
endif()
set(VORLAN_DEB_GPS_DEPENDS "" CACHE STRING "Extra Depends of vorlan-gps (cross builds without shlibdeps)")
set(VORLAN_DEB_STORE_DEPENDS "" CACHE STRING "Extra Depends of vorlan-store (cross builds without shlibdeps)")
set(VORLAN_DEB_TOOLS_DEPENDS "" CACHE STRING "Extra Depends of vorlan-tools (cross builds without shlibdeps)")

function(_vorlan_join out)
  set(_items)
  foreach(_item IN LISTS ARGN)
    if(NOT _item STREQUAL "")
      list(APPEND _items "${_item}")
    endif()
  endforeach()
  string(JOIN ", " _text ${_items})
  set(${out} "${_text}" PARENT_SCOPE)
endfunction()

set(CPACK_DEBIAN_GPS_PACKAGE_NAME vorlan-gps)
set(CPACK_COMPONENT_GPS_DESCRIPTION
    "GPS daemon of the tank truck's on-board computer\n Reads fixes from gpsd and publishes them, track points and logbook events to\n the central data service on D-Bus. Forks into the background; systemd unit\n vorlan-gps.service.")
_vorlan_join(CPACK_DEBIAN_GPS_PACKAGE_DEPENDS "passwd" "${VORLAN_DEB_GPS_DEPENDS}")
set(CPACK_DEBIAN_GPS_PACKAGE_RECOMMENDS "gpsd, dbus")
set(CPACK_DEBIAN_GPS_PACKAGE_SUGGESTS "vorlan-store, vorlan-tools")

set(CPACK_DEBIAN_STORE_PACKAGE_NAME vorlan-store)
set(CPACK_COMPONENT_STORE_DESCRIPTION
    "Stand-in central data service for the Vorlan GPS daemon\n Serves com.Brask.Vorlan (setup, runtime and logbook records) from SQLite on\n the system bus as user vorlan; systemd unit vorlan-store.service.")
# The SQLite driver is a plugin: no library dependency shows it.
_vorlan_join(CPACK_DEBIAN_STORE_PACKAGE_DEPENDS "${_vorlan_sqlite_driver}" "passwd" "${VORLAN_DEB_STORE_DEPENDS}")
set(CPACK_DEBIAN_STORE_PACKAGE_RECOMMENDS "dbus")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME vorlan-tools)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
    "Command-line tool and simulated drive for the Vorlan GPS daemon\n vorlanctl starts and watches the daemon and edits its setup in the data\n service; vorlan-nmea-drive writes a deterministic NMEA drive for gpsfake.")
_vorlan_join(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${VORLAN_DEB_TOOLS_DEPENDS}")

# Maintainer scripts: enable and start the unit (as debhelper would), make the
# service's account (as its sysusers file says), remove what the service wrote on purge.
function(_vorlan_maintainer_scripts component package unit user home comment purge)
  set(VORLAN_DEB_PACKAGE ${package})
  set(VORLAN_DEB_UNIT ${unit})
  set(VORLAN_DEB_USER ${user})
  set(VORLAN_DEB_HOME ${home})
  set(VORLAN_DEB_COMMENT ${comment})
  set(VORLAN_DEB_PURGE ${purge})
  set(_dir ${VORLAN_PACKAGING_BINARY_DIR}/deb/${component})
  set(_files)
  foreach(_script postinst prerm postrm)
    configure_file(${VORLAN_PACKAGING_DIR}/deb/${_script}.in ${_dir}/${_script} @ONLY
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                    WORLD_READ WORLD_EXECUTE)
    list(APPEND _files ${_dir}/${_script})
  endforeach()
  set(_files ${_files} ${ARGN})
  string(TOUPPER ${component} _c)
  set(CPACK_DEBIAN_${_c}_PACKAGE_CONTROL_EXTRA ${_files} PARENT_SCOPE)
endfunction()

file(WRITE ${VORLAN_PACKAGING_BINARY_DIR}/deb/gps/conffiles "/etc/Vorlan/gps.ini\n")
_vorlan_maintainer_scripts(gps vorlan-gps vorlan-gps.service vorlan-gps / "Vorlan GPS daemon"
                           "/var/log/Vorlan /etc/Vorlan/gps.ini.lock" ${VORLAN_PACKAGING_BINARY_DIR}/deb/gps/conffiles)
_vorlan_maintainer_scripts(store vorlan-store vorlan-store.service vorlan /var/lib/vorlan-store
                           "Vorlan data service" /var/lib/vorlan-store)

include(CPack)
