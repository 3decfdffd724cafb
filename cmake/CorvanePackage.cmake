# Last step of the configuration, once every install rule is recorded: the uninstaller's removal
# scripts made from that record, and the Debian package (cpack -G DEB, see scripts/package).

set(_uninstaller_share share/corvane-studio-uninstaller)
corvane_record_installed(FILES "${_uninstaller_share}/script.sh")
corvane_record_installed(FILES "${_uninstaller_share}/script_all.sh")
corvane_record_folder("${_uninstaller_share}")

get_property(_files GLOBAL PROPERTY CORVANE_INSTALLED_FILES)
get_property(_dirs GLOBAL PROPERTY CORVANE_INSTALLED_DIRS)
list(REMOVE_DUPLICATES _files)
list(REMOVE_DUPLICATES _dirs)
set(_prefix_files)
set(_system_files)
foreach(f ${_files})
  if(IS_ABSOLUTE "${f}")
    list(APPEND _system_files "${f}")
  else()
    list(APPEND _prefix_files "${f}")
  endif()
endforeach()
# Deepest folders first, so a parent is empty by the time its turn comes.
set(_prefix_dirs)
set(_system_dirs)
list(SORT _dirs ORDER DESCENDING)
foreach(d ${_dirs})
  if(IS_ABSOLUTE "${d}")
    list(APPEND _system_dirs "${d}")
  else()
    list(APPEND _prefix_dirs "${d}")
  endif()
endforeach()
list(JOIN _prefix_files "\n" CORVANE_PREFIX_FILES)
list(JOIN _system_files "\n" CORVANE_SYSTEM_FILES)
list(JOIN _prefix_dirs "\n" CORVANE_PREFIX_DIRS)
list(JOIN _system_dirs "\n" CORVANE_SYSTEM_DIRS)

set(CORVANE_PACKAGE_NAME corvane-studio)
set(CORVANE_VCAM_LABEL "Kestova Virtual Camera")
set(CORVANE_PROGRAMS "corvane-studio corvane-studio-updater corvane-studio-uninstaller")
set(CORVANE_MACHINE_DATA_DIRS
  "'${CORVANE_LOCAL_LIBRARY_INSTALL_DIR}/Corvane Studio' '${CORVANE_LOCAL_LIBRARY_INSTALL_DIR}/Corvane Studio Updater'")
foreach(script script script_all)
  set(CORVANE_SCRIPT_NAME ${script}.sh)
  if(script STREQUAL "script_all")
    set(CORVANE_REMOVE_ALL 1)
  else()
    set(CORVANE_REMOVE_ALL 0)
  endif()
  set(_out ${CORVANE_SHARE_DIR}/corvane-studio-uninstaller/${script}.sh)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/removal.sh.in ${_out} @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                     WORLD_READ WORLD_EXECUTE)
  install(PROGRAMS ${_out} DESTINATION ${_uninstaller_share})
endforeach()

# The Debian package: the same install, staged for /usr.
# Files under /etc are conffiles: dpkg keeps the administrator's changes on upgrade and removes
# them only on purge.
set(_conffiles)
foreach(f ${_system_files})
  if(f MATCHES "^/etc/")
    string(APPEND _conffiles "${f}\n")
  endif()
endforeach()
set(_control_files
  ${CMAKE_SOURCE_DIR}/packaging/debian/postinst ${CMAKE_SOURCE_DIR}/packaging/debian/postrm)
if(_conffiles)
  file(WRITE ${CMAKE_BINARY_DIR}/packaging/debian/conffiles "${_conffiles}")
  list(APPEND _control_files ${CMAKE_BINARY_DIR}/packaging/debian/conffiles)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${CORVANE_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Kestova)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "studio suite for the Kestova 360-degree conference camera")
# CPack puts the summary above this as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Corvane Studio shows the live panorama of the Kestova Camera, finds and
follows the people in it, composes the output picture in eleven display
modes and feeds it to a virtual camera that conferencing programs open
like any webcam.

The package also holds the camera's firmware updater, the uninstaller,
the video-analysis framework Orlith and the firmware-update framework
QD4718Updater (private to the suite), and the udev rules that give the
logged-in user access to the camera.")
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Corvane Studio developers <studio@kestova.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "pkexec")
# Qt's Wayland platform: without it the windows need XWayland on a Wayland desktop.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "v4l2loopback-dkms")
# Stripped programs and libraries; their debug information goes into corvane-studio-dbgsym
# (a .ddeb beside the package, found by build id under /usr/lib/debug/.build-id).
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE gzip)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/CorvaneDbgsym.cmake)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${_control_files})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
