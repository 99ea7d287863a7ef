# Installing the utility like any desktop program: manual pages, bash completion, AppStream
# metainfo, the scalable icon and the package's documents (the programs, the library, the desktop
# entry and the icons install from their own folders), and a Debian package of all of it with
# `cpack -G DEB` (scripts/package.sh).

set(WAVORY_SCREENSHOTS_URL "https://wavory.invalid/docs/screenshots" CACHE STRING
    "Web address where the pictures of docs/screenshots are published (for the AppStream metainfo)")
set(pkgdir ${CMAKE_BINARY_DIR}/packaging)
set(docdir ${CMAKE_INSTALL_DATADIR}/doc/wavory-utility)

# Manual pages and the changelog as Debian wants them: gzip -9 without name or time stamp.
set(gzipped "")
function(wavory_gzip source target)
    add_custom_command(OUTPUT ${target}
        COMMAND sh -c "gzip -9nc < \"$1\" > \"$2\"" sh ${source} ${target}
        DEPENDS ${source} VERBATIM)
    set(gzipped ${gzipped} ${target} PARENT_SCOPE)
endfunction()
foreach(page wavory wavoryctl wavory-sim)
    configure_file(${CMAKE_SOURCE_DIR}/docs/man/${page}.1.in ${pkgdir}/${page}.1 @ONLY)
    wavory_gzip(${pkgdir}/${page}.1 ${pkgdir}/${page}.1.gz)
    install(FILES ${pkgdir}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
wavory_gzip(${CMAKE_SOURCE_DIR}/packaging/changelog ${pkgdir}/changelog.gz)
add_custom_target(wavory_package_files ALL DEPENDS ${gzipped})

install(FILES ${CMAKE_SOURCE_DIR}/src/cli/completion/wavoryctl.bash
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME wavoryctl)

set(res ${CMAKE_SOURCE_DIR}/src/ui/res)
configure_file(${res}/org.wavory.utility.metainfo.xml.in ${pkgdir}/org.wavory.utility.metainfo.xml @ONLY)
install(FILES ${pkgdir}/org.wavory.utility.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${res}/icons/wavory.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The user service that records the connection history without the window; not enabled.
configure_file(${CMAKE_SOURCE_DIR}/packaging/wavory-history.service.in ${pkgdir}/wavory-history.service @ONLY)
install(FILES ${pkgdir}/wavory-history.service DESTINATION lib/systemd/user)

install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${pkgdir}/changelog.gz DESTINATION ${docdir})
# The JSON Schema of each wavoryctl --json output, for script writers.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/schema/ DESTINATION ${docdir}/schema FILES_MATCHING PATTERN "*.json")
# An example only: a rule under /etc/polkit-1/rules.d would grant the right to every member.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/50-wavory-networkmanager.rules DESTINATION ${docdir}/examples)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME wavory-utility)

# The Debian package. Its dependencies come from the programs' libraries (dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wavory-utility)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Wavory Developers <dev@wavory.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configure and monitor a wireless network adapter")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Wavory Utility shows whether and where the wireless adapter is connected,
watches the signal and throughput, surveys the networks in range and joins
one, and keeps connection profiles that it applies by hand or tries in turn
while the adapter has no connection.
.
It has a window (wavory), a command line (wavoryctl) and a simulated adapter
(wavory-sim) for machines without a wireless interface. Real interfaces are
changed through wpa_supplicant, NetworkManager or the kernel's nl80211.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libkccl.so.1 is this package's: a shlibs entry says so.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# Real interfaces are changed through one of these; the simulated adapter needs neither.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "wpasupplicant | network-manager")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
