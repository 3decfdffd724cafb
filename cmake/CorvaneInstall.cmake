# The install layout. Every install rule of the suite goes through these functions, which also
# record what they install; the removal scripts are generated from that record, so a file added
# to the install cannot be left behind by an uninstall.
#
#   <prefix>/bin                      the three programs
#   <prefix>/lib/<multiarch>/corvane-studio
#                                     liborlith, libqd4718updater, libplatform: private to the
#                                     suite, found through RUNPATH (no SONAME, no ldconfig)
#   <prefix>/share/man/man1           the programs' manual pages
#   <prefix>/share/doc/corvane-studio copyright and changelog
#   <prefix>/share/<program>          each program's data, share/orlith the framework's
#   system folders (cache variables)  udev rules, polkit actions, modprobe options, language tables

if(CMAKE_LIBRARY_ARCHITECTURE)
  set(CORVANE_INSTALL_LIBDIR "lib/${CMAKE_LIBRARY_ARCHITECTURE}" CACHE INTERNAL "")
else()
  set(CORVANE_INSTALL_LIBDIR "lib" CACHE INTERNAL "")
endif()
# The three libraries are the suite's own: no headers or development files ship, their interfaces
# change with each release, and libplatform's name is too generic for the system's folder. So
# they live in a folder of their own that only our programs' RUNPATH names.
set(CORVANE_INSTALL_PRIVATE_LIBDIR "${CORVANE_INSTALL_LIBDIR}/corvane-studio" CACHE INTERNAL "")

set(CORVANE_UDEV_RULES_DIR "/usr/lib/udev/rules.d" CACHE PATH
    "Where the udev rules are installed (under DESTDIR when staging)")
set(CORVANE_POLKIT_ACTIONS_DIR "/usr/share/polkit-1/actions" CACHE PATH
    "Where the polkit actions are installed (under DESTDIR when staging)")
set(CORVANE_MODPROBE_DIR "/etc/modprobe.d" CACHE PATH
    "Where the v4l2loopback options are installed (under DESTDIR when staging)")
set(CORVANE_LOCAL_LIBRARY_INSTALL_DIR "/var/lib" CACHE PATH
    "The machine-wide data folder the programs read their language tables from")

# Programs find the frameworks beside their prefix, wherever the prefix is.
set(CORVANE_INSTALL_RPATH "$ORIGIN/../${CORVANE_INSTALL_PRIVATE_LIBDIR}")

# Records one installed path. `path` is relative to the prefix, or absolute for system folders.
function(corvane_record_installed kind path)
  set_property(GLOBAL APPEND PROPERTY CORVANE_INSTALLED_${kind} "${path}")
endfunction()

function(corvane_install_program target)
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "${CORVANE_INSTALL_RPATH}")
  install(TARGETS ${target} RUNTIME DESTINATION bin)
  corvane_record_installed(FILES "bin/${target}")
endfunction()

function(corvane_install_library target)
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS ${target} LIBRARY DESTINATION ${CORVANE_INSTALL_PRIVATE_LIBDIR} NAMELINK_SKIP)
  corvane_record_installed(FILES "${CORVANE_INSTALL_PRIVATE_LIBDIR}/lib${target}.so")
  corvane_record_installed(DIRS "${CORVANE_INSTALL_PRIVATE_LIBDIR}")
endfunction()

# Installs files into `destination` (relative to the prefix, or absolute), keeping their names.
# PROGRAMS installs them executable.
function(corvane_install_files destination)
  cmake_parse_arguments(ARG "PROGRAMS" "" "FILES" ${ARGN})
  if(ARG_PROGRAMS)
    install(PROGRAMS ${ARG_FILES} DESTINATION "${destination}")
  else()
    install(FILES ${ARG_FILES} DESTINATION "${destination}")
  endif()
  foreach(f ${ARG_FILES})
    get_filename_component(name "${f}" NAME)
    corvane_record_installed(FILES "${destination}/${name}")
  endforeach()
endfunction()

# A folder the install makes and the uninstall removes when it is empty again.
function(corvane_record_folder path)
  corvane_record_installed(DIRS "${path}")
endfunction()

# Files whose text names the install prefix (desktop entries, polkit actions, removal scripts)
# are made at install time, so a package staged for /usr names /usr whatever the build's prefix.
# The template sees @PREFIX@ and @LIBDIR@, and any variable set when this is called.
function(corvane_install_configured template destination name)
  cmake_parse_arguments(ARG "PROGRAMS" "" "" ${ARGN})
  set(perms OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  if(ARG_PROGRAMS)
    list(APPEND perms OWNER_EXECUTE GROUP_EXECUTE WORLD_EXECUTE)
  endif()
  set(staged "${CMAKE_BINARY_DIR}/install-staging/${name}")
  install(CODE "
    set(PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
    set(LIBDIR \"${CORVANE_INSTALL_LIBDIR}\")
    configure_file(\"${template}\" \"${staged}\" @ONLY)
  ")
  install(FILES "${staged}" DESTINATION "${destination}" PERMISSIONS ${perms})
  corvane_record_installed(FILES "${destination}/${name}")
endfunction()
