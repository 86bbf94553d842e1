# The Debian package: everything cmake/install.cmake installs, under /usr.
# Built by scripts/package.sh from the release preset, configured with CMAKE_INSTALL_PREFIX=/usr so
# that the library lands in the multiarch libdir. One package for the library, its header and the
# three programs; packaging/lintian-overrides gives the reason for each warning that comes of it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vantrel maintainers <maintainers@users.noreply.c-seed-5da0b0c4.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test console for SMS modems")
# Lines of at most 80 columns, as in a Debian control file.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Vantrel opens a GSM/LTE modem on a serial port, sends text messages, shows"
    "incoming messages and delivery reports, and queries the outcome of a sent"
    "message, in an English or a Chinese window."
    "."
    "The package holds the console, libkelbrin (the SMS service library it drives,"
    "with its C header kelbrin.h), kelbrin-ports (finds modems on the serial ports"
    "and maps them to the console's COM numbers) and modemsim, a modem simulator on"
    "a pseudo-terminal with a demo scenario.")
# The programs and the library are built with -g (release preset) and shipped stripped; CPack
# moves their debug information into vantrel-dbgsym_<version>_<arch>.ddeb beside the package,
# found by build id (/usr/lib/debug/.build-id/).
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries each program links come from dpkg-shlibdeps; Qt's platform plugins are loaded at
# run time, so they are named here. Without the fonts the window's labels clip and Chinese text
# shows as boxes.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, fonts-wqy-zenhei, fonts-arphic-uming")
# A shlibs entry for libkelbrin.so.1 and ldconfig runs for the public libdir. The library's
# interface is versioned by its SONAME, so any later package satisfies programs built now.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The ldconfig cache is refreshed by a dpkg trigger, as Debian policy 8.1.1 asks; our own
# postinst and postrm keep CPack from adding ldconfig calls of its own.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/triggers
    ${PROJECT_SOURCE_DIR}/packaging/postinst
    ${PROJECT_SOURCE_DIR}/packaging/postrm)

include(CPack)
