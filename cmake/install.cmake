# Where each deliverable goes on `cmake --install` (and so in the .deb).
#
#   bin/vantrel                         -> relative link to the console in its private folder
#   bin/modemsim                           the simulator
#   bin/kelbrin-ports                      finds modems and writes the library's port map
#   share/man/man1/kelbrin-ports.1         its manual page
#   <libdir>/vantrel/vantrel               the console (RUNPATH $ORIGIN)
#   <libdir>/vantrel/libkelbrin.so      -> ../libkelbrin.so.1, what the console opens by bare name
#   <libdir>/libkelbrin.so.1.0.0           the one copy of the library, with its SONAME link,
#   <libdir>/libkelbrin.so.1               for other programs that use kelbrin.h
#   include/kelbrin.h
#   share/modemsim/demo.scenario           a copy of the built-in demo, to read or start from
#   share/applications/vantrel.desktop
#   share/icons/hicolor/<N>x<N>/apps/vantrel.png
#
# The console's folder is private so that its bare-name dlopen finds the library through $ORIGIN
# before anything in the system's search path. glibc takes $ORIGIN from the resolved executable,
# so the link in bin/ still leads there.
#
# No libkelbrin.so namelink in the public libdir: ldconfig would put the bare name in its cache,
# and then every bare-name dlopen on the machine (a console with no library beside it, the
# "library missing" test) would silently get the system copy. Other programs load
# "libkelbrin.so.1" (ctypes.util.find_library("kelbrin") finds it) or link with -l:libkelbrin.so.1.
include(GNUInstallDirs)

set(VANTREL_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/vantrel)

install(TARGETS kelbrin LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_SKIP)
install(FILES ${PROJECT_SOURCE_DIR}/kelbrin/include/kelbrin.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(TARGETS vantrel RUNTIME DESTINATION ${VANTREL_PRIVATE_LIBDIR})

# The two links are made here once and installed as links (install(FILES) keeps a symlink).
set(install_links_dir ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${install_links_dir}/bin ${install_links_dir}/private)
file(RELATIVE_PATH console_from_bindir
    ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR}/vantrel/vantrel)
file(CREATE_LINK ${console_from_bindir} ${install_links_dir}/bin/vantrel SYMBOLIC)
get_target_property(kelbrin_soversion kelbrin SOVERSION)
file(CREATE_LINK ../libkelbrin.so.${kelbrin_soversion}
    ${install_links_dir}/private/libkelbrin.so SYMBOLIC)
install(FILES ${install_links_dir}/bin/vantrel DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${install_links_dir}/private/libkelbrin.so DESTINATION ${VANTREL_PRIVATE_LIBDIR})

install(TARGETS modemsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS kelbrin-ports RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/kelbrin/ports_tool/kelbrin-ports.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/modemsim/scenarios/demo.scenario
    DESTINATION ${CMAKE_INSTALL_DATADIR}/modemsim)

install(FILES ${PROJECT_SOURCE_DIR}/res/vantrel.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 32 48 64 128)
    install(FILES ${PROJECT_SOURCE_DIR}/res/icons/vantrel-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME vantrel.png)
endforeach()
