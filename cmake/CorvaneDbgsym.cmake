# Run by CPack after the packages are made (CPACK_POST_BUILD_SCRIPTS). CPack's -dbgsym package
# lists its files in md5sums by the absolute path of CPack's staging folder, which dpkg --verify
# cannot use, and has no documentation. Rebuilt here as Debian's own dbgsym packages are: md5sums
# relative to the root, the debug files not executable, and the documentation folder a link to
# the package's it depends on.
# CPACK_PACKAGE_FILES: the packages just made, in CPack's folder, before they are copied out.
set(_ddebs ${CPACK_PACKAGE_FILES})
list(FILTER _ddebs INCLUDE REGEX "-dbgsym_.*\\.ddeb$")
if(NOT _ddebs)
  message(FATAL_ERROR "no -dbgsym package among ${CPACK_PACKAGE_FILES}")
endif()
foreach(_ddeb ${_ddebs})
  set(_dir "${_ddeb}.unpacked")
  file(REMOVE_RECURSE "${_dir}")
  execute_process(COMMAND dpkg-deb --raw-extract "${_ddeb}" "${_dir}" RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "dpkg-deb could not unpack ${_ddeb}")
  endif()
  execute_process(COMMAND sh -c [[
    cd "$1" && find usr -type f -exec chmod 0644 {} + &&
    find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum > DEBIAN/md5sums &&
    chmod 0644 DEBIAN/md5sums && mkdir -p usr/share/doc &&
    ln -s "$2" "usr/share/doc/$2-dbgsym"
  ]] sh "${_dir}" "${CPACK_PACKAGE_NAME}" RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "could not rewrite the md5sums of ${_ddeb}")
  endif()
  execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip --build "${_dir}" "${_ddeb}"
                  OUTPUT_QUIET RESULT_VARIABLE _rc)
  file(REMOVE_RECURSE "${_dir}")
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "dpkg-deb could not rebuild ${_ddeb}")
  endif()
endforeach()
